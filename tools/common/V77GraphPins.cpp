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
    return V77ConnectPins(graph, V77FindPin(upstream, PINDIR_OUTPUT, outIndex).Get(),
                          V77FindPin(downstream, PINDIR_INPUT).Get());
}

HRESULT V77ConnectPins(IGraphBuilder* graph, IPin* out, IPin* in)
{
    if (!graph)
        return E_POINTER;
    if (!out || !in)
        return VFW_E_NOT_FOUND;
    return graph->ConnectDirect(out, in, nullptr);
}
