#include "companions/components/pool/CV77PoolItem.h"

#include <vfwmsgs.h>

#include <cstddef>
#include <cstring>
#include <limits>
#include <new>

#include "companions/components/pool/CV77SamplePool.h"
#include "framework/CMediaType.h"

namespace {

constexpr DWORD kKnownFlags = AM_SAMPLE_SPLICEPOINT | AM_SAMPLE_PREROLL | AM_SAMPLE_DATADISCONTINUITY |
                              AM_SAMPLE_TYPECHANGED | AM_SAMPLE_TIMEVALID | AM_SAMPLE_TIMEDISCONTINUITY |
                              AM_SAMPLE_FLUSH_ON_PAUSE | AM_SAMPLE_STOPVALID | AM_SAMPLE_ENDOFSTREAM;
constexpr DWORD kMaxBuffer = static_cast<DWORD>(std::numeric_limits<LONG>::max());
constexpr size_t kAlignment = 16;  // the image kernels use aligned vector loads

// True when the first `length` bytes of the properties include the whole field.
bool Covers(DWORD length, size_t offset, size_t width)
{
    return offset + width <= length;
}

#define V77_PROP_FIELD(field) offsetof(AM_SAMPLE2_PROPERTIES, field), sizeof(AM_SAMPLE2_PROPERTIES::field)

template <typename Interface>
class CQueried {
public:
    CQueried(IUnknown* unknown, REFIID iid) : m_p(nullptr)
    {
        if (FAILED(unknown->QueryInterface(iid, reinterpret_cast<void**>(&m_p))))
            m_p = nullptr;
    }
    ~CQueried()
    {
        if (m_p)
            m_p->Release();
    }
    CQueried(const CQueried&) = delete;
    CQueried& operator=(const CQueried&) = delete;
    Interface* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }

private:
    Interface* m_p;
};

}  // namespace

struct CV77PoolItem::Snapshot {
    BYTE* data = nullptr;
    DWORD length = 0;
    DWORD flags = 0;
    DWORD typeSpecificFlags = 0;
    DWORD streamId = AM_STREAM_MEDIA;
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    LONGLONG mediaStart = 0;
    LONGLONG mediaStop = 0;
    bool mediaTimeValid = false;
    bool command = false;
    MediaType type;
};

void CV77PoolItem::MediaTypeDelete::operator()(AM_MEDIA_TYPE* p) const
{
    DeleteMediaType(p);
}

CUnknown* CV77PoolItem::CreateInstance(LPUNKNOWN outer, HRESULT* phr)
{
    auto* item = new (std::nothrow) CV77PoolItem(outer, nullptr, 0);
    if (!item && phr)
        *phr = E_OUTOFMEMORY;
    return item;
}

CV77PoolItem::CV77PoolItem(LPUNKNOWN outer, CV77SamplePool* pool, DWORD generation)
    : CUnknown(TEXT("V77 pool item"), outer),
      m_pPool(pool),
      m_dwGeneration(generation),
      m_bOut(false),
      m_cbBuffer(0),
      m_cbActual(0),
      m_dwFlags(0),
      m_dwTypeSpecificFlags(0),
      m_dwStreamId(AM_STREAM_MEDIA),
      m_tStart(0),
      m_tStop(0),
      m_tMediaStart(0),
      m_tMediaStop(0),
      m_bMediaTimeValid(false),
      m_bCommand(false)
{
}

CV77PoolItem::~CV77PoolItem() = default;

STDMETHODIMP CV77PoolItem::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IMediaSample || riid == IID_IMediaSample2)
        return GetInterface(static_cast<IMediaSample2*>(this), ppv);
    if (riid == IID_IV77PoolItem)
        return GetInterface(static_cast<IV77PoolItem*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP_(ULONG) CV77PoolItem::NonDelegatingRelease()
{
    const LONG ref = InterlockedDecrement(&m_cRef);
    if (ref != 0)
        return static_cast<ULONG>(ref);
    if (m_pPool) {
        EndLoan();  // the lender may reuse its memory from here on
        // The pool takes the item back (and may delete it, or itself).
        m_pPool->ReturnItem(this);
        return 0;
    }
    m_cRef = 1;  // a destructor that briefly AddRefs must not delete twice
    delete this;
    return 0;
}

// ---- IMediaSample ----

STDMETHODIMP CV77PoolItem::GetPointer(BYTE** buffer)
{
    if (!buffer)
        return E_POINTER;
    *buffer = Data();
    return S_OK;
}

STDMETHODIMP_(LONG) CV77PoolItem::GetSize()
{
    return static_cast<LONG>(Capacity());
}

STDMETHODIMP CV77PoolItem::GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end)
{
    if (!start || !end)
        return E_POINTER;
    if (!HasFlag(AM_SAMPLE_TIMEVALID))
        return VFW_E_SAMPLE_TIME_NOT_SET;
    *start = m_tStart;
    if (!HasFlag(AM_SAMPLE_STOPVALID)) {
        *end = m_tStart + 1;
        return VFW_S_NO_STOP_TIME;
    }
    *end = m_tStop;
    return S_OK;
}

STDMETHODIMP CV77PoolItem::SetTime(REFERENCE_TIME* start, REFERENCE_TIME* end)
{
    StoreTimes(start, end);
    return S_OK;
}

STDMETHODIMP CV77PoolItem::IsSyncPoint()
{
    return HasFlag(AM_SAMPLE_SPLICEPOINT) ? S_OK : S_FALSE;
}

STDMETHODIMP CV77PoolItem::SetSyncPoint(BOOL sync)
{
    SetFlag(AM_SAMPLE_SPLICEPOINT, sync != FALSE);
    return S_OK;
}

STDMETHODIMP CV77PoolItem::IsPreroll()
{
    return HasFlag(AM_SAMPLE_PREROLL) ? S_OK : S_FALSE;
}

STDMETHODIMP CV77PoolItem::SetPreroll(BOOL preroll)
{
    SetFlag(AM_SAMPLE_PREROLL, preroll != FALSE);
    return S_OK;
}

STDMETHODIMP_(LONG) CV77PoolItem::GetActualDataLength()
{
    return static_cast<LONG>(m_cbActual);
}

STDMETHODIMP CV77PoolItem::SetActualDataLength(LONG length)
{
    if (length < 0 || static_cast<DWORD>(length) > Capacity())
        return VFW_E_BUFFER_OVERFLOW;
    m_cbActual = static_cast<DWORD>(length);
    return S_OK;
}

STDMETHODIMP CV77PoolItem::GetMediaType(AM_MEDIA_TYPE** mt)
{
    if (!mt)
        return E_POINTER;
    *mt = nullptr;
    if (!m_pMediaType)
        return S_FALSE;
    *mt = CreateMediaType(m_pMediaType.get());
    return *mt ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CV77PoolItem::SetMediaType(AM_MEDIA_TYPE* mt)
{
    if (!mt) {
        ReplaceMediaType(nullptr);
        return S_OK;
    }
    AM_MEDIA_TYPE* copy = CreateMediaType(mt);
    if (!copy)
        return E_OUTOFMEMORY;
    ReplaceMediaType(copy);
    return S_OK;
}

STDMETHODIMP CV77PoolItem::IsDiscontinuity()
{
    return HasFlag(AM_SAMPLE_DATADISCONTINUITY) ? S_OK : S_FALSE;
}

STDMETHODIMP CV77PoolItem::SetDiscontinuity(BOOL discontinuity)
{
    SetFlag(AM_SAMPLE_DATADISCONTINUITY, discontinuity != FALSE);
    return S_OK;
}

STDMETHODIMP CV77PoolItem::GetMediaTime(LONGLONG* start, LONGLONG* end)
{
    if (!start || !end)
        return E_POINTER;
    if (!m_bMediaTimeValid)
        return VFW_E_MEDIA_TIME_NOT_SET;
    *start = m_tMediaStart;
    *end = m_tMediaStop;
    return S_OK;
}

STDMETHODIMP CV77PoolItem::SetMediaTime(LONGLONG* start, LONGLONG* end)
{
    if (!start && !end) {
        m_bMediaTimeValid = false;
        return S_OK;
    }
    if (!start || !end)
        return E_POINTER;
    m_tMediaStart = *start;
    m_tMediaStop = *end;
    m_bMediaTimeValid = true;
    return S_OK;
}

// ---- IMediaSample2 ----

STDMETHODIMP CV77PoolItem::GetProperties(DWORD size, BYTE* properties)
{
    if (size == 0)
        return S_OK;
    if (!properties)
        return E_POINTER;
    AM_SAMPLE2_PROPERTIES p = {};
    p.cbData = size < sizeof p ? size : static_cast<DWORD>(sizeof p);
    p.dwTypeSpecificFlags = m_dwTypeSpecificFlags;
    p.dwSampleFlags = m_dwFlags;
    p.lActual = static_cast<LONG>(m_cbActual);
    p.tStart = m_tStart;
    p.tStop = m_tStop;
    p.dwStreamId = m_dwStreamId;
    p.pMediaType = m_pMediaType.get();
    p.pbBuffer = Data();
    p.cbBuffer = static_cast<LONG>(Capacity());
    memcpy(properties, &p, p.cbData);
    return S_OK;
}

STDMETHODIMP CV77PoolItem::SetProperties(DWORD size, const BYTE* properties)
{
    if (size == 0)
        return S_OK;
    if (!properties)
        return E_POINTER;
    if (size > sizeof(AM_SAMPLE2_PROPERTIES))
        return E_INVALIDARG;
    AM_SAMPLE2_PROPERTIES p = {};
    memcpy(&p, properties, size);
    if (size >= sizeof p.cbData) {
        if (p.cbData > sizeof p)
            return E_INVALIDARG;
        if (p.cbData < size)
            size = p.cbData;  // only what the caller says is there
    }

    // Validate everything before changing anything.
    const bool hasFlags = Covers(size, V77_PROP_FIELD(dwSampleFlags));
    const DWORD flags = hasFlags ? p.dwSampleFlags : m_dwFlags;
    if (flags & ~kKnownFlags)
        return E_INVALIDARG;
    if (hasFlags && (flags & AM_SAMPLE_STOPVALID) && !(flags & AM_SAMPLE_TIMEVALID))
        return E_INVALIDARG;
    if (hasFlags && (flags & AM_SAMPLE_TIMEVALID) && !Covers(size, V77_PROP_FIELD(tStart)))
        return E_INVALIDARG;
    if (hasFlags && (flags & AM_SAMPLE_STOPVALID) && !Covers(size, V77_PROP_FIELD(tStop)))
        return E_INVALIDARG;
    if (Covers(size, V77_PROP_FIELD(lActual)) && (p.lActual < 0 || static_cast<DWORD>(p.lActual) > Capacity()))
        return E_INVALIDARG;
    // The buffer itself cannot be changed through properties.
    if (Covers(size, V77_PROP_FIELD(pbBuffer)) && p.pbBuffer && p.pbBuffer != Data())
        return E_INVALIDARG;
    if (Covers(size, V77_PROP_FIELD(cbBuffer)) && p.cbBuffer && static_cast<DWORD>(p.cbBuffer) != Capacity())
        return E_INVALIDARG;
    const bool hasType = Covers(size, V77_PROP_FIELD(pMediaType));
    const bool typeChanged = (flags & AM_SAMPLE_TYPECHANGED) != 0;
    MediaType newType;
    if (hasType && typeChanged) {
        if (!p.pMediaType)
            return E_POINTER;
        if (p.pMediaType != m_pMediaType.get()) {
            newType.reset(CreateMediaType(p.pMediaType));
            if (!newType)
                return E_OUTOFMEMORY;
        }
    } else if (hasFlags && typeChanged && !m_pMediaType) {
        return E_INVALIDARG;  // a changed type that is not given
    }

    if (Covers(size, V77_PROP_FIELD(dwTypeSpecificFlags)))
        m_dwTypeSpecificFlags = p.dwTypeSpecificFlags;
    if (hasFlags)
        m_dwFlags = (flags & ~AM_SAMPLE_TYPECHANGED) | (m_dwFlags & AM_SAMPLE_TYPECHANGED);
    if (Covers(size, V77_PROP_FIELD(lActual)))
        m_cbActual = static_cast<DWORD>(p.lActual);
    if (Covers(size, V77_PROP_FIELD(tStart)))
        m_tStart = p.tStart;
    if (Covers(size, V77_PROP_FIELD(tStop)))
        m_tStop = p.tStop;
    if (Covers(size, V77_PROP_FIELD(dwStreamId)))
        m_dwStreamId = p.dwStreamId;
    if (newType)
        ReplaceMediaType(newType.release());
    else if (hasFlags && !typeChanged)
        ReplaceMediaType(nullptr);
    return S_OK;
}

// ---- IV77PoolItem ----

STDMETHODIMP CV77PoolItem::GetData(void** data)
{
    if (data)
        *data = Data();
    return m_bCommand ? S_OK : S_FALSE;
}

STDMETHODIMP CV77PoolItem::Allocate(DWORD size)
{
    EndLoan();
    if (size <= m_cbBuffer)
        return S_OK;
    if (size > kMaxBuffer)
        return E_INVALIDARG;
    Buffer buffer(static_cast<BYTE*>(_aligned_malloc(size, kAlignment)));
    if (!buffer)
        return E_OUTOFMEMORY;
    if (m_cbActual)
        memcpy(buffer.get(), m_pBuffer.get(), m_cbActual);
    m_pBuffer = std::move(buffer);
    m_cbBuffer = size;
    return S_OK;
}

STDMETHODIMP CV77PoolItem::Free()
{
    EndLoan();
    m_pBuffer.reset();
    m_cbBuffer = 0;
    m_cbActual = 0;
    return S_OK;
}

STDMETHODIMP CV77PoolItem::Reset()
{
    EndLoan();
    m_cbActual = 0;
    m_dwFlags = 0;
    m_dwTypeSpecificFlags = 0;
    m_dwStreamId = AM_STREAM_MEDIA;
    m_bMediaTimeValid = false;
    m_bCommand = false;
    m_pMediaType.reset();
    return S_OK;
}

STDMETHODIMP CV77PoolItem::Write(const void* data, DWORD length)
{
    if (!data && length)
        return E_POINTER;
    EndLoan();
    if (length > m_cbBuffer) {
        m_cbActual = 0;  // the old contents are being replaced anyway
        HRESULT hr = Allocate(length);
        if (FAILED(hr))
            return hr;
    }
    if (length)
        memmove(m_pBuffer.get(), data, length);
    m_cbActual = length;
    m_bCommand = true;
    return S_OK;
}

STDMETHODIMP_(DWORD) CV77PoolItem::GetBufferSize()
{
    return Capacity();
}

STDMETHODIMP CV77PoolItem::SetDataLength(DWORD length)
{
    if (length > Capacity())
        return E_INVALIDARG;
    m_cbActual = length;
    return S_OK;
}

STDMETHODIMP CV77PoolItem::SetTimes(const REFERENCE_TIME* start, const REFERENCE_TIME* stop)
{
    StoreTimes(start, stop);
    return S_OK;
}

STDMETHODIMP CV77PoolItem::GetPool(IV77SamplePool** pool)
{
    if (!pool)
        return E_POINTER;
    *pool = nullptr;
    if (!m_pPool)
        return S_FALSE;
    *pool = m_pPool;
    m_pPool->AddRef();
    return S_OK;
}

STDMETHODIMP_(DWORD) CV77PoolItem::GetDataLength()
{
    return m_cbActual;
}

STDMETHODIMP CV77PoolItem::GetTimes(REFERENCE_TIME* start, REFERENCE_TIME* stop)
{
    return GetTime(start, stop);
}

STDMETHODIMP CV77PoolItem::CopyFrom(IMediaSample* source)
{
    if (!source)
        return E_POINTER;
    if (IsSelf(source))
        return S_OK;
    Snapshot snapshot;
    HRESULT hr = ReadSource(source, &snapshot);
    if (FAILED(hr))
        return hr;
    Apply(&snapshot);
    return S_OK;
}

STDMETHODIMP CV77PoolItem::CopyTo(IMediaSample* target)
{
    if (!target)
        return E_POINTER;
    if (IsSelf(target))
        return S_OK;
    // Another pool item takes everything, the command mark included.
    CQueried<IV77PoolItem> item(target, IID_IV77PoolItem);
    if (item)
        return item->CopyFrom(static_cast<IMediaSample2*>(this));
    return WriteTarget(target);
}

STDMETHODIMP CV77PoolItem::Lend(BYTE* data, DWORD size)
{
    if (!data) {
        EndLoan();
        return S_OK;
    }
    if (size > kMaxBuffer)
        return E_INVALIDARG;
    m_pLent = data;
    m_cbLent = size;
    m_cbActual = size;
    m_bCommand = false;
    return S_OK;
}

// ---- helpers ----

void CV77PoolItem::EndLoan()
{
    if (!m_pLent)
        return;
    m_pLent = nullptr;
    m_cbLent = 0;
    m_cbActual = 0;  // those bytes were never the item's
}

HRESULT CV77PoolItem::ReadSource(IMediaSample* source, Snapshot* s)
{
    const LONG length = source->GetActualDataLength();
    if (length < 0)
        return E_INVALIDARG;
    if (static_cast<DWORD>(length) > m_cbBuffer)
        return VFW_E_BUFFER_OVERFLOW;
    s->length = static_cast<DWORD>(length);
    if (length > 0) {
        HRESULT hr = source->GetPointer(&s->data);
        if (FAILED(hr))
            return hr;
        if (!s->data)
            return E_INVALIDARG;
    }
    AM_MEDIA_TYPE* type = nullptr;
    HRESULT hr = source->GetMediaType(&type);
    if (FAILED(hr))
        return hr;
    s->type.reset(type);
    if (hr != S_OK)
        s->type.reset();

    REFERENCE_TIME start = 0, stop = 0;
    hr = source->GetTime(&start, &stop);
    if (SUCCEEDED(hr)) {
        s->flags |= AM_SAMPLE_TIMEVALID;
        s->start = start;
        if (hr != VFW_S_NO_STOP_TIME) {
            s->flags |= AM_SAMPLE_STOPVALID;
            s->stop = stop;
        }
    }
    s->mediaTimeValid = source->GetMediaTime(&s->mediaStart, &s->mediaStop) == S_OK;
    if (source->IsSyncPoint() == S_OK)
        s->flags |= AM_SAMPLE_SPLICEPOINT;
    if (source->IsPreroll() == S_OK)
        s->flags |= AM_SAMPLE_PREROLL;
    if (source->IsDiscontinuity() == S_OK)
        s->flags |= AM_SAMPLE_DATADISCONTINUITY;

    CQueried<IMediaSample2> sample2(source, IID_IMediaSample2);
    AM_SAMPLE2_PROPERTIES props = {};
    if (sample2 && SUCCEEDED(sample2->GetProperties(sizeof props, reinterpret_cast<BYTE*>(&props)))) {
        s->typeSpecificFlags = props.dwTypeSpecificFlags;
        s->streamId = props.dwStreamId;
        s->flags |= props.dwSampleFlags & (AM_SAMPLE_TIMEDISCONTINUITY | AM_SAMPLE_ENDOFSTREAM);
    }
    CQueried<IV77PoolItem> item(source, IID_IV77PoolItem);
    s->command = item && item->GetData(nullptr) == S_OK;
    return S_OK;
}

void CV77PoolItem::Apply(Snapshot* s)
{
    // A copy lands in the item's own memory, never in lent memory.
    EndLoan();
    if (s->length)
        memmove(m_pBuffer.get(), s->data, s->length);
    m_cbActual = s->length;
    m_dwFlags = s->flags;
    m_tStart = s->start;
    m_tStop = s->stop;
    m_tMediaStart = s->mediaStart;
    m_tMediaStop = s->mediaStop;
    m_bMediaTimeValid = s->mediaTimeValid;
    m_dwTypeSpecificFlags = s->typeSpecificFlags;
    m_dwStreamId = s->streamId;
    m_bCommand = s->command;
    ReplaceMediaType(s->type.release());
}

HRESULT CV77PoolItem::WriteTarget(IMediaSample* target)
{
    const LONG capacity = target->GetSize();
    if (capacity < 0 || m_cbActual > static_cast<DWORD>(capacity))
        return VFW_E_BUFFER_OVERFLOW;
    BYTE* data = nullptr;
    if (m_cbActual) {
        HRESULT hr = target->GetPointer(&data);
        if (FAILED(hr))
            return hr;
        if (!data)
            return E_INVALIDARG;
        memmove(data, Data(), m_cbActual);
    }
    HRESULT hr = target->SetActualDataLength(static_cast<LONG>(m_cbActual));
    REFERENCE_TIME start = m_tStart, stop = m_tStop;
    HRESULT step = target->SetTime(HasFlag(AM_SAMPLE_TIMEVALID) ? &start : nullptr,
                                   HasFlag(AM_SAMPLE_STOPVALID) ? &stop : nullptr);
    if (SUCCEEDED(hr))
        hr = step;
    LONGLONG mediaStart = m_tMediaStart, mediaStop = m_tMediaStop;
    step = target->SetMediaTime(m_bMediaTimeValid ? &mediaStart : nullptr, m_bMediaTimeValid ? &mediaStop : nullptr);
    if (SUCCEEDED(hr))
        hr = step;
    target->SetSyncPoint(HasFlag(AM_SAMPLE_SPLICEPOINT));
    target->SetPreroll(HasFlag(AM_SAMPLE_PREROLL));
    target->SetDiscontinuity(HasFlag(AM_SAMPLE_DATADISCONTINUITY));
    if (m_pMediaType) {
        step = target->SetMediaType(m_pMediaType.get());
        if (SUCCEEDED(hr))
            hr = step;
    }
    CQueried<IMediaSample2> sample2(target, IID_IMediaSample2);
    if (sample2) {
        // Only the type-specific flags: cbData covers the first two fields.
        AM_SAMPLE2_PROPERTIES props = {};
        props.cbData = offsetof(AM_SAMPLE2_PROPERTIES, dwSampleFlags);
        props.dwTypeSpecificFlags = m_dwTypeSpecificFlags;
        sample2->SetProperties(props.cbData, reinterpret_cast<const BYTE*>(&props));
    }
    return FAILED(hr) ? hr : S_OK;
}

void CV77PoolItem::StoreTimes(const REFERENCE_TIME* start, const REFERENCE_TIME* stop)
{
    SetFlag(AM_SAMPLE_TIMEVALID, start != nullptr);
    SetFlag(AM_SAMPLE_STOPVALID, start != nullptr && stop != nullptr);
    m_tStart = start ? *start : 0;
    m_tStop = (start && stop) ? *stop : 0;
}

void CV77PoolItem::ReplaceMediaType(AM_MEDIA_TYPE* adopted)
{
    m_pMediaType.reset(adopted);
    SetFlag(AM_SAMPLE_TYPECHANGED, adopted != nullptr);
}

bool CV77PoolItem::IsSelf(IMediaSample* sample)
{
    return sample == static_cast<IMediaSample2*>(this);
}
