#include "tools/V77Host/CHostPatternSource.h"

#include <new>
#include "tools/V77Host/CHostPatternStream.h"

namespace {

// {8E0C1D52-4F7A-4B3C-9D21-5A6B7C8D9E0F}
const CLSID CLSID_HostPatternSource = {0x8e0c1d52, 0x4f7a, 0x4b3c, {0x9d, 0x21, 0x5a, 0x6b, 0x7c, 0x8d, 0x9e, 0x0f}};

}  // namespace

CHostPatternSource::CHostPatternSource(HRESULT* phr)
    : CSource(TEXT("Demo camera"), nullptr, CLSID_HostPatternSource, phr), m_pStream(nullptr)
{
    m_pStream = new (std::nothrow) CHostPatternStream(phr, this);
    if (!m_pStream && phr)
        *phr = E_OUTOFMEMORY;
}

CHostPatternSource* CHostPatternSource::Create()
{
    HRESULT hr = S_OK;
    auto* source = new (std::nothrow) CHostPatternSource(&hr);
    if (!source)
        return nullptr;
    if (FAILED(hr)) {
        delete source;
        return nullptr;
    }
    source->AddRef();
    return source;
}
