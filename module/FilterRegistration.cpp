#include "module/FilterRegistration.h"

#include "module/CV77ComInit.h"
#include "module/CV77ComServerKeys.h"
#include "module/CV77FilterMapperRegistrar.h"

namespace {

HRESULT WriteComKeys(const CV77ComServerKeys& keys, const CFactoryTemplate* templates, int count)
{
    for (int i = 0; i < count; ++i) {
        HRESULT hr = keys.Write(templates[i]);
        if (FAILED(hr))
            return hr;
    }
    return S_OK;
}

HRESULT RemoveComKeys(const CV77ComServerKeys& keys, const CFactoryTemplate* templates, int count)
{
    for (int i = 0; i < count; ++i) {
        HRESULT hr = keys.Remove(templates[i]);
        if (FAILED(hr))
            return hr;
    }
    return S_OK;
}

HRESULT ApplyToMapper(CV77FilterMapperRegistrar& mapper, const CFactoryTemplate* templates, int count,
                      BOOL bRegister)
{
    for (int i = 0; i < count; ++i) {
        const AMOVIESETUP_FILTER* setup = templates[i].m_pAMovieSetup_Filter;
        if (!setup)
            continue;
        HRESULT hr = mapper.Apply(*setup, bRegister);
        if (FAILED(hr))
            return hr;
    }
    return S_OK;
}

// COM is initialised for the mapper only; when neither mapper can be created
// the COM keys stay as they are.
HRESULT UpdateMapper(const CFactoryTemplate* templates, int count, BOOL bRegister)
{
    CV77ComInit com;
    HRESULT hr;
    {
        CV77FilterMapperRegistrar mapper;
        hr = mapper.Open();
        if (SUCCEEDED(hr))
            hr = ApplyToMapper(mapper, templates, count, bRegister);
    }
    CoFreeUnusedLibraries();
    return hr;
}

}  // namespace

HRESULT V77RegisterFilters(HMODULE module, const CFactoryTemplate* templates, int count, BOOL bRegister)
{
    char path[MAX_PATH];
    if (!GetModuleFileNameA(module, path, MAX_PATH))
        return HRESULT_FROM_WIN32(GetLastError());

    const CV77ComServerKeys keys(path);
    if (bRegister) {
        HRESULT hr = WriteComKeys(keys, templates, count);
        if (FAILED(hr))
            return hr;
    }
    HRESULT hr = UpdateMapper(templates, count, bRegister);
    if (FAILED(hr) || bRegister)
        return hr;
    return RemoveComKeys(keys, templates, count);
}
