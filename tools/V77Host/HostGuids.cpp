// Defines the module's GUIDs for the host program.
#include <initguid.h>
#include "v77/V77Guids.h"
#include "v77/IV77ImageSinkComponent.h"
