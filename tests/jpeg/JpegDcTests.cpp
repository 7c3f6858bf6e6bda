// The JPEG renderer and host device contexts: drawing the frame into one,
// and encoding the bitmap a host DC holds.
#include "tests/display/CTestDibDc.h"
#include "tests/jpeg/JpegFixture.h"

using Microsoft::WRL::ComPtr;

namespace {

using JpegDc = JpegFixture;

TEST_F(JpegDc, DrawToDcDrawsTheFrameWhereAsked)
{
    const TestPicture picture = Quadrants(kWidth, kHeight);
    ASSERT_NO_FATAL_FAILURE(StartWith(MEDIASUBTYPE_RGB24, picture));
    CTestDibDc whole(kWidth, kHeight, true);
    ASSERT_TRUE(whole.IsValid());
    ASSERT_EQ(S_OK, Jpeg()->DrawToDC(whole.Dc(), RECT{0, 0, kWidth, kHeight}));
    // RGB24 input is stretched 1:1: the pixels arrive as they were sent.
    for (LONG y : {0L, kHeight / 4, kHeight / 2 - 1, kHeight / 2, kHeight - 1})
        for (LONG x : {0L, kWidth / 4, kWidth / 2 - 1, kWidth / 2, kWidth - 1})
            ASSERT_TRUE(Near(whole.At(x, y), picture.At(x, y), 0)) << x << "," << y;

    // Half size into the top left corner of a bottom-up section.
    CTestDibDc half(kWidth, kHeight, false);
    ASSERT_TRUE(half.IsValid());
    ASSERT_EQ(S_OK, Jpeg()->DrawToDC(half.Dc(), RECT{0, 0, kWidth / 2, kHeight / 2}));
    EXPECT_TRUE(Near(half.At(kWidth / 8, kHeight / 8), kRed, 0));
    EXPECT_TRUE(Near(half.At(kWidth * 3 / 8, kHeight * 3 / 8), kWhite, 0));
    EXPECT_TRUE(Near(half.At(kWidth * 3 / 4, kHeight * 3 / 4), Rgb{0, 0, 0}, 0)) << "outside the rectangle";
}

TEST_F(JpegDc, EncodeDcEncodesTheDcsOwnBitmapUprightAndRefusesOnesItCannotRead)
{
    ASSERT_NO_FATAL_FAILURE(StartWith(MEDIASUBTYPE_RGB24, NaturalPicture(kWidth, kHeight)));
    // Not the renderer's size, and rows with pad bytes (91 * 3 = 273).
    const TestPicture picture = Quadrants(91, 70);
    // Top-down, as the renderer's own bitmaps are: GDI reports no row order
    // for a section, so its rows are taken top first.
    CTestDibDc dc(91, 70, true);
    ASSERT_TRUE(dc.IsValid());
    dc.Fill(picture);
    CBstr comment(SysAllocString(L"dc"));
    ComPtr<IMediaSample> sample;
    ASSERT_EQ(S_OK, Jpeg()->EncodeDC(dc.Dc(), comment.Get(), sample.GetAddressOf()));
    ASSERT_TRUE(sample);
    const Bytes jpeg = SampleBytes(sample.Get());
    const WicDecodedImage d = Decode(jpeg);
    EXPECT_EQ(91u, d.width);
    EXPECT_EQ(70u, d.height);
    EXPECT_EQ("", QuadrantMismatch(d));
    Bytes payload;
    ASSERT_TRUE(FindSegment(jpeg, 0xFE, &payload));
    EXPECT_EQ(Bytes({'d', 0, 'c', 0}), payload);

    // Bitmaps it cannot read: a bad DC, 32 bits, a device-dependent bitmap (no bits).
    IMediaSample* refused = reinterpret_cast<IMediaSample*>(static_cast<LONG_PTR>(1));
    EXPECT_TRUE(FAILED(Jpeg()->EncodeDC(reinterpret_cast<HDC>(static_cast<LONG_PTR>(0x7777)), nullptr, &refused)));
    EXPECT_EQ(nullptr, refused);

    CTestDibDc argb(32, 32, true, 32);
    ASSERT_TRUE(argb.IsValid());
    EXPECT_EQ(E_INVALIDARG, Jpeg()->EncodeDC(argb.Dc(), nullptr, &refused));
    EXPECT_EQ(nullptr, refused);
    HDC screen = GetDC(nullptr);
    HBITMAP ddb = CreateCompatibleBitmap(screen, 32, 32);
    ReleaseDC(nullptr, screen);
    HDC memory = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(memory, ddb);
    EXPECT_EQ(E_INVALIDARG, Jpeg()->EncodeDC(memory, nullptr, &refused));
    EXPECT_EQ(nullptr, refused);
    SelectObject(memory, previous);
    DeleteDC(memory);
    DeleteObject(ddb);
}

}  // namespace
