// Resize geometry from arbitrary bytes: sizes, rectangles (also past the
// picture), factors and shifts of any value, every channel count and YUY2.
// Buffers are exactly as large as the arguments say, so AddressSanitizer
// catches any read or write outside them; every build must give the same bytes.
#include "kernels/ProcessorFeatures.h"
#include "kernels/Resize.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

class Reader {
public:
    Reader(const uint8_t* d, size_t n) : m_d(d), m_n(n) {}
    uint32_t U32()
    {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v = (v << 8) | Byte();
        return v;
    }
    uint8_t Byte() { return m_i < m_n ? m_d[m_i++] : 0; }
    int Small(int lo, int hi) { return lo + static_cast<int>(U32() % static_cast<uint32_t>(hi - lo + 1)); }
    double Double()
    {
        uint64_t bits = (static_cast<uint64_t>(U32()) << 32) | U32();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return d;
    }
    // Mostly plausible factors, sometimes raw bit patterns (NaN, infinities, denormals).
    double Factor(int dst, int src)
    {
        switch (Byte() % 4) {
        case 0: return Double();
        case 1: return static_cast<double>(Small(1, 5000)) / Small(1, 5000);
        default: return static_cast<double>(dst) / src;
        }
    }

private:
    const uint8_t* m_d;
    size_t m_n, m_i = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Reader r(data, size);
    const int format = r.Byte() % 4;  // 0: YUY2, else 1, 3, 4 channels
    const int ch = format == 0 ? 2 : (format == 1 ? 1 : format + 1);
    const V77Size src = {r.Small(1, 70), r.Small(1, 70)};
    const V77Rect roi = {r.Small(-80, 80), r.Small(-80, 80), r.Small(-2, 160), r.Small(-2, 160)};
    const V77Rect dstRoi = {r.Small(0, 3), r.Small(0, 3), r.Small(0, 90), r.Small(0, 90)};
    const int srcStep = src.width * ch + r.Small(0, 3);
    const double xf = r.Factor(dstRoi.width, src.width), yf = r.Factor(dstRoi.height, src.height);
    const double xs = (r.Byte() & 1) ? r.Double() : 0.0, ys = (r.Byte() & 1) ? r.Double() : 0.0;
    const int interp = (r.Byte() & 7) ? V77_INTERPOLATION_LINEAR_SMOOTH : static_cast<int>(r.U32());

    std::vector<uint8_t> in(static_cast<size_t>(srcStep) * (src.height - 1) + src.width * ch);
    for (size_t i = 0; i < in.size(); ++i)
        in[i] = static_cast<uint8_t>(i * 31 + (i >> 7));
    const int dstW = dstRoi.x + dstRoi.width, dstH = dstRoi.y + dstRoi.height;
    const int dstStep = dstW * ch;
    const size_t dstBytes = dstH > 0 && dstStep > 0 ? static_cast<size_t>(dstStep) * dstH : 1;
    // AVX2 runs only where the processor has it (it is chosen the same way in the product).
    const bool avx2 = V77ProcessorFeatures() & V77_CPU_AVX2;
    const int count = avx2 ? 3 : 2;
    std::vector<uint8_t> outs[3] = {std::vector<uint8_t>(dstBytes, 0), std::vector<uint8_t>(dstBytes, 0),
                                    std::vector<uint8_t>(dstBytes, 0)};
    const V77ResizeRowKernels* builds[3] = {&kV77ResizePlain, &kV77ResizeSse2, &kV77ResizeAvx2};
    int status[3] = {0, 0, 0};
    for (int b = 0; b < count; ++b) {
        if (format == 0) {
            status[b] = V77ResizeYuv422With(*builds[b], in.data(), src, srcStep, roi, outs[b].data(), dstStep,
                                            {dstW, dstH}, xf, yf, interp);
        } else {
            int bytes = 0;
            if (V77ResizeBufferSize(roi, dstRoi, ch, interp, &bytes) != V77_RESIZE_OK) {
                status[b] = -100;
                continue;
            }
            std::vector<uint8_t> work(static_cast<size_t>(bytes));
            status[b] = V77ResizeChannelsWith(*builds[b], ch, in.data(), src, srcStep, roi, outs[b].data(), dstStep,
                                              dstRoi, xf, yf, xs, ys, interp, work.data());
        }
    }
    for (int b = 1; b < count; ++b)
        if (status[0] != status[b] || outs[0] != outs[b])
            std::abort();
    return 0;
}
