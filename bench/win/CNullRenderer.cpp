#include "bench/win/CNullRenderer.h"

#include <new>
#include "bench/win/CNullRendererPin.h"

namespace {

// {3C1E7A53-60B4-4E0B-8D27-5A9F1C6B2E01}
const CLSID CLSID_V77NullRenderer = {0x3c1e7a53, 0x60b4, 0x4e0b, {0x8d, 0x27, 0x5a, 0x9f, 0x1c, 0x6b, 0x2e, 0x01}};

}  // namespace

CNullRenderer::CNullRenderer(BenchCounters* counters, HRESULT* phr)
    : CBaseFilter(TEXT("Null renderer"), nullptr, &m_Lock, CLSID_V77NullRenderer), m_pPin(nullptr)
{
    m_pPin = new (std::nothrow) CNullRendererPin(this, &m_Lock, counters, phr);
    if (!m_pPin && phr)
        *phr = E_OUTOFMEMORY;
}

CNullRenderer::~CNullRenderer()
{
    delete m_pPin;
}

CNullRenderer* CNullRenderer::Create(BenchCounters* counters)
{
    HRESULT hr = S_OK;
    auto* renderer = new (std::nothrow) CNullRenderer(counters, &hr);
    if (!renderer)
        return nullptr;
    if (FAILED(hr)) {
        delete renderer;
        return nullptr;
    }
    renderer->AddRef();
    return renderer;
}

int CNullRenderer::GetPinCount()
{
    return 1;
}

CBasePin* CNullRenderer::GetPin(int n)
{
    return n == 0 ? m_pPin : nullptr;
}
