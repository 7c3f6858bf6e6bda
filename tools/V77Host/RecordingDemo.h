// The demo's recording: an MPEG-4 AVI file played once by the AVI file source
// into the AVI file renderer, the file read back and put into a recording
// store under the capture time of its first frame, and that store played
// back by the store source into the image renderer and the image sink.
#pragma once

#include <string>

// Records input into output; prints what was written and what played back.
// False when input is empty, or when anything failed or differed.
bool RunRecordingDemo(const std::wstring& input, const std::wstring& output);
