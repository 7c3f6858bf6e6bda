// Defines the module's GUIDs once for the overlay test executables.
#include <initguid.h>
#include "v77/V77Guids.h"
