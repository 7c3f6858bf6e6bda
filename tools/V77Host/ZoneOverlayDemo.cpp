#include "tools/V77Host/ZoneOverlayDemo.h"

#include <cstdio>
#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>
#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>
#include "sinks/formats/V77OverlaySampleWriter.h"
#include "companions/V77UIHelper/rle/V77RunLength.h"
#include "tools/V77Host/CHostGraph.h"
#include "tools/V77Host/CHostPatternSource.h"
#include "tools/V77Host/CHostPatternStream.h"
#include "tools/V77Host/CHostVideoWindow.h"
#include "tools/V77Host/CHostZoneSource.h"
#include "tools/V77Host/DemoSteps.h"
#include "tools/V77Host/HostPng.h"
#include "v77/IV77DxRenderer.h"
#include "v77/IV77Sinks.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr LONG kWidth = CHostPatternStream::kWidth;
constexpr LONG kHeight = CHostPatternStream::kHeight;
constexpr COLORREF kKey = RGB(255, 0, 255);   // the host overlay's transparent colour
constexpr int kSamples = 50;                  // 2 s at 25 samples a second
constexpr COLORREF kPorte = RGB(0xFF, 0x80, 0x00);
// The gauge of the selected zone, right of the picture's middle.
constexpr RECT kGaugeRect = {150, 0, kWidth, kHeight};

std::wstring ExeFolder()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

bool ReadZones(std::wstring* xml)
{
    const std::wstring path = ExeFolder() + L"demo-zones.xml";
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    std::string bytes(64 * 1024, '\0');
    DWORD read = 0;
    const BOOL ok = ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr);
    CloseHandle(file);
    bytes.resize(ok ? read : 0);
    *xml = std::wstring(bytes.begin(), bytes.end());  // the file is ASCII
    return !xml->empty();
}

// Sample n: a 40 x 40 block moving across the Porte zone, a band sweeping the
// Parking strip, the levels rising and falling.
std::vector<BYTE> ZoneSample(int n)
{
    const int blockX = 20 + (n * 2) % 80, stripX = 180 + (n * 3) % 100;
    std::vector<uint8_t> a(static_cast<size_t>(kWidth) * kHeight), b(a.size());
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            a[static_cast<size_t>(y) * kWidth + x] = x >= blockX && x < blockX + 40 && y >= 100 && y < 140;
            b[static_cast<size_t>(y) * kWidth + x] = x >= stripX && x < stripX + 20 && y >= 151 && y < 220;
        }
    const uint32_t porteLevel = static_cast<uint32_t>(10 + (n * 4) % 90);
    const uint32_t parkingLevel = static_cast<uint32_t>(60 - (n % 40));
    return v77::BuildSensorSample(true, {{porteLevel, v77::EncodeRunLengthPixels(a.data(), kWidth, kHeight)},
                                         {parkingLevel, v77::EncodeRunLengthPixels(b.data(), kWidth, kHeight)}});
}

// The host's overlay drawing: every zone, then the gauge of "Porte".
class CHostOverlayCanvas {
public:
    CHostOverlayCanvas() : m_hDC(CreateCompatibleDC(nullptr))
    {
        BITMAPINFOHEADER header = {sizeof(header), kWidth, -kHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        m_hBitmap = CreateDIBSection(m_hDC, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS, &bits, nullptr, 0);
        if (m_hBitmap)
            m_hPrevious = SelectObject(m_hDC, m_hBitmap);
    }
    ~CHostOverlayCanvas()
    {
        if (m_hPrevious)
            SelectObject(m_hDC, m_hPrevious);
        DeleteObject(m_hBitmap);
        DeleteDC(m_hDC);
    }
    bool IsValid() const { return m_hBitmap != nullptr; }

    HRESULT Paint(IV77DsOverlayRenderer* overlay, IV77DxRenderer* display)
    {
        const RECT all = {0, 0, kWidth, kHeight};
        HBRUSH key = CreateSolidBrush(kKey);
        FillRect(m_hDC, &all, key);
        DeleteObject(key);
        HRESULT hr = SetName(overlay, L"");
        if (SUCCEEDED(hr))
            hr = overlay->Draw(m_hDC, &all, nullptr);
        if (SUCCEEDED(hr))
            hr = SetName(overlay, L"Porte");
        if (SUCCEEDED(hr))
            hr = overlay->DrawInfo(m_hDC, &kGaugeRect);
        if (SUCCEEDED(hr))
            hr = display->DrawOverlay(m_hDC, TRUE);
        return hr;
    }

private:
    static HRESULT SetName(IV77DsOverlayRenderer* overlay, const wchar_t* name)
    {
        BSTR text = SysAllocString(name);
        const HRESULT hr = overlay->SetSensorName(text);
        SysFreeString(text);
        return hr;
    }

    HDC m_hDC;
    HBITMAP m_hBitmap = nullptr;
    HGDIOBJ m_hPrevious = nullptr;
};

// The window's client area as a PNG; the colour at two probes printed.
bool SaveWindow(const CHostVideoWindow& window, const std::wstring& path)
{
    std::vector<BYTE> pixels(static_cast<size_t>(kWidth) * kHeight * 4);
    BITMAPINFOHEADER header = {sizeof(header), kWidth, -kHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    HDC screen = GetDC(window.Handle());
    HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, kWidth, kHeight, screen, 0, 0, SRCCOPY);
    GdiFlush();
    if (bits)
        memcpy(pixels.data(), bits, pixels.size());
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window.Handle(), screen);
    const HRESULT hr = SavePng(path, pixels.data(), kWidth, kHeight, kWidth * 4);
    if (!CheckStep("PNG", hr))
        return false;
    std::printf("  window with its zone overlay saved to %ls\n", path.c_str());
    return true;
}

std::wstring PngPath(const std::wstring& snapshotPath)
{
    const size_t slash = snapshotPath.find_last_of(L"\\/");
    return (slash == std::wstring::npos ? std::wstring() : snapshotPath.substr(0, slash + 1)) + L"v77-zones.png";
}

}  // namespace

bool RunZoneOverlayDemo(const std::wstring& snapshotPath)
{
    std::wstring xml;
    if (!ReadZones(&xml)) {
        std::printf("  no demo-zones.xml beside the program\n");
        return false;
    }
    CHostVideoWindow window(kWidth, kHeight);
    ComPtr<CHostPatternSource> camera;
    *camera.GetAddressOf() = CHostPatternSource::Create();  // adopt: mingw's Attach adds a reference
    ComPtr<CHostZoneSource> zones;
    *zones.GetAddressOf() = CHostZoneSource::Create(xml);
    ComPtr<IBaseFilter> renderer;
    ComPtr<IBaseFilter> overlayFilter;
    ComPtr<IV77DxRenderer> display;
    ComPtr<IV77DsOverlayRenderer> overlay;
    CHostGraph graph;
    CHostOverlayCanvas canvas;
    if (!window.Handle() || !camera || !zones || !canvas.IsValid()) {
        std::printf("  no window, camera, zone detector or canvas\n");
        return false;
    }
    if (!CheckStep("graph", graph.Create()) ||
        !CheckStep("GDI renderer", CreateModuleFilter(CLSID_V77WindowsRenderer, renderer)) ||
        !CheckStep("overlay renderer", CreateModuleFilter(CLSID_V77DsOverlayRenderer, overlayFilter)) ||
        !CheckStep("IV77DxRenderer", renderer.As(&display)) ||
        !CheckStep("IV77DsOverlayRenderer",
                   overlayFilter->QueryInterface(IID_IV77DsOverlayRenderer, reinterpret_cast<void**>(overlay.GetAddressOf()))))
        return false;
    if (!CheckStep("SetWindow", display->SetWindow(window.Handle())) ||
        !CheckStep("add camera", graph.Add(camera->Filter(), L"Demo camera")) ||
        !CheckStep("add renderer", graph.Add(renderer.Get(), L"Varnokel77 GDI renderer")) ||
        !CheckStep("add zone detector", graph.Add(zones->Filter(), L"Demo zone detector")) ||
        !CheckStep("add overlay", graph.Add(overlayFilter.Get(), L"Varnokel77 Overlay renderer filter")) ||
        !CheckStep("connect camera", graph.Connect(camera->Filter(), renderer.Get())) ||
        !CheckStep("connect zones", graph.Connect(zones->Filter(), overlayFilter.Get())) ||
        !CheckStep("SetRects", display->SetRects(nullptr, nullptr, nullptr)) ||
        !CheckStep("SetColorKey", display->SetColorKey(kKey)) ||
        !CheckStep("EnableOverlay", display->EnableOverlay(TRUE, FALSE)) || !CheckStep("Run", graph.Run()))
        return false;
    std::printf("  demo camera -> GDI renderer; zone detector (demo-zones.xml: Porte, Parking) -> overlay "
                "renderer, painted into the host overlay (key FF00FF)\n");

    // The detector's thread, as a receiver's: one sample every 40 ms.
    std::atomic<int> pushed{0};
    std::atomic<HRESULT> pushResult{S_OK};
    std::thread detector([&] {
        for (int n = 0; n < kSamples; ++n) {
            const HRESULT hr = zones->Pin()->Push(ZoneSample(n));
            if (FAILED(hr)) {
                pushResult = hr;
                break;
            }
            ++pushed;
            Sleep(40);
        }
    });
    int paints = 0;
    HRESULT paintResult = S_OK;
    while (pushed < kSamples && pushResult == S_OK) {
        graph.PumpFor(20, nullptr);
        if (overlay->IsModified() == S_OK) {
            paintResult = canvas.Paint(overlay.Get(), display.Get());
            if (FAILED(paintResult))
                break;
            ++paints;
        }
    }
    detector.join();
    graph.PumpFor(300, nullptr);
    // Probes: a region pixel of Porte (its checkerboard, clear of the moving
    // block) and a pixel clear of every zone and the gauge.
    const COLORREF zone = window.PixelAt(30, 190);
    const COLORREF video = window.PixelAt(10, 20);
    const COLORREF bar = CHostPatternStream::BarColour(10);
    const bool zoneOk = zone == kPorte;
    const bool videoOk = std::abs(GetRValue(video) - GetRValue(bar)) <= 24 &&
                         std::abs(GetGValue(video) - GetGValue(bar)) <= 24 &&
                         std::abs(GetBValue(video) - GetBValue(bar)) <= 24;
    std::printf("  %d zone samples, %d overlay paints; pixel (30,190) %02X%02X%02X (Porte zone %s), pixel (10,20) "
                "%02X%02X%02X (video %s)\n", pushed.load(), paints, GetRValue(zone), GetGValue(zone), GetBValue(zone),
                zoneOk ? "ok" : "MISSING", GetRValue(video), GetGValue(video), GetBValue(video),
                videoOk ? "ok" : "DIFFERENT");
    const bool saved = SaveWindow(window, PngPath(snapshotPath));
    graph.Stop();
    return CheckStep("zone samples", pushResult) && CheckStep("overlay paint", paintResult) && pushed == kSamples &&
           paints > 0 && zoneOk && videoOk && saved;
}
