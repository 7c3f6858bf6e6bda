#include "tools/common/V77GraphPins.h"

#include <vfwmsgs.h>

using Microsoft::WRL::ComPtr;

ComPtr<IPin> V77FindPin(IBaseFilter* filter, PIN_DIRECTION direction, int index)
{
    ComPtr<IEnumPins> pins;
    if (!filter || FAILED(filter->EnumPins(&pins)))
        return nullptr;
    ComPtr<IPin> pin;
    while (pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
        PIN_DIRECTION dir;
        if (SUCCEEDED(pin->QueryDirection(&dir)) && dir == direction && index-- == 0)
            return pin;
    }
    return nullptr;
}

HRESULT V77ConnectFilters(IGraphBuilder* graph, IBaseFilter* upstream, int outIndex, IBaseFilter* downstream)
{
    if (!graph)
        return E_POINTER;
    ComPtr<IPin> out = V77FindPin(upstream, PINDIR_OUTPUT, outIndex);
    ComPtr<IPin> in = V77FindPin(downstream, PINDIR_INPUT);
    if (!out || !in)
        return VFW_E_NOT_FOUND;
    return graph->ConnectDirect(out.Get(), in.Get(), nullptr);
}
