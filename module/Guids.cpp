// Defines the module's GUIDs, once for the whole DLL.
#include <initguid.h>
#include "v77/V77Guids.h"
