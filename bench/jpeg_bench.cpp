// JPEG encoder throughput against libjpeg-turbo on the same picture:
// 1920 x 1080 BGR, quality 75, 4:2:0, one thread. Runs alternate between the
// encoders so both see the same machine state; best and median are printed.
#include "kernels/ProcessorFeatures.h"
#include "kernels/jpeg/JpegInternal.h"
#include "kernels/jpeg/V77Jpeg.h"

#include "bench/BenchUtil.h"
#include "tests/native/TestImages.h"

#include <cstdio>
#include <cstdlib>
#include <turbojpeg.h>
#include <vector>

namespace {

struct Result {
    const char* name;
    v77bench::Timing t;
    size_t bytes = 0;
    double psnr = 0;
};

double DecodePsnr(const uint8_t* jpeg, size_t size, const std::vector<uint8_t>& src, int w, int h)
{
    tjhandle d = tjInitDecompress();
    std::vector<uint8_t> px(static_cast<size_t>(w) * h * 3);
    int rc = tjDecompress2(d, jpeg, static_cast<unsigned long>(size), px.data(), w, 0, h, TJPF_BGR, 0);
    tjDestroy(d);
    return rc == 0 ? v77test::Psnr(src.data(), px.data(), px.size()) : 0.0;
}

} // namespace

int main(int argc, char** argv)
{
    const int w = 1920, h = 1080, quality = 75;
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 25;
    v77test::BgrImage img = v77test::MakeNaturalImage(w, h);
    const double mpix = w * static_cast<double>(h) / 1e6;

    V77_JPEG_PROPERTIES props;
    V77JpegInit(&props);
    std::vector<uint8_t> out(static_cast<size_t>(w) * h * 3);
    props.DIBBytes = img.pixels.data();
    props.DIBWidth = props.JPGWidth = w;
    props.DIBHeight = props.JPGHeight = h;
    props.jquality = quality;
    static const char comment[] = "bench";
    props.JPGComment = comment;
    props.JPGCommentBytes = 5;
    props.JPGBytes = out.data();

    struct Ours {
        const char* name;
        v77jpeg::Path path;
    } ours[] = {{"V77 encoder (auto)", v77jpeg::Path::Auto},
                {"V77 encoder, SSE2 build", v77jpeg::Path::Sse2},
                {"V77 encoder, SSSE3 build", v77jpeg::Path::Ssse3},
                {"V77 encoder, plain build", v77jpeg::Path::Plain}};
    const int nOurs = (V77ProcessorFeatures() & V77_CPU_SSSE3) ? 4 : 3;
    std::vector<Result> results;
    for (int i = 0; i < 4; ++i)
        if (i != 2 || nOurs == 4)
            results.push_back({ours[i].name, {}, 0, 0});
    results.push_back({"libjpeg-turbo tjCompress2 (default flags)", {}, 0, 0});
    results.push_back({"libjpeg-turbo tjCompress2 (TJFLAG_FASTDCT)", {}, 0, 0});
    results.push_back({"libjpeg-turbo tjCompress2 (TJFLAG_ACCURATEDCT)", {}, 0, 0});
    const size_t turboIndex = results.size() - 3;

    tjhandle tj = tjInitCompress();
    unsigned char* tjBuf = tjAlloc(static_cast<int>(tjBufSize(w, h, TJSAMP_420)));
    const int tjFlags[3] = {TJFLAG_NOREALLOC, TJFLAG_NOREALLOC | TJFLAG_FASTDCT, TJFLAG_NOREALLOC | TJFLAG_ACCURATEDCT};
    std::vector<uint8_t> lastOurs;

    auto runOurs = [&](size_t r, v77jpeg::Path path) {
        props.JPGSizeBytes = static_cast<uint32_t>(out.size());
        double t0 = v77bench::Now();
        int32_t rc = v77jpeg::WriteWithPath(&props, V77_JPEG_WRITE_WHOLE_IMAGE, path);
        double t = v77bench::Now() - t0;
        if (rc != V77_JPEG_OK) {
            std::fprintf(stderr, "encode failed: %d\n", rc);
            std::exit(1);
        }
        results[r].t.Add(t);
        results[r].bytes = props.JPGSizeBytes;
        v77bench::Consume(out.data());
    };
    auto runTurbo = [&](size_t r, int flags) {
        unsigned long size = tjBufSize(w, h, TJSAMP_420);
        double t0 = v77bench::Now();
        int rc = tjCompress2(tj, img.pixels.data(), w, 0, h, TJPF_BGR, &tjBuf, &size, TJSAMP_420, quality, flags);
        double t = v77bench::Now() - t0;
        if (rc != 0) {
            std::fprintf(stderr, "tjCompress2 failed: %s\n", tjGetErrorStr2(tj));
            std::exit(1);
        }
        results[r].t.Add(t);
        results[r].bytes = size;
    };

    // Warm-up, then alternate encoders round by round.
    for (int warm = 0; warm < 3; ++warm) {
        runOurs(0, v77jpeg::Path::Auto);
        runTurbo(turboIndex, tjFlags[0]);
    }
    for (auto& r : results)
        r.t.seconds.clear();
    for (int round = 0; round < rounds; ++round) {
        size_t r = 0;
        for (int i = 0; i < 4; ++i) {
            if (i == 2 && nOurs != 4)
                continue;
            if (i == 3 && round % 4 != 0) {  // the plain build is slow; sample it less
                ++r;
                continue;
            }
            runOurs(r++, ours[i].path);
        }
        for (int f = 0; f < 3; ++f)
            runTurbo(turboIndex + f, tjFlags[f]);
    }

    // Output size and quality of each (decoded with libjpeg-turbo).
    std::vector<uint8_t> src(img.pixels);
    props.JPGSizeBytes = static_cast<uint32_t>(out.size());
    V77JpegWrite(&props, V77_JPEG_WRITE_WHOLE_IMAGE);
    double oursPsnr = DecodePsnr(out.data(), props.JPGSizeBytes, src, w, h);
    for (size_t r = 0; r < turboIndex; ++r)
        results[r].psnr = oursPsnr;  // every build writes the same bytes
    for (int f = 0; f < 3; ++f) {
        unsigned long size = tjBufSize(w, h, TJSAMP_420);
        tjCompress2(tj, img.pixels.data(), w, 0, h, TJPF_BGR, &tjBuf, &size, TJSAMP_420, quality, tjFlags[f]);
        results[turboIndex + f].psnr = DecodePsnr(tjBuf, size, src, w, h);
    }

    std::printf("JPEG encode, %dx%d BGR, quality %d, 4:2:0, one thread, %d rounds (synthetic natural scene)\n",
                w, h, quality, rounds);
    std::printf("%-48s %10s %10s %10s %8s\n", "encoder", "best MP/s", "median", "bytes", "PSNR dB");
    for (const auto& r : results)
        std::printf("%-48s %10.1f %10.1f %10zu %8.2f\n", r.name, mpix / r.t.Best(), mpix / r.t.Median(), r.bytes,
                    r.psnr);
    const Result& a = results[0];
    for (int f = 0; f < 3; ++f) {
        const Result& b = results[turboIndex + f];
        std::printf("ratio V77 (auto) / %-36s speed best %.3f median %.3f, size %.4f, PSNR %+.2f dB\n",
                    b.name + 14, b.t.Best() / a.t.Best(), b.t.Median() / a.t.Median(),
                    static_cast<double>(a.bytes) / b.bytes, a.psnr - b.psnr);
    }
    tjFree(tjBuf);
    tjDestroy(tj);
    V77JpegFree(&props);
    return 0;
}
