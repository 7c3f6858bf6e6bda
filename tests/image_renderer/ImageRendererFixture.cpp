#include "tests/image_renderer/ImageRendererFixture.h"

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

ComPtr<IV77SamplePool> ImageRendererFixture::NewPool(DWORD size, DWORD count)
{
    ComPtr<IV77SamplePool> pool;
    HRESULT hr = CoCreateInstance(CLSID_V77SamplePool, nullptr, CLSCTX_INPROC_SERVER, IID_IV77SamplePool,
                                  reinterpret_cast<void**>(pool.GetAddressOf()));
    EXPECT_EQ(S_OK, hr);
    if (pool && count) {
        EXPECT_EQ(S_OK, pool->InitializePool(size, count));
    }
    return pool;
}

ComPtr<IBaseFilter> ImageRendererFixture::NewRenderer(IV77SamplePool* pool)
{
    HRESULT hr = S_OK;
    CUnknown* object = CV77DsImageRendererFilter::CreateInstance(nullptr, &hr);
    EXPECT_EQ(S_OK, hr);
    ComPtr<IBaseFilter> filter;
    object->NonDelegatingQueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(filter.GetAddressOf()));
    if (pool) {
        EXPECT_EQ(S_OK, Control(filter.Get())->SetSamplePool(pool));
    }
    EXPECT_EQ(S_OK, m_Graph.Add(filter.Get(), L"image renderer"));
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
    EXPECT_TRUE(source);
    ComPtr<IBaseFilter> filter(source->Filter());
    EXPECT_TRUE(SUCCEEDED(m_Graph.Add(filter.Get(), L"test source")));   // a second one is renamed
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
