// Defines the module's GUIDs once for the window spy test executable.
#include <initguid.h>
#include "v77/V77Guids.h"
