#include "tools/V77Host/HostPng.h"

#include <wincodec.h>
#include <vector>
#include <wrl/client.h>

using Microsoft::WRL::ComPtr;

namespace {

// Defined here so that the host needs no extra import library.
const CLSID kClsidWicImagingFactory = {0xcacaf262, 0x9370, 0x4615, {0xa1, 0x3b, 0x9f, 0x55, 0x39, 0xda, 0x4c, 0x0a}};
const IID kIidWicImagingFactory = {0xec5ec8a9, 0xc395, 0x4314, {0x9c, 0x77, 0x54, 0xd7, 0xa9, 0x35, 0xff, 0x70}};
const GUID kContainerPng = {0x1b7cfaf4, 0x713f, 0x473c, {0xbb, 0xcd, 0x61, 0x37, 0x42, 0x5f, 0xae, 0xaf}};
const GUID kFormat32bppBgr = {0x6fddc324, 0x4e03, 0x4bfe, {0xb1, 0x85, 0x3d, 0x77, 0x76, 0x8d, 0xc9, 0x0e}};
const GUID kFormat24bppBgr = {0x6fddc324, 0x4e03, 0x4bfe, {0xb1, 0x85, 0x3d, 0x77, 0x76, 0x8d, 0xc9, 0x0c}};

// The client area as the screen shows it, 32-bit BGRX rows top first.
bool CaptureClient(HWND window, LONG* width, LONG* height, std::vector<BYTE>* pixels)
{
    RECT client = {};
    if (!GetClientRect(window, &client) || client.right <= 0 || client.bottom <= 0)
        return false;
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    *width = client.right;
    *height = client.bottom;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = *width;
    info.bmiHeader.biHeight = -*height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = false;
    if (bitmap) {
        HGDIOBJ previous = SelectObject(memory, bitmap);
        // The screen, not the window's DC: DirectDraw presents go to the screen.
        ok = BitBlt(memory, 0, 0, *width, *height, screen, origin.x, origin.y, SRCCOPY) != FALSE;
        GdiFlush();
        if (ok)
            pixels->assign(static_cast<BYTE*>(bits), static_cast<BYTE*>(bits) + static_cast<size_t>(*width) * 4 * *height);
        SelectObject(memory, previous);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return ok;
}

}  // namespace

HRESULT SavePng(const std::wstring& path, const BYTE* pixels, UINT width, UINT height, UINT stride)
{
    ComPtr<IWICImagingFactory> factory;
    HRESULT hr = CoCreateInstance(kClsidWicImagingFactory, nullptr, CLSCTX_INPROC_SERVER, kIidWicImagingFactory,
                                  reinterpret_cast<void**>(factory.GetAddressOf()));
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapEncoder> encoder;
    ComPtr<IWICBitmapFrameEncode> frame;
    if (SUCCEEDED(hr))
        hr = factory->CreateStream(stream.GetAddressOf());
    if (SUCCEEDED(hr))
        hr = stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE);
    if (SUCCEEDED(hr))
        hr = factory->CreateEncoder(kContainerPng, nullptr, encoder.GetAddressOf());
    if (SUCCEEDED(hr))
        hr = encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache);
    if (SUCCEEDED(hr))
        hr = encoder->CreateNewFrame(frame.GetAddressOf(), nullptr);
    if (SUCCEEDED(hr))
        hr = frame->Initialize(nullptr);
    if (SUCCEEDED(hr))
        hr = frame->SetSize(width, height);
    // PNG has no 32-bit BGRX: the encoder may choose 24-bit BGR; rows are
    // then written in that format.
    WICPixelFormatGUID format = kFormat32bppBgr;
    if (SUCCEEDED(hr))
        hr = frame->SetPixelFormat(&format);
    std::basic_string<BYTE> packed;
    const BYTE* rows = pixels;
    UINT rowBytes = stride;
    if (SUCCEEDED(hr) && format == kFormat24bppBgr) {
        rowBytes = (width * 3 + 3) & ~3u;
        packed.assign(static_cast<size_t>(rowBytes) * height, 0);
        for (UINT y = 0; y < height; ++y)
            for (UINT x = 0; x < width; ++x)
                memcpy(&packed[static_cast<size_t>(y) * rowBytes + 3 * x], pixels + static_cast<size_t>(y) * stride + 4 * x, 3);
        rows = packed.data();
    } else if (SUCCEEDED(hr) && format != kFormat32bppBgr) {
        hr = WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT;
    }
    if (SUCCEEDED(hr))
        hr = frame->WritePixels(height, rowBytes, rowBytes * height, const_cast<BYTE*>(rows));
    if (SUCCEEDED(hr))
        hr = frame->Commit();
    if (SUCCEEDED(hr))
        hr = encoder->Commit();
    return hr;
}

HRESULT SaveWindowPng(HWND window, const std::wstring& path)
{
    LONG width = 0, height = 0;
    std::vector<BYTE> pixels;
    if (!CaptureClient(window, &width, &height, &pixels))
        return E_FAIL;
    return SavePng(path, pixels.data(), static_cast<UINT>(width), static_cast<UINT>(height),
                   static_cast<UINT>(width) * 4);
}
