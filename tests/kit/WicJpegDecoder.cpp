#include "tests/kit/WicJpegDecoder.h"

#include <wincodec.h>

namespace {

// Defined here so that users need no extra import library.
const CLSID kClsidWicImagingFactory = {0xcacaf262, 0x9370, 0x4615, {0xa1, 0x3b, 0x9f, 0x55, 0x39, 0xda, 0x4c, 0x0a}};
const IID kIidWicImagingFactory = {0xec5ec8a9, 0xc395, 0x4314, {0x9c, 0x77, 0x54, 0xd7, 0xa9, 0x35, 0xff, 0x70}};
const GUID kFormat24bppBgr = {0x6fddc324, 0x4e03, 0x4bfe, {0xb1, 0x85, 0x3d, 0x77, 0x76, 0x8d, 0xc9, 0x0c}};
const GUID kFormat8bppGray = {0x6fddc324, 0x4e03, 0x4bfe, {0xb1, 0x85, 0x3d, 0x77, 0x76, 0x8d, 0xc9, 0x08}};

template <class T>
struct Ref {
    T* p = nullptr;
    ~Ref()
    {
        if (p)
            p->Release();
    }
    T** operator&() { return &p; }
    T* operator->() const { return p; }
};

} // namespace

HRESULT WicDecodeJpeg(const void* data, size_t size, WicDecodedImage& out)
{
    out = WicDecodedImage{};
    if (!data || size == 0 || size > 0xFFFFFFFFu)
        return E_INVALIDARG;
    Ref<IWICImagingFactory> factory;
    HRESULT hr = CoCreateInstance(kClsidWicImagingFactory, nullptr, CLSCTX_INPROC_SERVER, kIidWicImagingFactory,
                                  reinterpret_cast<void**>(&factory));
    if (FAILED(hr))
        return hr;
    Ref<IWICStream> stream;
    if (FAILED(hr = factory->CreateStream(&stream)))
        return hr;
    if (FAILED(hr = stream->InitializeFromMemory(static_cast<BYTE*>(const_cast<void*>(data)), static_cast<DWORD>(size))))
        return hr;
    Ref<IWICBitmapDecoder> decoder;
    if (FAILED(hr = factory->CreateDecoderFromStream(stream.p, nullptr, WICDecodeMetadataCacheOnLoad, &decoder)))
        return hr;
    Ref<IWICBitmapFrameDecode> frame;
    if (FAILED(hr = decoder->GetFrame(0, &frame)))
        return hr;
    UINT w = 0, h = 0;
    if (FAILED(hr = frame->GetSize(&w, &h)))
        return hr;
    WICPixelFormatGUID native{};
    if (FAILED(hr = frame->GetPixelFormat(&native)))
        return hr;
    std::vector<BYTE> pixels(static_cast<size_t>(w) * h * 3);
    if (IsEqualGUID(native, kFormat8bppGray)) {
        // Wine's converter has no grey to BGR path: expand the grey rows here.
        std::vector<BYTE> grey(static_cast<size_t>(w) * h);
        if (FAILED(hr = frame->CopyPixels(nullptr, w, static_cast<UINT>(grey.size()), grey.data())))
            return hr;
        for (size_t i = 0; i < grey.size(); ++i)
            pixels[3 * i] = pixels[3 * i + 1] = pixels[3 * i + 2] = grey[i];
    } else {
        Ref<IWICFormatConverter> converter;
        if (FAILED(hr = factory->CreateFormatConverter(&converter)))
            return hr;
        if (FAILED(hr = converter->Initialize(frame.p, kFormat24bppBgr, WICBitmapDitherTypeNone, nullptr, 0.0,
                                              WICBitmapPaletteTypeCustom)))
            return hr;
        if (FAILED(hr = converter->CopyPixels(nullptr, w * 3, static_cast<UINT>(pixels.size()), pixels.data())))
            return hr;
    }
    out.width = w;
    out.height = h;
    out.channels = IsEqualGUID(native, kFormat8bppGray) ? 1 : 3;
    out.bgr.swap(pixels);
    return S_OK;
}
