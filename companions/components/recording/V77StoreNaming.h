// Names of the files of a recording store. A store is a folder of AVI
// segments; each is named by the time of its first frame on the file-time
// scale (100 ns since 1601), in decimal, with the extension ".avi":
// "133485408000000000.avi". Other names in the folder are ignored.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The first-frame time a segment file name stands for; nothing for any other name.
std::optional<int64_t> ParseSegmentName(const std::string& fileName);
// The file name of a segment whose first frame is at time (time > 0).
std::string SegmentName(int64_t time);
// A decimal time as the AVI receiver takes it in its second source string.
std::optional<int64_t> ParseDecimalTime(const std::string& text);
