// Image kernel throughput, plain and SSE2 builds, on 1920 x 1080 frames,
// each against a memcpy of the bytes the kernel writes (measured alongside).
#include "kernels/ColorConvert.h"
#include "kernels/Deinterlace.h"
#include "kernels/PixelAdjust.h"
#include "kernels/ProcessorFeatures.h"

#include "bench/BenchUtil.h"
#include "tests/native/TestImages.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

namespace {

constexpr int kW = 1920, kH = 1080;

struct Case {
    const char* name;
    size_t dstBytes;
    std::function<void()> plain, sse2;
};

double TimeIt(const std::function<void()>& f, int rounds)
{
    v77bench::Timing t;
    for (int i = 0; i < rounds; ++i) {
        double t0 = v77bench::Now();
        f();
        t.Add(v77bench::Now() - t0);
    }
    return t.Best();
}

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 30;
    const size_t px = static_cast<size_t>(kW) * kH;
    auto yuy2 = v77test::RandomBytes(px * 2, 1);
    auto planar = v77test::RandomBytes(px * 3 / 2, 2);
    auto rgb = v77test::RandomBytes(px * 3, 3);
    std::vector<uint8_t> dst(px * 4), copySrc(px * 4, 7);
    const uint8_t* planes[3] = {planar.data(), planar.data() + px, planar.data() + px * 5 / 4};
    const int steps[3] = {kW, kW / 2, kW / 2};
    uint8_t* d = dst.data();
    const auto& P = kV77PixelAdjustPlain;
    const auto& S = kV77PixelAdjustSse2;

    std::vector<Case> cases = {
        {"deinterlace, YUY2 rows (w 128)", px * 2,
         [&] { V77DeinterlacePlain(yuy2.data(), kW * 2, d, kW * 2, 128, kW * 2, kH); },
         [&] { V77DeinterlaceSse2(yuy2.data(), kW * 2, d, kW * 2, 128, kW * 2, kH); }},
        {"YUY2 -> BGR24", px * 3, [&] { V77Yuy2ToBgr24Plain(yuy2.data(), kW * 2, d, kW * 3, kW, kH); },
         [&] { V77Yuy2ToBgr24Sse2(yuy2.data(), kW * 2, d, kW * 3, kW, kH); }},
        {"4:2:0 planar -> BGR24", px * 3, [&] { V77Yuv420ToBgr24Plain(planes, steps, d, kW * 3, kW, kH); },
         [&] { V77Yuv420ToBgr24Sse2(planes, steps, d, kW * 3, kW, kH); }},
        {"adjust YUY2", px * 2, [&] { P.adjustYuy2(yuy2.data(), d, kW * 2, kW, kH, 20, 300, false); },
         [&] { S.adjustYuy2(yuy2.data(), d, kW * 2, kW, kH, 20, 300, false); }},
        {"adjust luma, RGB24 bytes", px * 3, [&] { P.adjustLuma(rgb.data(), d, kW * 3, kW * 3, kH, 20, 300, false); },
         [&] { S.adjustLuma(rgb.data(), d, kW * 3, kW * 3, kH, 20, 300, false); }},
        {"adjust chroma, 4:2:0 planes", px / 2, [&] { P.adjustChroma(planar.data() + px, d, kW, kW, kH, 300); },
         [&] { S.adjustChroma(planar.data() + px, d, kW, kW, kH, 300); }},
        {"adjust RGB565", px * 2, [&] { P.adjustRgb565(yuy2.data(), d, kW * 2, kW, kH, 20, 300, false); },
         [&] { S.adjustRgb565(yuy2.data(), d, kW * 2, kW, kH, 20, 300, false); }},
    };

    std::printf("Image kernels, %dx%d, best of %d runs; memcpy copies the bytes each kernel writes\n", kW, kH,
                rounds);
    std::printf("processor feature word 0x%X\n", V77ProcessorFeatures());
    std::printf("%-32s %11s %11s %11s %10s %10s %10s\n", "kernel", "plain MP/s", "SSE2 MP/s", "memcpy MP/s",
                "SSE2/plain", "plain/cpy", "SSE2/cpy");
    const double mp = px / 1e6;
    for (const Case& c : cases) {
        c.sse2();  // warm caches and pages
        double tp = TimeIt(c.plain, rounds / 3 + 1);
        double ts = TimeIt(c.sse2, rounds);
        double tc = TimeIt([&] { std::memcpy(d, copySrc.data(), c.dstBytes); v77bench::Consume(d); }, rounds);
        std::printf("%-32s %11.1f %11.1f %11.1f %10.2f %10.2f %10.2f\n", c.name, mp / tp, mp / ts, mp / tc, tp / ts,
                    tc / tp, tc / ts);
    }
    return 0;
}
