#include "sinks/CSensor.h"

#include <mbstring.h>

#include "sinks/CSensorGroup.h"
#include "sinks/formats/CSensorSampleReader.h"

namespace {

bool NameMatches(const std::string& groupName, const std::string& name)
{
    return _mbscmp(reinterpret_cast<const unsigned char*>(groupName.c_str()),
                   reinterpret_cast<const unsigned char*>(name.c_str())) == 0;
}

}  // namespace

CSensorGroupBase* CSensor::CreateGroup(IXMLDOMElement* element)
{
    return new CSensorGroup(element);
}

CSensorGroup& CSensor::Group(size_t i) const
{
    // Every group in the list was made by CreateGroup.
    return static_cast<CSensorGroup&>(*Groups()[i]);
}

void CSensor::Draw(HDC hdc, const RECT* dst, const RECT* src, const std::string& name)
{
    if (!hdc || !dst)
        return;
    RECT source = {};
    if (src)
        source = *src;
    for (size_t i = 0; i < Groups().size(); ++i) {
        if (name.empty() || NameMatches(Group(i).Name(), name))
            Group(i).DrawRegion(hdc, *dst, source);
    }
}

void CSensor::DrawInfo(HDC hdc, const RECT* rc, const std::string& name)
{
    if (!hdc || !rc || name.empty())
        return;
    for (size_t i = 0; i < Groups().size(); ++i) {
        if (NameMatches(Group(i).Name(), name))
            Group(i).DrawGauge(hdc, *rc);
    }
}

void CSensor::SetSample(IMediaSample* sample)
{
    BYTE* data = nullptr;
    if (!sample || FAILED(sample->GetPointer(&data)) || !data)
        return;
    // Offsets are never trusted beyond the bytes the sample holds.
    LONG length = sample->GetActualDataLength();
    const LONG size = sample->GetSize();
    if (length < 0 || length > size)
        length = size;
    const v77::CSensorSampleReader reader(data, static_cast<size_t>(length));
    if (!reader.HasHeader())
        return;
    m_bActive = reader.Active();
    const uint32_t records = reader.RecordCount();
    for (size_t i = 0; i < Groups().size() && i < records; ++i) {
        v77::SensorRecord record{};
        if (reader.Record(static_cast<uint32_t>(i), &record))
            Group(i).UpdateValue(record);
    }
}
