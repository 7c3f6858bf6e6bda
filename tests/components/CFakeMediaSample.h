// A plain IMediaSample over a vector, independent of the framework and of
// the component, for copying to and from pool items.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <vfwmsgs.h>

#include <cstring>
#include <vector>

class CFakeMediaSample : public IMediaSample {
public:
    explicit CFakeMediaSample(LONG size) : m_Buffer(static_cast<size_t>(size)) {}
    ~CFakeMediaSample() { ClearType(); }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IMediaSample) {
            *ppv = static_cast<IMediaSample*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_cRef; }
    STDMETHODIMP_(ULONG) Release() override { return --m_cRef; }  // lives on the test's stack

    STDMETHODIMP GetPointer(BYTE** buffer) override
    {
        *buffer = m_Buffer.data();
        return S_OK;
    }
    STDMETHODIMP_(LONG) GetSize() override { return static_cast<LONG>(m_Buffer.size()); }
    STDMETHODIMP GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) override
    {
        if (!m_bTime)
            return VFW_E_SAMPLE_TIME_NOT_SET;
        *start = m_Start;
        *end = m_bStop ? m_Stop : m_Start + 1;
        return m_bStop ? S_OK : VFW_S_NO_STOP_TIME;
    }
    STDMETHODIMP SetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) override
    {
        m_bTime = start != nullptr;
        m_bStop = start && end;
        m_Start = start ? *start : 0;
        m_Stop = m_bStop ? *end : 0;
        return S_OK;
    }
    STDMETHODIMP IsSyncPoint() override { return m_bSync ? S_OK : S_FALSE; }
    STDMETHODIMP SetSyncPoint(BOOL v) override { m_bSync = v != FALSE; return S_OK; }
    STDMETHODIMP IsPreroll() override { return m_bPreroll ? S_OK : S_FALSE; }
    STDMETHODIMP SetPreroll(BOOL v) override { m_bPreroll = v != FALSE; return S_OK; }
    STDMETHODIMP_(LONG) GetActualDataLength() override { return m_lActual; }
    STDMETHODIMP SetActualDataLength(LONG length) override
    {
        if (length < 0 || length > GetSize())
            return VFW_E_BUFFER_OVERFLOW;
        m_lActual = length;
        return S_OK;
    }
    STDMETHODIMP GetMediaType(AM_MEDIA_TYPE** mt) override
    {
        *mt = nullptr;
        if (!m_bType)
            return S_FALSE;
        auto* copy = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
        *copy = m_Type;
        copy->pUnk = nullptr;
        if (m_Type.cbFormat) {
            copy->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(m_Type.cbFormat));
            memcpy(copy->pbFormat, m_Type.pbFormat, m_Type.cbFormat);
        }
        *mt = copy;
        return S_OK;
    }
    STDMETHODIMP SetMediaType(AM_MEDIA_TYPE* mt) override
    {
        ClearType();
        if (!mt)
            return S_OK;
        m_Type = *mt;
        m_Type.pUnk = nullptr;
        m_Type.pbFormat = nullptr;
        if (mt->cbFormat) {
            m_Type.pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(mt->cbFormat));
            memcpy(m_Type.pbFormat, mt->pbFormat, mt->cbFormat);
        }
        m_bType = true;
        return S_OK;
    }
    STDMETHODIMP IsDiscontinuity() override { return m_bDiscontinuity ? S_OK : S_FALSE; }
    STDMETHODIMP SetDiscontinuity(BOOL v) override { m_bDiscontinuity = v != FALSE; return S_OK; }
    STDMETHODIMP GetMediaTime(LONGLONG* start, LONGLONG* end) override
    {
        if (!m_bMediaTime)
            return VFW_E_MEDIA_TIME_NOT_SET;
        *start = m_MediaStart;
        *end = m_MediaStop;
        return S_OK;
    }
    STDMETHODIMP SetMediaTime(LONGLONG* start, LONGLONG* end) override
    {
        m_bMediaTime = start && end;
        m_MediaStart = start ? *start : 0;
        m_MediaStop = end ? *end : 0;
        return S_OK;
    }

    void Fill(BYTE seed, LONG length)
    {
        for (LONG i = 0; i < length; ++i)
            m_Buffer[static_cast<size_t>(i)] = static_cast<BYTE>(seed + i * 7);
        m_lActual = length;
    }

    std::vector<BYTE> m_Buffer;
    LONG m_lActual = 0;
    ULONG m_cRef = 1;
    bool m_bTime = false, m_bStop = false, m_bMediaTime = false;
    bool m_bSync = false, m_bPreroll = false, m_bDiscontinuity = false, m_bType = false;
    REFERENCE_TIME m_Start = 0, m_Stop = 0;
    LONGLONG m_MediaStart = 0, m_MediaStop = 0;
    AM_MEDIA_TYPE m_Type = {};

private:
    void ClearType()
    {
        if (m_Type.pbFormat)
            CoTaskMemFree(m_Type.pbFormat);
        m_Type = {};
        m_bType = false;
    }
};
