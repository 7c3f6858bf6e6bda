// The module's 23 filters as the test suites expect them, written out
// independently of the module's own table: CLSID strings and display names.
#pragma once

#include <windows.h>

struct ExpectedPinType {
    const GUID* major;
    const GUID* minor;
};

struct ExpectedPin {
    DWORD flags;  // REG_PINFLAG_B_OUTPUT / _B_RENDERER
    int types;
    const ExpectedPinType* type;
};

struct ExpectedFilter {
    const char* clsid;  // registry form, with braces
    const char* name;
    int pins;
    const ExpectedPin* pin;
};

extern const ExpectedFilter kExpectedFilters[];
extern const int kExpectedFilterCount;

CLSID ClsidOf(const ExpectedFilter& filter);
