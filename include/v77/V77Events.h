// Graph event codes the module's filters raise (EC_USER + n).
#pragma once

#include <windows.h>
#include <evcode.h>
#include <vfwmsgs.h>

enum : long {
    EC_V77_MEDIA_TIME       = EC_USER + 0x1,  // media time of the frame just delivered (low, high)
    EC_V77_MARKER           = EC_USER + 0x2,  // marker sample received
    EC_V77_STREAM_EVENT_1   = EC_USER + 0x3,  // receiver stream event
    EC_V77_STREAM_EVENT_2   = EC_USER + 0x4,  // receiver stream event
    EC_V77_SEGMENT_END      = EC_USER + 0x5,  // playback cannot continue past the segment (hr, 0)
    EC_V77_STATUS_CHANGED   = EC_USER + 0x6,  // stream status bits changed
    EC_V77_JPEG_READY       = EC_USER + 0x7,  // JPEG frame ready (IMediaSample*, 0)
    EC_V77_STOP_POSITION    = EC_USER + 0x8,  // playback passed its stop or start position
    EC_V77_MEMORY           = EC_USER + 0x9,  // buffer memory reserved (+) or released (-), bytes
    EC_V77_PACING           = EC_USER + 0xA,  // pacing position reached
};

// Stream description changed (returned where a stream's type no longer fits).
#define V77_E_STREAM_CHANGED VFW_E_INVALID_MEDIA_TYPE  // 0x80040248
