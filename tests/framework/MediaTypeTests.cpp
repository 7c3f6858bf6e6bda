// CMediaType value semantics and the raw AM_MEDIA_TYPE helpers: deep copies
// of the format block, the pUnk reference, comparisons, partial matches.
#include <gtest/gtest.h>
#include "framework/Streams.h"
#include "tests/kit/TestMediaTypes.h"

namespace {

// An IUnknown that counts its references.
class CountedUnknown : public IUnknown {
public:
    LONG refs = 1;
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (riid != IID_IUnknown)
            return E_NOINTERFACE;
        *ppv = this;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
};

}  // namespace

TEST(CMediaTypeTest, CopiesOwnTheirFormatBlockAndEveryGuidCounts)
{
    CMediaType original = MakeTestVideoType(8, 6);
    CMediaType copy(original);
    ASSERT_NE(nullptr, copy.Format());
    EXPECT_NE(original.Format(), copy.Format());
    EXPECT_EQ(original.FormatLength(), copy.FormatLength());
    EXPECT_EQ(0, memcmp(original.Format(), copy.Format(), copy.FormatLength()));
    EXPECT_TRUE(copy == original);

    // A change in the copy's format makes them different; the original keeps its bytes.
    reinterpret_cast<VIDEOINFOHEADER*>(copy.Format())->bmiHeader.biWidth = 99;
    EXPECT_TRUE(copy != original);
    EXPECT_EQ(8, reinterpret_cast<VIDEOINFOHEADER*>(original.Format())->bmiHeader.biWidth);

    CMediaType assigned;
    assigned = original;
    assigned = assigned;
    EXPECT_TRUE(assigned == original);
    EXPECT_NE(original.Format(), assigned.Format());

    // Types differing in any GUID are different.
    const CMediaType& video = original;
    CMediaType other = video;
    other.SetSubtype(&MEDIASUBTYPE_RGB24);
    EXPECT_FALSE(other == video);
    other = video;
    other.SetFormatType(&FORMAT_VideoInfo2);
    EXPECT_FALSE(other == video);
    EXPECT_FALSE(MakeTestAudioType() == video);
}

TEST(CMediaTypeTest, RawHelpersCopyAndFreeFormatAndUnknown)
{
    CountedUnknown unknown;
    CMediaType source = MakeTestAudioType();
    source.pUnk = &unknown;
    unknown.AddRef();

    AM_MEDIA_TYPE* created = CreateMediaType(&source);
    ASSERT_NE(nullptr, created);
    EXPECT_EQ(3, unknown.refs);
    EXPECT_NE(source.pbFormat, created->pbFormat);
    EXPECT_EQ(source.cbFormat, created->cbFormat);

    AM_MEDIA_TYPE copied = {};
    ASSERT_EQ(S_OK, CopyMediaType(&copied, created));
    EXPECT_EQ(4, unknown.refs);
    FreeMediaType(copied);
    EXPECT_EQ(3, unknown.refs);
    EXPECT_EQ(nullptr, copied.pbFormat);
    EXPECT_EQ(0u, copied.cbFormat);
    EXPECT_EQ(nullptr, copied.pUnk);

    DeleteMediaType(created);
    EXPECT_EQ(2, unknown.refs);
    DeleteMediaType(nullptr);
}

TEST(CMediaTypeTest, PartialTypesMatchOnTheirSpecifiedParts)
{
    CMediaType full = MakeTestVideoType();
    CMediaType partial;
    partial.SetType(&MEDIATYPE_Video);
    EXPECT_TRUE(partial.IsPartiallySpecified());
    EXPECT_FALSE(full.IsPartiallySpecified());
    EXPECT_TRUE(full.MatchesPartial(&partial));
    partial.SetSubtype(&MEDIASUBTYPE_RGB24);
    EXPECT_FALSE(full.MatchesPartial(&partial));
    CMediaType audio;
    audio.SetType(&MEDIATYPE_Audio);
    EXPECT_FALSE(full.MatchesPartial(&audio));
}
