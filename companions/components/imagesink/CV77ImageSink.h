// Image sink component: the end of an image renderer graph for hosts that
// want frames on disk (a raw file of frames back to back) or the last few
// in memory. Deliver runs on the graph's streaming thread; the setup calls
// on any host thread.
#pragma once

#include <windows.h>
#include <deque>
#include <mutex>
#include <vector>

#include "framework/CUnknown.h"
#include "v77/IV77ImageSinkComponent.h"

class CV77ImageSink : public CUnknown, public IV77ImageSinkSetup {
public:
    static CUnknown* CreateInstance(LPUNKNOWN outer, HRESULT* phr);
    ~CV77ImageSink() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IV77ImageSink
    STDMETHODIMP Deliver(IMediaSample* sample) override;
    // IV77ImageSinkSetup
    STDMETHODIMP SetFile(LPCWSTR path) override;
    STDMETHODIMP SetKeepCount(DWORD count) override;
    STDMETHODIMP GetFrameCount(DWORD* count) override;
    STDMETHODIMP GetKeptFrame(DWORD index, BYTE* buffer, DWORD capacity, DWORD* length,
                              REFERENCE_TIME* mediaStart) override;

private:
    struct KeptFrame {
        std::vector<BYTE> bytes;
        REFERENCE_TIME mediaStart;
    };

    CV77ImageSink();
    void CloseFile();
    HRESULT WriteFrame(const BYTE* data, DWORD length);

    std::mutex m_Lock;
    HANDLE m_hFile;
    DWORD m_dwKeep;
    DWORD m_dwFrames;
    std::deque<KeptFrame> m_Kept;
};
