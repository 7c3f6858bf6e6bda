// Runs the JPEG encoder on a test picture, shared by the native encoder suite
// and its Windows counterpart.
#pragma once

#include "kernels/ProcessorFeatures.h"
#include "kernels/jpeg/JpegInternal.h"
#include "kernels/jpeg/V77Jpeg.h"
#include "tests/native/TestImages.h"

#include <gtest/gtest.h>
#include <vector>

namespace v77test {

struct Encoded {
    int32_t rc = 0;
    std::vector<uint8_t> bytes;
};

struct EncodeOptions {
    int quality = 75;
    bool colour = true;
    const void* comment = "v77 test";
    uint32_t commentBytes = 8;
    v77jpeg::Path path = v77jpeg::Path::Auto;
};

class Encoder {
public:
    Encoder() { EXPECT_EQ(V77_JPEG_OK, V77JpegInit(&m_props)); }
    ~Encoder() { V77JpegFree(&m_props); }
    Encoder(const Encoder&) = delete;
    Encoder& operator=(const Encoder&) = delete;
    V77_JPEG_PROPERTIES& props() { return m_props; }

    void Setup(const BgrImage& img, const EncodeOptions& o)
    {
        m_props.DIBBytes = img.pixels.data();
        m_props.DIBWidth = m_props.JPGWidth = img.width;
        m_props.DIBHeight = m_props.JPGHeight = img.height;
        m_props.DIBPadBytes = img.stride - img.width * 3;
        m_props.DIBChannels = 3;
        m_props.DIBColor = V77_JPEG_BGR;
        m_props.DIBSubsampling = V77_JPEG_NONE;
        m_props.JPGChannels = o.colour ? 3 : 1;
        m_props.JPGColor = o.colour ? V77_JPEG_YCBCR : V77_JPEG_GRAY;
        m_props.JPGSubsampling = o.colour ? V77_JPEG_411 : V77_JPEG_NONE;
        m_props.jquality = o.quality;
        m_props.JPGComment = o.comment;
        m_props.JPGCommentBytes = o.commentBytes;
    }

    Encoded Encode(const BgrImage& img, const EncodeOptions& o = {})
    {
        Setup(img, o);
        Encoded e;
        e.bytes.resize(static_cast<size_t>(img.width) * img.height * 4 + 4096 + o.commentBytes);
        m_props.JPGBytes = e.bytes.data();
        m_props.JPGSizeBytes = static_cast<uint32_t>(e.bytes.size());
        e.rc = v77jpeg::WriteWithPath(&m_props, V77_JPEG_WRITE_WHOLE_IMAGE, o.path);
        e.bytes.resize(e.rc == V77_JPEG_OK ? m_props.JPGSizeBytes : 0);
        return e;
    }

private:
    V77_JPEG_PROPERTIES m_props;
};

// A picture of one colour; rows padded with 0xEE.
inline BgrImage Flat(int w, int h, uint8_t b, uint8_t g, uint8_t r, int pad = 0)
{
    BgrImage img;
    img.width = w;
    img.height = h;
    img.stride = w * 3 + pad;
    img.pixels.assign(static_cast<size_t>(img.stride) * h, 0xEE);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            img.Row(y)[x * 3] = b;
            img.Row(y)[x * 3 + 1] = g;
            img.Row(y)[x * 3 + 2] = r;
        }
    return img;
}

// Every encoder build this processor can run; the first is the reference.
inline std::vector<v77jpeg::Path> AvailableJpegPaths()
{
    std::vector<v77jpeg::Path> p = {v77jpeg::Path::Plain, v77jpeg::Path::Sse2};
    if (V77ProcessorFeatures() & V77_CPU_SSSE3)
        p.push_back(v77jpeg::Path::Ssse3);
    return p;
}

} // namespace v77test
