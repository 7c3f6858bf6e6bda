// The demo's live view of an AVI file (a CLiveViewGraph): AVI file source ->
// buffer filter -> GDI renderer in a host window.
#pragma once

#include <string>

// Plays path (uncompressed colour bars) for a while; prints the stream, the
// graph events and the bar colours the window shows. Empty path: skipped (false).
bool RunAviLiveViewDemo(const std::wstring& path);
