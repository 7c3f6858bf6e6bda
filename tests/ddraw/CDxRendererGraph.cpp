#include "tests/ddraw/CDxRendererGraph.h"

#include <cstring>
#include <new>

#include "display/CV77DxRenderer.h"
#include "tests/ddraw/DdrawTestSupport.h"
#include "tests/kit/ComAdopt.h"
#include "tests/kit/TestWait.h"
#include "v77/V77Guids.h"

using Microsoft::WRL::ComPtr;

CDxRendererGraph::~CDxRendererGraph()
{
    Close();
}

void CDxRendererGraph::Close()
{
    if (m_Graph.Control())
        m_Graph.StopAndWait();
    m_Graph.Release();
    m_pDx.Reset();
    m_pRenderer.Reset();
    m_pDirect = nullptr;
    m_pSource.Reset();
}

HRESULT CDxRendererGraph::CreateFromModule()
{
    HRESULT hr = CoCreateInstance(CLSID_V77DxRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                  reinterpret_cast<void**>(m_pRenderer.ReleaseAndGetAddressOf()));
    return FAILED(hr) ? hr : m_pRenderer.As(&m_pDx);
}

HRESULT CDxRendererGraph::CreateWithSubtypes(const GUID* subtypes, int count)
{
    HRESULT hr = S_OK;
    auto* renderer = new (std::nothrow) CV77DxRenderer(nullptr, &hr, subtypes, count);
    if (!renderer)
        return E_OUTOFMEMORY;
    renderer->NonDelegatingAddRef();
    m_pDirect = renderer;
    m_pRenderer = Adopt(static_cast<IBaseFilter*>(renderer));
    return FAILED(hr) ? hr : m_pRenderer.As(&m_pDx);
}

HRESULT CDxRendererGraph::Start(const CMediaType& mt)
{
    HRESULT hr = m_Graph.Create();
    if (FAILED(hr))
        return hr;
    m_pSource = Adopt(CTestFrameSource::Create(mt));
    if (!m_pSource)
        return E_OUTOFMEMORY;
    return m_pSource->RunInto(m_Graph, m_pRenderer.Get(), L"Varnokel77 Direct Draw Overlay renderer");
}

bool CDxRendererGraph::WaitRunning(DWORD timeoutMs)
{
    return WaitUntil(
        [this] {
            OAFilterState state = State_Stopped;
            return m_Graph.GetState(50, &state) == S_OK && state == State_Running;
        },
        timeoutMs);
}

HRESULT CDxRendererGraph::Push(const std::vector<BYTE>& bytes)
{
    return m_pSource->Pin()->Push(bytes);
}

TestPicture CDxRendererGraph::Image(bool fromComposition, HRESULT* result) const
{
    BITMAPINFOHEADER* dib = nullptr;
    const HRESULT hr = m_pDx->GetCurrentImage(&dib, fromComposition);
    if (result)
        *result = hr;
    TestPicture picture = SUCCEEDED(hr) ? DibPicture(dib) : TestPicture();
    CoTaskMemFree(dib);
    return picture;
}

std::vector<BYTE> CDxRendererGraph::RawVideo(BITMAPINFOHEADER* header) const
{
    BITMAPINFOHEADER* dib = nullptr;
    std::vector<BYTE> bytes;
    if (SUCCEEDED(m_pDx->GetCurrentImage(&dib, FALSE)) && dib) {
        *header = *dib;
        const BYTE* first = reinterpret_cast<const BYTE*>(dib + 1);
        bytes.assign(first, first + dib->biSizeImage);
    }
    CoTaskMemFree(dib);
    return bytes;
}
