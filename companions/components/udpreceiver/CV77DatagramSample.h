// The object a datagram is handed to IUdpEvent::OnData in: a media sample
// of which only GetPointer, GetSize and GetActualDataLength work (the
// documented part of that callback). It lives on the receive thread's
// stack for one call; reference counting is a no-op.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <vfwmsgs.h>

class CV77DatagramSample : public IMediaSample {
public:
    CV77DatagramSample(BYTE* data, LONG length) : m_pData(data), m_Length(length) {}
    virtual ~CV77DatagramSample() = default;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return 1; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }

    STDMETHODIMP GetPointer(BYTE** buffer) override;
    STDMETHODIMP_(LONG) GetSize() override { return m_Length; }
    STDMETHODIMP_(LONG) GetActualDataLength() override { return m_Length; }

    STDMETHODIMP GetTime(REFERENCE_TIME*, REFERENCE_TIME*) override { return VFW_E_SAMPLE_TIME_NOT_SET; }
    STDMETHODIMP SetTime(REFERENCE_TIME*, REFERENCE_TIME*) override { return E_NOTIMPL; }
    STDMETHODIMP IsSyncPoint() override { return S_FALSE; }
    STDMETHODIMP SetSyncPoint(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP IsPreroll() override { return S_FALSE; }
    STDMETHODIMP SetPreroll(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP SetActualDataLength(LONG) override { return E_NOTIMPL; }
    STDMETHODIMP GetMediaType(AM_MEDIA_TYPE** type) override;
    STDMETHODIMP SetMediaType(AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    STDMETHODIMP IsDiscontinuity() override { return S_FALSE; }
    STDMETHODIMP SetDiscontinuity(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP GetMediaTime(LONGLONG*, LONGLONG*) override { return VFW_E_MEDIA_TIME_NOT_SET; }
    STDMETHODIMP SetMediaTime(LONGLONG*, LONGLONG*) override { return E_NOTIMPL; }

private:
    BYTE* m_pData;
    LONG m_Length;
};
