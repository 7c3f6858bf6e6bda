// Shared pieces of the audio suites: our filters made in-process, the
// components through COM, the PCM test signals made by ffmpeg, and free
// loopback ports.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <string>
#include <wrl/client.h>

#include "framework/CMediaType.h"
#include "framework/CUnknown.h"
#include "v77/V77Interfaces.h"

using Microsoft::WRL::ComPtr;

// A filter from its creator (the module's table function), as IBaseFilter.
ComPtr<IBaseFilter> MakeFilter(CUnknown* (*create)(LPUNKNOWN, HRESULT*));
ComPtr<IV77TCPChannel> MakeChannel();

// 8 kHz 16-bit mono PCM: a 440 Hz sine followed by pink noise, 2 s each,
// made by ffmpeg once per run; its Unix path.
const std::string& TonePcmPath();
std::string TonePcm();
// Writes bytes to a Unix path.
void WriteUnixFile(const std::string& path, const std::string& bytes);

// A port free on 127.0.0.1 right now (type SOCK_DGRAM or SOCK_STREAM).
int FreeLoopbackPort(int type);

// sox's RMS amplitude and rough frequency of raw 8 kHz 16-bit mono PCM.
struct SoxStat {
    bool valid = false;
    double rms = 0;
    double frequency = 0;
};
SoxStat MeasureWithSox(const std::string& pcmPath);

// The graph's output pin of filter (first output).
ComPtr<IPin> OutputPin(IBaseFilter* filter);
