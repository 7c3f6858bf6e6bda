// Scaling and colour conversion kernels against libswscale, single thread,
// in the same run on the same input: each plain and SIMD build's time and
// libswscale's (bilinear, same pixel formats), with the ratio
// libswscale time / SIMD time (>= 1.00: at least libswscale's speed).
#include "kernels/ColorConvert.h"
#include "kernels/ProcessorFeatures.h"
#include "kernels/Resize.h"

#include "bench/BenchUtil.h"
#include "tests/native/TestImages.h"

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

int g_Rounds = 20;

double Best(const std::function<void()>& f, int rounds)
{
    f();  // warm caches and pages
    v77bench::Timing t;
    for (int i = 0; i < rounds; ++i) {
        double t0 = v77bench::Now();
        f();
        t.Add(v77bench::Now() - t0);
    }
    return t.Best();
}

// One libswscale context from one picture to another, single thread.
class Sws {
public:
    Sws(int sw, int sh, AVPixelFormat sf, int dw, int dh, AVPixelFormat df)
        : m_Ctx(sws_getContext(sw, sh, sf, dw, dh, df, SWS_BILINEAR, nullptr, nullptr, nullptr)), m_Height(sh)
    {
        if (!m_Ctx) {
            std::fprintf(stderr, "sws_getContext failed\n");
            std::exit(1);
        }
    }
    ~Sws() { sws_freeContext(m_Ctx); }
    void Run(const uint8_t* const src[], const int srcStride[], uint8_t* const dst[], const int dstStride[])
    {
        sws_scale(m_Ctx, src, srcStride, 0, m_Height, dst, dstStride);
    }

private:
    SwsContext* m_Ctx;
    int m_Height;
};

struct Row {
    std::string name;
    double plain, simd, sws;
};
std::vector<Row> g_Rows;

void Report(const std::string& name, double plain, double simd, double sws)
{
    g_Rows.push_back({name, plain, simd, sws});
    std::printf("%-44s %9.3f %9.3f %9.3f %9.2f  %s\n", name.c_str(), plain * 1e3, simd * 1e3, sws * 1e3, sws / simd,
                sws / simd >= 1.0 ? "met" : "NOT met");
}

struct Geometry {
    const char* label;
    int sw, sh, dw, dh;
};

void BenchResize(const Geometry& g, const V77ResizeRowKernels& simd)
{
    const auto src = v77test::RandomBytes(static_cast<size_t>(g.sw) * g.sh * 4, 5);
    std::vector<uint8_t> dst(static_cast<size_t>(g.dw) * g.dh * 4), work(static_cast<size_t>(g.dw) * 4 * 16 + 4096);
    const double xf = double(g.dw) / g.sw, yf = double(g.dh) / g.sh;
    const V77Rect roi = {0, 0, g.sw, g.sh}, droi = {0, 0, g.dw, g.dh};
    struct Fmt {
        const char* name;
        int ch;
        AVPixelFormat pf;
    } fmts[] = {{"gray8 (1 ch)", 1, AV_PIX_FMT_GRAY8}, {"BGR24 (3 ch)", 3, AV_PIX_FMT_BGR24},
                {"BGRA (4 ch)", 4, AV_PIX_FMT_BGRA}};
    for (const Fmt& f : fmts) {
        auto ours = [&](const V77ResizeRowKernels& k) {
            return [&, k_ = &k] {
                V77ResizeChannelsWith(*k_, f.ch, src.data(), {g.sw, g.sh}, g.sw * f.ch, roi, dst.data(), g.dw * f.ch,
                                      droi, xf, yf, 0, 0, V77_INTERPOLATION_LINEAR_SMOOTH, work.data());
                v77bench::Consume(dst.data());
            };
        };
        Sws sws(g.sw, g.sh, f.pf, g.dw, g.dh, f.pf);
        const uint8_t* s[4] = {src.data()};
        int ss[4] = {g.sw * f.ch};
        uint8_t* d[4] = {dst.data()};
        int ds[4] = {g.dw * f.ch};
        double tp = Best(ours(kV77ResizePlain), g_Rounds / 4 + 1), ts = Best(ours(simd), g_Rounds);
        double tw = Best([&] { sws.Run(s, ss, d, ds); }, g_Rounds);
        Report(std::string("resize ") + f.name + " " + g.label, tp, ts, tw);
    }
    // YUY2 and 4:2:0 planes (three 1-channel resizes).
    {
        auto ours = [&](const V77ResizeRowKernels& k) {
            return [&, k_ = &k] {
                V77ResizeYuv422With(*k_, src.data(), {g.sw, g.sh}, g.sw * 2, roi, dst.data(), g.dw * 2, {g.dw, g.dh},
                                    xf, yf, V77_INTERPOLATION_LINEAR);
                v77bench::Consume(dst.data());
            };
        };
        Sws sws(g.sw, g.sh, AV_PIX_FMT_YUYV422, g.dw, g.dh, AV_PIX_FMT_YUYV422);
        const uint8_t* s[4] = {src.data()};
        int ss[4] = {g.sw * 2};
        uint8_t* d[4] = {dst.data()};
        int ds[4] = {g.dw * 2};
        double tp = Best(ours(kV77ResizePlain), g_Rounds / 4 + 1), ts = Best(ours(simd), g_Rounds);
        double tw = Best([&] { sws.Run(s, ss, d, ds); }, g_Rounds);
        Report(std::string("resize YUY2 ") + g.label, tp, ts, tw);
    }
    {
        const size_t sl = size_t(g.sw) * g.sh, dl = size_t(g.dw) * g.dh;
        const uint8_t* sp[3] = {src.data(), src.data() + sl, src.data() + sl + sl / 4};
        uint8_t* dp[3] = {dst.data(), dst.data() + dl, dst.data() + dl + dl / 4};
        auto ours = [&](const V77ResizeRowKernels& k) {
            return [&, k_ = &k] {
                V77ResizeChannelsWith(*k_, 1, sp[0], {g.sw, g.sh}, g.sw, roi, dp[0], g.dw, droi, xf, yf, 0, 0,
                                      V77_INTERPOLATION_LINEAR_SMOOTH, work.data());
                const V77Rect croi = {0, 0, g.sw / 2, g.sh / 2}, cdroi = {0, 0, g.dw / 2, g.dh / 2};
                for (int p = 1; p < 3; ++p)
                    V77ResizeChannelsWith(*k_, 1, sp[p], {g.sw / 2, g.sh / 2}, g.sw / 2, croi, dp[p], g.dw / 2, cdroi,
                                          xf, yf, 0, 0, V77_INTERPOLATION_LINEAR_SMOOTH, work.data());
                v77bench::Consume(dst.data());
            };
        };
        Sws sws(g.sw, g.sh, AV_PIX_FMT_YUV420P, g.dw, g.dh, AV_PIX_FMT_YUV420P);
        int ss[4] = {g.sw, g.sw / 2, g.sw / 2}, ds[4] = {g.dw, g.dw / 2, g.dw / 2};
        double tp = Best(ours(kV77ResizePlain), g_Rounds / 4 + 1), ts = Best(ours(simd), g_Rounds);
        double tw = Best([&] { sws.Run(sp, ss, dp, ds); }, g_Rounds);
        Report(std::string("resize 4:2:0 planes ") + g.label, tp, ts, tw);
    }
}

void BenchConversions()
{
    const int w = 1920, h = 1080;
    const size_t px = size_t(w) * h;
    const auto yuy2 = v77test::RandomBytes(px * 2, 1);
    const auto planar = v77test::RandomBytes(px * 3 / 2, 2);
    std::vector<uint8_t> dst(px * 3);
    uint8_t* d[4] = {dst.data()};
    int ds[4] = {w * 3};
    {
        Sws sws(w, h, AV_PIX_FMT_YUYV422, w, h, AV_PIX_FMT_BGR24);
        const uint8_t* s[4] = {yuy2.data()};
        int ss[4] = {w * 2};
        auto simd = V77SelectYuy2ToBgr24(V77ProcessorFeatures());
        double tp = Best([&] { V77Yuy2ToBgr24Plain(yuy2.data(), w * 2, dst.data(), w * 3, w, h); }, g_Rounds / 4 + 1);
        double ts = Best([&] { simd(yuy2.data(), w * 2, dst.data(), w * 3, w, h); }, g_Rounds);
        double tw = Best([&] { sws.Run(s, ss, d, ds); }, g_Rounds);
        Report("YUY2 -> BGR24 1920x1080", tp, ts, tw);
    }
    {
        Sws sws(w, h, AV_PIX_FMT_YUV420P, w, h, AV_PIX_FMT_BGR24);
        const uint8_t* s[4] = {planar.data(), planar.data() + px, planar.data() + px * 5 / 4};
        int ss[4] = {w, w / 2, w / 2};
        const int steps[3] = {w, w / 2, w / 2};
        auto simd = V77SelectYuv420ToBgr24(V77ProcessorFeatures());
        double tp = Best([&] { V77Yuv420ToBgr24Plain(s, steps, dst.data(), w * 3, w, h); }, g_Rounds / 4 + 1);
        double ts = Best([&] { simd(s, steps, dst.data(), w * 3, w, h); }, g_Rounds);
        double tw = Best([&] { sws.Run(s, ss, d, ds); }, g_Rounds);
        Report("4:2:0 planar -> BGR24 1920x1080", tp, ts, tw);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1)
        g_Rounds = std::atoi(argv[1]);
    const uint32_t features = V77ProcessorFeatures();
    const V77ResizeRowKernels& simd = V77SelectResizeKernels(features);
    std::printf("Kernels against libswscale %s (SWS_BILINEAR, single thread), best of %d runs, ms per frame\n",
                LIBSWSCALE_IDENT, g_Rounds);
    std::printf("processor feature word 0x%X; SIMD resize build: %s\n", features, simd.name);
    std::printf("%-44s %9s %9s %9s %9s\n", "kernel", "plain", "SIMD", "swscale", "sws/SIMD");
    const Geometry geometries[] = {{"1920x1080->1280x720", 1920, 1080, 1280, 720},
                                   {"1280x720->854x480", 1280, 720, 854, 480},
                                   {"352x288->176x144", 352, 288, 176, 144},
                                   {"640x480->1280x960", 640, 480, 1280, 960}};
    BenchConversions();
    for (const Geometry& g : geometries)
        BenchResize(g, simd);
    int met = 0;
    for (const Row& r : g_Rows)
        met += r.sws / r.simd >= 1.0;
    std::printf("%d of %zu kernels at or above libswscale's speed\n", met, g_Rows.size());
    return 0;
}
