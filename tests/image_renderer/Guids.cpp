// Defines the module's GUIDs once for the image renderer suite.
#include <initguid.h>
#include "v77/V77Guids.h"
#include "v77/IV77ImageSinkComponent.h"
