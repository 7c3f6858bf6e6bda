// The demo's archive playback: one recording store in three synchronised
// views, each its own store archive source -> buffer filter -> GDI renderer
// in a host window; the first buffer is the group's master.
#pragma once

#include <string>

// Seeks, plays at rates 4, 1, -1 and 0.25 and steps across a segment edge,
// printing the recorded frame each window shows (read from the counter in
// the picture). Empty store: skipped (false).
bool RunArchivePlaybackDemo(const std::wstring& store);
