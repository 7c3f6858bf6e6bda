// A live source through the buffer filter into the GDI renderer (created
// through the module, as the host does), drawing into a real window: the
// window ends up showing the receiver's newest frame.
#include <algorithm>
#include <cstring>
#include "sources/CV77DsAviSourceFilter.h"
#include "tests/display/CTestVideoWindow.h"
#include "tests/display/TestPicture.h"
#include "tests/display/WindowProbes.h"
#include "tests/sources/LiveSourceFixture.h"
#include "v77/IV77DxRenderer.h"
#include "v77/V77Guids.h"
#include <uuids.h>

namespace {

constexpr Rgb kRed{205, 45, 45};
constexpr Rgb kGreen{45, 185, 65};
constexpr Rgb kBlue{50, 60, 210};
constexpr Rgb kYellow{215, 205, 60};
constexpr int kTolerance = 12;
constexpr int kFrames = 12;

class LiveSourceWindowTest : public LiveSourceFixture {};

TEST_F(LiveSourceWindowTest, TheGdiRendererShowsTheNewestLiveFrame)
{
    // Every frame shows one picture, the last one its quadrants turned.
    const std::vector<BYTE> early =
        EncodeFrame(QuadrantPicture(kWidth, kHeight, kRed, kGreen, kBlue, kYellow), MEDIASUBTYPE_YUY2);
    const std::vector<BYTE> last =
        EncodeFrame(QuadrantPicture(kWidth, kHeight, kBlue, kRed, kYellow, kGreen), MEDIASUBTYPE_YUY2);
    ReceiverScript script = Script(kFrames, 20);
    script.fill = [&](int frame, BYTE* data, LONG size) {
        const std::vector<BYTE>& picture = frame == kFrames - 1 ? last : early;
        std::memcpy(data, picture.data(), std::min<size_t>(picture.size(), static_cast<size_t>(size)));
    };
    UseScript(script);

    CTestVideoWindow window(kWidth, kHeight);
    ASSERT_NE(nullptr, window.Handle());
    ComPtr<IBaseFilter> renderer;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_V77WindowsRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                     reinterpret_cast<void**>(renderer.GetAddressOf())));
    ComPtr<IV77DxRenderer> dx;
    ASSERT_EQ(S_OK, renderer.As(&dx));
    ASSERT_EQ(S_OK, dx->SetWindow(window.Handle()));
    window.Pump();

    ComPtr<CV77DsAviSourceFilter> source = OpenSource<CV77DsAviSourceFilter>(TEXT("avi"));
    ASSERT_TRUE(source);
    ComPtr<CV77DsBufferFilter> buffer = NewLiveBuffer();
    ASSERT_TRUE(buffer);
    ASSERT_EQ(S_OK, m_Graph.Add(source.Get(), L"source"));
    ASSERT_EQ(S_OK, m_Graph.Add(buffer.Get(), L"buffer"));
    ASSERT_EQ(S_OK, m_Graph.Add(renderer.Get(), L"gdi"));
    ASSERT_EQ(S_OK, m_Graph.ConnectFilters(source.Get(), buffer.Get()));
    ASSERT_EQ(S_OK, m_Graph.ConnectFilters(buffer.Get(), renderer.Get()));
    ComPtr<CTestLiveReceiver> receiver = ReceiverClass(CLSID_V77AviReceiver)->Last();

    ASSERT_TRUE(SUCCEEDED(m_Graph.Run()));
    const RECT client{0, 0, kWidth, kHeight};
    const std::vector<Probe> probes = QuadrantProbes(client, kBlue, kRed, kYellow, kGreen);
    std::string mismatches;
    const bool shown = window.PumpUntil([&] {
        mismatches = Mismatches(window.Capture(), probes, kTolerance);
        return receiver->framesSent.load() == kFrames && mismatches.empty();
    }, kFlowTimeoutMs);
    EXPECT_TRUE(shown) << receiver->framesSent.load() << " frames sent; window shows:\n" << mismatches;
    EXPECT_TRUE(receiver->SampleResults().empty());
    window.Pump();
    m_Graph.Release();
}

}  // namespace
