#include "buffer/V77CommandRecord.h"

#include <cstring>
#include "v77/V77Guids.h"

namespace V77CommandRecord {

V77_COMMAND_RECORD EndOfStream()
{
    V77_COMMAND_RECORD record = {};
    record.Type = V77_COMMAND_END_OF_STREAM;
    return record;
}

V77_COMMAND_RECORD Segment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate, REFERENCE_TIME second,
                           bool rateValid)
{
    V77_COMMAND_RECORD record = {};
    record.Type = V77_COMMAND_SEGMENT_START;
    record.Start = start;
    record.Stop = stop;
    record.Rate = rate;
    record.Second = second;
    record.RateValid = rateValid ? 1 : 0;
    return record;
}

HRESULT Write(IV77PoolItem* item, const V77_COMMAND_RECORD& record)
{
    if (!item)
        return E_POINTER;
    return item->Write(&record, sizeof(record));
}

HRESULT Read(IV77PoolItem* item, V77_COMMAND_RECORD* record)
{
    if (!item || !record)
        return E_POINTER;
    void* data = nullptr;
    if (item->GetData(&data) != S_OK)
        return S_FALSE;
    if (!data || item->GetDataLength() < sizeof(V77_COMMAND_RECORD))
        return E_INVALIDARG;
    std::memcpy(record, data, sizeof(*record));
    return S_OK;
}

bool IsCommand(IV77PoolItem* item)
{
    return item && item->GetData(nullptr) == S_OK;
}

HRESULT CreateItem(const V77_COMMAND_RECORD& record, IV77PoolItem** item)
{
    if (!item)
        return E_POINTER;
    *item = nullptr;
    IV77PoolItem* created = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_V77PoolItem, nullptr, CLSCTX_INPROC_SERVER, IID_IV77PoolItem,
                                  reinterpret_cast<void**>(&created));
    if (FAILED(hr))
        return hr;
    hr = Write(created, record);
    if (FAILED(hr)) {
        created->Release();
        return hr;
    }
    *item = created;
    return S_OK;
}

}  // namespace V77CommandRecord
