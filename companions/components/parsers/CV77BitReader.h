// MSB-first bit reader over a byte range. Reading past the end yields zero
// bits and sets the overrun flag, so a parser checks once at the end instead
// of after every field.
#pragma once

#include <cstddef>
#include <cstdint>

class CV77BitReader {
public:
    CV77BitReader(const uint8_t* data, size_t size) : m_pData(data), m_cbSize(size), m_uBit(0), m_bOverrun(false) {}

    uint32_t Read(unsigned bits)
    {
        uint32_t value = 0;
        for (unsigned i = 0; i < bits; ++i)
            value = (value << 1) | ReadBit();
        return value;
    }
    uint32_t ReadBit()
    {
        if (m_uBit >= m_cbSize * 8) {
            m_bOverrun = true;
            return 0;
        }
        const uint32_t bit = (m_pData[m_uBit / 8] >> (7 - m_uBit % 8)) & 1u;
        ++m_uBit;
        return bit;
    }
    void Skip(unsigned bits) { Read(bits); }
    bool Overrun() const { return m_bOverrun; }

private:
    const uint8_t* m_pData;
    size_t m_cbSize;
    size_t m_uBit;
    bool m_bOverrun;
};
