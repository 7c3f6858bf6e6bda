// Pin and media-type enumerators over real filters: resynchronisation when
// the pins or types change underneath, Skip/Clone/Reset; pin lookup by id.
#include <gtest/gtest.h>
#include <wrl/client.h>
#include "framework/CSource.h"
#include "tests/kit/CComInit.h"
#include "tests/kit/ComAdopt.h"
#include "tests/kit/CTestRenderer.h"
#include "tests/kit/CTestSource.h"
#include "tests/kit/CTestSourceStream.h"
#include "tests/kit/CTestTransformFilter.h"
#include "tests/kit/TestMediaTypes.h"

using Microsoft::WRL::ComPtr;

namespace {

TestSourceConfig Config()
{
    TestSourceConfig config;
    config.mediaType = MakeTestVideoType();
    return config;
}

ComPtr<IPin> Next(IEnumPins* pins, HRESULT expected = S_OK)
{
    ComPtr<IPin> pin;
    ULONG fetched = 0;
    EXPECT_EQ(expected, pins->Next(1, &pin, &fetched));
    return pin;
}

}  // namespace

TEST(EnumeratorTest, PinAndTypeEnumeratorsResynchroniseWhenPinsOrTypesChange)
{
    CComInit com;
    ComPtr<CTestSource> source = Adopt(CTestSource::Create(Config()));
    ComPtr<IEnumPins> pins;
    ASSERT_EQ(S_OK, source->EnumPins(&pins));
    EXPECT_TRUE(Next(pins.Get()));
    Next(pins.Get(), S_FALSE);

    // A second stream registers itself with the filter (which then owns it).
    HRESULT hr = S_OK;
    new CTestSourceStream(&hr, source.Get(), Config());
    ASSERT_EQ(S_OK, hr);
    EXPECT_EQ(2, source->GetPinCount());
    ULONG fetched = 7;
    ComPtr<IPin> pin;
    EXPECT_EQ(VFW_E_ENUM_OUT_OF_SYNC, pins->Next(1, &pin, &fetched));
    EXPECT_EQ(0u, fetched);
    EXPECT_EQ(VFW_E_ENUM_OUT_OF_SYNC, pins->Skip(1));

    ASSERT_EQ(S_OK, pins->Reset());
    IPin* both[2] = {};
    ASSERT_EQ(S_OK, pins->Next(2, both, &fetched));
    EXPECT_EQ(2u, fetched);
    EXPECT_NE(both[0], both[1]);
    both[0]->Release();
    both[1]->Release();
    EXPECT_EQ(E_INVALIDARG, pins->Next(2, both, nullptr));

    // The media-type enumerator does the same when the types change.
    ComPtr<IEnumMediaTypes> types;
    ASSERT_EQ(S_OK, source->Stream()->EnumMediaTypes(&types));
    AM_MEDIA_TYPE* type = nullptr;
    ASSERT_EQ(S_OK, types->Next(1, &type, &fetched));
    EXPECT_TRUE(CMediaType(*type) == MakeTestVideoType());
    DeleteMediaType(type);
    EXPECT_EQ(S_FALSE, types->Next(1, &type, &fetched));
    EXPECT_EQ(0u, fetched);

    source->Stream()->IncrementTypeVersion();
    EXPECT_EQ(VFW_E_ENUM_OUT_OF_SYNC, types->Next(1, &type, &fetched));
    ASSERT_EQ(S_OK, types->Reset());
    ASSERT_EQ(S_OK, types->Next(1, &type, &fetched));
    DeleteMediaType(type);
}

TEST(EnumeratorTest, PinsAreFoundByIdAndByNameAndEnumeratorsSkipAndClone)
{
    CComInit com;
    ComPtr<CTestSource> source = Adopt(CTestSource::Create(Config()));
    ComPtr<IPin> pin;
    ASSERT_EQ(S_OK, source->FindPin(L"1", &pin));
    LPWSTR id = nullptr;
    ASSERT_EQ(S_OK, pin->QueryId(&id));
    EXPECT_STREQ(L"1", id);
    CoTaskMemFree(id);
    ComPtr<IPin> byName;
    ASSERT_EQ(S_OK, source->FindPin(L"Out", &byName));
    EXPECT_EQ(pin.Get(), byName.Get());
    EXPECT_EQ(VFW_E_NOT_FOUND, source->FindPin(L"2", &byName));
    EXPECT_EQ(0, source->FindPinNumber(pin.Get()));

    ComPtr<CTestRenderer> renderer = Adopt(CTestRenderer::Create());
    ASSERT_EQ(S_OK, renderer->FindPin(L"In", &pin));
    ASSERT_EQ(S_OK, pin->QueryId(&id));
    EXPECT_STREQ(L"In", id);
    CoTaskMemFree(id);
    EXPECT_EQ(VFW_E_NOT_FOUND, renderer->FindPin(L"Out", &pin));

    ComPtr<CTestTransformFilter> transform = Adopt(CTestTransformFilter::Create());
    ASSERT_EQ(S_OK, transform->FindPin(L"Out", &pin));
    ASSERT_EQ(S_OK, transform->FindPin(L"XForm In", &byName));
    PIN_INFO info = {};
    ASSERT_EQ(S_OK, byName->QueryPinInfo(&info));
    EXPECT_EQ(PINDIR_INPUT, info.dir);
    info.pFilter->Release();

    // Skip and Clone: the clone continues where the original stands.
    ComPtr<IEnumPins> pins;
    ASSERT_EQ(S_OK, transform->EnumPins(&pins));
    EXPECT_EQ(S_OK, pins->Skip(1));
    ComPtr<IEnumPins> clone;
    ASSERT_EQ(S_OK, pins->Clone(&clone));
    ComPtr<IPin> fromOriginal = Next(pins.Get());
    ComPtr<IPin> fromClone = Next(clone.Get());
    EXPECT_EQ(fromOriginal.Get(), fromClone.Get());
    EXPECT_EQ(pin.Get(), fromClone.Get()) << "the output pin";
    EXPECT_EQ(S_FALSE, pins->Skip(1));
}
