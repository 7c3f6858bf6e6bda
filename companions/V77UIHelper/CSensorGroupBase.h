// One sensor group of a zone configuration: its plane (size and colour), its
// configured region as run-length words, its name and two thresholds that
// split its level gauge into three bands.
#pragma once

#include <windows.h>
#include <msxml2.h>
#include <cstdint>
#include <string>
#include <vector>

#include "companions/V77UIHelper/CPlaneBase.h"

struct CSensorGroupElement;

class CSensorGroupBase : public CPlaneBase {
public:
    // Reads the element (see CSensorGroupElement); throws CAppError when the
    // element is not a usable group, CHresultError when MSXML fails.
    explicit CSensorGroupBase(IXMLDOMElement* element);
    ~CSensorGroupBase() override = default;

    const uint32_t* RegionData() const { return m_Region.data(); }
    DWORD RegionWordCount() const { return static_cast<DWORD>(m_Region.size()); }
    const std::string& Name() const { return m_Name; }
    LONG LowThreshold() const { return m_Low; }
    LONG HighThreshold() const { return m_High; }

private:
    explicit CSensorGroupBase(CSensorGroupElement&& group);

protected:
    std::vector<uint32_t> m_Region;
    std::string m_Name;
    LONG m_Low;
    LONG m_High;
};
