// A receiver auxiliary object that only hands out a zone configuration (the
// overlay renderer's XML); every other slot answers E_NOTIMPL. Made with new,
// one reference, deleted on its last Release. The host program's zone
// detector and the overlay tests stand it in for a live receiver's own.
#pragma once

#include <windows.h>
#include <atomic>
#include <string>

#include "v77/IV77Receivers.h"

class CV77ZoneAuxiliary : public IV77ReceiverAuxiliary {
public:
    explicit CV77ZoneAuxiliary(std::wstring xml) : m_Xml(std::move(xml)) {}
    virtual ~CV77ZoneAuxiliary() = default;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_Refs; }
    STDMETHODIMP_(ULONG) Release() override;
    // A copy of the configuration; the argument is not used.
    STDMETHODIMP GetOverlayConfiguration(long zero, BSTR* xml) override;

    STDMETHODIMP Attach(BSTR, BSTR) override { return E_NOTIMPL; }
    STDMETHODIMP Reserved4() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved5() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved6() override { return E_NOTIMPL; }
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
    STDMETHODIMP GetAverageFrameSize(double*) override { return E_NOTIMPL; }
    STDMETHODIMP Reserved18() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved19() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved20() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved21() override { return E_NOTIMPL; }

private:
    std::atomic<ULONG> m_Refs{1};
    std::wstring m_Xml;
};
