#include "module/CV77FilterMapperRegistrar.h"

#include <uuids.h>

namespace {

const HRESULT kFileNotFound = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);

HRESULT IgnoreNotFound(HRESULT hr)
{
    return hr == kFileNotFound ? S_OK : hr;
}

// The original mapper takes GUIDs by value; a missing one means "any".
GUID GuidOrNull(const GUID* guid)
{
    return guid ? *guid : GUID_NULL;
}

}  // namespace

HRESULT CV77FilterMapperRegistrar::Open()
{
    HRESULT hr = CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                                  reinterpret_cast<void**>(m_pMapper2.ReleaseAndGetAddressOf()));
    if (SUCCEEDED(hr))
        return hr;
    return CoCreateInstance(CLSID_FilterMapper, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper,
                            reinterpret_cast<void**>(m_pMapper.ReleaseAndGetAddressOf()));
}

HRESULT CV77FilterMapperRegistrar::Apply(const AMOVIESETUP_FILTER& setup, BOOL bRegister)
{
    return IgnoreNotFound(m_pMapper2 ? ApplyWithMapper2(setup, bRegister) : ApplyWithMapper(setup, bRegister));
}

HRESULT CV77FilterMapperRegistrar::ApplyWithMapper2(const AMOVIESETUP_FILTER& setup, BOOL bRegister)
{
    HRESULT hr = IgnoreNotFound(m_pMapper2->UnregisterFilter(nullptr, nullptr, *setup.clsID));
    if (FAILED(hr) || !bRegister)
        return hr;
    REGFILTER2 rf2 = {};
    rf2.dwVersion = 1;
    rf2.dwMerit = setup.dwMerit;
    rf2.cPins = setup.nPins;
    rf2.rgPins = setup.lpPin;
    // Null category: the legacy DirectShow filters category.
    return m_pMapper2->RegisterFilter(*setup.clsID, setup.strName, nullptr, nullptr, nullptr, &rf2);
}

HRESULT CV77FilterMapperRegistrar::ApplyWithMapper(const AMOVIESETUP_FILTER& setup, BOOL bRegister)
{
    HRESULT hr = IgnoreNotFound(m_pMapper->UnregisterFilter(*setup.clsID));
    if (FAILED(hr) || !bRegister)
        return hr;
    hr = m_pMapper->RegisterFilter(*setup.clsID, setup.strName, setup.dwMerit);
    return FAILED(hr) ? hr : RegisterPins(setup);
}

HRESULT CV77FilterMapperRegistrar::RegisterPins(const AMOVIESETUP_FILTER& setup)
{
    for (UINT p = 0; p < setup.nPins; ++p) {
        const AMOVIESETUP_PIN& pin = setup.lpPin[p];
        HRESULT hr = IgnoreNotFound(m_pMapper->RegisterPin(*setup.clsID, pin.strName, pin.bRendered, pin.bOutput,
                                                           pin.bZero, pin.bMany, GuidOrNull(pin.clsConnectsToFilter),
                                                           pin.strConnectsToPin));
        for (UINT t = 0; SUCCEEDED(hr) && t < pin.nMediaTypes; ++t) {
            const AMOVIESETUP_MEDIATYPE& type = pin.lpMediaType[t];
            hr = IgnoreNotFound(m_pMapper->RegisterPinType(*setup.clsID, pin.strName, GuidOrNull(type.clsMajorType),
                                                           GuidOrNull(type.clsMinorType)));
        }
        if (FAILED(hr))
            return hr;
    }
    return S_OK;
}
