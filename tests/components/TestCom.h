// Small COM helpers shared by the component tests.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <vfwmsgs.h>

#include <gtest/gtest.h>

#include <amvideo.h>
#include <uuids.h>

#include <chrono>
#include <cstring>
#include <wrl/client.h>

#include "v77/IV77SamplePool.h"
#include "v77/V77Types.h"

// WRL's ComPtr with the shorthands these suites use: Out() for creation
// calls, an adopting constructor, and As<U>(iid) giving a null pointer when the
// interface is missing.
template <typename T>
class CRef : public Microsoft::WRL::ComPtr<T> {
public:
    CRef() = default;
    explicit CRef(T* adopted) { *this->ReleaseAndGetAddressOf() = adopted; }  // mingw's Attach adds a reference

    T** Out() { return this->ReleaseAndGetAddressOf(); }
    void** OutVoid() { return reinterpret_cast<void**>(Out()); }
    template <typename U>
    CRef<U> As(REFIID iid) const
    {
        CRef<U> result;
        if (this->Get())
            this->Get()->QueryInterface(iid, result.OutVoid());
        return result;
    }
};

// COM for the calling test (multithreaded apartment: the components are "Both").
class ComTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))); }
    void TearDown() override { CoUninitialize(); }

    static CRef<IV77SamplePool> NewPool()
    {
        CRef<IV77SamplePool> pool;
        EXPECT_EQ(S_OK, CoCreateInstance(CLSID_V77SamplePool, nullptr, CLSCTX_INPROC_SERVER, IID_IV77SamplePool,
                                         pool.OutVoid()));
        return pool;
    }
    static CRef<IV77SamplePool> NewPool(DWORD size, DWORD count)
    {
        CRef<IV77SamplePool> pool = NewPool();
        if (pool) {
            EXPECT_EQ(S_OK, pool->InitializePool(size, count));
        }
        return pool;
    }
    static CRef<IMediaSample> NewItem()
    {
        CRef<IMediaSample> item;
        EXPECT_EQ(S_OK, CoCreateInstance(CLSID_V77PoolItem, nullptr, CLSCTX_INPROC_SERVER, IID_IMediaSample,
                                         item.OutVoid()));
        return item;
    }
};

// DllCanUnloadNow of the loaded V77Components.dll (null before the first object).
inline HRESULT ComponentsCanUnloadNow()
{
    HMODULE module = GetModuleHandleA("V77Components.dll");
    if (!module)
        return E_UNEXPECTED;
    auto canUnload = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
    return canUnload ? canUnload() : E_UNEXPECTED;
}

inline double ElapsedMs(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
}

// A video media type with a format block, in task-allocator memory.
inline AM_MEDIA_TYPE* NewVideoType(LONG width, LONG height)
{
    auto* mt = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    *mt = {};
    mt->majortype = MEDIATYPE_Video;
    mt->subtype = MEDIASUBTYPE_RGB24;
    mt->formattype = FORMAT_VideoInfo;
    mt->bFixedSizeSamples = TRUE;
    mt->cbFormat = sizeof(VIDEOINFOHEADER);
    mt->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(mt->cbFormat));
    auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(mt->pbFormat);
    *vih = {};
    vih->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih->bmiHeader.biWidth = width;
    vih->bmiHeader.biHeight = height;
    vih->bmiHeader.biBitCount = 24;
    return mt;
}

inline void DeleteType(AM_MEDIA_TYPE* mt)
{
    if (!mt)
        return;
    if (mt->pbFormat)
        CoTaskMemFree(mt->pbFormat);
    if (mt->pUnk)
        mt->pUnk->Release();
    CoTaskMemFree(mt);
}

inline bool SameType(const AM_MEDIA_TYPE& a, const AM_MEDIA_TYPE& b)
{
    return a.majortype == b.majortype && a.subtype == b.subtype && a.formattype == b.formattype &&
           a.cbFormat == b.cbFormat && (a.cbFormat == 0 || memcmp(a.pbFormat, b.pbFormat, a.cbFormat) == 0);
}
