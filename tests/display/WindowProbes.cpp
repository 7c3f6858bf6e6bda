#include "tests/display/WindowProbes.h"

#include <cstdio>

namespace {

std::string Text(Rgb c)
{
    char text[16];
    std::snprintf(text, sizeof text, "%02X%02X%02X", c.r, c.g, c.b);
    return text;
}

}  // namespace

std::vector<Probe> QuadrantProbes(const RECT& rect, Rgb tl, Rgb tr, Rgb bl, Rgb br)
{
    const LONG w = rect.right - rect.left;
    const LONG h = rect.bottom - rect.top;
    const LONG left = rect.left + w / 4, right = rect.left + 3 * w / 4;
    const LONG top = rect.top + h / 4, bottom = rect.top + 3 * h / 4;
    return {{left, top, tl}, {right, top, tr}, {left, bottom, bl}, {right, bottom, br}};
}

std::vector<Probe> UniformProbes(const RECT& rect, Rgb colour)
{
    std::vector<Probe> probes;
    const LONG w = rect.right - rect.left;
    const LONG h = rect.bottom - rect.top;
    for (int j = 0; j < 3; ++j) {
        for (int i = 0; i < 3; ++i)
            probes.push_back({rect.left + (2 * i + 1) * w / 6, rect.top + (2 * j + 1) * h / 6, colour});
    }
    return probes;
}

std::string Mismatches(const TestPicture& shown, const std::vector<Probe>& probes, int tolerance)
{
    if (shown.pixels.empty())
        return "window not readable\n";
    std::string report;
    for (const Probe& p : probes) {
        if (p.x < 0 || p.y < 0 || p.x >= shown.width || p.y >= shown.height) {
            report += "probe (" + std::to_string(p.x) + "," + std::to_string(p.y) + ") outside the window\n";
            continue;
        }
        const Rgb seen = shown.At(p.x, p.y);
        if (!Near(seen, p.expected, tolerance))
            report += "(" + std::to_string(p.x) + "," + std::to_string(p.y) + "): expected " + Text(p.expected) +
                      ", shown " + Text(seen) + "\n";
    }
    return report;
}

::testing::AssertionResult PumpUntilShown(CTestVideoWindow& window, const char* what,
                                          const std::function<TestPicture()>& read, const std::vector<Probe>& probes,
                                          int tolerance, DWORD timeoutMs, const std::function<void()>& retry)
{
    std::string mismatches;
    const bool shown = window.PumpUntil(
        [&] {
            mismatches = Mismatches(read(), probes, tolerance);
            if (!mismatches.empty() && retry)
                retry();
            return mismatches.empty();
        },
        timeoutMs);
    if (shown)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << what << " shows:\n" << mismatches;
}
