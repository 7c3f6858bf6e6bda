// One media sample's memory, times and flags, or a command record carried in
// place of frame data. The same class serves as a pool item (its last
// Release hands it back to its pool) and as a stand-alone item (deleted on
// its last Release), which may also be aggregated.
//
// Like any DirectShow sample, an item has one user at a time: it is not
// locked. The pool serialises handing out and taking back.
#pragma once

#include <windows.h>
#include <strmif.h>

#include <memory>

#include "framework/CUnknown.h"
#include "v77/IV77SamplePool.h"

class CV77SamplePool;

class CV77PoolItem : public CUnknown, public IMediaSample2, public IV77PoolItem {
public:
    // Factory creator of the stand-alone item (aggregation allowed).
    static CUnknown* CreateInstance(LPUNKNOWN outer, HRESULT* phr);

    // pool is null for a stand-alone item.
    CV77PoolItem(LPUNKNOWN outer, CV77SamplePool* pool, DWORD generation);
    ~CV77PoolItem() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) NonDelegatingRelease() override;

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

    // IV77PoolItem
    STDMETHODIMP GetData(void** data) override;
    STDMETHODIMP Allocate(DWORD size) override;
    STDMETHODIMP Free() override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Write(const void* data, DWORD length) override;
    STDMETHODIMP_(DWORD) GetBufferSize() override;
    STDMETHODIMP SetDataLength(DWORD length) override;
    STDMETHODIMP SetTimes(const REFERENCE_TIME* start, const REFERENCE_TIME* stop) override;
    STDMETHODIMP GetPool(IV77SamplePool** pool) override;
    STDMETHODIMP_(DWORD) GetDataLength() override;
    STDMETHODIMP GetTimes(REFERENCE_TIME* start, REFERENCE_TIME* stop) override;
    STDMETHODIMP CopyFrom(IMediaSample* source) override;
    STDMETHODIMP CopyTo(IMediaSample* target) override;
    STDMETHODIMP Lend(BYTE* data, DWORD size) override;

    // For the pool (called under its lock).
    IUnknown* NonDelegatingUnknown() { return reinterpret_cast<IUnknown*>(static_cast<INonDelegatingUnknown*>(this)); }
    DWORD Generation() const { return m_dwGeneration; }
    bool IsOut() const { return m_bOut; }
    void SetOut(bool out) { m_bOut = out; }

private:
    struct AlignedFree {
        void operator()(BYTE* p) const { _aligned_free(p); }
    };
    struct MediaTypeDelete {
        void operator()(AM_MEDIA_TYPE* p) const;
    };
    using Buffer = std::unique_ptr<BYTE, AlignedFree>;
    using MediaType = std::unique_ptr<AM_MEDIA_TYPE, MediaTypeDelete>;

    // What CopyFrom reads from its source before it changes anything.
    struct Snapshot;
    HRESULT ReadSource(IMediaSample* source, Snapshot* snapshot);
    void Apply(Snapshot* snapshot);
    HRESULT WriteTarget(IMediaSample* target);

    // The frame's memory: lent from outside, else the item's own buffer.
    BYTE* Data() const { return m_pLent ? m_pLent : m_pBuffer.get(); }
    DWORD Capacity() const { return m_pLent ? m_cbLent : m_cbBuffer; }
    void EndLoan();

    void SetFlag(DWORD flag, bool on) { m_dwFlags = on ? (m_dwFlags | flag) : (m_dwFlags & ~flag); }
    bool HasFlag(DWORD flag) const { return (m_dwFlags & flag) != 0; }
    void StoreTimes(const REFERENCE_TIME* start, const REFERENCE_TIME* stop);
    void ReplaceMediaType(AM_MEDIA_TYPE* adopted);
    bool IsSelf(IMediaSample* sample);

    CV77SamplePool* const m_pPool;  // not counted here: the pool counts itself while the item is out
    const DWORD m_dwGeneration;
    bool m_bOut;                    // handed out by the pool (pool lock)

    Buffer m_pBuffer;
    DWORD m_cbBuffer;
    BYTE* m_pLent = nullptr;        // memory lent by Lend (not owned), or null
    DWORD m_cbLent = 0;
    DWORD m_cbActual;
    DWORD m_dwFlags;                // AM_SAMPLE_* flags; TYPECHANGED mirrors m_pMediaType
    DWORD m_dwTypeSpecificFlags;
    DWORD m_dwStreamId;
    REFERENCE_TIME m_tStart;
    REFERENCE_TIME m_tStop;
    LONGLONG m_tMediaStart;
    LONGLONG m_tMediaStop;
    bool m_bMediaTimeValid;
    bool m_bCommand;                // carries a command record (Write)
    MediaType m_pMediaType;
};
