// Defines the module's GUIDs once for each audio test executable.
#include <initguid.h>
#include "v77/V77Guids.h"
