// Defines the module's GUIDs once for each buffer test executable.
#include <initguid.h>
#include "v77/V77Guids.h"
