// Archive local source: the archive source whose recordings the local
// capture side serves, delivered in samples of the pin's own allocator.
#pragma once

#include "sources/CV77DsARCSourceFilterBase.h"

class CV77DsARCLocalFilter : public CV77DsARCSourceFilterBase {
public:
    CV77DsARCLocalFilter(const TCHAR* name, LPUNKNOWN outer, HRESULT* phr);
};
