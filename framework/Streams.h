// The filter framework in one include.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <control.h>
#include <uuids.h>
#include <amvideo.h>
#include <dvdmedia.h>
#include <mmreg.h>
#include <evcode.h>
#include <vfwmsgs.h>

#include "framework/CAMEvent.h"
#include "framework/CAutoLock.h"
#include "framework/CBaseObject.h"
#include "framework/CCritSec.h"
#include "framework/CFactoryTemplate.h"
#include "framework/CMediaType.h"
#include "framework/CUnknown.h"
