#include "companions/components/recording/V77CaptureArchive.h"

namespace V77CaptureArchive {

namespace P = V77ArchiveProtocol;

std::wstring PipeName(const std::wstring& name)
{
    return L"V77Capture." + name + L".Archive";
}

void Encode(const Describe& describe, std::vector<uint8_t>* out)
{
    P::Description header = describe.description;
    header.formatLength = static_cast<uint32_t>(describe.format.size());
    P::Encode(header, out);
    out->insert(out->end(), describe.format.begin(), describe.format.end());
    out->insert(out->end(), describe.ring.begin(), describe.ring.end());
}

bool Decode(const uint8_t* data, size_t size, Describe* describe)
{
    if (!data || size < P::kDescribeSize || !P::Decode(data, P::kDescribeSize, &describe->description))
        return false;
    const size_t formatEnd = P::kDescribeSize + describe->description.formatLength;
    if (formatEnd > size)
        return false;
    const size_t nameLength = size - formatEnd;
    if (nameLength == 0 || nameLength > kRingNameMax)
        return false;
    for (size_t i = formatEnd; i < size; ++i) {
        const char c = static_cast<char>(data[i]);
        const bool alnum = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!alnum && c != '-' && c != '_' && c != '.')
            return false;
    }
    describe->format.assign(data + P::kDescribeSize, data + formatEnd);
    describe->ring.assign(reinterpret_cast<const char*>(data) + formatEnd, nameLength);
    return true;
}

}  // namespace V77CaptureArchive
