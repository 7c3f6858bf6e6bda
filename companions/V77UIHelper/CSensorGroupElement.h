// What one sensor-group element of a zone configuration says (the element's
// layout is documented in the README, "Zone configuration"):
//
//   <sensorGroup name="Door" width="64" height="48" color="FF8000" low="20" high="70">
//     <runs>0 10 54 10</runs>
//     <rect left="4" top="4" right="20" bottom="30"/>
//   </sensorGroup>
//
// Read checks the element and builds the region's run-length words.
#pragma once

#include <windows.h>
#include <msxml2.h>
#include <cstdint>
#include <string>
#include <vector>

#include "companions/V77UIHelper/CPlaneBase.h"

struct CSensorGroupElement {
    // Bounds on a group's plane: larger sizes are configuration errors.
    static constexpr LONG kMaxSide = 4096;

    std::string name;               // ANSI (thread code page), as the host's sensor names
    LONG width = 0;
    LONG height = 0;
    V77Rgb color = {0, 0, 0};
    LONG low = 0;
    LONG high = 100;
    std::vector<uint32_t> region;   // run-length words

    // False, with *reason saying why, when the element is not a usable group.
    // Throws CHresultError when MSXML itself fails.
    static bool Read(IXMLDOMElement* element, CSensorGroupElement* group, std::string* reason);
};
