#include "tests/kit/CTestSource.h"

#include <new>
#include "tests/kit/CTestSourceStream.h"

namespace {

// {5B1C33A0-7D3E-4F43-9A8B-6E1F2D9C0A11}
const CLSID CLSID_V77TestSource = {0x5b1c33a0, 0x7d3e, 0x4f43, {0x9a, 0x8b, 0x6e, 0x1f, 0x2d, 0x9c, 0x0a, 0x11}};

}  // namespace

CTestSource::CTestSource(const TestSourceConfig& config, HRESULT* phr)
    : CSource(TEXT("Test source"), nullptr, CLSID_V77TestSource, phr), m_pStream(nullptr)
{
    m_pStream = new (std::nothrow) CTestSourceStream(phr, this, config);
    if (!m_pStream && phr)
        *phr = E_OUTOFMEMORY;
}

CTestSource* CTestSource::Create(const TestSourceConfig& config)
{
    HRESULT hr = S_OK;
    auto* source = new (std::nothrow) CTestSource(config, &hr);
    if (!source)
        return nullptr;
    if (FAILED(hr)) {
        delete source;
        return nullptr;
    }
    source->AddRef();
    return source;
}
