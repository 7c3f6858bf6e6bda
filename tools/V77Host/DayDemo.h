// The demo's recording-and-playback day: an ffmpeg RTP camera on loopback
// viewed live and recorded into a store in rolling segments, ffprobe's verdict
// on every segment, then the store played back in three synchronised views
// (a seek, a rate change, steps), every frame shown named by its camera number.
#pragma once

#include <string>

// work: a Unix folder holding the camera recording (camera.avi) and ffmpeg's
// packet list of it (camera.crc). False when work is empty or anything failed.
bool RunDayDemo(const std::wstring& work);
