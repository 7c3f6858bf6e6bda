// The receiver auxiliary object of the demo's zone detector: it only hands
// out the zone configuration; every other slot answers E_NOTIMPL.
#pragma once

#include <string>
#include "tools/common/CV77ZoneAuxiliary.h"

class CHostZoneAuxiliary : public CV77ZoneAuxiliary {
public:
    explicit CHostZoneAuxiliary(std::wstring xml) : CV77ZoneAuxiliary(std::move(xml)) {}
};
