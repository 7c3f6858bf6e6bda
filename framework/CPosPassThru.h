// IMediaSeeking and IMediaPosition of a filter with one input pin, passed to
// the IMediaSeeking of the output pin connected to that input (upstream).
#pragma once

#include <windows.h>
#include <strmif.h>
#include <control.h>
#include <vfwmsgs.h>
#include "framework/CMediaPosition.h"

class CPosPassThru : public IMediaSeeking, public CMediaPosition {
public:
    CPosPassThru(const TCHAR* name, LPUNKNOWN outer, HRESULT* phr, IPin* pin);

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    HRESULT ForceRefresh() { return S_OK; }
    // Position of the sample last handled, for filters that cache it; E_FAIL here.
    virtual HRESULT GetMediaTime(LONGLONG* start, LONGLONG* end);

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

    // IMediaPosition, in seconds, through the same upstream IMediaSeeking
    STDMETHODIMP get_Duration(REFTIME* length) override;
    STDMETHODIMP put_CurrentPosition(REFTIME time) override;
    STDMETHODIMP get_CurrentPosition(REFTIME* time) override;
    STDMETHODIMP get_StopTime(REFTIME* time) override;
    STDMETHODIMP put_StopTime(REFTIME time) override;
    STDMETHODIMP get_PrerollTime(REFTIME* time) override;
    STDMETHODIMP put_PrerollTime(REFTIME time) override;
    STDMETHODIMP put_Rate(double rate) override;
    STDMETHODIMP get_Rate(double* rate) override;
    STDMETHODIMP CanSeekForward(LONG* canSeek) override;
    STDMETHODIMP CanSeekBackward(LONG* canSeek) override;

protected:
    // The upstream IMediaSeeking (AddRef'd): VFW_E_NOT_CONNECTED or E_NOTIMPL when there is none.
    HRESULT GetPeerSeeking(IMediaSeeking** seeking);
    // Converts between media time and the upstream pin's current format.
    HRESULT ToCurrentFormat(LONGLONG mediaTime, LONGLONG* value);
    HRESULT ToMediaTime(LONGLONG value, LONGLONG* mediaTime);

private:
    HRESULT GetSeconds(HRESULT (STDMETHODCALLTYPE IMediaSeeking::*getter)(LONGLONG*), REFTIME* seconds);
    HRESULT CanSeek(DWORD capability, LONG* canSeek);

    IPin* m_pPin;   // our own input pin: lives as long as we do
};
