// The drawing object of a "SENS" connection: the sensor groups of the zone
// configuration, each with its region, its latest mask and its level.
#pragma once

#include "companions/V77UIHelper/CSensorBase.h"
#include "sinks/CRendererBase.h"

class CSensorGroup;

class CSensor : public CSensorBase, public CRendererBase {
public:
    CSensor() = default;

    // Every group's region and mask when name is empty, else the groups of that name.
    void Draw(HDC hdc, const RECT* dst, const RECT* src, const std::string& name) override;
    // The gauge of every group of that name (nothing for an empty name).
    void DrawInfo(HDC hdc, const RECT* rc, const std::string& name) override;
    // Record i updates group i; records outside the sample leave their group as it was.
    void SetSample(IMediaSample* sample) override;

    bool IsActive() const { return m_bActive; }

protected:
    CSensorGroupBase* CreateGroup(IXMLDOMElement* element) override;

private:
    CSensorGroup& Group(size_t i) const;

    bool m_bActive = false;
};
