// Reads the "FilterData" value that the DirectShow filter mapper stores for a
// registered filter: merit and, for every pin, its flags and media types.
// The mapper keeps no pin names in it.
#pragma once

#include <windows.h>
#include <cstddef>
#include <vector>

class CV77FilterData {
public:
    struct MediaType {
        GUID major;
        GUID minor;
    };
    struct Pin {
        DWORD flags;      // REG_PINFLAG_B_ZERO / _B_RENDERER / _B_MANY / _B_OUTPUT
        DWORD instances;
        std::vector<MediaType> types;
    };

    // False when the blob is truncated or not in the mapper's format.
    bool Parse(const BYTE* data, size_t size);

    DWORD Version() const { return m_dwVersion; }
    DWORD Merit() const { return m_dwMerit; }
    const std::vector<Pin>& Pins() const { return m_Pins; }

private:
    bool ReadDword(size_t offset, DWORD* value) const;
    bool ReadGuid(DWORD offset, GUID* guid) const;
    bool ParsePin(size_t* offset, UINT index);
    bool ParseType(size_t offset, UINT index, MediaType* type) const;

    const BYTE* m_pData = nullptr;
    size_t m_cbData = 0;
    DWORD m_dwVersion = 0;
    DWORD m_dwMerit = 0;
    std::vector<Pin> m_Pins;
};
