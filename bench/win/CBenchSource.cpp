#include "bench/win/CBenchSource.h"

#include <new>

namespace {

// {3C1E7A52-60B4-4E0B-8D27-5A9F1C6B2E01}
const CLSID CLSID_V77BenchSource = {0x3c1e7a52, 0x60b4, 0x4e0b, {0x8d, 0x27, 0x5a, 0x9f, 0x1c, 0x6b, 0x2e, 0x01}};

}  // namespace

CBenchSource::CBenchSource(const BenchSourceConfig& config, HRESULT* phr)
    : CSource(TEXT("Bench source"), nullptr, CLSID_V77BenchSource, phr), m_pStream(nullptr)
{
    m_pStream = new (std::nothrow) CBenchSourceStream(phr, this, config);
    if (!m_pStream && phr)
        *phr = E_OUTOFMEMORY;
}

CBenchSource* CBenchSource::Create(const BenchSourceConfig& config)
{
    HRESULT hr = S_OK;
    auto* source = new (std::nothrow) CBenchSource(config, &hr);
    if (!source)
        return nullptr;
    if (FAILED(hr)) {
        delete source;
        return nullptr;
    }
    source->AddRef();
    return source;
}
