// Every input format the Windows renderer accepts, pooled or copied, shown in
// a real window: pictures land the right way up and round, later frames
// replace earlier ones, and the source and destination rectangles map as the
// host asks.
#include "tests/display/WindowRendererFixture.h"

#include <ostream>
#include <tuple>

namespace {

struct FormatCase {
    const char* name;
    const GUID* subtype;
    bool topDown;
    LONG width;
    LONG height;
};

const FormatCase kFormats[] = {
    {"Yuy2", &MEDIASUBTYPE_YUY2, false, 80, 60},
    {"Yv12", &MEDIASUBTYPE_YV12, false, 80, 60},
    {"I420", &MEDIASUBTYPE_I420, false, 80, 60},
    {"Rgb24BottomUp", &MEDIASUBTYPE_RGB24, false, 80, 60},
    {"Rgb24TopDown", &MEDIASUBTYPE_RGB24, true, 80, 60},
    // 78 pixels of 3 bytes: every row carries 2 bytes of padding.
    {"Rgb24BottomUpPaddedRows", &MEDIASUBTYPE_RGB24, false, 78, 58},
};

// Test names and failure messages show the case's name, not its bytes.
void PrintTo(const FormatCase& f, std::ostream* os)
{
    *os << f.name;
}

RECT Rect(LONG l, LONG t, LONG r, LONG b)
{
    return RECT{l, t, r, b};
}

// ---- pictures in place, pooled or copied, and the host's rectangles ----

class WindowFormatTest : public WindowRendererFixture,
                         public ::testing::WithParamInterface<std::tuple<FormatCase, bool>> {};

TEST_P(WindowFormatTest, QuadrantsLandInPlaceLaterFramesReplaceThemAndRectanglesMap)
{
    const FormatCase& f = std::get<0>(GetParam());
    const bool pooled = std::get<1>(GetParam());
    const LONG w = f.width, h = f.height;
    ASSERT_NO_FATAL_FAILURE(OpenWindow(2 * w, 2 * h));
    const TestPicture a = PictureA(w, h);
    if (pooled) {
        // Pooled frames are shown without a copy; the others go through the copy frame.
        ASSERT_EQ(S_OK, m_Graph.UsePool(static_cast<DWORD>(EncodeFrame(a, *f.subtype, f.topDown).size()), 3));
    }
    ASSERT_NO_FATAL_FAILURE(StartWith(*f.subtype, a, f.topDown));
    // Until the host says otherwise, the whole image at its own size.
    const RECT image = Rect(0, 0, w, h);
    EXPECT_TRUE(Shows(ProbesA(image))) << "first frame";
    ASSERT_EQ(S_OK, m_Graph.Push(PictureB(w, h)));
    EXPECT_TRUE(Shows(ProbesB(image))) << "second frame";
    ASSERT_EQ(S_OK, m_Graph.Push(a));
    EXPECT_TRUE(Shows(ProbesA(image))) << "third frame";

    // The top-right quarter over the whole window (top-origin host coordinates).
    RECT source = Rect(w / 2, 0, w, h / 2);
    RECT destination = Client();
    ASSERT_EQ(S_OK, Dx()->SetRects(nullptr, &source, &destination));
    ASSERT_EQ(S_OK, Dx()->Invalidate());
    EXPECT_TRUE(Shows(UniformProbes(Client(), kGreen))) << "top-right quarter stretched";

    // The whole image shrunk into the right half; the bitmaps are remade at
    // the new size, so the rest of the window is black.
    destination = Rect(w, h / 2, 2 * w, 3 * h / 2);
    ASSERT_EQ(S_OK, Dx()->SetRects(nullptr, nullptr, &destination));
    ASSERT_EQ(S_OK, Dx()->Invalidate());
    EXPECT_TRUE(Shows(ProbesA(destination) + UniformProbes(Rect(0, 0, w, 2 * h), kBlack)))
        << "whole image into the right half";

    // The bottom-left quarter into the top-left corner.
    source = Rect(0, h / 2, w / 2, h);
    ASSERT_EQ(S_OK, Dx()->SetRects(nullptr, &source, &image));
    ASSERT_EQ(S_OK, Dx()->Invalidate());
    EXPECT_TRUE(Shows(UniformProbes(image, kBlue))) << "bottom-left quarter";

    // A source without area stands for the whole image.
    source = Rect(5, 5, 5, h);
    ASSERT_EQ(S_OK, Dx()->SetRects(nullptr, &source, nullptr));
    ASSERT_EQ(S_OK, Dx()->Invalidate());
    EXPECT_TRUE(Shows(ProbesA(image))) << "empty source";

    // New frames follow the rectangles in force.
    source = Rect(w / 2, h / 2, w, h);
    ASSERT_EQ(S_OK, Dx()->SetRects(nullptr, &source, nullptr));
    ASSERT_EQ(S_OK, m_Graph.Push(PictureB(w, h)));
    EXPECT_TRUE(Shows(UniformProbes(image, kGreen))) << "new frame, bottom-right quarter of B";
}

INSTANTIATE_TEST_SUITE_P(Formats, WindowFormatTest, ::testing::Combine(::testing::ValuesIn(kFormats), ::testing::Bool()),
                         [](const ::testing::TestParamInfo<std::tuple<FormatCase, bool>>& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    (std::get<1>(info.param) ? "Pooled" : "Copied");
                         });

// ---- adjustment of padded rows ----

class WindowAdjustTest : public WindowRendererFixture {};

TEST_F(WindowAdjustTest, BrightnessKeepsPaddedRgb24RowsInPlace)
{
    // Brightness one level up. 6 pixels of 3 bytes: 2 bytes of padding a
    // row, which a step of width x 3 would fold into the next row's pixels.
    ASSERT_NO_FATAL_FAILURE(OpenWindow(6, 2));
    for (bool topDown : {false, true}) {
        m_Graph.Close();
        ASSERT_EQ(S_OK, m_Graph.Create(CLSID_V77WindowsRenderer, m_Window->Handle()));
        ASSERT_EQ(S_OK, Dx()->SetBrightnessContrast(1.0 / 256, 0.0));
        ASSERT_NO_FATAL_FAILURE(StartWith(MEDIASUBTYPE_RGB24, PictureA(6, 2), topDown));
        EXPECT_TRUE(Shows(ProbesA(Client()))) << (topDown ? "top-down" : "bottom-up");
    }
}

}  // namespace
