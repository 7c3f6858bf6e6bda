// What a CTestLiveReceiver streams: numbered frames of one stream
// description, with markers, status bits and stream events at chosen frames.
#pragma once

#include <windows.h>
#include <map>
#include <set>
#include "v77/V77Types.h"

struct ReceiverScript {
    SOURCE_INFORMATION info = {};   // what the receiver describes (Width 0: Open fails)
    int frameCount = -1;            // frames per streaming run; -1: until stopped
    DWORD intervalMs = 0;           // pause after each frame
    REFERENCE_TIME frameTime = 400000;
    std::set<int> markers;          // frames sent as marker samples
    std::map<int, DWORD> status;    // status bits (dwTypeSpecificFlags) of frames; others 0
    std::set<int> eventsA;          // OnStreamEventA after these frames
    std::set<int> eventsB;          // OnStreamEventB after these frames
    bool withContext = false;       // a counted context object with every GetBuffer
    bool holdSamples = false;       // keep every sample after OnSample (until Close)
};

// A YUY2 stream description of width x height at 25 frames a second.
SOURCE_INFORMATION Yuy2Information(LONG width, LONG height);
