// Defines the module's GUIDs once for each source test executable.
#include <initguid.h>
#include "v77/V77Guids.h"
