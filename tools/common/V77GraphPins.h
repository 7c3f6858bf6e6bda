// Pin look-up and direct pin-to-pin connection in a host's filter graph:
// what every graph set-up of the host tools repeats.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <wrl/client.h>

// The index-th pin of filter in direction (0: the first), or null.
Microsoft::WRL::ComPtr<IPin> V77FindPin(IBaseFilter* filter, PIN_DIRECTION direction, int index = 0);
// Output pin outIndex of upstream to the first input pin of downstream, with no
// intermediate filter (the graph's ConnectDirect, no type imposed).
HRESULT V77ConnectFilters(IGraphBuilder* graph, IBaseFilter* upstream, int outIndex, IBaseFilter* downstream);
// The same for two pins (VFW_E_NOT_FOUND when either is missing).
HRESULT V77ConnectPins(IGraphBuilder* graph, IPin* out, IPin* in);
// A module filter created in process by class identifier, as the interface T.
template <class T>
HRESULT V77CreateFilter(const CLSID& clsid, Microsoft::WRL::ComPtr<T>& out)
{
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, __uuidof(T),
                            reinterpret_cast<void**>(out.ReleaseAndGetAddressOf()));
}
