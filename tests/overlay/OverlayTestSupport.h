// Shared pieces of the overlay suites: the zone configuration they start
// with, masks in run-length words, and pixel colours.
#pragma once

#include <windows.h>
#include <functional>
#include <string>
#include <vector>

#include "tests/display/CTestDibDc.h"

// Three groups on 16 x 8 planes (the third 12 wide, whose last 4 columns the
// region cannot carry): "Door" (orange, a rectangle in the top-left
// quarter), "Hall" (blue, the lower half as runs, thresholds 30 and 60) and
// "Door" again (green, its whole plane).
extern const wchar_t kZoneXml[];
constexpr Rgb kDoorColour = {0xFF, 0x80, 0x00};
constexpr Rgb kHallColour = {0x00, 0x80, 0xFF};
constexpr Rgb kWideColour = {0x00, 0xC0, 0x00};
constexpr Rgb kGrey = {0x40, 0x40, 0x40};

// Run-length words of a width x height mask.
std::vector<uint32_t> MaskWords(int width, int height, const std::function<bool(int, int)>& set);

// The bytes with the little-endian DWORD at offset replaced: damaged samples.
std::vector<BYTE> Poke(std::vector<BYTE> bytes, size_t offset, uint32_t value);

bool Same(Rgb a, Rgb b);
std::string Describe(Rgb c);

// Where every pixel of dib differs from expected(x, y): "x,y: got ... want ...", at most a few.
std::string Mismatches(const CTestDibDc& dib, LONG width, LONG height, const std::function<Rgb(LONG, LONG)>& expected);
