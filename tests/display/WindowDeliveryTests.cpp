// How frames reach the window: samples arriving while the window's thread is
// busy queue one repaint and the newest frame wins; bad samples are dropped
// without stopping the stream; Stop gives pooled frames back and keeps the
// picture; settings redraw the frame on screen.
#include "tests/display/WindowRendererFixture.h"

#include <chrono>
#include <future>

#include "v77/IV77DxRenderer.h"

namespace {

constexpr LONG kWidth = 80;
constexpr LONG kHeight = 60;

Rgb BusyColour(int i)
{
    return Rgb{static_cast<BYTE>(20 + i * 9), 110, static_cast<BYTE>(220 - i * 9)};
}

DWORD ImageBytes(const GUID& subtype, bool topDown = false)
{
    return static_cast<DWORD>(EncodeFrame(PictureA(kWidth, kHeight), subtype, topDown).size());
}

// ---- a busy window ----

class WindowBusyTest : public WindowRendererFixture {};

TEST_F(WindowBusyTest, FramesWhileTheWindowIsBusyPostOneRepaintAndTheNewestIsShown)
{
    constexpr int kFrames = 20;
    ASSERT_NO_FATAL_FAILURE(OpenWindow(kWidth, kHeight));
    // Three pooled frames for twenty: the renderer must hand each one back as
    // soon as a newer one arrives, or the source would starve.
    ASSERT_EQ(S_OK, m_Graph.UsePool(ImageBytes(MEDIASUBTYPE_RGB24, true), 3));
    ASSERT_NO_FATAL_FAILURE(StartWith(MEDIASUBTYPE_RGB24, PictureA(kWidth, kHeight), true));
    ASSERT_TRUE(Shows(ProbesA(Client())));

    // Another thread streams while this one, the window's, only waits.
    auto streaming = std::async(std::launch::async, [this] {
        CComInit com;
        for (int i = 0; i < kFrames; ++i) {
            const HRESULT hr = m_Graph.Push(UniformPicture(kWidth, kHeight, BusyColour(i)));
            if (hr != S_OK)
                return hr;
        }
        return S_OK;
    });
    ASSERT_EQ(std::future_status::ready, streaming.wait_for(std::chrono::seconds(20)));
    EXPECT_EQ(S_OK, streaming.get());

    EXPECT_EQ(1, m_Window->Pump()) << "repaint messages queued for " << kFrames << " frames";
    EXPECT_TRUE(ShowsNow(UniformProbes(Client(), BusyColour(kFrames - 1))));

    // Handled, the next burst posts again, once.
    for (int i = 0; i < 5; ++i)
        ASSERT_EQ(S_OK, m_Graph.Push(UniformPicture(kWidth, kHeight, BusyColour(i))));
    EXPECT_EQ(1, m_Window->Pump());
    EXPECT_TRUE(ShowsNow(UniformProbes(Client(), BusyColour(4))));
}

// ---- bad input ----

class WindowSampleLengthTest : public WindowRendererFixture, public ::testing::WithParamInterface<bool> {};

TEST_P(WindowSampleLengthTest, ShortSamplesAreDroppedAndLongerOnesShowTheirFirstImage)
{
    ASSERT_NO_FATAL_FAILURE(OpenWindow(kWidth, kHeight));
    const DWORD bytes = ImageBytes(MEDIASUBTYPE_YV12);
    // Buffers larger than one image, as an upstream allocator may choose.
    constexpr DWORD kExtra = 4096;
    if (GetParam()) {
        ASSERT_EQ(S_OK, m_Graph.UsePool(bytes + kExtra, 3));
    } else {
        m_Graph.UseBufferSize(static_cast<LONG>(bytes + kExtra));
    }
    ASSERT_NO_FATAL_FAILURE(StartWith(MEDIASUBTYPE_YV12, PictureA(kWidth, kHeight)));
    ASSERT_TRUE(Shows(ProbesA(Client())));

    // Whole buffers holding a whole picture, but claiming less of it.
    std::vector<BYTE> b = m_Graph.Encode(PictureB(kWidth, kHeight));
    b.resize(bytes + kExtra, 0);
    for (LONG length : {0L, static_cast<LONG>(bytes / 2), static_cast<LONG>(bytes - 1)}) {
        // A live stream does not stop for one bad frame: Receive succeeds.
        EXPECT_EQ(S_OK, m_Graph.PushBytes(b, length)) << length << " bytes";
        EXPECT_EQ(0, m_Window->Pump()) << "repaint for a sample of " << length << " bytes";
        EXPECT_TRUE(ShowsNow(ProbesA(Client()))) << "after a sample of " << length << " bytes";
    }

    // More data than one image: the first image is shown.
    ASSERT_EQ(S_OK, m_Graph.PushBytes(b, static_cast<LONG>(b.size())));
    EXPECT_TRUE(Shows(ProbesB(Client()))) << "a whole frame after the short ones";
    OAFilterState state = State_Stopped;
    EXPECT_EQ(S_OK, m_Graph.Graph().GetState(1000, &state));
    EXPECT_EQ(State_Running, state);
    m_Graph.Graph().DrainEvents();
    EXPECT_EQ(0, m_Graph.Graph().CountEvents(EC_ERRORABORT));
}

INSTANTIATE_TEST_SUITE_P(Delivery, WindowSampleLengthTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "Pooled" : "Copied");
                         });

class WindowBadInputTest : public WindowRendererFixture {};

TEST_F(WindowBadInputTest, BuffersSmallerThanAFrameAreDropped)
{
    ASSERT_NO_FATAL_FAILURE(OpenWindow(kWidth, kHeight));
    const DWORD bytes = ImageBytes(MEDIASUBTYPE_YUY2);
    // The connection's allocator first, then a pool, both of half-size buffers.
    m_Graph.UseBufferSize(static_cast<LONG>(bytes / 2));
    ASSERT_EQ(S_OK, m_Graph.Start(MEDIASUBTYPE_YUY2, kWidth, kHeight));
    EXPECT_EQ(S_OK, m_Graph.Push(PictureA(kWidth, kHeight)));
    ASSERT_TRUE(m_Graph.WaitRunning()) << "a dropped first sample still completes the pause";
    EXPECT_EQ(S_OK, m_Graph.Push(PictureA(kWidth, kHeight)));
    EXPECT_EQ(0, m_Window->Pump()) << "repaints for half-size allocator buffers";

    ASSERT_EQ(S_OK, m_Graph.UsePool(bytes / 2, 3));
    EXPECT_EQ(S_OK, m_Graph.Push(PictureA(kWidth, kHeight)));
    EXPECT_EQ(0, m_Window->Pump()) << "repaints for half-size pooled buffers";

    ASSERT_EQ(S_OK, m_Graph.UsePool(bytes, 3));
    ASSERT_EQ(S_OK, m_Graph.Push(PictureA(kWidth, kHeight)));
    EXPECT_TRUE(Shows(ProbesA(Client()))) << "whole buffers after the small ones";
}

TEST_F(WindowBadInputTest, SetWindowRefusesAWindowThatIsGone)
{
    ASSERT_NO_FATAL_FAILURE(OpenWindow(kWidth, kHeight, false));
    HWND gone = nullptr;
    {
        CTestVideoWindow other(16, 16);
        gone = other.Handle();
        ASSERT_NE(nullptr, gone);
    }
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_INVALID_WINDOW_HANDLE), Dx()->SetWindow(gone));
    // The renderer is still usable with a window that exists.
    ASSERT_EQ(S_OK, Dx()->SetWindow(m_Window->Handle()));
    ASSERT_NO_FATAL_FAILURE(StartWith(MEDIASUBTYPE_I420, PictureA(kWidth, kHeight)));
    EXPECT_TRUE(Shows(ProbesA(Client())));
}

// ---- lifecycle and settings ----

class WindowLifecycleTest : public WindowRendererFixture {};

TEST_F(WindowLifecycleTest, StopGivesThePooledFrameBackAndKeepsThePicture)
{
    ASSERT_NO_FATAL_FAILURE(OpenWindow(kWidth, kHeight));
    const DWORD bytes = ImageBytes(MEDIASUBTYPE_RGB24);
    // Frames with more data than one image: the renderer's copy must grow to keep one.
    constexpr DWORD kExtra = 4096;
    ASSERT_EQ(S_OK, m_Graph.UsePool(bytes + kExtra, 3));
    ASSERT_NO_FATAL_FAILURE(StartWith(MEDIASUBTYPE_RGB24, PictureA(kWidth, kHeight)));
    std::vector<BYTE> b = m_Graph.Encode(PictureB(kWidth, kHeight));
    b.resize(bytes + kExtra, 0);
    ASSERT_EQ(S_OK, m_Graph.PushBytes(b, static_cast<LONG>(b.size())));
    ASSERT_TRUE(Shows(ProbesB(Client())));
    EXPECT_EQ(2u, m_Graph.Pool()->GetFreeCount()) << "the frame on screen is held without a copy";

    ASSERT_EQ(S_OK, m_Graph.Graph().StopAndWait());
    EXPECT_EQ(3u, m_Graph.Pool()->GetFreeCount()) << "Stop returns the pooled frame upstream";

    // The renderer's own copy still redraws, here in new rectangles.
    const RECT topLeft = {0, 0, kWidth / 2, kHeight / 2};
    ASSERT_EQ(S_OK, Dx()->SetRects(nullptr, &topLeft, nullptr));
    ASSERT_EQ(S_OK, Dx()->Invalidate());
    EXPECT_TRUE(Shows(UniformProbes(Client(), kBlue))) << "redrawn after Stop";
}

TEST_F(WindowLifecycleTest, AWindowGivenAfterTheConnectionGetsTheFrames)
{
    ASSERT_NO_FATAL_FAILURE(OpenWindow(kWidth, kHeight, false));
    ASSERT_EQ(S_OK, m_Graph.Start(MEDIASUBTYPE_YUY2, kWidth, kHeight));
    // Without a window there is nothing to draw with: the sample is dropped.
    ASSERT_EQ(S_OK, m_Graph.Push(PictureA(kWidth, kHeight)));
    ASSERT_TRUE(m_Graph.WaitRunning());
    EXPECT_EQ(0, m_Window->Pump());

    ASSERT_EQ(S_OK, Dx()->SetWindow(m_Window->Handle()));
    // Its bitmaps are made now (black, not the window's grey), though no frame is kept.
    EXPECT_TRUE(Shows(UniformProbes(Client(), kBlack)));
    ASSERT_EQ(S_OK, m_Graph.Push(PictureB(kWidth, kHeight)));
    EXPECT_TRUE(Shows(ProbesB(Client())));
}

TEST_F(WindowLifecycleTest, TheWindowGetsItsOwnProcedureBack)
{
    ASSERT_NO_FATAL_FAILURE(OpenWindow(kWidth, kHeight, false));
    HWND window = m_Window->Handle();
    const LONG_PTR own = GetWindowLongPtrW(window, GWLP_WNDPROC);
    ASSERT_EQ(S_OK, Dx()->SetWindow(window));
    EXPECT_NE(own, GetWindowLongPtrW(window, GWLP_WNDPROC));
    m_Window->Pump();

    // A null window lets go: repaints post nothing any more.
    ASSERT_EQ(S_OK, Dx()->SetWindow(nullptr));
    EXPECT_EQ(own, GetWindowLongPtrW(window, GWLP_WNDPROC));
    ASSERT_EQ(S_OK, Dx()->Invalidate());
    EXPECT_EQ(0, m_Window->Pump());

    // Taken again, then the renderer goes while the window stays.
    ASSERT_EQ(S_OK, Dx()->SetWindow(window));
    ASSERT_NO_FATAL_FAILURE(StartWith(MEDIASUBTYPE_YUY2, PictureA(kWidth, kHeight)));
    ASSERT_TRUE(Shows(ProbesA(Client())));
    m_Graph.Close();
    EXPECT_EQ(own, GetWindowLongPtrW(window, GWLP_WNDPROC));
    // The window paints itself again (its grey background).
    InvalidateRect(window, nullptr, TRUE);
    EXPECT_TRUE(Shows(UniformProbes(Client(), Rgb{128, 128, 128})));
}

TEST_F(WindowLifecycleTest, SettingsRedrawTheFrameOnScreen)
{
    ASSERT_NO_FATAL_FAILURE(OpenWindow(kWidth, kHeight));
    ASSERT_NO_FATAL_FAILURE(StartWith(MEDIASUBTYPE_YUY2, PictureA(kWidth, kHeight)));
    ASSERT_TRUE(Shows(ProbesA(Client())));

    // Contrast -1: no gain, luma at the brightness offset (0), chroma flat: black.
    ASSERT_EQ(S_OK, Dx()->SetBrightnessContrast(0.0, -1.0));
    EXPECT_TRUE(Shows(UniformProbes(Client(), kBlack))) << "flat picture";
    ASSERT_EQ(S_OK, Dx()->SetBrightnessContrast(0.0, 0.0));
    EXPECT_TRUE(Shows(ProbesA(Client()))) << "neutral again";

    // Line doubling shows the first field (even rows) twice.
    ASSERT_EQ(S_OK, m_Graph.Push(RowPicture(kWidth, kHeight, kRed, kBlue)));
    const std::vector<Probe> rows = {{40, 20, kRed}, {40, 21, kBlue}, {40, 30, kRed}, {40, 31, kBlue}};
    EXPECT_TRUE(Shows(rows)) << "both fields";
    ASSERT_EQ(S_OK, Dx()->SetDeinterlaceMode(2));
    EXPECT_TRUE(Shows(UniformProbes(Client(), kRed) + std::vector<Probe>{{40, 21, kRed}, {40, 31, kRed}}))
        << "first field doubled";
    ASSERT_EQ(S_OK, Dx()->SetDeinterlaceMode(0));
    EXPECT_TRUE(Shows(rows)) << "both fields again";
}

}  // namespace
