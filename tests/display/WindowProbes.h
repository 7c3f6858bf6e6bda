// Points of a window where a test expects a colour, their comparison with
// what the window shows, and the display suites' colours and pictures.
#pragma once

#include <windows.h>
#include <functional>
#include <string>
#include <vector>
#include <gtest/gtest.h>

#include "tests/display/CTestVideoWindow.h"
#include "tests/display/TestPicture.h"

// Colours well inside the YUV gamut, so that no channel clips.
constexpr Rgb kRed{205, 45, 45};
constexpr Rgb kGreen{45, 185, 65};
constexpr Rgb kBlue{50, 60, 210};
constexpr Rgb kYellow{215, 205, 60};
constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kKey{255, 0, 255};
constexpr COLORREF kKeyRef = RGB(255, 0, 255);

struct Probe {
    LONG x;
    LONG y;
    Rgb expected;
};

// The middle of each quadrant of rect, expecting tl, tr, bl and br.
std::vector<Probe> QuadrantProbes(const RECT& rect, Rgb tl, Rgb tr, Rgb bl, Rgb br);
// A 3 x 3 grid over rect, away from its edges, all expecting colour.
std::vector<Probe> UniformProbes(const RECT& rect, Rgb colour);
// Empty when every probe matches within tolerance; otherwise one line per mismatch.
std::string Mismatches(const TestPicture& shown, const std::vector<Probe>& probes, int tolerance);

inline TestPicture PictureA(LONG w, LONG h)
{
    return QuadrantPicture(w, h, kRed, kGreen, kBlue, kYellow);
}

// A's colours turned a quarter: a frame that replaced A differs everywhere.
inline TestPicture PictureB(LONG w, LONG h)
{
    return QuadrantPicture(w, h, kBlue, kRed, kYellow, kGreen);
}

inline std::vector<Probe> ProbesA(const RECT& r)
{
    return QuadrantProbes(r, kRed, kGreen, kBlue, kYellow);
}

inline std::vector<Probe> ProbesB(const RECT& r)
{
    return QuadrantProbes(r, kBlue, kRed, kYellow, kGreen);
}

inline std::vector<Probe> operator+(std::vector<Probe> a, const std::vector<Probe>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Pumps window until the picture read matches probes (bounded by timeoutMs);
// retry, when given, runs after each mismatch (a present asked for again).
::testing::AssertionResult PumpUntilShown(CTestVideoWindow& window, const char* what,
                                          const std::function<TestPicture()>& read, const std::vector<Probe>& probes,
                                          int tolerance, DWORD timeoutMs, const std::function<void()>& retry = nullptr);
