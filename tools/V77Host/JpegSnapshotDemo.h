// The demo's snapshot graph: the camera into the JPEG renderer.
#pragma once

#include <string>

// Demo camera -> JPEG renderer; writes one snapshot to path.
bool RunJpegSnapshotDemo(const std::wstring& path);
