#include "tools/V77Host/JpegSnapshotDemo.h"

#include <cstdio>
#include <vector>
#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>
#include "tools/V77Host/CHostGraph.h"
#include "tools/V77Host/CHostPatternSource.h"
#include "tools/V77Host/CHostPatternStream.h"
#include "tools/V77Host/DemoSteps.h"
#include "tools/V77Host/HostCli.h"
#include "v77/IV77DxRenderer.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr long kQuality = 75;
constexpr DWORD kWarmUpMs = 600;

}  // namespace

bool RunJpegSnapshotDemo(const std::wstring& path)
{
    ComPtr<CHostPatternSource> camera;
    *camera.GetAddressOf() = CHostPatternSource::Create();  // adopt: mingw's Attach adds a reference
    ComPtr<IBaseFilter> renderer;
    ComPtr<IV77DxRenderer> display;
    ComPtr<IV77JpegRenderer> jpeg;
    CHostGraph graph;
    if (!camera || !CheckStep("graph", graph.Create()) ||
        !CheckStep("JPEG renderer", CreateModuleFilter(CLSID_V77JpegRenderer, renderer)) ||
        !CheckStep("IV77DxRenderer", renderer.As(&display)) || !CheckStep("IV77JpegRenderer", renderer.As(&jpeg)))
        return false;
    const RECT target = {0, 0, CHostPatternStream::kWidth, CHostPatternStream::kHeight};
    if (!CheckStep("add camera", graph.Add(camera->Filter(), L"Demo camera")) ||
        !CheckStep("add renderer", graph.Add(renderer.Get(), L"Varnokel77 Jpeg renderer")) ||
        !CheckStep("connect", graph.Connect(camera->Filter(), renderer.Get())) ||
        !CheckStep("SetRects", display->SetRects(&target, nullptr, nullptr)) ||
        !CheckStep("SetQuality", jpeg->SetQuality(kQuality)) || !CheckStep("Run", graph.Run()))
        return false;
    graph.PumpFor(kWarmUpMs, nullptr);

    std::vector<BYTE> picture(static_cast<size_t>(target.right) * target.bottom * 3);
    DWORD size = static_cast<DWORD>(picture.size());
    BSTR comment = SysAllocString(L"V77Host demo snapshot");
    const HRESULT hr = jpeg->EncodeToBuffer(comment, picture.data(), &size);
    SysFreeString(comment);
    graph.Stop();
    if (!CheckStep("EncodeToBuffer", hr))
        return false;
    if (size == 0) {
        std::printf("  EncodeToBuffer gave no picture\n");
        return false;
    }
    if (!WriteWholeFile(path, picture.data(), size)) {
        std::printf("  cannot write %ls\n", path.c_str());
        return false;
    }
    std::printf("  demo camera -> JPEG renderer: %lu-byte JPEG (%ldx%ld, quality %ld) written to %ls\n",
                static_cast<unsigned long>(size), target.right, target.bottom, kQuality, path.c_str());
    return true;
}
