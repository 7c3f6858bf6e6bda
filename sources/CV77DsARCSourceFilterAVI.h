// Archive source of a single AVI file: the archive source with its receiver (no
// auxiliary object).
#pragma once

#include "sources/CV77DsARCSourceFilterBase.h"

class CV77DsARCSourceFilterAVI : public CV77DsARCSourceFilterBase {
public:
    CV77DsARCSourceFilterAVI(const TCHAR* name, LPUNKNOWN outer, HRESULT* phr);
};
