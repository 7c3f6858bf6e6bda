// The main graphs of the soak run, built through the registered module:
//   live AVI:   AVI file source -> buffer (live queue) -> GDI renderer
//   live RTP:   network source (the ffmpeg camera) -> AVI file renderer (no file)
//   record:     the same, and the secondary output -> AVI file renderer into a store
//   playback:   store source -> buffer (time-shift) -> GDI renderer, master + 2 slaves
//   audio:      UDP source -> mute -> TCP renderer -> TCP channel -> listening channel
#pragma once

#include <winsock2.h>
#include <windows.h>
#include <string>
#include <wrl/client.h>

#include "tools/V77Soak/CSoakGraph.h"
#include "tools/common/CV77PlaybackGroup.h"
#include "v77/IV77Receivers.h"
#include "v77/IV77Sinks.h"

// bufferCount: 0 keeps the queue's size; larger than the source's pool makes it run dry.
HRESULT BuildLiveAvi(CSoakGraph& g, const std::wstring& avi, HWND window, LONG bufferCount = 0);
// The primary output goes to an AVI file renderer without a file; record: a
// second one on the secondary output (*file set) writes the recording.
HRESULT BuildCamera(CSoakGraph& g, const std::wstring& sdp, bool record,
                    Microsoft::WRL::ComPtr<IV77DsAviFileRenderer>* file);
// store: the store folder, or host:port of an archive server for sourceClass
// CLSID_V77DsARCSourceTcp.
HRESULT BuildPlayback(CSoakGraph& g, const std::wstring& store, const HWND windows[3], CV77PlaybackGroup& group,
                      const CLSID& sourceClass = CLSID_V77DsARCSource);

// The audio chain's far end and the port the UDP source listens on.
struct SoakAudio {
    Microsoft::WRL::ComPtr<IV77TCPChannel> listener;
    unsigned short udpPort = 0;
    // Sends count PCM datagrams of 320 bytes to the UDP source.
    void Send(int count) const;
};
HRESULT BuildAudio(CSoakGraph& g, SoakAudio& audio);
