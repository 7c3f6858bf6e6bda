#include "tools/V77Host/SnapshotCommand.h"

#include <cstdio>
#include <vector>
#include <windows.h>
#include <oleauto.h>
#include "tools/V77Host/CHostComApartment.h"
#include "tools/V77Host/HostText.h"
#include "tools/V77Host/LiveCommandSupport.h"

namespace {

const char kUsage[] =
    "snapshot SOURCE OUT.jpg [options]\n"
    "Runs SOURCE -> buffer filter -> [platform decoder] -> JPEG renderer and writes the frame on\n"
    "show after the warm-up as a JPEG file. SOURCE as for view.\n"
    "  --duration SECONDS   warm-up before the snapshot (default 1)\n"
    "  --quality Q          JPEG quality 1-100 (default 75)\n"
    "  --gray               a grey-scale picture\n"
    "  --buffer N           frames the buffer filter queues\n"
    "Exit codes: 0 written, 1 a call failed, no frame arrived or the file could not be written, 2 bad arguments.";

}  // namespace

int RunSnapshotCommand(int argc, char** argv)
{
    HostCommandSpec spec = {"snapshot", kUsage, {{"--quality", true}, {"--gray", false}, {"--buffer", true}}, 2, 2, 1};
    HostCommandLine line;
    int code = ParseHostCommand(spec, argc, argv, &line);
    if (code >= 0)
        return code;
    LiveViewConfig config;
    config.renderer = HostRenderer::Jpeg;
    long quality = 75;
    if (!line.args.Integer("--quality", 1, 100, &quality) || !line.args.Integer("--buffer", 1, 64, &config.bufferCount))
        return HostUsageError("snapshot", line.args.Error());
    const std::wstring out = HostPath(line.args.Positionals()[1]);
    CHostComApartment com;
    if (FAILED(com.Result()))
        return HostFailure("snapshot", "CoInitializeEx", com.Result());
    CHostLiveSource source;
    CLiveViewGraph view;
    if ((code = BuildLiveView("snapshot", line.args.Positionals()[0], config, &source, &view)) >= 0)
        return code;
    Microsoft::WRL::ComPtr<IV77JpegRenderer> jpeg;
    HRESULT hr = view.RendererFilter()->QueryInterface(__uuidof(IV77JpegRenderer), reinterpret_cast<void**>(jpeg.GetAddressOf()));
    if (SUCCEEDED(hr))
        hr = jpeg->SetQuality(quality);
    if (SUCCEEDED(hr))
        hr = jpeg->SetColor(line.args.Has("--gray") ? FALSE : TRUE);
    if (FAILED(hr))
        return HostFailure("snapshot", "configure the JPEG renderer", hr);
    if ((code = RunLiveView("snapshot", view, line, nullptr, true)) != kHostExitOk)
        return code;
    const SOURCE_INFORMATION& info = source.Info();
    std::vector<BYTE> picture(static_cast<size_t>(info.Width) * info.Height * 3 + 4096);
    DWORD size = static_cast<DWORD>(picture.size());
    BSTR comment = SysAllocString(L"V77Host snapshot");
    hr = jpeg->EncodeToBuffer(comment, picture.data(), &size);
    SysFreeString(comment);
    view.Stop();
    if (FAILED(hr))
        return HostFailure("snapshot", "EncodeToBuffer", hr);
    if (size == 0)
        return HostFailure("snapshot", "the JPEG renderer had no frame to encode");
    if (!WriteWholeFile(out, picture.data(), size))
        return HostFailure("snapshot", "write " + line.args.Positionals()[1], HRESULT_FROM_WIN32(GetLastError()));
    std::printf("snapshot: %lu-byte JPEG (%ldx%ld, quality %ld) written to %s\n", static_cast<unsigned long>(size),
                info.Width, info.Height, quality, line.args.Positionals()[1].c_str());
    return kHostExitOk;
}
