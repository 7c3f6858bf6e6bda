#include "kernels/jpeg/JpegInternal.h"

#include "kernels/ProcessorFeatures.h"

#include <cstring>
#include <new>

namespace v77jpeg {

namespace {

// Worst case of one colour MCU: 6 blocks of at most 64 codes of 27 bits,
// every byte stuffed, plus what the bit buffer still holds.
constexpr int kMaxMcuBytes = 6 * 2 * (64 * 27 / 8 + 1) + 16;
constexpr int kStagingBytes = kMaxMcuBytes + 64;
constexpr uint32_t kMaxComment = 65533;

struct State {
    int quality = -1;  // quality the tables below were made for
    uint8_t lumaQuant[64];
    uint8_t chromaQuant[64];
    QuantDivisors lumaDiv;
    QuantDivisors chromaDiv;
    alignas(16) uint8_t edge[16 * 48];  // right-edge MCU with replicated pixels
    alignas(16) uint8_t staging[kStagingBytes];
};

struct HuffSet {
    HuffCodes dcLuma, acLuma, dcChroma, acChroma;
};

const HuffSet& Huffman()
{
    static const HuffSet set = [] {
        HuffSet s;
        BuildHuffCodes(kDcLumaSpec, s.dcLuma);
        BuildHuffCodes(kAcLumaSpec, s.acLuma);
        BuildHuffCodes(kDcChromaSpec, s.dcChroma);
        BuildHuffCodes(kAcChromaSpec, s.acChroma);
        return s;
    }();
    return set;
}

// Entropy-coded output: codes gather MSB first in a 64-bit accumulator that
// leaves 8 bytes at a time, with a 0 stuffed after every 0xFF byte.
struct BitWriter {
    uint64_t acc = 0;
    int free = 64;  // bits still free in acc; the pending ones are its low 64 - free
    uint8_t* p = nullptr;

    static __attribute__((noinline)) uint8_t* StuffBytes(uint8_t* p, uint64_t w)
    {
        for (int s = 56; s >= 0; s -= 8) {
            uint8_t b = static_cast<uint8_t>(w >> s);
            *p++ = b;
            if (b == 0xFF)
                *p++ = 0;
        }
        return p;
    }

    void Flush64(uint64_t w)
    {
        // Any 0xFF byte? (zero-byte test on ~w) Rare in coded data.
        const uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
        if (__builtin_expect((((~w) - ones) & w & highs) != 0, 0)) {
            p = StuffBytes(p, w);
            return;
        }
        uint64_t be = __builtin_bswap64(w);
        std::memcpy(p, &be, 8);
        p += 8;
    }

    // n in 1..32 bits; code holds no bits above them.
    void Put(uint64_t code, int n)
    {
        free -= n;
        if (free >= 0) {
            acc = (acc << n) | code;
            return;
        }
        // Fill acc with the code's leading bits, write it out, keep the rest.
        Flush64((acc << (n + free)) | (code >> -free));
        acc = code;  // bits above the pending ones are shifted out later
        free += 64;
    }

    // Pads the last byte with 1 bits and writes out what is left.
    void Finish()
    {
        int pending = 64 - free;
        int pad = (8 - (pending & 7)) & 7;
        if (pad)
            Put((1u << pad) - 1, pad);
        pending = 64 - free;
        while (pending >= 8) {
            pending -= 8;
            uint8_t b = static_cast<uint8_t>(acc >> pending);
            *p++ = b;
            if (b == 0xFF)
                *p++ = 0;
        }
        free = 64;
    }
};

inline int BitLength(uint32_t v)
{
    return v ? 32 - __builtin_clz(v) : 0;
}

void EncodeBlock(BitWriter& out, const int16_t* coef, uint64_t columnMask, int& lastDc,
                 const HuffCodes& dc, const HuffCodes& ac)
{
    // A local copy stays in registers: output stores cannot alias it.
    BitWriter w = out;
    // Rounding in the fixed-point DCT can push a coefficient one past what
    // baseline JPEG can code; keep DC differences within 11 bits.
    int v = coef[0];
    v = v > 1023 ? 1023 : (v < -1024 ? -1024 : v);
    int diff = v - lastDc;
    lastDc = v;
    int s = diff >> 31;
    int nb = BitLength(static_cast<uint32_t>((diff ^ s) - s));
    uint32_t cl = dc.codeLen[nb];
    w.Put(((cl >> 8) << nb) | (static_cast<uint32_t>(diff + s) & ((1u << nb) - 1)),
          static_cast<int>(cl & 0xFF) + nb);

    uint64_t z = ZigzagMask(columnMask) & ~uint64_t{1};
    int prev = 0;
    while (z) {
        int k = __builtin_ctzll(z);
        z &= z - 1;
        int run = k - prev - 1;
        prev = k;
        while (run > 15) {
            uint32_t zrl = ac.codeLen[0xF0];
            w.Put(zrl >> 8, static_cast<int>(zrl & 0xFF));
            run -= 16;
        }
        int a = coef[kZigzagToColumn[k]];
        s = a >> 31;
        nb = 32 - __builtin_clz(static_cast<uint32_t>((a ^ s) - s));  // a is never 0 here
        if (nb > 10) {  // AC magnitudes stop at 1023
            nb = 10;
            a = s ? -1023 : 1023;
        }
        cl = ac.codeLen[(run << 4) | nb];
        w.Put(((cl >> 8) << nb) | (static_cast<uint32_t>(a + s) & ((1u << nb) - 1)),
              static_cast<int>(cl & 0xFF) + nb);
    }
    if (prev != 63) {
        uint32_t eob = ac.codeLen[0x00];
        w.Put(eob >> 8, static_cast<int>(eob & 0xFF));
    }
    out = w;
}

// Output cursor over the caller's buffer. MCUs go straight into it while a
// worst-case MCU still fits; near the end they go through the staging area
// and are copied only if they fit.
struct Output {
    uint8_t* begin;
    uint8_t* end;
    uint8_t* staging;
    bool overflow = false;
};

class McuGuard {
public:
    McuGuard(Output& out, BitWriter& w) : m_out(out), m_w(w)
    {
        m_staged = m_out.end - m_w.p < kMaxMcuBytes;
        if (m_staged) {
            m_real = m_w.p;
            m_w.p = m_out.staging;
        }
    }
    ~McuGuard()
    {
        if (!m_staged)
            return;
        size_t n = static_cast<size_t>(m_w.p - m_out.staging);
        if (m_out.overflow || n > static_cast<size_t>(m_out.end - m_real)) {
            m_out.overflow = true;
            n = 0;
        } else {
            std::memcpy(m_real, m_out.staging, n);
        }
        m_w.p = m_real + n;
    }

private:
    Output& m_out;
    BitWriter& m_w;
    bool m_staged;
    uint8_t* m_real = nullptr;
};

struct Picture {
    const uint8_t* pixels;
    int width, height;
    intptr_t stride;
};

// Row pointers of one MCU; the right-edge MCU is copied with its last pixel
// repeated, rows past the bottom repeat the last row.
void McuRows(const Picture& pic, int x0, int y0, int rowsPerMcu, uint8_t* edge,
             const uint8_t* rows[16])
{
    int inside = pic.width - x0;
    for (int r = 0; r < rowsPerMcu; ++r) {
        int y = y0 + r < pic.height ? y0 + r : pic.height - 1;
        const uint8_t* src = pic.pixels + y * pic.stride + x0 * 3;
        if (inside >= 16) {
            rows[r] = src;
            continue;
        }
        uint8_t* dst = edge + r * 48;
        std::memcpy(dst, src, static_cast<size_t>(inside) * 3);
        for (int x = inside; x < 16; ++x)
            std::memcpy(dst + x * 3, src + (inside - 1) * 3, 3);
        rows[r] = dst;
    }
}

void EncodeColour(const Picture& pic, const Kernels& k, State& st, BitWriter& w, Output& out)
{
    const HuffSet& h = Huffman();
    alignas(16) int16_t samples[6][64];
    alignas(16) int16_t coef[6][64];
    uint64_t mask[6];
    int dcY = 0, dcCb = 0, dcCr = 0;
    const uint8_t* rows[16];
    for (int y0 = 0; y0 < pic.height && !out.overflow; y0 += 16) {
        for (int x0 = 0; x0 < pic.width; x0 += 16) {
            McuRows(pic, x0, y0, 16, st.edge, rows);
            k.convertColor(rows, samples[0], samples[4], samples[5]);
            for (int b = 0; b < 4; ++b)
                mask[b] = k.fdctQuant(samples[b], st.lumaDiv, coef[b]);
            mask[4] = k.fdctQuant(samples[4], st.chromaDiv, coef[4]);
            mask[5] = k.fdctQuant(samples[5], st.chromaDiv, coef[5]);
            McuGuard guard(out, w);
            for (int b = 0; b < 4; ++b)
                EncodeBlock(w, coef[b], mask[b], dcY, h.dcLuma, h.acLuma);
            EncodeBlock(w, coef[4], mask[4], dcCb, h.dcChroma, h.acChroma);
            EncodeBlock(w, coef[5], mask[5], dcCr, h.dcChroma, h.acChroma);
        }
    }
}

void EncodeGrey(const Picture& pic, const Kernels& k, State& st, BitWriter& w, Output& out)
{
    const HuffSet& h = Huffman();
    alignas(16) int16_t samples[2][64];
    alignas(16) int16_t coef[2][64];
    int dc = 0;
    const uint8_t* rows[16];
    for (int y0 = 0; y0 < pic.height && !out.overflow; y0 += 8) {
        // Two 8 x 8 MCUs per conversion; the second is dropped past the edge.
        for (int x0 = 0; x0 < pic.width; x0 += 16) {
            McuRows(pic, x0, y0, 8, st.edge, rows);
            k.convertGrey(rows, samples[0]);
            int blocks = pic.width - x0 > 8 ? 2 : 1;
            uint64_t mask[2];
            for (int b = 0; b < blocks; ++b)
                mask[b] = k.fdctQuant(samples[b], st.lumaDiv, coef[b]);
            McuGuard guard(out, w);
            for (int b = 0; b < blocks; ++b)
                EncodeBlock(w, coef[b], mask[b], dc, h.dcLuma, h.acLuma);
        }
    }
}

// ---- headers ----

struct ByteWriter {
    uint8_t* p;
    void Byte(int v) { *p++ = static_cast<uint8_t>(v); }
    void Word(int v) { Byte(v >> 8); Byte(v); }
    void Marker(int m) { Byte(0xFF); Byte(m); }
    void Bytes(const void* src, size_t n) { std::memcpy(p, src, n); p += n; }
};

size_t DhtBytes(const HuffSpec& s)
{
    return 1 + 16 + static_cast<size_t>(s.count);
}

void WriteDht(ByteWriter& b, int classAndId, const HuffSpec& s)
{
    b.Byte(classAndId);
    b.Bytes(s.bits, 16);
    b.Bytes(s.values, static_cast<size_t>(s.count));
}

size_t HeaderBytes(bool colour, uint32_t commentBytes)
{
    int comps = colour ? 3 : 1;
    size_t dht = DhtBytes(kDcLumaSpec) + DhtBytes(kAcLumaSpec);
    if (colour)
        dht += DhtBytes(kDcChromaSpec) + DhtBytes(kAcChromaSpec);
    return 2                                    // SOI
           + 18                                 // APP0 JFIF
           + 4 + commentBytes                   // COM
           + 4 + 65 * (colour ? 2 : 1)          // DQT
           + 10 + 3 * comps                     // SOF0
           + 4 + dht                            // DHT
           + 6 + 2 * comps + 2;                 // SOS
}

void WriteHeaders(ByteWriter& b, const State& st, bool colour, int width, int height,
                  const uint8_t* comment, uint32_t commentBytes)
{
    b.Marker(0xD8);
    b.Marker(0xE0);
    b.Word(16);
    b.Bytes("JFIF", 5);
    b.Byte(1);  // version 1.01
    b.Byte(1);
    b.Byte(0);  // no units: aspect ratio only
    b.Word(1);
    b.Word(1);
    b.Byte(0);  // no thumbnail
    b.Byte(0);

    b.Marker(0xFE);
    b.Word(static_cast<int>(2 + commentBytes));
    b.Bytes(comment, commentBytes);

    b.Marker(0xDB);
    b.Word(2 + 65 * (colour ? 2 : 1));
    b.Byte(0x00);
    for (int k = 0; k < 64; ++k)
        b.Byte(st.lumaQuant[kZigzagToNatural[k]]);
    if (colour) {
        b.Byte(0x01);
        for (int k = 0; k < 64; ++k)
            b.Byte(st.chromaQuant[kZigzagToNatural[k]]);
    }

    int comps = colour ? 3 : 1;
    b.Marker(0xC0);
    b.Word(8 + 3 * comps);
    b.Byte(8);
    b.Word(height);
    b.Word(width);
    b.Byte(comps);
    if (colour) {
        b.Byte(1); b.Byte(0x22); b.Byte(0);
        b.Byte(2); b.Byte(0x11); b.Byte(1);
        b.Byte(3); b.Byte(0x11); b.Byte(1);
    } else {
        b.Byte(1); b.Byte(0x11); b.Byte(0);
    }

    size_t dht = DhtBytes(kDcLumaSpec) + DhtBytes(kAcLumaSpec);
    if (colour)
        dht += DhtBytes(kDcChromaSpec) + DhtBytes(kAcChromaSpec);
    b.Marker(0xC4);
    b.Word(static_cast<int>(2 + dht));
    WriteDht(b, 0x00, kDcLumaSpec);
    WriteDht(b, 0x10, kAcLumaSpec);
    if (colour) {
        WriteDht(b, 0x01, kDcChromaSpec);
        WriteDht(b, 0x11, kAcChromaSpec);
    }

    b.Marker(0xDA);
    b.Word(6 + 2 * comps);
    b.Byte(comps);
    if (colour) {
        b.Byte(1); b.Byte(0x00);
        b.Byte(2); b.Byte(0x11);
        b.Byte(3); b.Byte(0x11);
    } else {
        b.Byte(1); b.Byte(0x00);
    }
    b.Byte(0);   // spectral selection 0..63
    b.Byte(63);
    b.Byte(0);
}

const Kernels* KernelsFor(Path path)
{
    uint32_t f = V77ProcessorFeatures();
    switch (path) {
    case Path::Plain:
        return &kPlainKernels;
    case Path::Sse2:
        return (f & V77_CPU_SSE2) ? &kSse2Kernels : nullptr;
    case Path::Ssse3:
        return (f & V77_CPU_SSSE3) ? &kSsse3Kernels : nullptr;
    case Path::Auto:
        break;
    }
    if (f & V77_CPU_SSSE3)
        return &kSsse3Kernels;
    return (f & V77_CPU_SSE2) ? &kSse2Kernels : &kPlainKernels;
}

int32_t Write(V77_JPEG_PROPERTIES* props, int32_t mode, Path path)
{
    if (!props)
        return V77_JPEG_ERR_NULL_ARGUMENT;
    uint32_t capacity = props->JPGSizeBytes;
    props->JPGSizeBytes = 0;
    State* st = static_cast<State*>(props->internal);
    if (!st)
        return V77_JPEG_ERR_NOT_INITIALIZED;
    if (mode != V77_JPEG_WRITE_WHOLE_IMAGE)
        return V77_JPEG_ERR_BAD_MODE;
    if (!props->DIBBytes || !props->JPGBytes)
        return V77_JPEG_ERR_NULL_ARGUMENT;
    const int width = props->DIBWidth, height = props->DIBHeight;
    if (width < 1 || height < 1 || width > 65535 || height > 65535 || props->JPGWidth != width ||
        props->JPGHeight != height || props->DIBPadBytes < 0)
        return V77_JPEG_ERR_BAD_SIZE;
    if (props->DIBChannels != 3 || props->DIBColor != V77_JPEG_BGR ||
        props->DIBSubsampling != V77_JPEG_NONE)
        return V77_JPEG_ERR_UNSUPPORTED;
    bool colour;
    if (props->JPGChannels == 3 && props->JPGColor == V77_JPEG_YCBCR &&
        props->JPGSubsampling == V77_JPEG_411)
        colour = true;
    else if (props->JPGChannels == 1 && props->JPGColor == V77_JPEG_GRAY &&
             props->JPGSubsampling == V77_JPEG_NONE)
        colour = false;
    else
        return V77_JPEG_ERR_UNSUPPORTED;

    static const uint8_t kEmptyComment = 0;
    const uint8_t* comment = static_cast<const uint8_t*>(props->JPGComment);
    uint32_t commentBytes = props->JPGCommentBytes;
    if (!comment || commentBytes == 0) {
        comment = &kEmptyComment;
        commentBytes = 1;
    }
    if (commentBytes > kMaxComment)
        return V77_JPEG_ERR_COMMENT_TOO_LONG;

    const Kernels* k = KernelsFor(path);
    if (!k)
        return V77_JPEG_ERR_UNSUPPORTED;

    int quality = props->jquality < 1 ? 1 : (props->jquality > 100 ? 100 : props->jquality);
    if (quality != st->quality) {
        ScaleQuantTable(kBaseLumaQuant, quality, st->lumaQuant);
        ScaleQuantTable(kBaseChromaQuant, quality, st->chromaQuant);
        BuildQuantDivisors(st->lumaQuant, st->lumaDiv);
        BuildQuantDivisors(st->chromaQuant, st->chromaDiv);
        st->quality = quality;
    }

    size_t header = HeaderBytes(colour, commentBytes);
    if (header + 2 > capacity)
        return V77_JPEG_ERR_BUFFER_TOO_SMALL;
    ByteWriter hb{props->JPGBytes};
    WriteHeaders(hb, *st, colour, width, height, comment, commentBytes);

    // The last two bytes are kept for EOI.
    Output out{props->JPGBytes, props->JPGBytes + capacity - 2, st->staging};
    BitWriter w;
    w.p = hb.p;
    Picture pic{props->DIBBytes, width, height,
                static_cast<intptr_t>(width) * 3 + props->DIBPadBytes};
    if (colour)
        EncodeColour(pic, *k, *st, w, out);
    else
        EncodeGrey(pic, *k, *st, w, out);
    {
        McuGuard guard(out, w);
        w.Finish();
    }
    if (out.overflow)
        return V77_JPEG_ERR_BUFFER_TOO_SMALL;
    w.p[0] = 0xFF;
    w.p[1] = 0xD9;
    props->JPGSizeBytes = static_cast<uint32_t>(w.p + 2 - props->JPGBytes);
    return V77_JPEG_OK;
}

} // namespace

int32_t WriteWithPath(V77_JPEG_PROPERTIES* props, int32_t mode, Path path)
{
    return Write(props, mode, path);
}

} // namespace v77jpeg

int32_t V77JpegInit(V77_JPEG_PROPERTIES* props)
{
    if (!props)
        return V77_JPEG_ERR_NULL_ARGUMENT;
    std::memset(props, 0, sizeof(*props));
    props->DIBChannels = 3;
    props->DIBColor = V77_JPEG_BGR;
    props->DIBSubsampling = V77_JPEG_NONE;
    props->JPGChannels = 3;
    props->JPGColor = V77_JPEG_YCBCR;
    props->JPGSubsampling = V77_JPEG_411;
    props->jquality = 75;
    props->internal = new (std::nothrow) v77jpeg::State;
    return props->internal ? V77_JPEG_OK : V77_JPEG_ERR_NO_MEMORY;
}

int32_t V77JpegFree(V77_JPEG_PROPERTIES* props)
{
    if (!props)
        return V77_JPEG_ERR_NULL_ARGUMENT;
    delete static_cast<v77jpeg::State*>(props->internal);
    props->internal = nullptr;
    return V77_JPEG_OK;
}

int32_t V77JpegWrite(V77_JPEG_PROPERTIES* props, int32_t mode)
{
    return v77jpeg::Write(props, mode, v77jpeg::Path::Auto);
}
