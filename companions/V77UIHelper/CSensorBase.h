// A sensor: the ordered list of sensor groups that a zone configuration (XML
// text, parsed with the platform's MSXML DOM) describes. The derived class
// makes the group objects; the list owns them.
#pragma once

#include <windows.h>
#include <msxml2.h>
#include <memory>
#include <vector>

#include "companions/V77UIHelper/CSensorGroupBase.h"

class CSensorBase {
public:
    virtual ~CSensorBase();
    CSensorBase(const CSensorBase&) = delete;
    CSensorBase& operator=(const CSensorBase&) = delete;

    // Replaces the list with one group per sensorGroup element, in document
    // order. Text that does not parse, and elements that are not usable
    // groups, are logged and give no group. Throws CHresultError when MSXML
    // cannot be created or fails, and whatever CreateGroup throws.
    void InitializeXML(wchar_t* xml);

    const std::vector<std::unique_ptr<CSensorGroupBase>>& Groups() const { return m_Groups; }

protected:
    CSensorBase() = default;

    // The group object for one usable element (owned by the list afterwards).
    virtual CSensorGroupBase* CreateGroup(IXMLDOMElement* element) = 0;

private:
    std::vector<std::unique_ptr<CSensorGroupBase>> m_Groups;
};
