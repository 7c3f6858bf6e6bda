// Interfaces of the outside sample pool component and its items.
#pragma once

#include <windows.h>
#include <strmif.h>
#include "V77Guids.h"

// A pool of pre-allocated media samples. Items go back to the pool on their
// last Release; GetItem blocks until one is free or the pool shuts down.
struct IV77SamplePool : public IUnknown {
    // 3: (re)allocates count items of size bytes; items in use are replaced when returned.
    virtual HRESULT STDMETHODCALLTYPE AllocateBuffers(DWORD size, DWORD count) = 0;
    // 4: a free item at once, or S_FALSE with *item null when none is free.
    virtual HRESULT STDMETHODCALLTYPE TryGetItem(IUnknown** item) = 0;
    // 5: frees every item's memory; fails with VFW_E_BUFFERS_OUTSTANDING while items are out.
    virtual HRESULT STDMETHODCALLTYPE FreeBuffers() = 0;
    // 6: the value of pool entry index (its size in bytes), 0 when there is none.
    virtual HRESULT STDMETHODCALLTYPE GetEntry(DWORD index, DWORD* value) = 0;
    // 7: waits up to timeoutMs for a free item; VFW_E_TIMEOUT, or VFW_E_NOT_COMMITTED after Shutdown.
    virtual HRESULT STDMETHODCALLTYPE GetItem(IUnknown** item, DWORD timeoutMs) = 0;
    // 8: closes the pool and wakes every waiter (they fail); waits up to timeoutMs for them to leave.
    // Items still out are not waited for: they return to the closed pool when released.
    virtual HRESULT STDMETHODCALLTYPE Shutdown(DWORD timeoutMs) = 0;
    // 9: makes count fresh items of size bytes and opens the pool.
    virtual HRESULT STDMETHODCALLTYPE InitializePool(DWORD size, DWORD count) = 0;
    // 10: S_OK while the pool hands out items, S_FALSE after Shutdown or before initialisation.
    virtual HRESULT STDMETHODCALLTYPE IsOpen() = 0;
    // 11..13: counts as the result.
    virtual DWORD STDMETHODCALLTYPE GetFreeCount() = 0;
    virtual DWORD STDMETHODCALLTYPE GetItemCount() = 0;
    virtual DWORD STDMETHODCALLTYPE GetItemSize() = 0;
    // 14: called back each time an item returns to the pool (null clears it).
    virtual HRESULT STDMETHODCALLTYPE SetNotify(IMemAllocatorNotifyCallbackTemp* notify) = 0;
};

// A pool item: the memory, times and flags of one media sample, or a command
// record in place of frame data. The same object answers IMediaSample(2).
struct IV77PoolItem : public IUnknown {
    // 3: *data = the frame bytes or the command record; S_OK only for a command record.
    //    A null data pointer only tests.
    virtual HRESULT STDMETHODCALLTYPE GetData(void** data) = 0;
    // 4: gives the item a buffer of size bytes (keeps a larger one).
    virtual HRESULT STDMETHODCALLTYPE Allocate(DWORD size) = 0;
    // 5: releases the item's buffer.
    virtual HRESULT STDMETHODCALLTYPE Free() = 0;
    // 6: clears times, flags, media type, length and the command mark.
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    // 7: makes the item carry a command record: copies length bytes as its data.
    virtual HRESULT STDMETHODCALLTYPE Write(const void* data, DWORD length) = 0;
    // 8: the buffer capacity in bytes.
    virtual DWORD STDMETHODCALLTYPE GetBufferSize() = 0;
    // 9: sets the valid data length (E_INVALIDARG beyond the capacity).
    virtual HRESULT STDMETHODCALLTYPE SetDataLength(DWORD length) = 0;
    // 10: sets (or with nulls clears) the sample times.
    virtual HRESULT STDMETHODCALLTYPE SetTimes(const REFERENCE_TIME* start, const REFERENCE_TIME* stop) = 0;
    // 11: the pool the item belongs to; S_FALSE with null for a stand-alone item.
    virtual HRESULT STDMETHODCALLTYPE GetPool(IV77SamplePool** pool) = 0;
    // 12: the valid data length as the result.
    virtual DWORD STDMETHODCALLTYPE GetDataLength() = 0;
    // 13: the sample times; VFW_E_SAMPLE_TIME_NOT_SET when none are set (outputs untouched).
    virtual HRESULT STDMETHODCALLTYPE GetTimes(REFERENCE_TIME* start, REFERENCE_TIME* stop) = 0;
    // 14, 15: data and properties (times, media times, flags, media type).
    virtual HRESULT STDMETHODCALLTYPE CopyFrom(IMediaSample* source) = 0;
    virtual HRESULT STDMETHODCALLTYPE CopyTo(IMediaSample* target) = 0;
    // 16: makes size bytes of memory owned elsewhere the item's data, without a
    //     copy, until Reset, Allocate, Free or Write (the item's own buffer is
    //     kept for then); the lender keeps that memory valid and unchanged until
    //     the item comes back. A null data pointer ends the loan.
    virtual HRESULT STDMETHODCALLTYPE Lend(BYTE* data, DWORD size) = 0;
};

#ifdef __CRT_UUID_DECL
__CRT_UUID_DECL(IV77SamplePool, 0x61B5E67A, 0x77FD, 0x48F6, 0xB0, 0xDD, 0xA7, 0x97, 0xB8, 0xB4, 0xAA, 0x94)
__CRT_UUID_DECL(IV77PoolItem, 0xFDA0D70C, 0x59D1, 0x42A8, 0x8F, 0x3A, 0xAB, 0x44, 0x97, 0xD4, 0x97, 0xE2)
#endif
