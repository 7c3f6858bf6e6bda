// Every public header of the module: identifiers, shared records, event codes
// and the interfaces of the filters and of the outside components.
#pragma once

#include "V77Guids.h"
#include "V77Types.h"
#include "V77Events.h"
#include "IV77SamplePool.h"
#include "IV77DsBuffer.h"
#include "IV77DxRenderer.h"
#include "IV77DsSource.h"
#include "IV77Receivers.h"
#include "IV77Sinks.h"
#include "IV77Audio.h"
#include "IV77Resize.h"
