// Live receiver that plays the first video stream of an AVI file through
// the AVIFile interface, as a camera would deliver it.
//
// Open(source1 = path of the AVI file, source2 = zone file or empty)
// describes the stream from its format: uncompressed YUY2, I420, YV12 and
// BI_RGB keep their compression and bit count; MPEG-4 Part 2 (FMP4, DIVX,
// DX50, XVID, MP4V) becomes DX50 with the format's extra bytes as decoder
// configuration. Frames are read straight into the samples, paced at the
// file's rate and stamped with the time they are handed out; key frames of
// the index are sync points. At the end the file starts over, after a marker
// sample; with looping off the stream ends with stream event B.
//
// IV77DsAviSource::Configure(loop, pacing): loop 0 plays the file once;
// pacing 0 hands frames out as fast as the filter takes them (benchmarks).
// Both default to 1 and take effect at once.
#pragma once

#include <windows.h>
#include <vfw.h>

#include <atomic>

#include "companions/components/live/CV77LiveReceiver.h"

class CV77AviReceiver : public CV77LiveReceiver, public IV77DsAviSource {
public:
    static CUnknown* CreateInstance(LPUNKNOWN outer, HRESULT* phr);

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IV77DsAviSource
    STDMETHODIMP Configure(DWORD loop, DWORD pacing) override;

protected:
    HRESULT OpenStream(BSTR source1, BSTR source2, SOURCE_INFORMATION* info, CMediaType* mt) override;
    void Stream() override;
    void Wake() override {}
    void CloseStream() override;

private:
    explicit CV77AviReceiver(HRESULT* phr);
    ~CV77AviReceiver() override;
    HRESULT Describe(SOURCE_INFORMATION* info, CMediaType* mt);
    // Hands out frame position; false when the stream cannot go on.
    bool PlayFrame(LONG position, bool discontinuity);
    void Idle();

    bool m_bAviFileInit = false;
    PAVIFILE m_pFile = nullptr;
    PAVISTREAM m_pStream = nullptr;
    LONG m_lStart = 0;
    LONG m_lEnd = 0;                 // one past the last frame
    REFERENCE_TIME m_tFrame = 0;
    std::atomic<bool> m_bLoop{true};
    std::atomic<bool> m_bPaced{true};
};
