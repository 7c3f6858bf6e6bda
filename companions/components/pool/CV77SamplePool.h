// A fixed set of media samples (CV77PoolItem) with a free list.
//
// Lifetime: the pool owns every item. An item handed out holds a reference
// on the pool, so the pool outlives every item in use even after its last
// client reference is gone; when such an item comes back, the pool drops
// that reference and may then delete itself together with all its items.
// Items of an earlier AllocateBuffers/InitializePool that come back are
// deleted instead of being queued.
#pragma once

#include <windows.h>
#include <strmif.h>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "companions/components/pool/CV77PoolItem.h"
#include "framework/CUnknown.h"
#include "v77/IV77SamplePool.h"

class CV77SamplePool : public CUnknown, public IV77SamplePool {
public:
    // More items than this are refused with E_INVALIDARG.
    static constexpr DWORD kMaxItems = 0x10000;

    // Factory creator; the pool cannot be aggregated.
    static CUnknown* CreateInstance(LPUNKNOWN outer, HRESULT* phr);

    CV77SamplePool();
    ~CV77SamplePool() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IV77SamplePool
    STDMETHODIMP AllocateBuffers(DWORD size, DWORD count) override;
    STDMETHODIMP TryGetItem(IUnknown** item) override;
    STDMETHODIMP FreeBuffers() override;
    STDMETHODIMP GetEntry(DWORD index, DWORD* value) override;
    STDMETHODIMP GetItem(IUnknown** item, DWORD timeoutMs) override;
    STDMETHODIMP Shutdown(DWORD timeoutMs) override;
    STDMETHODIMP InitializePool(DWORD size, DWORD count) override;
    STDMETHODIMP IsOpen() override;
    STDMETHODIMP_(DWORD) GetFreeCount() override;
    STDMETHODIMP_(DWORD) GetItemCount() override;
    STDMETHODIMP_(DWORD) GetItemSize() override;
    STDMETHODIMP SetNotify(IMemAllocatorNotifyCallbackTemp* notify) override;

    // Called by an item whose last reference went away.
    void ReturnItem(CV77PoolItem* item);

private:
    using Lock = std::unique_lock<std::mutex>;
    using ItemList = std::vector<std::unique_ptr<CV77PoolItem>>;

    HRESULT Populate(DWORD size, DWORD count);
    void RetireItems();
    // Hands out the longest-free item; the lock is held and the list not empty.
    IUnknown* TakeFreeItem();
    bool DeleteRetired(CV77PoolItem* item);
    IMemAllocatorNotifyCallbackTemp* NotifyReference();

    std::mutex m_Mutex;
    std::condition_variable m_Changed;  // an item came back, or the pool opened or shut down
    ItemList m_Items;                   // the current set, free or out
    ItemList m_Retired;                 // earlier sets' items still out
    std::deque<CV77PoolItem*> m_Free;   // oldest returned first, so every item takes its turn
    DWORD m_dwGeneration;
    DWORD m_dwItemSize;
    DWORD m_cOutstanding;               // items of any set that are out
    DWORD m_cWaiting;                   // callers blocked in GetItem
    bool m_bOpen;
    IMemAllocatorNotifyCallbackTemp* m_pNotify;  // referenced
};
