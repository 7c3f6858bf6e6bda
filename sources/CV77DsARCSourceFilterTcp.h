// Archive source of a archive server: the archive source with its receiver and
// auxiliary object.
#pragma once

#include "sources/CV77DsARCSourceFilterBase.h"

class CV77DsARCSourceFilterTcp : public CV77DsARCSourceFilterBase {
public:
    CV77DsARCSourceFilterTcp(const TCHAR* name, LPUNKNOWN outer, HRESULT* phr);
};
