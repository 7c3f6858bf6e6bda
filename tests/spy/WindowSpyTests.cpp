// The window spy source from the module, capturing a window of the test
// thread that paints known quadrants, into the kit's recording renderer in
// Wine's real filter graph: the offered types, scaling and mirroring as the
// connection asks, the capture rectangle, media times on the wall clock and
// stream times on the graph clock, end of stream when the window goes, no
// pause without a clock, and other bit depths that must not overrun samples.
#include <windows.h>
#include <strmif.h>
#include <amvideo.h>
#include <dvdmedia.h>
#include <uuids.h>
#include <cstdio>
#include <cstring>
#include <memory>
#include <gtest/gtest.h>

#include "tests/kit/CComInit.h"
#include "tests/kit/CTestRenderer.h"
#include "tests/kit/ComAdopt.h"
#include "tests/kit/TestGraph.h"
#include "tests/spy/CQuadrantWindow.h"
#include "v77/IV77DsSource.h"
#include "v77/V77Guids.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr LONG kWindowW = 160, kWindowH = 120;
constexpr LONG kOutW = 80, kOutH = 60;
constexpr COLORREF kRed = RGB(220, 30, 30), kGreen = RGB(30, 200, 40), kBlue = RGB(40, 50, 220),
                   kYellow = RGB(230, 220, 40);
// 100-ns units from 1601 to 1970.
constexpr LONGLONG kUnixEpoch = 116444736000000000LL;

LONGLONG WallClockSince1970()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return ((static_cast<LONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime) - kUnixEpoch;
}

bool Near(COLORREF a, const BYTE* bgr)
{
    return std::abs(GetRValue(a) - bgr[2]) <= 8 && std::abs(GetGValue(a) - bgr[1]) <= 8 &&
           std::abs(GetBValue(a) - bgr[0]) <= 8;
}

class WindowSpyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(S_OK, m_Com.Result());
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_V77WindowSpy, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                         reinterpret_cast<void**>(m_pSpy.GetAddressOf())));
        ASSERT_EQ(S_OK, m_pSpy.As(&m_pControl));
        ASSERT_EQ(S_OK, m_Graph.Create());
        ASSERT_EQ(S_OK, m_Graph.Add(m_pSpy.Get(), L"Varnokel77 Window Spy filter"));
    }

    void TearDown() override
    {
        m_Graph.Release();
        m_pRenderer.Reset();
    }

    // The spy's type 0 after the window is set, adjusted, then connected to a recorder.
    void Connect(bool topDown, WORD bits = 0, const RECT* area = nullptr, LONG intervalMs = 40)
    {
        m_Window = std::make_unique<CQuadrantWindow>(kWindowW, kWindowH, kRed, kGreen, kBlue, kYellow);
        ASSERT_EQ(S_OK, m_pControl->SetWindow(m_Window->Handle(), area, intervalMs));
        const SIZE size{kOutW, kOutH};
        ASSERT_EQ(S_OK, m_pControl->SetSize(&size));
        AM_MEDIA_TYPE* offered = FirstType();
        ASSERT_NE(nullptr, offered);
        auto* vih = reinterpret_cast<VIDEOINFOHEADER2*>(offered->pbFormat);
        m_Bits = bits ? bits : vih->bmiHeader.biBitCount;
        vih->bmiHeader.biBitCount = m_Bits;
        vih->bmiHeader.biSizeImage = static_cast<DWORD>(((kOutW * m_Bits / 8 + 3) & ~3) * kOutH);
        if (topDown)
            vih->bmiHeader.biHeight = -kOutH;
        m_bTopDown = topDown;

        TestRendererConfig config;
        config.waitForSampleTime = false;
        config.bytesRecorded = kOutW * 4 * kOutH;
        m_pRenderer = Adopt(CTestRenderer::Create(config));
        ASSERT_NE(nullptr, m_pRenderer.Get());
        ASSERT_EQ(S_OK, m_Graph.Add(m_pRenderer->Filter(), L"recorder"));
        const HRESULT hr = m_Graph.ConnectDirect(TestGraph::FindPin(m_pSpy.Get(), PINDIR_OUTPUT).Get(),
                                                 TestGraph::FindPin(m_pRenderer->Filter(), PINDIR_INPUT).Get(),
                                                 offered);
        FreeType(offered);
        ASSERT_EQ(S_OK, hr);
    }

    AM_MEDIA_TYPE* FirstType(int index = 0)
    {
        ComPtr<IEnumMediaTypes> types;
        if (FAILED(TestGraph::FindPin(m_pSpy.Get(), PINDIR_OUTPUT)->EnumMediaTypes(types.GetAddressOf())))
            return nullptr;
        AM_MEDIA_TYPE* mt = nullptr;
        if (index)
            types->Skip(index);
        return types->Next(1, &mt, nullptr) == S_OK ? mt : nullptr;
    }

    static void FreeType(AM_MEDIA_TYPE* mt)
    {
        CoTaskMemFree(mt->pbFormat);
        CoTaskMemFree(mt);
    }

    bool WaitSamples(size_t count, DWORD timeoutMs = 5000)
    {
        const ULONGLONG deadline = GetTickCount64() + timeoutMs;
        while (m_pRenderer->SampleCount() < count) {
            // The primary shows GDI's drawing once the painting thread has pumped.
            if (m_Window)
                m_Window->Pump();
            if (GetTickCount64() > deadline)
                return false;
            Sleep(5);
        }
        return true;
    }

    // The pixel at (x, y) of a recorded 32-bit frame, picture coordinates.
    const BYTE* Pixel(const RenderedSample& s, LONG x, LONG y) const
    {
        const LONG row = m_bTopDown ? y : kOutH - 1 - y;
        return s.bytes.data() + (static_cast<size_t>(row) * kOutW + x) * 4;
    }

    ::testing::AssertionResult ShowsQuadrants(const RenderedSample& s, COLORREF tl, COLORREF tr, COLORREF bl,
                                              COLORREF br) const
    {
        if (s.bytes.size() < static_cast<size_t>(kOutW * kOutH * 4))
            return ::testing::AssertionFailure() << "short frame";
        const struct {
            LONG x, y;
            COLORREF c;
        } probes[] = {{kOutW / 4, kOutH / 4, tl}, {3 * kOutW / 4, kOutH / 4, tr},
                      {kOutW / 4, 3 * kOutH / 4, bl}, {3 * kOutW / 4, 3 * kOutH / 4, br}};
        for (const auto& p : probes) {
            const BYTE* bgr = Pixel(s, p.x, p.y);
            if (!Near(p.c, bgr))
                return ::testing::AssertionFailure() << "(" << p.x << "," << p.y << ") is " << int(bgr[2]) << ","
                                                     << int(bgr[1]) << "," << int(bgr[0]);
        }
        return ::testing::AssertionSuccess();
    }

    CComInit m_Com;
    TestGraph m_Graph;
    ComPtr<IBaseFilter> m_pSpy;
    ComPtr<IV77WindowSpy> m_pControl;
    ComPtr<CTestRenderer> m_pRenderer;
    std::unique_ptr<CQuadrantWindow> m_Window;
    WORD m_Bits = 32;
    bool m_bTopDown = false;
};

TEST_F(WindowSpyTest, ANewSpyOffersTheDesktopInItsOwnDepth)
{
    for (int i = 0; i < 2; ++i) {
        AM_MEDIA_TYPE* mt = FirstType(i);
        ASSERT_NE(nullptr, mt) << "type " << i;
        EXPECT_EQ(MEDIATYPE_Video, mt->majortype);
        const auto* vih = reinterpret_cast<const VIDEOINFOHEADER2*>(mt->pbFormat);
        EXPECT_EQ(640, vih->bmiHeader.biWidth);
        EXPECT_EQ(480, vih->bmiHeader.biHeight) << "bottom-up rows";
        EXPECT_EQ(1000000, vih->AvgTimePerFrame) << "10 frames a second";
        HDC screen = GetDC(nullptr);
        EXPECT_EQ(GetDeviceCaps(screen, BITSPIXEL), vih->bmiHeader.biBitCount);
        ReleaseDC(nullptr, screen);
        FreeType(mt);
    }
    EXPECT_EQ(nullptr, FirstType(2)) << "two types only";

    // 40 ms is 400,000 units; a type of another size is refused.
    ASSERT_EQ(S_OK, m_pControl->SetWindow(GetDesktopWindow(), nullptr, 40));
    AM_MEDIA_TYPE* mt = FirstType();
    ASSERT_NE(nullptr, mt);
    EXPECT_EQ(400000, reinterpret_cast<const VIDEOINFOHEADER2*>(mt->pbFormat)->AvgTimePerFrame);
    ComPtr<IPin> out = TestGraph::FindPin(m_pSpy.Get(), PINDIR_OUTPUT);
    EXPECT_EQ(S_OK, out->QueryAccept(mt));
    reinterpret_cast<VIDEOINFOHEADER2*>(mt->pbFormat)->bmiHeader.biWidth = 320;
    EXPECT_NE(S_OK, out->QueryAccept(mt));
    FreeType(mt);

    // Bad arguments come back as errors, nothing changes.
    EXPECT_EQ(E_POINTER, m_pControl->SetSize(nullptr));
    const SIZE empty{0, 10};
    EXPECT_EQ(E_INVALIDARG, m_pControl->SetSize(&empty));
    EXPECT_EQ(E_INVALIDARG, m_pControl->SetWindow(GetDesktopWindow(), nullptr, 0));
}

class WindowSpyOrientationTest : public WindowSpyTest, public ::testing::WithParamInterface<bool> {};

TEST_P(WindowSpyOrientationTest, CapturesScaledUprightWithWallClockMediaTimes)
{
    Connect(GetParam());
    const LONGLONG before = WallClockSince1970();
    ASSERT_TRUE(SUCCEEDED(m_Graph.Run()));
    ASSERT_TRUE(WaitSamples(16));
    const LONGLONG after = WallClockSince1970();
    m_Graph.StopAndWait();

    const std::vector<RenderedSample> samples = m_pRenderer->Samples();
    // The first frames may predate the window's first paint reaching the primary.
    EXPECT_TRUE(ShowsQuadrants(samples.back(), kRed, kGreen, kBlue, kYellow));
    for (size_t i = 0; i < samples.size(); ++i) {
        const RenderedSample& s = samples[i];
        EXPECT_EQ(kOutW * kOutH * 4, s.length);
        EXPECT_FALSE(s.timeValid) << "time stamps are off";
        ASSERT_TRUE(s.mediaTimeValid);
        EXPECT_EQ(400000, s.mediaStop - s.mediaStart);
        EXPECT_GE(s.mediaStart, before - 10000000);
        EXPECT_LE(s.mediaStart, after + 10000000);
        EXPECT_TRUE(s.syncPoint);
        if (i) {
            EXPECT_GE(s.mediaStart, samples[i - 1].mediaStart);
        }
    }
    // Paced by the graph clock from the moment the stream became active:
    // frame n is captured no earlier than n intervals after that, however
    // late frames catch up (a paused renderer holds the first one).
    EXPECT_GE(samples[15].mediaStart, before + 15 * 400000 - 200000) << "captured faster than the interval";
}

INSTANTIATE_TEST_SUITE_P(Rows, WindowSpyOrientationTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "TopDown" : "BottomUp");
                         });

TEST_F(WindowSpyTest, TimeStampsFollowTheStreamAreaSelectsAQuadrantAndADestroyedWindowEndsTheStream)
{
    const RECT topRight{kWindowW / 2, 0, kWindowW, kWindowH / 2};
    Connect(false, 0, &topRight, 40);
    ASSERT_EQ(S_OK, m_pControl->EnableTimeStamps(TRUE));
    ASSERT_TRUE(SUCCEEDED(m_Graph.Run()));
    ASSERT_TRUE(WaitSamples(6));
    const std::vector<RenderedSample> samples = m_pRenderer->Samples();  // all captured from the live window
    m_Window->Destroy();
    EXPECT_TRUE(m_Graph.WaitForEvent(EC_COMPLETE, 5000));
    EXPECT_EQ(1, m_pRenderer->endOfStreams.load());
    EXPECT_EQ(S_OK, m_Graph.StopAndWait());
    EXPECT_TRUE(ShowsQuadrants(samples.back(), kGreen, kGreen, kGreen, kGreen));
    for (size_t i = 0; i < samples.size(); ++i) {
        ASSERT_TRUE(samples[i].timeValid);
        EXPECT_EQ(static_cast<REFERENCE_TIME>(i) * 400000, samples[i].start);
        EXPECT_EQ(samples[i].start + 400000, samples[i].stop);
    }
}

TEST_F(WindowSpyTest, PauseFailsWithoutAClock)
{
    Connect(false);
    ComPtr<IMediaFilter> graphFilter;
    ASSERT_EQ(S_OK, m_Graph.Graph()->QueryInterface(IID_IMediaFilter, reinterpret_cast<void**>(graphFilter.GetAddressOf())));
    ASSERT_EQ(S_OK, graphFilter->SetSyncSource(nullptr));
    // The filter refuses; Wine's graph reports its own result for the whole graph.
    EXPECT_EQ(E_POINTER, m_pSpy->Pause());
    m_Graph.Pause();
    m_Window->Pump();
    Sleep(200);
    EXPECT_EQ(0u, m_pRenderer->SampleCount()) << "no capture thread started";
    m_Graph.StopAndWait();
}

// Another depth than the desktop's: the frame is written at the connected
// depth or not at all, never past the sample.
TEST_F(WindowSpyTest, OtherDepthsNeverOverrunTheSample)
{
    for (WORD bits : {WORD(24), WORD(16)}) {
        SCOPED_TRACE(bits);
        TearDown();
        SetUp();
        Connect(false, bits);
        ASSERT_TRUE(SUCCEEDED(m_Graph.Run()));
        ASSERT_TRUE(WaitSamples(3));
        m_Graph.StopAndWait();
        const std::vector<RenderedSample> samples = m_pRenderer->Samples();
        const LONG stride = (kOutW * bits / 8 + 3) & ~3;
        for (const RenderedSample& s : samples)
            EXPECT_EQ(stride * kOutH, s.length);
        if (bits == 24) {
            // DirectDraw converts while blitting: the top-left quadrant, bottom-up rows.
            const BYTE* bgr = samples.back().bytes.data() + (kOutH - 1 - kOutH / 4) * stride + (kOutW / 4) * 3;
            EXPECT_TRUE(Near(kRed, bgr)) << int(bgr[2]) << "," << int(bgr[1]) << "," << int(bgr[0]);
        }
    }
}

}  // namespace
