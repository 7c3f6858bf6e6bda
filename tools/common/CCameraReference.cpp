#include "tools/common/CCameraReference.h"

#include <cstdio>
#include <fstream>

bool CCameraReference::ReadList(const std::wstring& path, std::vector<std::pair<size_t, uint32_t>>* packets,
                                std::vector<bool>* keys)
{
    std::ifstream in(path.c_str());
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        unsigned stream = 0;
        long long dts = 0, pts = 0, duration = 0;
        unsigned long size = 0;
        unsigned crc = 0;
        if (std::sscanf(line.c_str(), "%u, %lld, %lld, %lld, %lu, 0x%x", &stream, &dts, &pts, &duration, &size,
                        &crc) != 6)
            continue;
        packets->push_back({size, crc});
        if (keys)
            keys->push_back(line.find("F=0x") == std::string::npos);  // framecrc flags only non-key packets
    }
    return !packets->empty();
}

bool CCameraReference::Load(const std::wstring& path)
{
    std::vector<std::pair<size_t, uint32_t>> packets;
    m_Frames.clear();
    m_Key.clear();
    if (!ReadList(path, &packets, &m_Key))
        return false;
    for (size_t i = 0; i < packets.size(); ++i)
        m_Frames.emplace(packets[i], static_cast<int>(i));
    return m_Frames.size() == packets.size();
}

int CCameraReference::Identify(const BYTE* data, size_t size) const
{
    const auto it = m_Frames.find({size, Adler32(data, size)});
    return it == m_Frames.end() ? -1 : it->second;
}

std::vector<int> CCameraReference::IdentifyList(const std::wstring& path, std::vector<bool>* keys) const
{
    std::vector<std::pair<size_t, uint32_t>> packets;
    std::vector<int> frames;
    ReadList(path, &packets, keys);
    for (const auto& packet : packets) {
        const auto it = m_Frames.find(packet);
        frames.push_back(it == m_Frames.end() ? -1 : it->second);
    }
    return frames;
}

uint32_t CCameraReference::Adler32(const BYTE* data, size_t size)
{
    // framecrc starts the sum at 0, not at Adler-32's 1.
    uint32_t a = 0, b = 0;
    for (size_t i = 0; i < size; ++i) {
        a = (a + data[i]) % 65521;
        b = (b + a) % 65521;
    }
    return (b << 16) | a;
}
