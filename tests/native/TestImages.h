// Deterministic test pictures shared by the native tests, the benchmarks and
// the Windows kernel suite.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

namespace v77test {

// Small, fast, reproducible generator (xorshift32).
class Rng {
public:
    explicit Rng(uint32_t seed) : m_s(seed ? seed : 0x9E3779B9u) {}
    uint32_t Next()
    {
        m_s ^= m_s << 13;
        m_s ^= m_s >> 17;
        m_s ^= m_s << 5;
        return m_s;
    }
    int Range(int lo, int hi) { return lo + static_cast<int>(Next() % static_cast<uint32_t>(hi - lo + 1)); }

private:
    uint32_t m_s;
};

inline std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed)
{
    Rng rng(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v)
        b = static_cast<uint8_t>(rng.Next() >> 24);
    return v;
}

struct BgrImage {
    int width = 0, height = 0, stride = 0;  // stride = width * 3 + pad
    std::vector<uint8_t> pixels;
    uint8_t* Row(int y) { return pixels.data() + static_cast<size_t>(y) * stride; }
    const uint8_t* Row(int y) const { return pixels.data() + static_cast<size_t>(y) * stride; }
};

inline uint8_t Clamp8(double v)
{
    return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v + 0.5));
}

// Hash-based value noise in 0..1 on an integer lattice.
inline double LatticeNoise(int x, int y, uint32_t seed)
{
    uint32_t h = static_cast<uint32_t>(x) * 374761393u + static_cast<uint32_t>(y) * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return ((h ^ (h >> 16)) & 0xFFFF) / 65535.0;
}

inline double SmoothNoise(double x, double y, uint32_t seed)
{
    int xi = static_cast<int>(std::floor(x)), yi = static_cast<int>(std::floor(y));
    double fx = x - xi, fy = y - yi;
    fx = fx * fx * (3 - 2 * fx);
    fy = fy * fy * (3 - 2 * fy);
    double a = LatticeNoise(xi, yi, seed), b = LatticeNoise(xi + 1, yi, seed);
    double c = LatticeNoise(xi, yi + 1, seed), d = LatticeNoise(xi + 1, yi + 1, seed);
    return (a + (b - a) * fx) * (1 - fy) + (c + (d - c) * fx) * fy;
}

// A camera-like scene: sky-to-ground gradients, textured surfaces (several
// octaves of value noise), hard-edged objects with their own shading, thin
// lines, and a little per-pixel sensor noise. Not flat anywhere, so the
// encoder's entropy stage does realistic work.
inline BgrImage MakeNaturalImage(int width, int height, int padBytes = 0, uint32_t seed = 7)
{
    BgrImage img;
    img.width = width;
    img.height = height;
    img.stride = width * 3 + padBytes;
    img.pixels.assign(static_cast<size_t>(img.stride) * height, 0);
    Rng rng(seed);
    struct Box { int x0, y0, x1, y1; double b, g, r; bool ellipse; };
    std::vector<Box> boxes;
    for (int i = 0; i < 14; ++i) {
        int w = width / 12 + rng.Range(0, width / 6 + 1), h = height / 12 + rng.Range(0, height / 6 + 1);
        int x = rng.Range(0, width > w ? width - w : 0), y = rng.Range(height / 4, height > h ? height - h : 0);
        boxes.push_back({x, y, x + w, y + h, double(rng.Range(20, 235)), double(rng.Range(20, 235)),
                         double(rng.Range(20, 235)), (i % 3) == 0});
    }
    const double horizon = height * 0.4;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = img.Row(y);
        for (int x = 0; x < width; ++x) {
            double fx = static_cast<double>(x) / width, fy = static_cast<double>(y) / height;
            double b, g, r;
            if (y < horizon) {  // sky: smooth gradient with soft clouds
                double cloud = SmoothNoise(x / 90.0, y / 40.0, seed) * 0.6 + SmoothNoise(x / 30.0, y / 15.0, seed + 1) * 0.4;
                b = 230 - 60 * fy + 25 * cloud;
                g = 170 - 30 * fy + 40 * cloud + 10 * fx;
                r = 110 + 20 * fx + 60 * cloud;
            } else {  // ground: textured, darker toward the bottom
                double t = SmoothNoise(x / 40.0, y / 40.0, seed + 2) * 0.5 + SmoothNoise(x / 9.0, y / 9.0, seed + 3) * 0.3 +
                           SmoothNoise(x / 2.5, y / 2.5, seed + 4) * 0.2;
                double shade = 1.0 - 0.35 * (y - horizon) / (height - horizon + 1);
                b = (60 + 70 * t) * shade;
                g = (90 + 90 * t) * shade;
                r = (80 + 70 * t + 20 * std::sin(x * 0.05)) * shade;
            }
            for (const Box& bx : boxes) {
                bool in;
                if (bx.ellipse) {
                    double cx = (bx.x0 + bx.x1) * 0.5, cy = (bx.y0 + bx.y1) * 0.5;
                    double rx = (bx.x1 - bx.x0) * 0.5 + 0.5, ry = (bx.y1 - bx.y0) * 0.5 + 0.5;
                    double dx = (x - cx) / rx, dy = (y - cy) / ry;
                    in = dx * dx + dy * dy <= 1.0;
                } else {
                    in = x >= bx.x0 && x < bx.x1 && y >= bx.y0 && y < bx.y1;
                }
                if (in) {
                    double lx = static_cast<double>(x - bx.x0) / (bx.x1 - bx.x0 + 1);
                    double s = 0.75 + 0.4 * lx + 0.1 * SmoothNoise(x / 6.0, y / 6.0, seed + 5);
                    b = bx.b * s;
                    g = bx.g * s;
                    r = bx.r * s;
                }
            }
            if ((x + 2 * y) % 97 == 0 || (3 * x - y + 5000) % 151 == 0) {  // thin wires
                b = g = r = 30;
            }
            uint32_t n = rng.Next();
            double nb = static_cast<int>((n & 0xFF) % 5) - 2, ng = static_cast<int>(((n >> 8) & 0xFF) % 5) - 2,
                   nr = static_cast<int>(((n >> 16) & 0xFF) % 5) - 2;
            row[x * 3 + 0] = Clamp8(b + nb);
            row[x * 3 + 1] = Clamp8(g + ng);
            row[x * 3 + 2] = Clamp8(r + nr);
        }
    }
    return img;
}

// PSNR of two equally sized 8-bit sample arrays.
inline double Psnr(const uint8_t* a, const uint8_t* b, size_t n)
{
    double se = 0;
    for (size_t i = 0; i < n; ++i) {
        double d = static_cast<double>(a[i]) - b[i];
        se += d * d;
    }
    if (se == 0)
        return 99.0;
    return 10.0 * std::log10(255.0 * 255.0 * static_cast<double>(n) / se);
}

} // namespace v77test
