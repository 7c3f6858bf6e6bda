// The demo's DirectDraw and window spy step.
#pragma once

#include <string>

// The live camera graph shown in a GDI window is captured by the window spy
// and shown live through the DirectDraw renderer in a second window; that
// window is captured by the spy into the JPEG renderer. Both windows are saved
// as PNG screenshots, the JPEG as a snapshot, beside snapshotPath.
bool RunDirectDrawDemo(const std::wstring& snapshotPath);
