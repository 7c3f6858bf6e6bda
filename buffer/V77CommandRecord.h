// Building and reading the 48-byte command records that travel in pool items
// in place of frame data (end of stream, segment start).
#pragma once

#include <windows.h>
#include <strmif.h>
#include "v77/IV77SamplePool.h"
#include "v77/V77Types.h"

namespace V77CommandRecord {

// A type-0 record: the delivery thread turns it into an end of stream.
V77_COMMAND_RECORD EndOfStream();

// A type-1 record. The rate applies only when rateValid is set; second is the
// position at which the delivery thread restarts its play state (0: none).
V77_COMMAND_RECORD Segment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate, REFERENCE_TIME second,
                           bool rateValid);

// Writes record into item (which then answers GetData with S_OK).
HRESULT Write(IV77PoolItem* item, const V77_COMMAND_RECORD& record);

// S_OK with *record filled when item carries a command record; S_FALSE for a
// media frame; E_INVALIDARG for a command mark shorter than a record (nothing
// past the item's data is read); E_POINTER for null arguments.
HRESULT Read(IV77PoolItem* item, V77_COMMAND_RECORD* record);

// True when item carries a command record (of any length).
bool IsCommand(IV77PoolItem* item);

// A new stand-alone pool item (the component's pool item class) holding record.
HRESULT CreateItem(const V77_COMMAND_RECORD& record, IV77PoolItem** item);

}  // namespace V77CommandRecord
