// Frames of the first video stream of an AVI file, read through AVIFile, for
// the capture tool's file mode: played in a loop as if a camera made them.
#pragma once

#include <windows.h>
#include <vfw.h>

#include <string>

#include "companions/components/ring/CV77CaptureRing.h"

class CCaptureAviFrames {
public:
    CCaptureAviFrames() = default;
    ~CCaptureAviFrames();
    CCaptureAviFrames(const CCaptureAviFrames&) = delete;
    CCaptureAviFrames& operator=(const CCaptureAviFrames&) = delete;

    // Opens the file; *format and *frameBytes describe its frames.
    HRESULT Open(const std::wstring& path, V77CaptureFormat* format, uint32_t* frameBytes);
    // Reads the file's frame for capture frame number frame (the file
    // loops: frame modulo its length) into data; the bytes read, or 0 when
    // the file cannot be read.
    uint32_t Read(uint64_t frame, uint8_t* data, uint32_t capacity, bool* keyFrame);

private:
    bool m_bInit = false;
    PAVIFILE m_pFile = nullptr;
    PAVISTREAM m_pStream = nullptr;
    LONG m_lStart = 0;
    LONG m_lEnd = 0;
};
