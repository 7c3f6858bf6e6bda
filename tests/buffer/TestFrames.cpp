#include "tests/buffer/TestFrames.h"

#include <cstring>
#include "v77/V77Guids.h"

using Microsoft::WRL::ComPtr;

ComPtr<IV77PoolItem> MakeFrame(int frame, REFERENCE_TIME start, REFERENCE_TIME duration, DWORD bytes)
{
    ComPtr<IV77PoolItem> item;
    if (FAILED(CoCreateInstance(CLSID_V77PoolItem, nullptr, CLSCTX_INPROC_SERVER, IID_IV77PoolItem,
                                reinterpret_cast<void**>(item.GetAddressOf()))))
        return nullptr;
    item->Allocate(bytes);
    ComPtr<IMediaSample> sample;
    item.As(&sample);
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    std::memcpy(data, &frame, sizeof(frame));
    sample->SetActualDataLength(static_cast<LONG>(bytes));
    REFERENCE_TIME stop = start + duration;
    sample->SetTime(&start, &stop);
    sample->SetMediaTime(&start, &stop);
    return item;
}

int FrameNumber(IUnknown* unknown)
{
    ComPtr<IMediaSample> sample;
    if (!unknown || FAILED(unknown->QueryInterface(IID_IMediaSample, reinterpret_cast<void**>(sample.GetAddressOf()))))
        return -1;
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data)) || !data || sample->GetActualDataLength() < 4)
        return -1;
    int frame = 0;
    std::memcpy(&frame, data, sizeof(frame));
    return frame;
}

REFERENCE_TIME MediaStart(IUnknown* unknown)
{
    ComPtr<IMediaSample> sample;
    if (!unknown || FAILED(unknown->QueryInterface(IID_IMediaSample, reinterpret_cast<void**>(sample.GetAddressOf()))))
        return -1;
    LONGLONG start = -1;
    LONGLONG stop = -1;
    if (sample->GetMediaTime(&start, &stop) != S_OK)
        return -1;
    return start;
}
