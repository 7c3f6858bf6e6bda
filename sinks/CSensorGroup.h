// One sensor group as the overlay paints it: the configured region (dithered)
// and the latest mask as 1-bit DIB sections in memory DCs, blitted with black
// transparent, and the group's level gauge.
#pragma once

#include <windows.h>

#include "companions/V77UIHelper/CSensorGroupBase.h"
#include "sinks/CSensorGauge.h"
#include "sinks/formats/CSensorSampleReader.h"

class CSensorGroup : public CSensorGroupBase {
public:
    // Throws CWin32Error when a bitmap or DC cannot be made.
    explicit CSensorGroup(IXMLDOMElement* element);
    ~CSensorGroup() override;
    CSensorGroup(const CSensorGroup&) = delete;
    CSensorGroup& operator=(const CSensorGroup&) = delete;

    // Value and mask of one sample record.
    void UpdateValue(const v77::SensorRecord& record);
    // Region, then mask, from source (empty: the whole plane) onto dst.
    void DrawRegion(HDC hdc, const RECT& dst, const RECT& source);
    void DrawGauge(HDC hdc, const RECT& rc);

    double Current() const { return m_Current; }
    double Maximum() const { return m_Maximum; }

private:
    // A 1-bit top-down DIB section of the plane with the group colour as entry 1.
    HBITMAP CreateMaskBitmap(void** bits) const;
    void FillRegion();
    void Release();

    HBITMAP m_hRegionBitmap = nullptr;
    HBITMAP m_hDataBitmap = nullptr;
    HDC m_hRegionDC = nullptr;
    HDC m_hDataDC = nullptr;
    HGDIOBJ m_hRegionPrevious = nullptr;
    HGDIOBJ m_hDataPrevious = nullptr;
    CSensorGauge m_Gauge;
    double m_Maximum = 0.0;
    double m_Current = 0.0;
};
