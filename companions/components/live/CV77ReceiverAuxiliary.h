// The auxiliary object every live receiver hands out: frame statistics for
// the bit rate and the overlay's zone configuration, an XML file kept next
// to the stream (the stream's path with ".zones.xml" appended) or named by
// the receiver. Without such a file the configuration is an empty string.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>

#include "framework/CUnknown.h"
#include "v77/IV77Receivers.h"

class CV77ReceiverAuxiliary : public CUnknown, public IV77ReceiverAuxiliary {
public:
    // Zone files larger than this are refused.
    static constexpr DWORD kMaxConfigurationBytes = 1 << 20;

    CV77ReceiverAuxiliary();

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // Attach(source2, source1): source2, when not empty, names the zone file;
    // otherwise it is source1 + ".zones.xml".
    STDMETHODIMP Attach(BSTR source2, BSTR source1) override;
    STDMETHODIMP Reserved4() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved5() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved6() override { return E_NOTIMPL; }
    // The live receivers take no commands.
    STDMETHODIMP Command7(DWORD, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Command8(DWORD, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Command9(DWORD, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Reserved10() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved11() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved12() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved13() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved14() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved15() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved16() override { return E_NOTIMPL; }
    // Mean size of the frames handed out since Attach; S_FALSE (and 0) before the first.
    STDMETHODIMP GetAverageFrameSize(double* bytes) override;
    STDMETHODIMP Reserved18() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved19() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved20() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved21() override { return E_NOTIMPL; }
    // The zone file's text (UTF-8 or UTF-16 with BOM), or an empty string when
    // there is none; E_FAIL for a file that exists but cannot be read.
    STDMETHODIMP GetOverlayConfiguration(long zero, BSTR* xml) override;

    // For the receiver's thread.
    void CountFrame(DWORD bytes);

private:
    std::mutex m_Mutex;
    std::wstring m_ZonePath;
    std::atomic<ULONGLONG> m_cFrames{0};
    std::atomic<ULONGLONG> m_cBytes{0};
};
