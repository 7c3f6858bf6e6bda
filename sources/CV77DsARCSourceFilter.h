// Archive source of a store folder: the archive source with its receiver and
// auxiliary object.
#pragma once

#include "sources/CV77DsARCSourceFilterBase.h"

class CV77DsARCSourceFilter : public CV77DsARCSourceFilterBase {
public:
    CV77DsARCSourceFilter(const TCHAR* name, LPUNKNOWN outer, HRESULT* phr);
};
