// Defines the module's GUIDs once for each test executable of this folder.
#include <initguid.h>
#include "v77/V77Guids.h"
