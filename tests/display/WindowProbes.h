// Points of a window where a test expects a colour, and their comparison
// with what the window shows.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

#include "tests/display/TestPicture.h"

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
