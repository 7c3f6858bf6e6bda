#include "tools/common/CV77FilterData.h"

#include <cstring>

// Layout: a header {version, merit, pin count, reserved}; per pin a record
// {tag "0pi3", flags, instances, type count, medium count, has category},
// an optional category offset, a record {tag "0ty3", reserved, major offset,
// minor offset} per type and a DWORD offset per medium; GUIDs at the offsets.
namespace {

const size_t kHeaderSize = 4 * sizeof(DWORD);
const size_t kPinSize = 6 * sizeof(DWORD);
const size_t kTypeSize = 4 * sizeof(DWORD);

// Tags count up from '0' in their first byte: "0pi3", "1pi3", ...
bool TagMatches(DWORD tag, const char* suffix, UINT index)
{
    const BYTE* bytes = reinterpret_cast<const BYTE*>(&tag);
    return bytes[0] == static_cast<BYTE>('0' + index) && std::memcmp(bytes + 1, suffix, 3) == 0;
}

}  // namespace

bool CV77FilterData::Parse(const BYTE* data, size_t size)
{
    m_pData = data;
    m_cbData = size;
    m_Pins.clear();
    DWORD pins = 0;
    if (!ReadDword(0, &m_dwVersion) || !ReadDword(4, &m_dwMerit) || !ReadDword(8, &pins))
        return false;
    if (pins > size / kPinSize)
        return false;
    size_t offset = kHeaderSize;
    for (UINT i = 0; i < pins; ++i) {
        if (!ParsePin(&offset, i))
            return false;
    }
    return true;
}

bool CV77FilterData::ReadDword(size_t offset, DWORD* value) const
{
    if (offset > m_cbData || m_cbData - offset < sizeof(DWORD))
        return false;
    std::memcpy(value, m_pData + offset, sizeof(DWORD));
    return true;
}

bool CV77FilterData::ReadGuid(DWORD offset, GUID* guid) const
{
    if (offset > m_cbData || m_cbData - offset < sizeof(GUID))
        return false;
    std::memcpy(guid, m_pData + offset, sizeof(GUID));
    return true;
}

bool CV77FilterData::ParsePin(size_t* offset, UINT index)
{
    DWORD tag = 0, types = 0, mediums = 0, hasCategory = 0;
    Pin pin = {};
    if (!ReadDword(*offset, &tag) || !TagMatches(tag, "pi3", index) || !ReadDword(*offset + 4, &pin.flags) ||
        !ReadDword(*offset + 8, &pin.instances) || !ReadDword(*offset + 12, &types) ||
        !ReadDword(*offset + 16, &mediums) || !ReadDword(*offset + 20, &hasCategory))
        return false;
    *offset += kPinSize + (hasCategory ? sizeof(DWORD) : 0);
    if (types > m_cbData / kTypeSize)
        return false;
    pin.types.resize(types);
    for (UINT t = 0; t < types; ++t, *offset += kTypeSize) {
        if (!ParseType(*offset, t, &pin.types[t]))
            return false;
    }
    *offset += static_cast<size_t>(mediums) * sizeof(DWORD);
    if (*offset > m_cbData)
        return false;
    m_Pins.push_back(pin);
    return true;
}

bool CV77FilterData::ParseType(size_t offset, UINT index, MediaType* type) const
{
    DWORD tag = 0, majorAt = 0, minorAt = 0;
    return ReadDword(offset, &tag) && TagMatches(tag, "ty3", index) && ReadDword(offset + 8, &majorAt) &&
           ReadDword(offset + 12, &minorAt) && ReadGuid(majorAt, &type->major) && ReadGuid(minorAt, &type->minor);
}
