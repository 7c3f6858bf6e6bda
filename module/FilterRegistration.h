// Registers or unregisters every filter of a template table: the COM server
// keys under HKEY_CLASSES_ROOT\CLSID and the filter mapper's entries.
#pragma once

#include <windows.h>
#include "framework/CFactoryTemplate.h"

// module: the server whose file name goes into InprocServer32.
HRESULT V77RegisterFilters(HMODULE module, const CFactoryTemplate* templates, int count, BOOL bRegister);
