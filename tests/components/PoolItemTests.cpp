// The pool item as a stand-alone and aggregated object: IMediaSample and
// IMediaSample2 semantics, the command record, copying, aggregation rules.
#include <initguid.h>

#include "v77/V77Guids.h"

#include "CFakeMediaSample.h"
#include "TestCom.h"

namespace {

class PoolItem : public ComTest {
protected:
    void SetUp() override
    {
        ComTest::SetUp();
        m_Sample = NewItem();
        ASSERT_TRUE(m_Sample);
        m_Item = m_Sample.As<IV77PoolItem>(IID_IV77PoolItem);
        ASSERT_TRUE(m_Item);
    }
    void TearDown() override
    {
        m_Item.Reset();
        m_Sample.Reset();
        ComTest::TearDown();
    }

    CRef<IMediaSample> m_Sample;
    CRef<IV77PoolItem> m_Item;
};

TEST_F(PoolItem, MemoryAndLength)
{
    EXPECT_EQ(0, m_Sample->GetSize());
    ASSERT_EQ(S_OK, m_Item->Allocate(100));
    EXPECT_EQ(100, m_Sample->GetSize());
    EXPECT_EQ(100u, m_Item->GetBufferSize());
    BYTE* data = nullptr;
    ASSERT_EQ(S_OK, m_Sample->GetPointer(&data));
    ASSERT_NE(nullptr, data);
    memset(data, 0x5A, 100);

    // A smaller request keeps the buffer; a larger one keeps the valid bytes.
    EXPECT_EQ(S_OK, m_Item->Allocate(10));
    EXPECT_EQ(100, m_Sample->GetSize());
    EXPECT_EQ(S_OK, m_Sample->SetActualDataLength(100));
    EXPECT_EQ(S_OK, m_Item->Allocate(4096));
    ASSERT_EQ(S_OK, m_Sample->GetPointer(&data));
    EXPECT_EQ(0x5A, data[99]);
    EXPECT_EQ(100, m_Sample->GetActualDataLength());

    EXPECT_EQ(VFW_E_BUFFER_OVERFLOW, m_Sample->SetActualDataLength(4097));
    EXPECT_EQ(VFW_E_BUFFER_OVERFLOW, m_Sample->SetActualDataLength(-1));
    EXPECT_EQ(E_INVALIDARG, m_Item->SetDataLength(4097));
    EXPECT_EQ(100u, m_Item->GetDataLength());
    EXPECT_EQ(S_OK, m_Item->SetDataLength(4096));
    EXPECT_EQ(4096, m_Sample->GetActualDataLength());
    EXPECT_EQ(E_INVALIDARG, m_Item->Allocate(0x80000000u));
    EXPECT_EQ(E_POINTER, m_Sample->GetPointer(nullptr));

    EXPECT_EQ(S_OK, m_Item->Free());
    EXPECT_EQ(0, m_Sample->GetSize());
    EXPECT_EQ(0, m_Sample->GetActualDataLength());

    CRef<IV77SamplePool> pool;
    EXPECT_EQ(S_FALSE, m_Item->GetPool(pool.Out()));
    EXPECT_FALSE(pool);
}

TEST_F(PoolItem, SampleTimesMediaTimesAndFlags)
{
    REFERENCE_TIME start = -7, stop = -8;
    EXPECT_EQ(VFW_E_SAMPLE_TIME_NOT_SET, m_Sample->GetTime(&start, &stop));
    EXPECT_EQ(VFW_E_SAMPLE_TIME_NOT_SET, m_Item->GetTimes(&start, &stop));
    EXPECT_EQ(-7, start);  // outputs untouched
    EXPECT_EQ(-8, stop);

    REFERENCE_TIME s = 1000, e = 2000;
    EXPECT_EQ(S_OK, m_Sample->SetTime(&s, &e));
    EXPECT_EQ(S_OK, m_Item->GetTimes(&start, &stop));
    EXPECT_EQ(1000, start);
    EXPECT_EQ(2000, stop);

    EXPECT_EQ(S_OK, m_Sample->SetTime(&s, nullptr));
    EXPECT_EQ(VFW_S_NO_STOP_TIME, m_Sample->GetTime(&start, &stop));
    EXPECT_EQ(1000, start);
    EXPECT_EQ(1001, stop);

    const REFERENCE_TIME cs = 5, ce = 9;
    EXPECT_EQ(S_OK, m_Item->SetTimes(&cs, &ce));
    EXPECT_EQ(S_OK, m_Sample->GetTime(&start, &stop));
    EXPECT_EQ(9, stop);
    EXPECT_EQ(S_OK, m_Item->SetTimes(nullptr, nullptr));
    EXPECT_EQ(VFW_E_SAMPLE_TIME_NOT_SET, m_Sample->GetTime(&start, &stop));
    EXPECT_EQ(E_POINTER, m_Sample->GetTime(nullptr, &stop));

    LONGLONG mstart = 0, mstop = 0;
    EXPECT_EQ(VFW_E_MEDIA_TIME_NOT_SET, m_Sample->GetMediaTime(&mstart, &mstop));
    LONGLONG ms = 111, me = 222;
    EXPECT_EQ(E_POINTER, m_Sample->SetMediaTime(&ms, nullptr));
    EXPECT_EQ(S_OK, m_Sample->SetMediaTime(&ms, &me));
    EXPECT_EQ(S_OK, m_Sample->GetMediaTime(&mstart, &mstop));
    EXPECT_EQ(111, mstart);
    EXPECT_EQ(222, mstop);
    EXPECT_EQ(S_OK, m_Sample->SetMediaTime(nullptr, nullptr));
    EXPECT_EQ(VFW_E_MEDIA_TIME_NOT_SET, m_Sample->GetMediaTime(&mstart, &mstop));

    EXPECT_EQ(S_FALSE, m_Sample->IsSyncPoint());
    EXPECT_EQ(S_FALSE, m_Sample->IsPreroll());
    EXPECT_EQ(S_FALSE, m_Sample->IsDiscontinuity());
    m_Sample->SetSyncPoint(TRUE);
    m_Sample->SetPreroll(TRUE);
    m_Sample->SetDiscontinuity(TRUE);
    EXPECT_EQ(S_OK, m_Sample->IsSyncPoint());
    EXPECT_EQ(S_OK, m_Sample->IsPreroll());
    EXPECT_EQ(S_OK, m_Sample->IsDiscontinuity());
    m_Sample->SetPreroll(FALSE);
    EXPECT_EQ(S_FALSE, m_Sample->IsPreroll());
    EXPECT_EQ(S_OK, m_Sample->IsSyncPoint());

    EXPECT_EQ(S_OK, m_Item->Reset());
    EXPECT_EQ(S_FALSE, m_Sample->IsSyncPoint());
    EXPECT_EQ(S_FALSE, m_Sample->IsDiscontinuity());
}

TEST_F(PoolItem, MediaTypeIsCopiedAndReportedOnlyWhenSet)
{
    AM_MEDIA_TYPE* got = reinterpret_cast<AM_MEDIA_TYPE*>(1);
    EXPECT_EQ(S_FALSE, m_Sample->GetMediaType(&got));
    EXPECT_EQ(nullptr, got);
    EXPECT_EQ(E_POINTER, m_Sample->GetMediaType(nullptr));

    AM_MEDIA_TYPE* type = NewVideoType(320, 240);
    ASSERT_EQ(S_OK, m_Sample->SetMediaType(type));
    reinterpret_cast<VIDEOINFOHEADER*>(type->pbFormat)->bmiHeader.biWidth = 1;  // the item has its own copy
    ASSERT_EQ(S_OK, m_Sample->GetMediaType(&got));
    ASSERT_NE(nullptr, got);
    EXPECT_NE(type->pbFormat, got->pbFormat);
    EXPECT_EQ(320, reinterpret_cast<VIDEOINFOHEADER*>(got->pbFormat)->bmiHeader.biWidth);
    DeleteType(got);
    DeleteType(type);

    EXPECT_EQ(S_OK, m_Sample->SetMediaType(nullptr));
    EXPECT_EQ(S_FALSE, m_Sample->GetMediaType(&got));
}

TEST_F(PoolItem, Sample2PropertiesRoundTrip)
{
    CRef<IMediaSample2> sample2 = m_Sample.As<IMediaSample2>(IID_IMediaSample2);
    ASSERT_TRUE(sample2);
    ASSERT_EQ(S_OK, m_Item->Allocate(64));
    REFERENCE_TIME s = 10, e = 20;
    m_Sample->SetTime(&s, &e);
    m_Sample->SetSyncPoint(TRUE);
    m_Sample->SetActualDataLength(32);

    AM_SAMPLE2_PROPERTIES p;
    memset(&p, 0xCC, sizeof p);
    ASSERT_EQ(S_OK, sample2->GetProperties(sizeof p, reinterpret_cast<BYTE*>(&p)));
    EXPECT_EQ(sizeof p, p.cbData);
    EXPECT_EQ(DWORD(AM_SAMPLE_TIMEVALID | AM_SAMPLE_STOPVALID | AM_SAMPLE_SPLICEPOINT), p.dwSampleFlags);
    EXPECT_EQ(32, p.lActual);
    EXPECT_EQ(10, p.tStart);
    EXPECT_EQ(20, p.tStop);
    EXPECT_EQ(64, p.cbBuffer);
    EXPECT_EQ(nullptr, p.pMediaType);
    BYTE* data = nullptr;
    m_Sample->GetPointer(&data);
    EXPECT_EQ(data, p.pbBuffer);

    // A short request writes only what it asks for.
    BYTE partial[16];
    memset(partial, 0xEE, sizeof partial);
    ASSERT_EQ(S_OK, sample2->GetProperties(8, partial));
    EXPECT_EQ(8u, reinterpret_cast<AM_SAMPLE2_PROPERTIES*>(partial)->cbData);
    EXPECT_EQ(0xEE, partial[8]);

    // Setting flags, times, length and type-specific flags, then reading them back.
    AM_SAMPLE2_PROPERTIES set = p;
    set.dwSampleFlags = AM_SAMPLE_TIMEVALID | AM_SAMPLE_DATADISCONTINUITY;
    set.dwTypeSpecificFlags = 0x00010000;
    set.tStart = 77;
    set.lActual = 5;
    ASSERT_EQ(S_OK, sample2->SetProperties(sizeof set, reinterpret_cast<BYTE*>(&set)));
    REFERENCE_TIME start = 0, stop = 0;
    EXPECT_EQ(VFW_S_NO_STOP_TIME, m_Sample->GetTime(&start, &stop));
    EXPECT_EQ(77, start);
    EXPECT_EQ(S_FALSE, m_Sample->IsSyncPoint());
    EXPECT_EQ(S_OK, m_Sample->IsDiscontinuity());
    EXPECT_EQ(5, m_Sample->GetActualDataLength());
    ASSERT_EQ(S_OK, sample2->GetProperties(sizeof p, reinterpret_cast<BYTE*>(&p)));
    EXPECT_EQ(0x00010000u, p.dwTypeSpecificFlags);

    // A media type through the properties.
    AM_MEDIA_TYPE* type = NewVideoType(8, 8);
    set.dwSampleFlags |= AM_SAMPLE_TYPECHANGED;
    set.pMediaType = type;
    ASSERT_EQ(S_OK, sample2->SetProperties(sizeof set, reinterpret_cast<BYTE*>(&set)));
    DeleteType(type);
    AM_MEDIA_TYPE* got = nullptr;
    ASSERT_EQ(S_OK, m_Sample->GetMediaType(&got));
    EXPECT_EQ(8, reinterpret_cast<VIDEOINFOHEADER*>(got->pbFormat)->bmiHeader.biWidth);
    DeleteType(got);
}

TEST_F(PoolItem, Sample2RefusesInvalidPropertiesWithoutChangingAnything)
{
    CRef<IMediaSample2> sample2 = m_Sample.As<IMediaSample2>(IID_IMediaSample2);
    ASSERT_EQ(S_OK, m_Item->Allocate(64));
    m_Sample->SetActualDataLength(3);
    AM_SAMPLE2_PROPERTIES p;
    ASSERT_EQ(S_OK, sample2->GetProperties(sizeof p, reinterpret_cast<BYTE*>(&p)));

    AM_SAMPLE2_PROPERTIES bad = p;
    bad.lActual = 65;
    EXPECT_EQ(E_INVALIDARG, sample2->SetProperties(sizeof bad, reinterpret_cast<BYTE*>(&bad)));
    bad = p;
    bad.pbBuffer = reinterpret_cast<BYTE*>(&bad);
    EXPECT_EQ(E_INVALIDARG, sample2->SetProperties(sizeof bad, reinterpret_cast<BYTE*>(&bad)));
    bad = p;
    bad.cbBuffer = 128;
    EXPECT_EQ(E_INVALIDARG, sample2->SetProperties(sizeof bad, reinterpret_cast<BYTE*>(&bad)));
    bad = p;
    bad.dwSampleFlags = 0x80000000;
    EXPECT_EQ(E_INVALIDARG, sample2->SetProperties(sizeof bad, reinterpret_cast<BYTE*>(&bad)));
    bad = p;
    bad.dwSampleFlags = AM_SAMPLE_TYPECHANGED;
    bad.pMediaType = nullptr;
    EXPECT_EQ(E_POINTER, sample2->SetProperties(sizeof bad, reinterpret_cast<BYTE*>(&bad)));
    BYTE large[sizeof(AM_SAMPLE2_PROPERTIES) + 4] = {};
    EXPECT_EQ(E_INVALIDARG, sample2->SetProperties(sizeof large, large));
    EXPECT_EQ(E_POINTER, sample2->SetProperties(sizeof p, nullptr));
    EXPECT_EQ(E_POINTER, sample2->GetProperties(sizeof p, nullptr));

    EXPECT_EQ(3, m_Sample->GetActualDataLength());
    EXPECT_EQ(64, m_Sample->GetSize());
    AM_MEDIA_TYPE* got = nullptr;
    EXPECT_EQ(S_FALSE, m_Sample->GetMediaType(&got));
}

TEST_F(PoolItem, CommandRecordRoundTripsAndTravelsOnlyBetweenItems)
{
    EXPECT_EQ(S_FALSE, m_Item->GetData(nullptr));
    V77_COMMAND_RECORD record = {};
    record.Type = V77_COMMAND_SEGMENT_START;
    record.Start = 123456789;
    record.Stop = 0x7FFFFFFFFFFFFFFF;
    record.Rate = -2.5;
    record.Second = 42;
    record.RateValid = 1;
    // The item has no memory yet: Write provides it.
    ASSERT_EQ(S_OK, m_Item->Write(&record, sizeof record));
    void* data = nullptr;
    ASSERT_EQ(S_OK, m_Item->GetData(&data));
    EXPECT_EQ(S_OK, m_Item->GetData(nullptr));
    ASSERT_NE(nullptr, data);
    EXPECT_EQ(0, memcmp(&record, data, sizeof record));
    EXPECT_EQ(48u, m_Item->GetDataLength());
    EXPECT_EQ(48, m_Sample->GetActualDataLength());

    // A copy to another item carries the mark; a frame copied over it clears it.
    CRef<IMediaSample> other = NewItem();
    CRef<IV77PoolItem> otherItem = other.As<IV77PoolItem>(IID_IV77PoolItem);
    ASSERT_TRUE(otherItem && SUCCEEDED(otherItem->Allocate(64)));
    ASSERT_EQ(S_OK, m_Item->CopyTo(other.Get()));
    void* copied = nullptr;
    EXPECT_EQ(S_OK, otherItem->GetData(&copied));
    EXPECT_EQ(0, memcmp(&record, copied, sizeof record));
    CFakeMediaSample frame(64);
    frame.Fill(1, 10);
    ASSERT_EQ(S_OK, otherItem->CopyFrom(&frame));
    EXPECT_EQ(S_FALSE, otherItem->GetData(nullptr));

    EXPECT_EQ(S_OK, m_Item->Reset());
    EXPECT_EQ(S_FALSE, m_Item->GetData(&data));
    EXPECT_EQ(0u, m_Item->GetDataLength());
    EXPECT_EQ(E_POINTER, m_Item->Write(nullptr, sizeof record));
    EXPECT_EQ(S_FALSE, m_Item->GetData(nullptr));
}

TEST_F(PoolItem, CopyFromPlainSampleTakesDataAndProperties)
{
    ASSERT_EQ(S_OK, m_Item->Allocate(256));
    CFakeMediaSample source(512);
    source.Fill(3, 200);
    REFERENCE_TIME s = 400, e = 800;
    source.SetTime(&s, &e);
    LONGLONG ms = 1, me = 2;
    source.SetMediaTime(&ms, &me);
    source.SetSyncPoint(TRUE);
    source.SetDiscontinuity(TRUE);
    AM_MEDIA_TYPE* type = NewVideoType(16, 16);
    source.SetMediaType(type);

    ASSERT_EQ(S_OK, m_Item->CopyFrom(&source));
    EXPECT_EQ(200u, m_Item->GetDataLength());
    BYTE* data = nullptr;
    m_Sample->GetPointer(&data);
    EXPECT_EQ(0, memcmp(source.m_Buffer.data(), data, 200));
    REFERENCE_TIME start = 0, stop = 0;
    EXPECT_EQ(S_OK, m_Sample->GetTime(&start, &stop));
    EXPECT_EQ(400, start);
    EXPECT_EQ(800, stop);
    LONGLONG mstart = 0, mstop = 0;
    EXPECT_EQ(S_OK, m_Sample->GetMediaTime(&mstart, &mstop));
    EXPECT_EQ(2, mstop);
    EXPECT_EQ(S_OK, m_Sample->IsSyncPoint());
    EXPECT_EQ(S_OK, m_Sample->IsDiscontinuity());
    EXPECT_EQ(S_FALSE, m_Sample->IsPreroll());
    AM_MEDIA_TYPE* got = nullptr;
    ASSERT_EQ(S_OK, m_Sample->GetMediaType(&got));
    EXPECT_TRUE(SameType(*type, *got));
    DeleteType(got);
    DeleteType(type);
    EXPECT_EQ(S_FALSE, m_Item->GetData(nullptr));

    // A source that does not fit is refused and changes nothing.
    source.Fill(9, 257);
    source.SetTime(nullptr, nullptr);
    EXPECT_EQ(VFW_E_BUFFER_OVERFLOW, m_Item->CopyFrom(&source));
    EXPECT_EQ(200u, m_Item->GetDataLength());
    EXPECT_EQ(S_OK, m_Sample->GetTime(&start, &stop));
    EXPECT_EQ(E_POINTER, m_Item->CopyFrom(nullptr));
    EXPECT_EQ(S_OK, m_Item->CopyFrom(m_Sample.Get()));  // itself: nothing to do
    EXPECT_EQ(200u, m_Item->GetDataLength());
    EXPECT_EQ(1u, source.m_cRef);  // no reference kept
}

TEST_F(PoolItem, CopyToPlainSampleGivesDataAndProperties)
{
    ASSERT_EQ(S_OK, m_Item->Allocate(100));
    BYTE* data = nullptr;
    m_Sample->GetPointer(&data);
    for (int i = 0; i < 100; ++i)
        data[i] = static_cast<BYTE>(i);
    m_Item->SetDataLength(100);
    REFERENCE_TIME s = 50;
    m_Sample->SetTime(&s, nullptr);
    m_Sample->SetPreroll(TRUE);
    AM_MEDIA_TYPE* type = NewVideoType(4, 4);
    m_Sample->SetMediaType(type);

    CFakeMediaSample small(99);
    EXPECT_EQ(VFW_E_BUFFER_OVERFLOW, m_Item->CopyTo(&small));
    EXPECT_EQ(0, small.m_lActual);

    CFakeMediaSample target(100);
    LONGLONG ms = 5, me = 6;
    target.SetMediaTime(&ms, &me);  // stale: the item has none
    ASSERT_EQ(S_OK, m_Item->CopyTo(&target));
    EXPECT_EQ(100, target.m_lActual);
    EXPECT_EQ(0, memcmp(data, target.m_Buffer.data(), 100));
    EXPECT_TRUE(target.m_bTime);
    EXPECT_FALSE(target.m_bStop);
    EXPECT_EQ(50, target.m_Start);
    EXPECT_FALSE(target.m_bMediaTime);
    EXPECT_TRUE(target.m_bPreroll);
    EXPECT_FALSE(target.m_bSync);
    ASSERT_TRUE(target.m_bType);
    EXPECT_TRUE(SameType(*type, target.m_Type));
    DeleteType(type);
    EXPECT_EQ(E_POINTER, m_Item->CopyTo(nullptr));
}

// Lent memory is the sample's data, uncopied, until Reset; a copy into the
// item lands in its own buffer and leaves the lender's memory untouched.
TEST_F(PoolItem, LentMemoryIsTheDataUntilResetAndCopiesNeverWriteIntoIt)
{
    ASSERT_EQ(S_OK, m_Item->Allocate(16));
    BYTE* own = nullptr;
    ASSERT_EQ(S_OK, m_Sample->GetPointer(&own));
    BYTE lent[64];
    memset(lent, 0x11, sizeof lent);
    ASSERT_EQ(S_OK, m_Item->Lend(lent, sizeof lent));
    BYTE* data = nullptr;
    ASSERT_EQ(S_OK, m_Sample->GetPointer(&data));
    EXPECT_EQ(lent, data);
    EXPECT_EQ(64, m_Sample->GetSize());
    EXPECT_EQ(64, m_Sample->GetActualDataLength());
    EXPECT_EQ(S_OK, m_Sample->SetActualDataLength(40));
    CRef<IMediaSample> other = NewItem();
    CRef<IV77PoolItem> otherItem = other.As<IV77PoolItem>(IID_IV77PoolItem);
    ASSERT_TRUE(otherItem && SUCCEEDED(otherItem->Allocate(64)));
    ASSERT_EQ(S_OK, m_Item->CopyTo(other.Get()));
    ASSERT_EQ(S_OK, other->GetPointer(&data));
    EXPECT_EQ(40, other->GetActualDataLength());
    EXPECT_EQ(0x11, data[39]);

    CFakeMediaSample frame(8);
    frame.Fill(2, 8);
    ASSERT_EQ(S_OK, m_Item->CopyFrom(&frame));
    ASSERT_EQ(S_OK, m_Sample->GetPointer(&data));
    EXPECT_EQ(own, data) << "the copy went into the lent memory";
    EXPECT_EQ(0x11, lent[0]);
    ASSERT_EQ(S_OK, m_Item->Lend(lent, sizeof lent));
    ASSERT_EQ(S_OK, m_Item->Reset());
    ASSERT_EQ(S_OK, m_Sample->GetPointer(&data));
    EXPECT_EQ(own, data);
    EXPECT_EQ(16, m_Sample->GetSize());
    EXPECT_EQ(0, m_Sample->GetActualDataLength());
}

// An outer object that aggregates a pool item, as the archive local sample does.
class COuter : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (riid == IID_IUnknown) {
            *ppv = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        return m_pInner ? m_pInner->QueryInterface(riid, ppv) : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_cRef; }
    STDMETHODIMP_(ULONG) Release() override { return --m_cRef; }

    IUnknown* m_pInner = nullptr;
    ULONG m_cRef = 1;
};

class Aggregation : public ComTest {};

TEST_F(Aggregation, OuterMustAskForIUnknownAndInnerInterfacesDelegateToIt)
{
    COuter outer;
    CRef<IMediaSample> refused;
    EXPECT_EQ(CLASS_E_NOAGGREGATION, CoCreateInstance(CLSID_V77PoolItem, &outer, CLSCTX_INPROC_SERVER,
                                                      IID_IMediaSample, refused.OutVoid()));
    EXPECT_FALSE(refused);
    EXPECT_EQ(1u, outer.m_cRef);

    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_V77PoolItem, &outer, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                     reinterpret_cast<void**>(&outer.m_pInner)));
    ASSERT_NE(nullptr, outer.m_pInner);
    EXPECT_EQ(1u, outer.m_cRef);  // the inner object does not count its outer

    // The outer hands out the inner's interfaces; their counting goes to the outer.
    IMediaSample* sample = nullptr;
    ASSERT_EQ(S_OK, outer.QueryInterface(IID_IMediaSample, reinterpret_cast<void**>(&sample)));
    EXPECT_EQ(2u, outer.m_cRef);
    IUnknown* identity = nullptr;
    ASSERT_EQ(S_OK, sample->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)));
    EXPECT_EQ(static_cast<IUnknown*>(&outer), identity);
    identity->Release();
    IV77PoolItem* item = nullptr;
    ASSERT_EQ(S_OK, sample->QueryInterface(IID_IV77PoolItem, reinterpret_cast<void**>(&item)));
    EXPECT_EQ(3u, outer.m_cRef);
    EXPECT_EQ(S_OK, item->Allocate(16));
    EXPECT_EQ(16, sample->GetSize());
    item->Release();
    sample->Release();
    EXPECT_EQ(1u, outer.m_cRef);

    // The inner's own IUnknown answers for itself.
    IUnknown* inner = nullptr;
    ASSERT_EQ(S_OK, outer.m_pInner->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&inner)));
    EXPECT_EQ(outer.m_pInner, inner);
    inner->Release();
    EXPECT_EQ(S_FALSE, ComponentsCanUnloadNow());
    EXPECT_EQ(0u, outer.m_pInner->Release());
    outer.m_pInner = nullptr;
    EXPECT_EQ(S_OK, ComponentsCanUnloadNow());
}

}  // namespace
