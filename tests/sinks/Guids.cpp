// Defines the module's GUIDs once for the AVI file renderer test executable.
#include <initguid.h>
#include "v77/V77Guids.h"
