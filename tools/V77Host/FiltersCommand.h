// "filters": the module's 23 filters with their pins as the filter mapper
// sees them (also the demo's first step), and the platform's decoders for
// the compressed video the cameras send.
#pragma once

#include <windows.h>
#include <vector>
#include "tools/V77Host/RegisteredFilters.h"

// Prints the mapper's view of every module filter in table order; *found:
// how many it knows.
HRESULT ListRegisteredFilters(size_t* found, std::vector<RegisteredFilter>* registered);
const RegisteredFilter* FindRegistered(const std::vector<RegisteredFilter>& filters, const CLSID& clsid);

int RunFiltersCommand(int argc, char** argv);
