#include "companions/framing/V77StreamDescription.h"

#include <cstring>

namespace v77framing {

std::vector<uint8_t> EncodeStreamDescription(const StreamDescription& d)
{
    std::vector<uint8_t> out(kStreamFixedSize + d.format.size());
    uint8_t* p = out.data();
    PutU32(p, kStreamMagic);
    PutU32(p + 4, kStreamVersion);
    PutU32(p + 8, uint32_t(out.size() - 12));
    std::memcpy(p + 12, d.sourceInformation, 32);
    std::memcpy(p + 44, d.majorType, 16);
    std::memcpy(p + 60, d.subtype, 16);
    std::memcpy(p + 76, d.formatType, 16);
    PutU32(p + 92, d.fixedSizeSamples);
    PutU32(p + 96, d.temporalCompression);
    PutU32(p + 100, d.sampleSize);
    PutU32(p + 104, uint32_t(d.format.size()));
    if (!d.format.empty())
        std::memcpy(p + kStreamFixedSize, d.format.data(), d.format.size());
    return out;
}

ParseStatus DecodeStreamDescription(const uint8_t* data, size_t size, StreamDescription* d, size_t* consumed)
{
    if (size < 12)
        return ParseStatus::NeedMore;
    if (GetU32(data) != kStreamMagic || GetU32(data + 4) != kStreamVersion)
        return ParseStatus::Bad;
    const uint32_t rest = GetU32(data + 8);
    if (rest < kStreamFixedSize - 12 || rest > kStreamFixedSize - 12 + kMaxFormatLength)
        return ParseStatus::Bad;
    if (size < kStreamFixedSize)
        return ParseStatus::NeedMore;
    const uint32_t formatLength = GetU32(data + 104);
    if (formatLength > kMaxFormatLength || rest != kStreamFixedSize - 12 + formatLength)
        return ParseStatus::Bad;
    const uint32_t fixed = GetU32(data + 92);
    const uint32_t temporal = GetU32(data + 96);
    if (fixed > 1 || temporal > 1)
        return ParseStatus::Bad;
    if (size < kStreamFixedSize + formatLength)
        return ParseStatus::NeedMore;
    std::memcpy(d->sourceInformation, data + 12, 32);
    std::memcpy(d->majorType, data + 44, 16);
    std::memcpy(d->subtype, data + 60, 16);
    std::memcpy(d->formatType, data + 76, 16);
    d->fixedSizeSamples = fixed;
    d->temporalCompression = temporal;
    d->sampleSize = GetU32(data + 100);
    d->format.assign(data + kStreamFixedSize, data + kStreamFixedSize + formatLength);
    *consumed = kStreamFixedSize + formatLength;
    return ParseStatus::Ok;
}

}  // namespace v77framing
