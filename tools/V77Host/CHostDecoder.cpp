#include "tools/V77Host/CHostDecoder.h"

#include <uuids.h>
#include <vfwmsgs.h>
#include "tools/V77Host/CHostGraph.h"
#include "tools/V77Host/HostCli.h"
#include "tools/V77Host/HostText.h"

using Microsoft::WRL::ComPtr;

namespace {

GUID FourCcSubtype(DWORD fourcc)
{
    GUID subtype = MEDIASUBTYPE_YUY2;  // any FOURCC subtype: same tail
    subtype.Data1 = fourcc;
    return subtype;
}

std::string FriendlyName(IMoniker* moniker)
{
    ComPtr<IPropertyBag> bag;
    if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void**>(bag.GetAddressOf()))))
        return "?";
    VARIANT value;
    VariantInit(&value);
    std::string name = "?";
    if (SUCCEEDED(bag->Read(L"FriendlyName", &value, nullptr)) && value.vt == VT_BSTR)
        name = Narrow(value.bstrVal);
    VariantClear(&value);
    return name;
}

CLSID MonikerClsid(IMoniker* moniker)
{
    CLSID clsid = GUID_NULL;
    ComPtr<IPropertyBag> bag;
    if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void**>(bag.GetAddressOf()))))
        return clsid;
    VARIANT value;
    VariantInit(&value);
    if (SUCCEEDED(bag->Read(L"CLSID", &value, nullptr)) && value.vt == VT_BSTR)
        CLSIDFromString(value.bstrVal, &clsid);
    VariantClear(&value);
    return clsid;
}

HRESULT EnumDecoders(DWORD fourcc, ComPtr<IEnumMoniker>* monikers)
{
    ComPtr<IFilterMapper2> mapper;
    HRESULT hr = CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                                  reinterpret_cast<void**>(mapper.GetAddressOf()));
    if (FAILED(hr))
        return hr;
    const GUID input[2] = {MEDIATYPE_Video, FourCcSubtype(fourcc)};
    const GUID output[2] = {MEDIATYPE_Video, GUID_NULL};
    return mapper->EnumMatchingFilters(monikers->ReleaseAndGetAddressOf(), 0, FALSE, MERIT_DO_NOT_USE + 1, TRUE, 1,
                                       input, nullptr, nullptr, FALSE, TRUE, 1, output, nullptr, nullptr);
}

}  // namespace

HRESULT FindDecoderCandidates(DWORD fourcc, std::vector<HostDecoderCandidate>* candidates)
{
    ComPtr<IEnumMoniker> monikers;
    HRESULT hr = EnumDecoders(fourcc, &monikers);
    if (FAILED(hr) || !monikers)
        return FAILED(hr) ? hr : S_OK;
    ComPtr<IMoniker> moniker;
    while (monikers->Next(1, moniker.ReleaseAndGetAddressOf(), nullptr) == S_OK)
        candidates->push_back({FriendlyName(moniker.Get()), MonikerClsid(moniker.Get())});
    return S_OK;
}

HRESULT InsertDecoder(IGraphBuilder* graph, IPin* out, DWORD fourcc, ComPtr<IPin>* decoded, std::string* name)
{
    ComPtr<IEnumMoniker> monikers;
    HRESULT hr = EnumDecoders(fourcc, &monikers);
    if (FAILED(hr))
        return hr;
    ComPtr<IMoniker> moniker;
    while (monikers && monikers->Next(1, moniker.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
        ComPtr<IBaseFilter> decoder;
        if (FAILED(moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(decoder.GetAddressOf()))))
            continue;
        *name = FriendlyName(moniker.Get());
        if (FAILED(graph->AddFilter(decoder.Get(), Widen(*name).c_str())))
            continue;
        ComPtr<IPin> in = CHostGraph::Pin(decoder.Get(), PINDIR_INPUT);
        if (in && SUCCEEDED(graph->ConnectDirect(out, in.Get(), nullptr))) {
            *decoded = CHostGraph::Pin(decoder.Get(), PINDIR_OUTPUT);
            if (*decoded)
                return S_OK;
            out->Disconnect();
            in->Disconnect();
        }
        graph->RemoveFilter(decoder.Get());
    }
    name->clear();
    return VFW_E_CANNOT_CONNECT;
}
