// One AVI file of a recording, read through AVIFile: its video format, the
// size and key-frame flag of every frame, and frames read by number.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <vfw.h>

#include <string>
#include <vector>

#include "companions/components/recording/CV77RecordingIndex.h"

class CV77AviSegment {
public:
    CV77AviSegment();
    ~CV77AviSegment();
    CV77AviSegment(const CV77AviSegment&) = delete;
    CV77AviSegment& operator=(const CV77AviSegment&) = delete;

    // Opens the file's first video stream and reads its frame table.
    HRESULT Open(const std::wstring& path);
    const std::vector<BYTE>& Format() const { return m_Format; }
    REFERENCE_TIME FrameTime() const { return m_tFrame; }
    const std::vector<V77SegmentFrame>& Frames() const { return m_Frames; }
    // Frame number position (0 = the stream's first) into data.
    HRESULT Read(LONG position, BYTE* data, LONG capacity, LONG* written);

private:
    // Key frames AVIFile could not tell, from the format or the pictures.
    void ClassifyKeyFrames();

    PAVIFILE m_pFile = nullptr;
    PAVISTREAM m_pStream = nullptr;
    LONG m_lStart = 0;
    REFERENCE_TIME m_tFrame = 0;
    std::vector<BYTE> m_Format;
    std::vector<V77SegmentFrame> m_Frames;
};
