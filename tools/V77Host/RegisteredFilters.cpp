#include "tools/V77Host/RegisteredFilters.h"

#include <oleauto.h>
#include <wrl/client.h>
#include "tools/V77Host/HostText.h"
#include "tools/V77Host/ModuleFilters.h"

using Microsoft::WRL::ComPtr;

namespace {

// Owns a VARIANT read from a property bag.
class CVariant {
public:
    CVariant() { VariantInit(&m_v); }
    CVariant(const CVariant&) = delete;
    CVariant& operator=(const CVariant&) = delete;
    ~CVariant() { VariantClear(&m_v); }
    VARIANT* Get() { return &m_v; }

private:
    VARIANT m_v;
};

bool ReadString(IPropertyBag* bag, const WCHAR* name, std::wstring* value)
{
    CVariant v;
    V_VT(v.Get()) = VT_BSTR;
    if (FAILED(bag->Read(name, v.Get(), nullptr)) || V_VT(v.Get()) != VT_BSTR)
        return false;
    *value = V_BSTR(v.Get()) ? V_BSTR(v.Get()) : L"";
    return true;
}

bool ReadFilterData(IPropertyBag* bag, CV77FilterData* data)
{
    CVariant v;
    V_VT(v.Get()) = VT_ARRAY | VT_UI1;
    if (FAILED(bag->Read(L"FilterData", v.Get(), nullptr)) || V_VT(v.Get()) != (VT_ARRAY | VT_UI1))
        return false;
    SAFEARRAY* array = V_ARRAY(v.Get());
    void* bytes = nullptr;
    if (!array || FAILED(SafeArrayAccessData(array, &bytes)))
        return false;
    const bool parsed = data->Parse(static_cast<const BYTE*>(bytes), array->rgsabound[0].cElements);
    SafeArrayUnaccessData(array);
    return parsed;
}

// Fills *filter from one moniker; false when it is not one of the module's filters.
bool ReadModuleFilter(IMoniker* moniker, RegisteredFilter* filter)
{
    ComPtr<IPropertyBag> bag;
    if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag,
                                      reinterpret_cast<void**>(bag.GetAddressOf()))))
        return false;
    std::wstring text;
    if (!ReadString(bag.Get(), L"CLSID", &text) || FAILED(CLSIDFromString(text.c_str(), &filter->clsid)) ||
        !FindModuleFilter(filter->clsid))
        return false;
    if (ReadString(bag.Get(), L"FriendlyName", &text))
        filter->friendlyName = Narrow(text.c_str());
    filter->hasFilterData = ReadFilterData(bag.Get(), &filter->filterData);
    return true;
}

}  // namespace

HRESULT FindRegisteredModuleFilters(IFilterMapper2* mapper, std::vector<RegisteredFilter>* filters)
{
    // No pin requirements and merit 0: every registered filter.
    ComPtr<IEnumMoniker> monikers;
    HRESULT hr = mapper->EnumMatchingFilters(monikers.GetAddressOf(), 0, FALSE, 0, FALSE, 0, nullptr, nullptr,
                                             nullptr, FALSE, FALSE, 0, nullptr, nullptr, nullptr);
    if (FAILED(hr))
        return hr;
    ComPtr<IMoniker> moniker;
    while (monikers->Next(1, moniker.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
        RegisteredFilter filter = {};
        if (ReadModuleFilter(moniker.Get(), &filter))
            filters->push_back(filter);
    }
    return S_OK;
}
