// The vertical level gauge of a sensor group: a framed bar split by the two
// thresholds into blue (low), green and red (high) bands, filled solid up to
// the current value and pale above it, a marker at the maximum, and labels
// for the scale, the thresholds, the maximum and the current value placed
// right of the bar without overlapping.
#pragma once

#include <windows.h>

struct GaugeLevels {
    LONG low;        // percent
    LONG high;       // percent
    double current;  // percent, not limited
    double maximum;  // percent, not limited
};

class CSensorGauge {
public:
    CSensorGauge() = default;
    ~CSensorGauge();
    CSensorGauge(const CSensorGauge&) = delete;
    CSensorGauge& operator=(const CSensorGauge&) = delete;

    // Paints inside rc (the bar's limits are taken from rc's height, not its top).
    void Draw(HDC hdc, const RECT& rc, const GaugeLevels& levels);

private:
    // Makes the font again when the wanted height changed; selects it.
    // Returns the DC's previous font (null when none was selected).
    HGDIOBJ SelectFont(HDC hdc, int height);

    HFONT m_hFont = nullptr;
    int m_FontHeight = 0;
    int m_LabelWidth = 0;
};
