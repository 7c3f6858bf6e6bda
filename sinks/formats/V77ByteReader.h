// Bounded little-endian reads from a sample's bytes: every read says whether
// it fitted, so a parser never touches a byte past the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace v77 {

class CByteReader {
public:
    CByteReader(const uint8_t* data, size_t length) : m_pData(data), m_Length(data ? length : 0) {}

    size_t Length() const { return m_Length; }
    const uint8_t* Data() const { return m_pData; }
    // True when count bytes from offset lie inside (no overflow).
    bool Fits(size_t offset, size_t count) const { return offset <= m_Length && count <= m_Length - offset; }

    bool U32(size_t offset, uint32_t* value) const
    {
        if (!Fits(offset, 4))
            return false;
        const uint8_t* p = m_pData + offset;
        *value = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                 static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
        return true;
    }
    bool I32(size_t offset, int32_t* value) const
    {
        uint32_t u = 0;
        if (!U32(offset, &u))
            return false;
        memcpy(value, &u, sizeof(u));
        return true;
    }
    bool F64(size_t offset, double* value) const
    {
        uint32_t low = 0, high = 0;
        if (!U32(offset, &low) || !U32(offset + 4, &high))
            return false;
        const uint64_t bits = static_cast<uint64_t>(high) << 32 | low;
        memcpy(value, &bits, sizeof(bits));
        return true;
    }

private:
    const uint8_t* m_pData;
    size_t m_Length;
};

}  // namespace v77
