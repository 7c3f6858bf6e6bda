// Defines the module's GUIDs once for the JPEG renderer suite.
#include <initguid.h>
#include "v77/V77Guids.h"
