// Independent decoders for the encoder tests: the djpeg program and the
// libturbojpeg decompressor.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <turbojpeg.h>
#include <unistd.h>
#include <vector>

namespace v77test {

struct DecodedImage {
    int width = 0, height = 0, channels = 0;  // channels 3 = RGB, 1 = grey
    std::vector<uint8_t> pixels;
    bool ok = false;
    std::string error;
};

// Runs djpeg on the bytes and reads its PNM answer (P6 colour, P5 grey);
// djpeg's complaints go to the test's own error output.
inline DecodedImage DecodeWithDjpeg(const uint8_t* jpeg, size_t size)
{
    DecodedImage img;
    char in[] = "/tmp/v77jpegXXXXXX";
    int fd = mkstemp(in);
    if (fd < 0) {
        img.error = "mkstemp failed";
        return img;
    }
    bool written = write(fd, jpeg, size) == static_cast<ssize_t>(size);
    close(fd);
    FILE* f = written ? popen((std::string(V77_DJPEG_PATH) + " -pnm " + in).c_str(), "r") : nullptr;
    if (f) {
        char magic[3] = {};
        int maxval = 0;
        if (std::fscanf(f, "%2s %d %d %d", magic, &img.width, &img.height, &maxval) == 4 && maxval == 255) {
            std::fgetc(f);  // the single whitespace before the samples
            img.channels = magic[1] == '6' ? 3 : (magic[1] == '5' ? 1 : 0);
            img.pixels.resize(static_cast<size_t>(img.width) * img.height * img.channels);
            img.ok = img.channels != 0 &&
                     std::fread(img.pixels.data(), 1, img.pixels.size(), f) == img.pixels.size();
        }
        const int rc = pclose(f);
        img.ok = img.ok && rc == 0;
        if (!img.ok)
            img.error = "djpeg exit status " + std::to_string(rc);
    } else {
        img.error = "djpeg did not start";
    }
    std::remove(in);
    return img;
}

// libturbojpeg decoding to BGR (or grey), for PSNR against the source.
inline DecodedImage DecodeWithTurbo(const uint8_t* jpeg, size_t size, bool grey = false)
{
    DecodedImage img;
    tjhandle h = tjInitDecompress();
    int w = 0, hgt = 0, sub = 0, cs = 0;
    if (tjDecompressHeader3(h, jpeg, static_cast<unsigned long>(size), &w, &hgt, &sub, &cs) == 0) {
        img.width = w;
        img.height = hgt;
        img.channels = grey ? 1 : 3;
        img.pixels.resize(static_cast<size_t>(w) * hgt * img.channels);
        img.ok = tjDecompress2(h, jpeg, static_cast<unsigned long>(size), img.pixels.data(), w, 0, hgt,
                               grey ? TJPF_GRAY : TJPF_BGR, 0) == 0;
    }
    if (!img.ok)
        img.error = tjGetErrorStr2(h);
    tjDestroy(h);
    return img;
}

// Finds marker segments in a JPEG stream (before SOS).
struct Segment {
    int marker;
    const uint8_t* data;  // after the length field
    int length;           // payload bytes
};

inline std::vector<Segment> Segments(const uint8_t* p, size_t size)
{
    std::vector<Segment> out;
    size_t i = 2;
    while (i + 4 <= size && p[i] == 0xFF) {
        int m = p[i + 1];
        int len = (p[i + 2] << 8) | p[i + 3];
        if (i + 2 + len > size)
            break;
        out.push_back({m, p + i + 4, len - 2});
        if (m == 0xDA)
            break;
        i += 2 + len;
    }
    return out;
}

} // namespace v77test
