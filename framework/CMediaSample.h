// A media sample over a slice of its allocator's memory (IMediaSample2).
// Its last Release hands it back to the allocator rather than deleting it.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <evcode.h>
#include <vfwmsgs.h>

class CBaseAllocator;

class CMediaSample : public IMediaSample2 {
public:
    CMediaSample(const TCHAR* name, CBaseAllocator* allocator, HRESULT* phr, LPBYTE buffer = nullptr,
                 LONG length = 0);
    virtual ~CMediaSample();
    CMediaSample(const CMediaSample&) = delete;
    CMediaSample& operator=(const CMediaSample&) = delete;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IMediaSample
    STDMETHODIMP GetPointer(BYTE** buffer) override;
    STDMETHODIMP_(LONG) GetSize() override;
    STDMETHODIMP GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) override;
    STDMETHODIMP SetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) override;
    STDMETHODIMP IsSyncPoint() override;
    STDMETHODIMP SetSyncPoint(BOOL sync) override;
    STDMETHODIMP IsPreroll() override;
    STDMETHODIMP SetPreroll(BOOL preroll) override;
    STDMETHODIMP_(LONG) GetActualDataLength() override;
    STDMETHODIMP SetActualDataLength(LONG length) override;
    STDMETHODIMP GetMediaType(AM_MEDIA_TYPE** mt) override;
    STDMETHODIMP SetMediaType(AM_MEDIA_TYPE* mt) override;
    STDMETHODIMP IsDiscontinuity() override;
    STDMETHODIMP SetDiscontinuity(BOOL discontinuity) override;
    STDMETHODIMP GetMediaTime(LONGLONG* start, LONGLONG* end) override;
    STDMETHODIMP SetMediaTime(LONGLONG* start, LONGLONG* end) override;

    // IMediaSample2
    STDMETHODIMP GetProperties(DWORD size, BYTE* properties) override;
    STDMETHODIMP SetProperties(DWORD size, const BYTE* properties) override;

    // Points the sample at new memory (used by allocators).
    HRESULT SetPointer(BYTE* buffer, LONG length);

    // Clears everything a user of the sample may have set, ready for reuse.
    void ResetProperties();

protected:
    friend class CBaseAllocator;

    DWORD m_dwFlags;          // AM_SAMPLE_* flags
    bool m_bMediaTimeValid;
    DWORD m_dwTypeSpecificFlags;
    LPBYTE m_pBuffer;
    LONG m_lActual;
    LONG m_cbBuffer;
    CBaseAllocator* m_pAllocator;
    CMediaSample* m_pNext;    // free-list link inside the allocator
    REFERENCE_TIME m_Start;
    REFERENCE_TIME m_End;
    LONGLONG m_MediaStart;
    LONGLONG m_MediaEnd;
    AM_MEDIA_TYPE* m_pMediaType;
    DWORD m_dwStreamId;
    volatile LONG m_cRef;
};
