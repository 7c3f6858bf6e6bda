// One text line of a polygon sample: a format string of the module's string
// table applied to the record's one argument. Conversions are checked against
// the argument's kind first (integers for kind 0, floating point for kind 1,
// %s for kind 2, at most three, each given the same argument), so a format
// that does not fit its record gives an empty line instead of reading
// arguments that are not there.
#pragma once

#include <windows.h>
#include <string>

#include "sinks/formats/CPolygonSampleReader.h"

class CPolygonText {
public:
    explicit CPolygonText(HMODULE module) : m_hModule(module) {}

    // False when the string table has no such string. Otherwise *line is the
    // formatted text (empty when the kind or the format does not fit).
    bool Format(const v77::TextRecord& record, std::wstring* line) const;

private:
    HMODULE m_hModule;
};
