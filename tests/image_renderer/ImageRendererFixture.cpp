#include "tests/image_renderer/ImageRendererFixture.h"

#include <cstdio>
#include <stdexcept>

#include "tests/kit/CTestSource.h"
#include "tests/kit/ComAdopt.h"
#include "v77/V77Guids.h"

void ImageRendererFixture::SetUp()
{
    ASSERT_TRUE(SUCCEEDED(m_Com.Result()));
    ASSERT_EQ(S_OK, m_Graph.Create());
}

void ImageRendererFixture::TearDown()
{
    m_Graph.Release();
}

void SetUpFailed(const std::string& what, HRESULT hr)
{
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(hr));
    throw std::runtime_error(what + " failed: " + code);
}

ComPtr<IV77SamplePool> ImageRendererFixture::NewPool(DWORD size, DWORD count)
{
    ComPtr<IV77SamplePool> pool;
    HRESULT hr = CoCreateInstance(CLSID_V77SamplePool, nullptr, CLSCTX_INPROC_SERVER, IID_IV77SamplePool,
                                  reinterpret_cast<void**>(pool.GetAddressOf()));
    if (FAILED(hr))
        SetUpFailed("creating the host's sample pool", hr);
    if (FAILED(hr = pool->InitializePool(size, count)))
        SetUpFailed("initialising the host's sample pool", hr);
    return pool;
}

ComPtr<IBaseFilter> ImageRendererFixture::NewRenderer(IV77SamplePool* pool)
{
    HRESULT hr = S_OK;
    CUnknown* object = CV77DsImageRendererFilter::CreateInstance(nullptr, &hr);
    ComPtr<IBaseFilter> filter;
    if (!object || FAILED(hr) ||
        FAILED(hr = object->NonDelegatingQueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(filter.GetAddressOf()))))
        SetUpFailed("creating the image renderer", object ? hr : E_OUTOFMEMORY);
    if (pool && FAILED(hr = Control(filter.Get())->SetSamplePool(pool)))
        SetUpFailed("giving the image renderer the host's pool", hr);
    if (FAILED(hr = m_Graph.Add(filter.Get(), L"image renderer")))
        SetUpFailed("adding the image renderer to the graph", hr);
    return filter;
}

ComPtr<IV77DsImageRenderer> ImageRendererFixture::Control(IBaseFilter* renderer)
{
    ComPtr<IV77DsImageRenderer> control;
    renderer->QueryInterface(IID_IV77DsImageRenderer, reinterpret_cast<void**>(control.GetAddressOf()));
    return control;
}

ComPtr<IBaseFilter> ImageRendererFixture::NewSource(const TestSourceConfig& config)
{
    ComPtr<CTestSource> source = Adopt(CTestSource::Create(config));
    if (!source)
        SetUpFailed("creating the test source", E_OUTOFMEMORY);
    ComPtr<IBaseFilter> filter(source->Filter());
    const HRESULT hr = m_Graph.Add(filter.Get(), L"test source");   // a second one is renamed
    if (FAILED(hr))
        SetUpFailed("adding the test source to the graph", hr);
    return filter;
}

ComPtr<IMemAllocator> ImageRendererFixture::PinAllocator(IBaseFilter* renderer)
{
    ComPtr<IMemInputPin> input;
    ComPtr<IPin> pin = TestGraph::FindPin(renderer, PINDIR_INPUT);
    ComPtr<IMemAllocator> allocator;
    if (pin && SUCCEEDED(pin.As(&input)))
        input->GetAllocator(allocator.GetAddressOf());
    return allocator;
}
