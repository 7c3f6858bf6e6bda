// IMediaSeeking for a source pin: start, stop, rate and duration kept here,
// media time the only format. Derived pins react to changes through the
// ChangeStart/ChangeStop/ChangeRate callbacks.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <vfwmsgs.h>
#include "framework/CCritSec.h"
#include "framework/CUnknown.h"

class CSourceSeeking : public IMediaSeeking, public CUnknown {
public:
    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IMediaSeeking
    STDMETHODIMP GetCapabilities(DWORD* capabilities) override;
    STDMETHODIMP CheckCapabilities(DWORD* capabilities) override;
    STDMETHODIMP IsFormatSupported(const GUID* format) override;
    STDMETHODIMP QueryPreferredFormat(GUID* format) override;
    STDMETHODIMP GetTimeFormat(GUID* format) override;
    STDMETHODIMP IsUsingTimeFormat(const GUID* format) override;
    STDMETHODIMP SetTimeFormat(const GUID* format) override;
    STDMETHODIMP GetDuration(LONGLONG* duration) override;
    STDMETHODIMP GetStopPosition(LONGLONG* stop) override;
    STDMETHODIMP GetCurrentPosition(LONGLONG* current) override;
    STDMETHODIMP ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                                   const GUID* sourceFormat) override;
    STDMETHODIMP SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop, DWORD stopFlags) override;
    STDMETHODIMP GetPositions(LONGLONG* current, LONGLONG* stop) override;
    STDMETHODIMP GetAvailable(LONGLONG* earliest, LONGLONG* latest) override;
    STDMETHODIMP SetRate(double rate) override;
    STDMETHODIMP GetRate(double* rate) override;
    STDMETHODIMP GetPreroll(LONGLONG* preroll) override;

protected:
    CSourceSeeking(const TCHAR* name, LPUNKNOWN outer, HRESULT* phr, CCritSec* lock);

    // Called outside the lock after the new value was stored.
    virtual HRESULT ChangeStart() = 0;
    virtual HRESULT ChangeStop() = 0;
    virtual HRESULT ChangeRate() = 0;

    REFERENCE_TIME m_rtDuration;
    REFERENCE_TIME m_rtStart;
    REFERENCE_TIME m_rtStop;
    double m_dRateSeeking;
    DWORD m_dwSeekingCaps;
    CCritSec* m_pLock;
};
