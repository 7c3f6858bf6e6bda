// Scaled pictures: ffmpeg's bilinear scaler as the reference for every format
// up and down and for a source rectangle; constant pictures at odd and absurd
// sizes, interlaced input and short samples.
#include "tests/kit/CComInit.h"
#include "tests/transform/ResizeGraph.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <uuids.h>

namespace {

constexpr LONG kInW = 352, kInH = 288;

struct Format {
    const GUID* subtype;
    const char* ffmpegName;  // the raw format ffmpeg made the files in
    const char* label;
};
const Format kFormats[] = {{&MEDIASUBTYPE_YUY2, "yuyv422", "YUY2"},   {&MEDIASUBTYPE_RGB24, "bgr24", "RGB24"},
                           {&MEDIASUBTYPE_RGB32, "bgra", "RGB32"},    {&MEDIASUBTYPE_I420, "yuv420p", "I420"},
                           {&MEDIASUBTYPE_YV12, "yuv420p", "YV12"}};

bool IsPlanar(const GUID& s)
{
    return s == MEDIASUBTYPE_I420 || s == MEDIASUBTYPE_YV12;
}

std::vector<BYTE> ReadData(const std::string& name)
{
    const char* dir = std::getenv("V77_RESIZE_DATA");
    if (!dir)
        return {};
    std::ifstream f(std::string(dir) + "/" + name, std::ios::binary);
    return std::vector<BYTE>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// ffmpeg's I420 planes in YV12 order (Y, V, U), or back.
std::vector<BYTE> SwapChroma(std::vector<BYTE> f, LONG w, LONG h)
{
    const size_t luma = static_cast<size_t>(w) * h, chroma = luma / 4;
    std::swap_ranges(f.begin() + luma, f.begin() + luma + chroma, f.begin() + luma + chroma);
    return f;
}

double Psnr(const BYTE* a, const BYTE* b, size_t n)
{
    double se = 0;
    for (size_t i = 0; i < n; ++i)
        se += (double(a[i]) - b[i]) * (double(a[i]) - b[i]);
    return se == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 * n / se);
}

class ResizePictures : public ::testing::Test {
protected:
    // Scales the ffmpeg input of fmt to w x h (from rect when not empty); the frame out.
    std::vector<BYTE> Scale(const Format& fmt, LONG w, LONG h, RECT rect = {})
    {
        ResizeGraph g;
        SIZE size = {w, h};
        EXPECT_EQ(S_OK, g.Resize()->SetOutputSize(&size));
        EXPECT_EQ(S_OK, g.Resize()->SetSourceRect(&rect));
        EXPECT_EQ(S_OK, g.Resize()->SetFramePeriod(0));
        // ffmpeg's RGB rows are top-down.
        const LONG height = IsPlanar(*fmt.subtype) || *fmt.subtype == MEDIASUBTYPE_YUY2 ? kInH : -kInH;
        if (g.Connect(MakeRawVideoType(*fmt.subtype, kInW, height)) != S_OK || FAILED(g.Run()))
            return {};
        std::vector<BYTE> in = ReadData(std::string("in_") + fmt.ffmpegName + ".raw");
        EXPECT_EQ(static_cast<size_t>(RawFrameBytes(*fmt.subtype, kInW, kInH)), in.size()) << "no ffmpeg input";
        if (*fmt.subtype == MEDIASUBTYPE_YV12)
            in = SwapChroma(in, kInW, kInH);
        EXPECT_EQ(S_OK, g.PushAt(in, 0));
        if (!g.WaitFrames(1))
            return {};
        std::vector<BYTE> out = g.Frames()[0].bytes;
        return *fmt.subtype == MEDIASUBTYPE_YV12 ? SwapChroma(out, w, h) : out;
    }

    CComInit m_Com;
};

TEST_F(ResizePictures, EveryFormatMatchesFfmpegBilinearUpAndDown)
{
    const SIZE sizes[] = {{176, 144}, {200, 150}, {640, 480}, {528, 432}};
    for (const Format& fmt : kFormats)
        for (SIZE s : sizes) {
            const std::string name = std::string("ref_") + fmt.ffmpegName + "_" + std::to_string(s.cx) + "x" +
                                     std::to_string(s.cy) + ".raw";
            const std::vector<BYTE> ref = ReadData(name);
            ASSERT_EQ(static_cast<size_t>(RawFrameBytes(*fmt.subtype, s.cx, s.cy)), ref.size()) << name;
            const std::vector<BYTE> out = Scale(fmt, s.cx, s.cy);
            ASSERT_EQ(ref.size(), out.size()) << fmt.label << " " << s.cx << "x" << s.cy;
            EXPECT_GE(Psnr(out.data(), ref.data(), ref.size()), 35.0) << fmt.label << " " << s.cx << "x" << s.cy;
        }
}

TEST_F(ResizePictures, SourceRectangleScalesAtTheWholeFramesFactor)
{
    // {64, 32, 160, 128} of 352 x 288 at 176 x 144: factor 0.5, so the
    // rectangle fills the top-left 80 x 64 of the output.
    const RECT rect = {64, 32, 224, 160};
    for (const Format& fmt : kFormats) {
        const std::vector<BYTE> ref = ReadData(std::string("ref_") + fmt.ffmpegName + "_crop.raw");
        ASSERT_EQ(static_cast<size_t>(RawFrameBytes(*fmt.subtype, 80, 64)), ref.size());
        const std::vector<BYTE> out = Scale(fmt, 176, 144, rect);
        ASSERT_EQ(static_cast<size_t>(RawFrameBytes(*fmt.subtype, 176, 144)), out.size()) << fmt.label;
        // Gather the covered part plane by plane into ffmpeg's tight layout.
        std::vector<BYTE> part;
        auto Take = [&](size_t offset, LONG stride, LONG rowBytes, LONG rows) {
            for (LONG y = 0; y < rows; ++y)
                part.insert(part.end(), out.begin() + offset + y * stride, out.begin() + offset + y * stride + rowBytes);
        };
        if (IsPlanar(*fmt.subtype)) {
            Take(0, 176, 80, 64);
            Take(176 * 144, 88, 40, 32);
            Take(176 * 144 * 5 / 4, 88, 40, 32);
        } else {
            const LONG bpp = *fmt.subtype == MEDIASUBTYPE_RGB24 ? 3 : (*fmt.subtype == MEDIASUBTYPE_RGB32 ? 4 : 2);
            Take(0, 176 * bpp, 80 * bpp, 64);
        }
        ASSERT_EQ(ref.size(), part.size());
        EXPECT_GE(Psnr(part.data(), ref.data(), ref.size()), 35.0) << fmt.label;
    }
}

// A constant picture per format (bytes of one pixel, or of one YUY2 pair).
struct Constant {
    const GUID* subtype;
    std::vector<BYTE> unit;
};
const Constant kConstants[] = {{&MEDIASUBTYPE_YUY2, {100, 60, 100, 200}},
                               {&MEDIASUBTYPE_RGB24, {10, 20, 30}},
                               {&MEDIASUBTYPE_RGB32, {10, 20, 30, 40}},
                               {&MEDIASUBTYPE_I420, {100, 60, 200}},
                               {&MEDIASUBTYPE_YV12, {100, 200, 60}}};

std::vector<BYTE> ConstantFrame(const Constant& c, LONG w, LONG h)
{
    std::vector<BYTE> f(RawFrameBytes(*c.subtype, w, h), 0xEE);
    if (IsPlanar(*c.subtype)) {
        const size_t luma = size_t(w) * h;
        std::fill(f.begin(), f.begin() + luma, c.unit[0]);
        std::fill(f.begin() + luma, f.begin() + luma + luma / 4, c.unit[1]);
        std::fill(f.begin() + luma + luma / 4, f.end(), c.unit[2]);
        return f;
    }
    const LONG bpp = *c.subtype == MEDIASUBTYPE_YUY2 ? 2 : static_cast<LONG>(c.unit.size());
    const LONG stride = *c.subtype == MEDIASUBTYPE_RGB24 ? (w * 3 + 3) & ~3 : w * bpp;
    for (LONG y = 0; y < h; ++y)
        for (LONG x = 0; x < w * bpp; ++x)
            f[size_t(y) * stride + x] = c.unit[x % c.unit.size()];
    return f;
}

// Every byte the format defines for a w x h picture equals the constant's.
void ExpectConstant(const Constant& c, const std::vector<BYTE>& out, LONG w, LONG h, const char* what)
{
    ASSERT_EQ(static_cast<size_t>(RawFrameBytes(*c.subtype, w, h)), out.size()) << what;
    const std::vector<BYTE> want = ConstantFrame(c, w, h);
    for (size_t i = 0; i < out.size(); ++i) {
        if (want[i] == 0xEE)
            continue;  // row padding, or chroma beyond the halved planes
        if (IsPlanar(*c.subtype) && i >= size_t(w) * h) {
            // Only (w / 2) x (h / 2) samples of each chroma plane are defined.
            const size_t luma = size_t(w) * h, quarter = luma / 4, k = i - luma;
            if (quarter == 0 || k / quarter > 1 || k % quarter >= size_t(w / 2) * (h / 2))
                continue;
        }
        ASSERT_EQ(want[i], out[i]) << what << ": byte " << i << " of " << w << "x" << h;
    }
}

TEST_F(ResizePictures, OddAndAbsurdSizesInterlacedInputAndShortSamplesStayInBounds)
{
    struct Case {
        SIZE in, out;
        RECT rect;
        bool interlaced;
    } cases[] = {{{33, 17}, {15, 9}, {}, false},       {{7, 5}, {31, 19}, {}, false},
                 {{35, 21}, {9, 7}, {3, 1, 30, 20}, true}, {{4, 4}, {1001, 999}, {}, false},
                 {{1001, 3}, {1, 1}, {}, false},       {{16, 12}, {13, 11}, {-10, -10, 1000, 1000}, true}};
    for (const Constant& c : kConstants)
        for (const Case& k : cases) {
            ResizeGraph g;
            SIZE out = k.out;
            ASSERT_EQ(S_OK, g.Resize()->SetOutputSize(&out));
            ASSERT_EQ(S_OK, g.Resize()->SetSourceRect(&k.rect));
            ASSERT_EQ(S_OK, g.Resize()->SetFramePeriod(0));
            ASSERT_EQ(S_OK, g.Connect(MakeRawVideoType(*c.subtype, k.in.cx, k.in.cy, 400000, k.interlaced)));
            ASSERT_TRUE(SUCCEEDED(g.Run()));
            std::vector<BYTE> frame = ConstantFrame(c, k.in.cx, k.in.cy);
            // A sample one byte short of a frame is skipped, not read past its end.
            TestPacket shortPacket;
            shortPacket.bytes = frame;
            shortPacket.length = static_cast<LONG>(frame.size()) - 1;
            EXPECT_EQ(S_OK, g.Push(shortPacket));
            EXPECT_EQ(S_OK, g.PushAt(frame, 1));
            ASSERT_TRUE(g.WaitFrames(1));
            auto frames = g.Frames();
            ASSERT_EQ(1u, frames.size());
            EXPECT_EQ(1, frames[0].start);
            std::string what = std::to_string(c.subtype->Data1) + (k.interlaced ? " interlaced" : "");
            ExpectConstant(c, frames[0].bytes, k.out.cx, k.out.cy, what.c_str());
        }
}

} // namespace
