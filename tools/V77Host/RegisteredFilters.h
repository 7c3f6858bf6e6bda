// What the DirectShow filter mapper holds for the module's filters.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <string>
#include <vector>
#include "tools/common/CV77FilterData.h"

struct RegisteredFilter {
    CLSID clsid;
    std::string friendlyName;
    bool hasFilterData;
    CV77FilterData filterData;
};

// Every filter the mapper knows at any merit whose CLSID is one of the module's.
HRESULT FindRegisteredModuleFilters(IFilterMapper2* mapper, std::vector<RegisteredFilter>* filters);
