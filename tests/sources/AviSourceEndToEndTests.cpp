// The AVI file source with the real AVI file receiver (registered from the
// component DLL) playing files ffmpeg wrote: every frame reaches a test
// renderer through the buffer filter, in order, byte for byte as ffmpeg
// wrote it, in a sample of the source's own pool (no copy on the way); and
// the GDI renderer ends up showing the file's last frame.
#include <windows.h>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tests/display/CTestVideoWindow.h"
#include "tests/display/WindowProbes.h"
#include "tests/sources/LiveSourceFixture.h"
#include "v77/IV77DxRenderer.h"
#include "v77/IV77SamplePool.h"
#include "v77/V77Guids.h"
#include <uuids.h>

namespace {

constexpr LONG kFrameBytes = kWidth * kHeight * 2;
constexpr int kFileFrames = 10;
constexpr Rgb kFileBlue{50, 60, 210};
constexpr int kTolerance = 12;

// The folder of the files, as a Windows path (CTest sets V77_LIVE_MEDIA).
std::wstring MediaPath(const wchar_t* name)
{
    wchar_t folder[MAX_PATH] = {};
    if (!GetEnvironmentVariableW(L"V77_LIVE_MEDIA", folder, MAX_PATH))
        return std::wstring();
    std::wstring path = std::wstring(folder) + L"\\" + name;
    for (wchar_t& c : path) {
        if (c == L'/')
            c = L'\\';
    }
    return path;
}

std::vector<BYTE> ReadFile(const std::wstring& path)
{
    std::vector<BYTE> bytes;
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (!file)
        return bytes;
    BYTE chunk[4096];
    size_t got = 0;
    while ((got = fread(chunk, 1, sizeof(chunk), file)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + got);
    fclose(file);
    return bytes;
}

class AviSourceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(m_Com.Result()));
        ASSERT_FALSE(MediaPath(L"").empty()) << "V77_LIVE_MEDIA names the folder of the ffmpeg-made files";
        ASSERT_EQ(S_OK, m_Graph.Create());
    }
    void TearDown() override { m_Graph.Release(); }

    // The module's AVI file source on its real receiver, opened on file, played once at the file's pace.
    ComPtr<IBaseFilter> OpenAviSource(const wchar_t* file)
    {
        ComPtr<IBaseFilter> source;
        EXPECT_EQ(S_OK, CoCreateInstance(CLSID_V77DsAviSource, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                         reinterpret_cast<void**>(source.GetAddressOf())));
        if (!source)
            return nullptr;
        BSTR path = SysAllocString(MediaPath(file).c_str());
        SOURCE_INFORMATION info = {};
        const HRESULT opened = SourceControl(source.Get())->Open(path, nullptr, 0, 0, 0, &info);
        SysFreeString(path);
        EXPECT_EQ(S_OK, opened);
        EXPECT_EQ(kWidth, info.Width);
        EXPECT_EQ(static_cast<DWORD>(MAKEFOURCC('Y', 'U', 'Y', '2')), info.Compression);
        ComPtr<IV77DsAviSource> avi;
        EXPECT_EQ(S_OK, source.As(&avi));
        if (avi) {
            EXPECT_EQ(S_OK, avi->Configure(0, 1));  // once, paced
        }
        return opened == S_OK ? source : nullptr;
    }

    CComInit m_Com;
    TestGraph m_Graph;
};

TEST_F(AviSourceTest, EveryFrameOfAnFfmpegFileReachesTheRendererInOrderInTheSourcesOwnPool)
{
    const std::vector<BYTE> raw = ReadFile(MediaPath(L"pattern.yuv"));
    ASSERT_EQ(static_cast<size_t>(kFileFrames * kFrameBytes), raw.size()) << "ffmpeg's raw copy of the frames";
    ComPtr<IBaseFilter> source = OpenAviSource(L"pattern.avi");
    ASSERT_TRUE(source);
    TestRendererConfig config;
    config.waitForSampleTime = false;
    config.bytesRecorded = kFrameBytes;
    ComPtr<CTestRenderer> renderer = Adopt(CTestRenderer::Create(config));
    ComPtr<CV77DsBufferFilter> buffer = NewLiveBuffer();
    ASSERT_TRUE(renderer && buffer);
    ASSERT_EQ(S_OK, m_Graph.Add(source.Get(), L"avi"));
    ASSERT_EQ(S_OK, m_Graph.Add(buffer.Get(), L"buffer"));
    ASSERT_EQ(S_OK, m_Graph.Add(renderer->Filter(), L"renderer"));
    ASSERT_EQ(S_OK, m_Graph.ConnectFilters(source.Get(), buffer.Get()));
    ASSERT_EQ(S_OK, m_Graph.ConnectFilters(buffer.Get(), renderer->Filter()));

    ASSERT_EQ(S_OK, m_Graph.RunAndWait(kStateTimeoutMs));
    ComPtr<IV77SamplePool> pool;
    ASSERT_EQ(S_OK, source->QueryInterface(IID_IV77SamplePool, reinterpret_cast<void**>(pool.GetAddressOf())));
    ASSERT_TRUE(m_Graph.WaitForEvent(EC_V77_STREAM_EVENT_2, kFlowTimeoutMs)) << "the file ends (looping off)";
    ASSERT_TRUE(WaitUntil([&] { return renderer->SampleCount() >= kFileFrames; }, kFlowTimeoutMs));

    const std::vector<RenderedSample> samples = renderer->Samples();
    ASSERT_EQ(static_cast<size_t>(kFileFrames), samples.size()) << "nothing dropped at the file's pace";
    for (int i = 0; i < kFileFrames; ++i) {
        SCOPED_TRACE(i);
        ASSERT_EQ(static_cast<size_t>(kFrameBytes), samples[i].bytes.size());
        EXPECT_EQ(0, std::memcmp(samples[i].bytes.data(), &raw[static_cast<size_t>(i) * kFrameBytes], kFrameBytes))
            << "frame " << i << " is not ffmpeg's frame " << i;
        EXPECT_EQ(static_cast<const void*>(pool.Get()), samples[i].pool)
            << "the renderer got a sample of another pool: a copy was made on the way";
        if (i > 0) {
            EXPECT_LT(samples[i - 1].start, samples[i].start) << "capture times go forward";
        }
    }
    ASSERT_EQ(S_OK, m_Graph.StopAndWait(kStateTimeoutMs));
}

TEST_F(AviSourceTest, TheGdiRendererShowsTheLastFrameOfAnFfmpegFile)
{
    CTestVideoWindow window(kWidth, kHeight);
    ASSERT_NE(nullptr, window.Handle());
    ComPtr<IBaseFilter> renderer;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_V77WindowsRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                     reinterpret_cast<void**>(renderer.GetAddressOf())));
    ComPtr<IV77DxRenderer> dx;
    ASSERT_EQ(S_OK, renderer.As(&dx));
    ASSERT_EQ(S_OK, dx->SetWindow(window.Handle()));
    window.Pump();
    ComPtr<IBaseFilter> source = OpenAviSource(L"colours.avi");
    ASSERT_TRUE(source);
    ComPtr<CV77DsBufferFilter> buffer = NewLiveBuffer();
    ASSERT_TRUE(buffer);
    ASSERT_EQ(S_OK, m_Graph.Add(source.Get(), L"avi"));
    ASSERT_EQ(S_OK, m_Graph.Add(buffer.Get(), L"buffer"));
    ASSERT_EQ(S_OK, m_Graph.Add(renderer.Get(), L"gdi"));
    ASSERT_EQ(S_OK, m_Graph.ConnectFilters(source.Get(), buffer.Get()));
    ASSERT_EQ(S_OK, m_Graph.ConnectFilters(buffer.Get(), renderer.Get()));

    ASSERT_TRUE(SUCCEEDED(m_Graph.Run()));
    const std::vector<Probe> probes = UniformProbes(RECT{0, 0, kWidth, kHeight}, kFileBlue);
    std::string mismatches;
    const bool shown = window.PumpUntil([&] {
        mismatches = Mismatches(window.Capture(), probes, kTolerance);
        return mismatches.empty();
    }, kFlowTimeoutMs);
    EXPECT_TRUE(shown) << "window shows:\n" << mismatches;
    window.Pump();
    m_Graph.Release();
}

}  // namespace
