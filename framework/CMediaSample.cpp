#include "framework/CMediaSample.h"

#include <cstring>
#include "framework/CBaseAllocator.h"
#include "framework/CMediaType.h"

namespace {

// The AM_SAMPLE_* flags a sample keeps and reports through GetProperties.
constexpr DWORD kPropertyFlags = AM_SAMPLE_SPLICEPOINT | AM_SAMPLE_PREROLL | AM_SAMPLE_DATADISCONTINUITY |
                                 AM_SAMPLE_TYPECHANGED | AM_SAMPLE_TIMEVALID | AM_SAMPLE_TIMEDISCONTINUITY |
                                 AM_SAMPLE_FLUSH_ON_PAUSE | AM_SAMPLE_STOPVALID | AM_SAMPLE_ENDOFSTREAM;

}  // namespace

CMediaSample::CMediaSample(const TCHAR*, CBaseAllocator* allocator, HRESULT* phr, LPBYTE buffer, LONG length)
    : m_dwFlags(0),
      m_bMediaTimeValid(false),
      m_dwTypeSpecificFlags(0),
      m_pBuffer(buffer),
      m_lActual(length),
      m_cbBuffer(length),
      m_pAllocator(allocator),
      m_pNext(nullptr),
      m_Start(0),
      m_End(0),
      m_MediaStart(0),
      m_MediaEnd(0),
      m_pMediaType(nullptr),
      m_dwStreamId(AM_STREAM_MEDIA),
      m_cRef(0)
{
    if (length < 0 && phr)
        *phr = VFW_E_BUFFER_OVERFLOW;
}

CMediaSample::~CMediaSample()
{
    DeleteMediaType(m_pMediaType);
}

STDMETHODIMP CMediaSample::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IMediaSample || riid == IID_IMediaSample2 || riid == IID_IUnknown) {
        *ppv = static_cast<IMediaSample2*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CMediaSample::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&m_cRef));
}

STDMETHODIMP_(ULONG) CMediaSample::Release()
{
    LONG ref = InterlockedDecrement(&m_cRef);
    if (ref == 0) {
        // Back to the allocator's free list, clean for the next user.
        ResetProperties();
        m_pAllocator->ReleaseBuffer(this);
    }
    return static_cast<ULONG>(ref);
}

void CMediaSample::ResetProperties()
{
    m_dwFlags = 0;
    m_bMediaTimeValid = false;
    m_dwTypeSpecificFlags = 0;
    m_dwStreamId = AM_STREAM_MEDIA;
    if (m_pMediaType) {
        DeleteMediaType(m_pMediaType);
        m_pMediaType = nullptr;
    }
}

HRESULT CMediaSample::SetPointer(BYTE* buffer, LONG length)
{
    if (length < 0)
        return VFW_E_BUFFER_OVERFLOW;
    m_pBuffer = buffer;
    m_cbBuffer = length;
    m_lActual = length;
    return S_OK;
}

STDMETHODIMP CMediaSample::GetPointer(BYTE** buffer)
{
    if (!buffer)
        return E_POINTER;
    *buffer = m_pBuffer;
    return S_OK;
}

STDMETHODIMP_(LONG) CMediaSample::GetSize()
{
    return m_cbBuffer;
}

STDMETHODIMP CMediaSample::GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end)
{
    if (!start || !end)
        return E_POINTER;
    if (!(m_dwFlags & AM_SAMPLE_TIMEVALID))
        return VFW_E_SAMPLE_TIME_NOT_SET;
    *start = m_Start;
    if (m_dwFlags & AM_SAMPLE_STOPVALID) {
        *end = m_End;
        return S_OK;
    }
    *end = m_Start + 1;
    return VFW_S_NO_STOP_TIME;
}

STDMETHODIMP CMediaSample::SetTime(REFERENCE_TIME* start, REFERENCE_TIME* end)
{
    if (!start) {
        m_dwFlags &= ~(AM_SAMPLE_TIMEVALID | AM_SAMPLE_STOPVALID);
        return S_OK;
    }
    m_Start = *start;
    m_dwFlags |= AM_SAMPLE_TIMEVALID;
    if (end) {
        m_End = *end;
        m_dwFlags |= AM_SAMPLE_STOPVALID;
    } else {
        m_dwFlags &= ~AM_SAMPLE_STOPVALID;
    }
    return S_OK;
}

STDMETHODIMP CMediaSample::IsSyncPoint()
{
    return (m_dwFlags & AM_SAMPLE_SPLICEPOINT) ? S_OK : S_FALSE;
}

STDMETHODIMP CMediaSample::SetSyncPoint(BOOL sync)
{
    m_dwFlags = sync ? (m_dwFlags | AM_SAMPLE_SPLICEPOINT) : (m_dwFlags & ~AM_SAMPLE_SPLICEPOINT);
    return S_OK;
}

STDMETHODIMP CMediaSample::IsPreroll()
{
    return (m_dwFlags & AM_SAMPLE_PREROLL) ? S_OK : S_FALSE;
}

STDMETHODIMP CMediaSample::SetPreroll(BOOL preroll)
{
    m_dwFlags = preroll ? (m_dwFlags | AM_SAMPLE_PREROLL) : (m_dwFlags & ~AM_SAMPLE_PREROLL);
    return S_OK;
}

STDMETHODIMP_(LONG) CMediaSample::GetActualDataLength()
{
    return m_lActual;
}

STDMETHODIMP CMediaSample::SetActualDataLength(LONG length)
{
    if (length < 0 || length > m_cbBuffer)
        return VFW_E_BUFFER_OVERFLOW;
    m_lActual = length;
    return S_OK;
}

STDMETHODIMP CMediaSample::GetMediaType(AM_MEDIA_TYPE** mt)
{
    if (!mt)
        return E_POINTER;
    if (!(m_dwFlags & AM_SAMPLE_TYPECHANGED) || !m_pMediaType) {
        *mt = nullptr;
        return S_FALSE;
    }
    *mt = CreateMediaType(m_pMediaType);
    return *mt ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CMediaSample::SetMediaType(AM_MEDIA_TYPE* mt)
{
    if (m_pMediaType) {
        DeleteMediaType(m_pMediaType);
        m_pMediaType = nullptr;
    }
    if (!mt) {
        m_dwFlags &= ~AM_SAMPLE_TYPECHANGED;
        return S_OK;
    }
    m_pMediaType = CreateMediaType(mt);
    if (!m_pMediaType) {
        m_dwFlags &= ~AM_SAMPLE_TYPECHANGED;
        return E_OUTOFMEMORY;
    }
    m_dwFlags |= AM_SAMPLE_TYPECHANGED;
    return S_OK;
}

STDMETHODIMP CMediaSample::IsDiscontinuity()
{
    return (m_dwFlags & AM_SAMPLE_DATADISCONTINUITY) ? S_OK : S_FALSE;
}

STDMETHODIMP CMediaSample::SetDiscontinuity(BOOL discontinuity)
{
    m_dwFlags = discontinuity ? (m_dwFlags | AM_SAMPLE_DATADISCONTINUITY)
                              : (m_dwFlags & ~AM_SAMPLE_DATADISCONTINUITY);
    return S_OK;
}

STDMETHODIMP CMediaSample::GetMediaTime(LONGLONG* start, LONGLONG* end)
{
    if (!start || !end)
        return E_POINTER;
    if (!m_bMediaTimeValid)
        return VFW_E_MEDIA_TIME_NOT_SET;
    *start = m_MediaStart;
    *end = m_MediaEnd;
    return S_OK;
}

STDMETHODIMP CMediaSample::SetMediaTime(LONGLONG* start, LONGLONG* end)
{
    if (!start) {
        m_bMediaTimeValid = false;
        return S_OK;
    }
    if (!end)
        return E_POINTER;
    m_MediaStart = *start;
    m_MediaEnd = *end;
    m_bMediaTimeValid = true;
    return S_OK;
}

STDMETHODIMP CMediaSample::GetProperties(DWORD size, BYTE* properties)
{
    if (!properties)
        return E_POINTER;
    AM_SAMPLE2_PROPERTIES props = {};
    props.cbData = size < sizeof(props) ? size : sizeof(props);
    props.dwTypeSpecificFlags = m_dwTypeSpecificFlags;
    props.dwSampleFlags = m_dwFlags & kPropertyFlags;
    props.lActual = m_lActual;
    props.tStart = m_Start;
    props.tStop = m_End;
    props.dwStreamId = m_dwStreamId;
    props.pMediaType = (m_dwFlags & AM_SAMPLE_TYPECHANGED) ? m_pMediaType : nullptr;
    props.pbBuffer = m_pBuffer;
    props.cbBuffer = m_cbBuffer;
    memcpy(properties, &props, props.cbData);
    return S_OK;
}

STDMETHODIMP CMediaSample::SetProperties(DWORD size, const BYTE* properties)
{
    if (!properties)
        return E_POINTER;
    if (size < offsetof(AM_SAMPLE2_PROPERTIES, pbBuffer) || size > sizeof(AM_SAMPLE2_PROPERTIES))
        return E_INVALIDARG;
    AM_SAMPLE2_PROPERTIES props = {};
    memcpy(&props, properties, size);
    if (props.cbData != size)
        return E_INVALIDARG;
    // The memory belongs to the allocator: it cannot be changed here.
    if (size >= offsetof(AM_SAMPLE2_PROPERTIES, cbBuffer) + sizeof(LONG) &&
        (props.pbBuffer != m_pBuffer || props.cbBuffer != m_cbBuffer))
        return E_INVALIDARG;
    if (props.lActual < 0 || props.lActual > m_cbBuffer)
        return VFW_E_BUFFER_OVERFLOW;
    if (props.dwSampleFlags & AM_SAMPLE_TYPECHANGED) {
        HRESULT hr = SetMediaType(props.pMediaType);
        if (FAILED(hr))
            return hr;
    } else {
        SetMediaType(nullptr);
    }
    m_dwTypeSpecificFlags = props.dwTypeSpecificFlags;
    m_dwFlags = (props.dwSampleFlags & kPropertyFlags & ~AM_SAMPLE_TYPECHANGED) | (m_dwFlags & AM_SAMPLE_TYPECHANGED);
    m_lActual = props.lActual;
    m_Start = props.tStart;
    m_End = props.tStop;
    m_dwStreamId = props.dwStreamId;
    return S_OK;
}
