// The demo's live graph: a camera into a window through the buffer filter.
#pragma once

// Demo camera -> buffer filter -> GDI renderer in a host window; prints the
// frames delivered, the media-time events and the colours the window shows.
bool RunLiveGraphDemo();
