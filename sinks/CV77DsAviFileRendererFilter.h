// "Varnokel77 Avi file renderer filter": writes every compressed video sample
// it receives, unchanged and in arrival order, as one frame of the single
// video stream of an AVI file through the platform's AVIFile interface. A
// file starts at its first key frame; end of stream, a new name or
// destruction closes it.
#pragma once

#include <windows.h>
#include <vfw.h>

#include "framework/CBaseRenderer.h"
#include "framework/CCritSec.h"
#include "framework/CMediaType.h"
#include "v77/IV77Sinks.h"

class CV77DsAviFileRendererFilter : public CBaseRenderer, public IV77DsAviFileRenderer {
public:
    CV77DsAviFileRendererFilter(const char* name, LPUNKNOWN outer, HRESULT* phr);
    ~CV77DsAviFileRendererFilter() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IV77DsAviFileRenderer
    STDMETHODIMP SetFileName(LPCWSTR fileName, LPCWSTR streamName) override;

    // CBaseRenderer
    HRESULT CheckMediaType(const CMediaType* mt) override;
    HRESULT SetMediaType(const CMediaType* mt) override;
    HRESULT ShouldDrawSampleNow(IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* end) override;
    HRESULT EndOfStream() override;
    HRESULT DoRenderSample(IMediaSample* sample) override;

private:
    // Releases the stream and the file; the next file counts from frame 0.
    void Close();
    // The stream of the open file, under the file lock.
    HRESULT CreateStream(const BITMAPINFOHEADER& bih, LPCWSTR streamName);

    PAVIFILE m_pFile;
    PAVISTREAM m_pStream;
    LONG m_FrameCount;
    CCritSec m_FileLock;
    CMediaType m_MediaType;
};
