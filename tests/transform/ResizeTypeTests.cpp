// Output type rules of the resize filter and the inputs and sizes it refuses.
#include "companions/V77Media/V77Media.h"
#include "tests/kit/CComInit.h"
#include "tests/transform/ResizeGraph.h"

#include <gtest/gtest.h>
#include <uuids.h>

namespace {

class ResizeTypes : public ::testing::Test {
protected:
    CComInit m_Com;
};

HRESULT QueryAccept(IPin* pin, const CMediaType& mt)
{
    return pin->QueryAccept(&mt);
}

const BITMAPINFOHEADER& Header(const CMediaType& mt)
{
    static const BITMAPINFOHEADER none = {};
    const BITMAPINFOHEADER* bih = GetBitmapInfoHeaderFromMediaType(mt);
    return bih ? *bih : none;
}

TEST_F(ResizeTypes, DefaultOutputIs320x240AtOneFramePerSecondInTheInputsFormat)
{
    ResizeGraph g;
    ASSERT_EQ(S_OK, g.Connect(MakeRawVideoType(MEDIASUBTYPE_YV12, 640, 480)));
    CMediaType out = g.OutputType();
    ASSERT_TRUE(out.IsValid());
    EXPECT_EQ(MEDIASUBTYPE_YV12, *out.Subtype());
    EXPECT_EQ(320, Header(out).biWidth);
    EXPECT_EQ(240, Header(out).biHeight);
    EXPECT_EQ(320u * 240 * 3 / 2, Header(out).biSizeImage);
    EXPECT_EQ(320u * 240 * 3 / 2, out.lSampleSize);
    EXPECT_EQ(10000000, *GetAvgTimePerFrameFromMediaType(out));
    const RECT* source = reinterpret_cast<const RECT*>(out.Format());
    EXPECT_EQ(0, source->left);
    EXPECT_EQ(0, source->top);
    EXPECT_EQ(320, source->right);
    EXPECT_EQ(240, source->bottom);
}

TEST_F(ResizeTypes, PeriodZeroKeepsTheFrameTimeAndRgbKeepsItsRowOrder)
{
    struct Case {
        LONG height;
        LONG wantHeight;
    } cases[] = {{120, 50}, {-120, -50}};
    for (const Case& c : cases) {
        ResizeGraph g;
        SIZE size = {64, 50};
        ASSERT_EQ(S_OK, g.Resize()->SetOutputSize(&size));
        ASSERT_EQ(S_OK, g.Resize()->SetFramePeriod(0));
        ASSERT_EQ(S_OK, g.Connect(MakeRawVideoType(MEDIASUBTYPE_RGB24, 160, c.height, 333333)));
        CMediaType out = g.OutputType();
        EXPECT_EQ(64, Header(out).biWidth);
        EXPECT_EQ(c.wantHeight, Header(out).biHeight);
        EXPECT_EQ(64u * 3 * 50, Header(out).biSizeImage);
        EXPECT_EQ(333333, *GetAvgTimePerFrameFromMediaType(out));
    }
}

TEST_F(ResizeTypes, OutputAcceptsAnySubtypeOfTheRightSizeAndTheSizeIsFixedOnceConnected)
{
    ResizeGraph g;
    ASSERT_EQ(S_OK, g.Connect(MakeRawVideoType(MEDIASUBTYPE_YUY2, 640, 480)));
    auto out = g.Output();
    EXPECT_EQ(S_OK, QueryAccept(out.Get(), MakeRawVideoType(MEDIASUBTYPE_RGB32, 320, 240)));
    EXPECT_EQ(S_OK, QueryAccept(out.Get(), MakeRawVideoType(MEDIASUBTYPE_RGB32, 320, -240)));
    EXPECT_EQ(S_FALSE, QueryAccept(out.Get(), MakeRawVideoType(MEDIASUBTYPE_YUY2, 320, 241)));
    EXPECT_EQ(S_FALSE, QueryAccept(out.Get(), MakeRawVideoType(MEDIASUBTYPE_YUY2, 640, 480)));
    SIZE size = {100, 100};
    EXPECT_EQ(VFW_E_ALREADY_CONNECTED, g.Resize()->SetOutputSize(&size));
    // The copy of the output type outlives the disconnection.
    ASSERT_EQ(S_OK, g.Graph().Graph()->Disconnect(out.Get()));
    EXPECT_EQ(VFW_E_ALREADY_CONNECTED, g.Resize()->SetOutputSize(&size));
    EXPECT_EQ(E_POINTER, g.Resize()->SetOutputSize(nullptr));
    EXPECT_EQ(E_POINTER, g.Resize()->SetSourceRect(nullptr));
}

TEST_F(ResizeTypes, InputsOtherThanTheFiveUncompressedFormatsAreRefused)
{
    ResizeGraph g;
    auto in = TestGraph::FindPin(g.Filter(), PINDIR_INPUT);
    // No output type before an input is connected.
    Microsoft::WRL::ComPtr<IEnumMediaTypes> types;
    ASSERT_EQ(S_OK, g.Output()->EnumMediaTypes(&types));
    AM_MEDIA_TYPE* first = nullptr;
    EXPECT_NE(S_OK, types->Next(1, &first, nullptr));
    for (const GUID* subtype : {&MEDIASUBTYPE_YUY2, &MEDIASUBTYPE_RGB24, &MEDIASUBTYPE_RGB32, &MEDIASUBTYPE_YV12,
                                &MEDIASUBTYPE_I420})
        EXPECT_EQ(S_OK, QueryAccept(in.Get(), MakeRawVideoType(*subtype, 33, 17))) << subtype->Data1;
    EXPECT_EQ(S_OK, QueryAccept(in.Get(), MakeRawVideoType(MEDIASUBTYPE_YUY2, 32, 16, 400000, true)));
    EXPECT_EQ(S_FALSE, QueryAccept(in.Get(), MakeRawVideoType(MEDIASUBTYPE_UYVY, 32, 16)));
    EXPECT_EQ(S_FALSE, QueryAccept(in.Get(), MakeRawVideoType(MEDIASUBTYPE_RGB565, 32, 16)));
    EXPECT_EQ(S_FALSE, QueryAccept(in.Get(), MakeRawVideoType(MEDIASUBTYPE_RGB24, 0, 16)));
    EXPECT_EQ(S_FALSE, QueryAccept(in.Get(), MakeRawVideoType(MEDIASUBTYPE_RGB24, 16, 0)));
    EXPECT_EQ(S_FALSE, QueryAccept(in.Get(), MakeRawVideoType(MEDIASUBTYPE_RGB32, 100000, 100000)));
    CMediaType audio = MakeRawVideoType(MEDIASUBTYPE_RGB24, 16, 16);
    audio.SetType(&MEDIATYPE_Audio);
    EXPECT_EQ(S_FALSE, QueryAccept(in.Get(), audio));
    CMediaType noFormat = MakeRawVideoType(MEDIASUBTYPE_RGB24, 16, 16);
    noFormat.SetFormatType(&FORMAT_WaveFormatEx);
    EXPECT_EQ(S_FALSE, QueryAccept(in.Get(), noFormat));
}

TEST_F(ResizeTypes, EmptyNegativeOrUndescribableOutputSizesDoNotConnect)
{
    for (SIZE size : {SIZE{0, 0}, SIZE{0, 240}, SIZE{-320, 240}, SIZE{100000, 100000}}) {
        ResizeGraph g;
        ASSERT_EQ(S_OK, g.Resize()->SetOutputSize(&size));
        EXPECT_TRUE(FAILED(g.Connect(MakeRawVideoType(MEDIASUBTYPE_RGB32, 64, 48))))
            << size.cx << "x" << size.cy;
        EXPECT_FALSE(g.OutputType().IsValid());
    }
}

} // namespace
