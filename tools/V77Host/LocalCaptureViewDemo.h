// The demo's live view from the local capture process: V77Capture.exe fills
// its ring, the local source reads it through the local receiver, through the
// buffer filter into the GDI renderer in a host window.
#pragma once

// Starts the capture tool beside the host program, shows its picture for a
// while, reads the frame number the tool draws into the picture back from
// the window twice and checks that it advanced; ends the tool by its handle.
bool RunLocalCaptureViewDemo();
