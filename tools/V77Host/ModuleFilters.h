// The module's filters in table order, as the host addresses them.
#pragma once

#include <windows.h>
#include <cstddef>

struct ModuleFilter {
    const CLSID* clsid;
    const char* className;  // the object the module creates for it
};

const ModuleFilter* ModuleFilters(size_t* count);
// Null when the CLSID is not one of the module's.
const ModuleFilter* FindModuleFilter(const CLSID& clsid);
