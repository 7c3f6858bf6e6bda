#include "tools/V77Host/AviLiveViewDemo.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include "tools/V77Host/CLiveViewGraph.h"
#include "tools/V77Host/DemoSteps.h"
#include "v77/V77Events.h"

namespace {

constexpr DWORD kPlayMs = 2000;
constexpr int kColourTolerance = 32;  // 75 % bars, YUV rounding both ways
constexpr int kBars = 7;              // the top row of the colour bars
const COLORREF kBarColours[kBars] = {RGB(191, 191, 191), RGB(191, 191, 0), RGB(0, 191, 191), RGB(0, 191, 0),
                                     RGB(191, 0, 191),   RGB(191, 0, 0),   RGB(0, 0, 191)};

bool Near(COLORREF a, COLORREF b)
{
    return std::abs(GetRValue(a) - GetRValue(b)) <= kColourTolerance &&
           std::abs(GetGValue(a) - GetGValue(b)) <= kColourTolerance &&
           std::abs(GetBValue(a) - GetBValue(b)) <= kColourTolerance;
}

bool PrintBarColours(const CHostVideoWindow& window, LONG width, LONG height)
{
    int matched = 0;
    for (int bar = 0; bar < kBars; ++bar) {
        const LONG x = (2 * bar + 1) * width / (2 * kBars);
        const LONG y = height / 3;
        const COLORREF shown = window.PixelAt(x, y);
        const bool ok = shown != CLR_INVALID && Near(kBarColours[bar], shown);
        matched += ok ? 1 : 0;
        std::printf("  window pixel (%3ld,%3ld): bar %02X%02X%02X, shown %02X%02X%02X %s\n", x, y,
                    GetRValue(kBarColours[bar]), GetGValue(kBarColours[bar]), GetBValue(kBarColours[bar]),
                    GetRValue(shown), GetGValue(shown), GetBValue(shown), ok ? "ok" : "DIFFERENT");
    }
    return matched == kBars;
}

}  // namespace

bool RunAviLiveViewDemo(const std::wstring& path)
{
    if (path.empty()) {
        std::printf("  no AVI file given (--avi PATH)\n");
        return false;
    }
    CHostLiveSource source;
    CLiveViewGraph view;
    std::string error;
    if (!source.Parse(Narrow(path.c_str()), &error)) {
        std::printf("  %s\n", error.c_str());
        return false;
    }
    const HRESULT built = view.Build(source, LiveViewConfig());
    if (!CheckStep(view.FailedStep(), built) || !CheckStep("Run", view.Run()))
        return false;
    const SOURCE_INFORMATION& info = source.Info();
    std::printf("  AVI file (FOURCC %.4s, %ldx%ld, %.1f fps, looping) -> buffer filter -> GDI renderer\n",
                reinterpret_cast<const char*>(&info.Compression), info.Width, info.Height,
                info.AvgTimePerFrame ? 1e7 / static_cast<double>(info.AvgTimePerFrame) : 0.0);
    long mediaTimeEvents = 0, markers = 0, streamStarts = 0;
    LONGLONG firstTime = 0, lastTime = 0;
    view.Graph().PumpFor(kPlayMs, [&](long code, LONG_PTR p1, LONG_PTR p2) {
        if (code == EC_V77_MEDIA_TIME) {
            lastTime = static_cast<LONGLONG>((static_cast<ULONGLONG>(static_cast<DWORD>(p2)) << 32) | static_cast<DWORD>(p1));
            firstTime = mediaTimeEvents++ ? firstTime : lastTime;
        }
        markers += code == EC_V77_MARKER ? 1 : 0;
        streamStarts += code == EC_V77_STREAM_EVENT_1 ? 1 : 0;
        if (code == EC_ERRORABORT)
            std::printf("  event EC_ERRORABORT\n");
    });
    const bool coloursOk = PrintBarColours(*view.VideoWindow(), info.Width, info.Height);
    const HostFigures figures = view.Figures();
    double bitRate = 0;
    source.Control()->GetBitRate(&bitRate);
    view.Stop();
    std::printf("  %ld media-time events spanning %.2f s of capture time, %ld stream start(s), %ld loop marker(s)"
                " in %.1f s; %ld frames shown, queue capacity %ld; %.1f Mbit/s\n", mediaTimeEvents,
                (lastTime - firstTime) / 1e7, streamStarts, markers, kPlayMs / 1000.0, figures.frames,
                figures.bufferCapacity, bitRate / 1e6);
    // Frames kept coming: more than a second of capture time was reported.
    return lastTime - firstTime > 10000000 && coloursOk;
}
