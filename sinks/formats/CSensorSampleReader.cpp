#include "sinks/formats/CSensorSampleReader.h"

namespace v77 {

bool CSensorSampleReader::Active() const
{
    uint32_t flag = 0;
    return m_Bytes.U32(0, &flag) && flag != 0;
}

uint32_t CSensorSampleReader::RecordCount() const
{
    uint32_t count = 0;
    return m_Bytes.U32(4, &count) ? count : 0;
}

bool CSensorSampleReader::Record(uint32_t i, SensorRecord* record) const
{
    uint32_t offset = 0, value = 0, maskBytes = 0;
    if (i >= RecordCount() || !m_Bytes.U32(kHeaderBytes + 4 * static_cast<size_t>(i), &offset))
        return false;
    if (!m_Bytes.Fits(offset, kRecordHeaderBytes) || !m_Bytes.U32(offset, &value) ||
        !m_Bytes.U32(offset + 20, &maskBytes) || !m_Bytes.Fits(offset + kRecordHeaderBytes, maskBytes))
        return false;
    record->value = value;
    record->mask = m_Bytes.Data() + offset + kRecordHeaderBytes;
    record->maskBytes = maskBytes;
    return true;
}

}  // namespace v77
