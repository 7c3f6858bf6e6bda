// The demo's zone overlay: detection zones and their levels over the live view.
#pragma once

#include <string>

// Demo camera -> GDI renderer in a host window, and a zone detector ("SENS"
// samples, the shipped demo-zones.xml) -> overlay renderer; the host paints
// the overlay into the renderer's host overlay whenever it changed, then
// saves the window as v77-zones.png beside snapshotPath.
bool RunZoneOverlayDemo(const std::wstring& snapshotPath);
