// Defines the module's GUIDs for the soak program.
#include <initguid.h>
#include "v77/V77Guids.h"
