// The one file of this suite that defines the project GUIDs.
#include <initguid.h>

#include "v77/V77Guids.h"
