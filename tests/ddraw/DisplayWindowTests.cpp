// The display window on a real window of the test thread: composition with
// mirror and rectangles, the overlay with and without a colour key and video,
// repaint coalescing, WM_SIZE and the host's redraw request, reading the
// surfaces back, and the three ways a picture reaches the screen.
#include <windows.h>
#include <ddraw.h>
#include <cstring>
#include <memory>
#include <thread>
#include <gtest/gtest.h>

#include "companions/V77Global/CAppError.h"
#include "display/CDisplayWindow.h"
#include "tests/ddraw/CHostWindowProc.h"
#include "tests/ddraw/DdrawTestSupport.h"
#include "tests/display/CTestDibDc.h"
#include "tests/display/CTestVideoWindow.h"
#include "tests/display/WindowProbes.h"
#include "tests/kit/CComInit.h"
#include "v77/IV77DxRenderer.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr LONG kW = 80, kH = 60;

std::vector<Probe> Quadrants(const RECT& r, bool mirrored = false)
{
    return mirrored ? QuadrantProbes(r, kBlue, kYellow, kRed, kGreen) : ProbesA(r);
}

class DisplayWindowTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(S_OK, m_Com.Result()); }

    // A window of w x h with the display window attached (registry as it is
    // now). Fails fatally: call it through ASSERT_NO_FATAL_FAILURE.
    void Open(LONG w = kW, LONG h = kH)
    {
        m_Window = std::make_unique<CTestVideoWindow>(w, h);
        ASSERT_NE(nullptr, m_Window->Handle()) << "test window not created";
        m_Host = std::make_unique<CHostWindowProc>(m_Window->Handle());
        m_Display = std::make_unique<CDisplayWindow>();
        m_Display->Attach(m_Window->Handle());
        m_Window->Pump();
    }

    // A video surface of half the window's size holding the quadrant picture.
    ComPtr<IDirectDrawSurface7> QuadrantVideo(LONG w = kW / 2, LONG h = kH / 2)
    {
        ComPtr<IDirectDrawSurface7> video;
        m_Display->Device().CreateOffscreenSurface(w, h, 0, video.GetAddressOf());
        FillSurface(video.Get(), PictureA(w, h));
        return video;
    }

    TestPicture Image(bool fromComposition)
    {
        BITMAPINFOHEADER* dib = nullptr;
        m_Display->GetCurrentImage(&dib, fromComposition);
        TestPicture picture = DibPicture(dib);
        CoTaskMemFree(dib);
        return picture;
    }

    ::testing::AssertionResult Composes(const std::vector<Probe>& probes)
    {
        return PumpUntilShown(*m_Window, "composition", [this] { return Image(true); }, probes, 2, 0);
    }

    ::testing::AssertionResult ScreenShows(const std::vector<Probe>& probes)
    {
        // A DirectDraw present may not show at once: present again.
        return PumpUntilShown(*m_Window, "screen", [this] { return m_Window->Capture(); }, probes, 2, 5000,
                              [this] { m_Display->RequestRepaint(true); });
    }

    RECT Client() const { return RECT{0, 0, m_Window->Width(), m_Window->Height()}; }

    CComInit m_Com;
    std::unique_ptr<CTestVideoWindow> m_Window;
    std::unique_ptr<CHostWindowProc> m_Host;
    std::unique_ptr<CDisplayWindow> m_Display;
};

TEST_F(DisplayWindowTest, ComposesVideoStretchedMirroredAndIntoRectangles)
{
    ASSERT_NO_FATAL_FAILURE(Open());
    ComPtr<IDirectDrawSurface7> video = QuadrantVideo();
    m_Display->SetVideoSurface(video.Get());
    EXPECT_TRUE(Composes(Quadrants(Client()))) << "stretched over the window";
    const TestPicture raw = Image(false);
    EXPECT_EQ(kW / 2, raw.width) << "the video surface itself";
    EXPECT_TRUE(Mismatches(raw, Quadrants(RECT{0, 0, kW / 2, kH / 2}), 0).empty());

    m_Display->SetMirror(true);
    m_Display->RequestRepaint();
    EXPECT_TRUE(Composes(Quadrants(Client(), true))) << "mirrored top to bottom";
    m_Display->SetMirror(false);

    // The video's top-right quarter into the composition's bottom-left quarter.
    const RECT source{kW / 4, 0, kW / 2, kH / 4};
    const RECT destination{0, kH / 2, kW / 2, kH};
    m_Display->SetRects(&source, &destination);
    EXPECT_TRUE(Composes(UniformProbes(destination, kGreen)));
    m_Display->SetRects(nullptr, nullptr);
    EXPECT_TRUE(Composes(Quadrants(Client()))) << "empty rectangles mean the whole surfaces";
}

TEST_F(DisplayWindowTest, OverlayKeyLetsVideoThroughOnlyWhileThereIsVideo)
{
    ASSERT_NO_FATAL_FAILURE(Open());
    // The host's drawing: key colour everywhere but a white box in the middle.
    CTestDibDc drawing(kW, kH, true, 32);
    ASSERT_TRUE(drawing.IsValid());
    drawing.Fill(RECT{0, 0, kW, kH}, kKey);
    const RECT box{kW / 2 - 8, kH / 2 - 8, kW / 2 + 8, kH / 2 + 8};
    drawing.Fill(box, kWhite);
    m_Display->DrawOverlay(drawing.Dc(), false);
    m_Display->EnableOverlay(true, true);

    // No video and no key: the overlay alone, opaque.
    EXPECT_TRUE(Composes({{4, 4, kKey}, {kW / 2, kH / 2, kWhite}})) << "overlay alone";

    // A key without video still copies the overlay opaque.
    m_Display->SetColorKey(RGB(255, 0, 255));
    EXPECT_EQ(RGB(255, 0, 255), m_Display->ColorKey());
    EXPECT_TRUE(Composes({{4, 4, kKey}, {kW / 2, kH / 2, kWhite}})) << "key without video";

    ComPtr<IDirectDrawSurface7> video = QuadrantVideo();
    m_Display->SetVideoSurface(video.Get());
    EXPECT_TRUE(Composes(Quadrants(Client()) + std::vector<Probe>{{kW / 2, kH / 2, kWhite}})) << "key over video";

    m_Display->ClearColorKey();
    EXPECT_TRUE(Composes(std::vector<Probe>{{4, 4, kKey}, {kW / 2, kH / 2, kWhite}})) << "no key: overlay covers";

    m_Display->EnableOverlay(false, true);
    EXPECT_TRUE(Composes(Quadrants(Client()))) << "overlay off";

    // A bottom-up DIB section is drawn the right way up.
    CTestDibDc bottomUp(kW, kH, false, 32);
    bottomUp.Fill(RECT{0, 0, kW, kH / 2}, kBlue);
    bottomUp.Fill(RECT{0, kH / 2, kW, kH}, kYellow);
    m_Display->DrawOverlay(bottomUp.Dc(), false);
    m_Display->EnableOverlay(true, true);
    EXPECT_TRUE(Composes({{kW / 2, 5, kBlue}, {kW / 2, kH - 5, kYellow}})) << "bottom-up overlay";

    // A DC without a DIB section cannot be wrapped: refused, nothing drawn.
    HDC plain = CreateCompatibleDC(nullptr);
    EXPECT_THROW(m_Display->DrawOverlay(plain, true), CAppError);
    DeleteDC(plain);
}

TEST_F(DisplayWindowTest, RepaintsCoalesceToOneMessageUntilHandled)
{
    ASSERT_NO_FATAL_FAILURE(Open());
    ComPtr<IDirectDrawSurface7> video = QuadrantVideo();
    m_Display->SetVideoSurface(video.Get());
    m_Window->Pump();

    // A burst from other threads while the window's thread is busy.
    std::thread burst([&] {
        for (int i = 0; i < 50; ++i) {
            m_Display->SetVideoSurface(video.Get());
            m_Display->SetRects(nullptr, nullptr);
        }
    });
    burst.join();
    EXPECT_EQ(1, m_Window->Pump()) << "one repaint for the burst";
    m_Display->RequestRepaint();
    m_Display->EnableOverlay(false, true);   // always posts
    EXPECT_EQ(2, m_Window->Pump());
    m_Display->SetColorKey(RGB(1, 2, 3));
    m_Window->Pump();
    m_Display->SetColorKey(RGB(1, 2, 3));   // unchanged: no repaint
    m_Display->ClearColorKey();
    m_Display->ClearColorKey();              // nothing to clear
    EXPECT_EQ(1, m_Window->Pump());
    EXPECT_EQ(CLR_INVALID, m_Display->ColorKey());
}

TEST_F(DisplayWindowTest, SizeRemakesSurfacesAndAsksTheHostToRedraw)
{
    ASSERT_NO_FATAL_FAILURE(Open());
    ComPtr<IDirectDrawSurface7> video = QuadrantVideo();
    m_Display->SetVideoSurface(video.Get());
    m_Window->Pump();
    const int before = m_Host->OverlayRedraws();

    SetWindowPos(m_Window->Handle(), nullptr, 0, 0, 120, 50, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_EQ(before + 1, m_Host->OverlayRedraws()) << "sent within WM_SIZE";
    m_Window->Pump();
    TestPicture composed = Image(true);
    EXPECT_EQ(120, composed.width);
    EXPECT_EQ(50, composed.height);
    EXPECT_TRUE(Mismatches(composed, Quadrants(RECT{0, 0, 120, 50}), 2).empty());

    // A client area of nothing makes nothing; the last surfaces stay.
    SetWindowPos(m_Window->Handle(), nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    m_Window->Pump();
    EXPECT_EQ(120, Image(true).width);
}

TEST_F(DisplayWindowTest, SixteenBitImagesAreNotReadBack)
{
    ASSERT_NO_FATAL_FAILURE(Open());
    // 16-bit surfaces are not readable as a DIB.
    ComPtr<IDirectDrawSurface7> rgb16;
    m_Display->Device().CreateRgbSurface(16, 8, 16, rgb16.GetAddressOf(), true);
    m_Display->SetVideoSurface(rgb16.Get());
    BITMAPINFOHEADER* dib = nullptr;
    try {
        m_Display->GetCurrentImage(&dib, false);
        ADD_FAILURE() << "16-bit image read";
    } catch (const CAppError& error) {
        EXPECT_NE(nullptr, std::strstr(error.GetErrorMessage(), "Unsupported RGB format"));
    }
    EXPECT_EQ(nullptr, dib);
    // YUY2 and YV12 come back as their raw planes: DxYuvTest compares them with the frames sent.
}

// The same composition reaches the screen by GDI, by a DirectDraw blit, and
// by a blit that first waits for the composition surface.
class DisplayPresentTest : public DisplayWindowTest, public ::testing::WithParamInterface<int> {};

TEST_P(DisplayPresentTest, ScreenShowsTheComposition)
{
    const int mode = GetParam();
    std::unique_ptr<CRendererParameters> parameters;
    if (mode)
        parameters = std::make_unique<CRendererParameters>(mode == 1, mode == 2);
    ASSERT_NO_FATAL_FAILURE(Open());
    EXPECT_EQ(mode == 1, m_Display->UsesGdi());
    EXPECT_EQ(mode == 2, m_Display->SyncBlt());
    ComPtr<IDirectDrawSurface7> video = QuadrantVideo();
    m_Display->SetVideoSurface(video.Get());
    EXPECT_TRUE(ScreenShows(Quadrants(Client())));
    m_Display->SetMirror(true);
    EXPECT_TRUE(ScreenShows(Quadrants(Client(), true)));
}

TEST_F(DisplayWindowTest, AWindowPartlyOffTheScreenShowsItsVisiblePart)
{
    ASSERT_NO_FATAL_FAILURE(Open());
    // Half of the window past the right edge of the screen.
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    SetWindowPos(m_Window->Handle(), nullptr, screenWidth - kW / 2, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ComPtr<IDirectDrawSurface7> video = QuadrantVideo();
    m_Display->SetVideoSurface(video.Get());
    // Read from the screen itself at the window's visible part.
    const auto shownAt = [&](LONG x, LONG y) {
        HDC screen = GetDC(nullptr);
        const COLORREF c = GetPixel(screen, screenWidth - kW / 2 + x, y);
        ReleaseDC(nullptr, screen);
        return Rgb{GetRValue(c), GetGValue(c), GetBValue(c)};
    };
    EXPECT_TRUE(m_Window->PumpUntil(
        [&] {
            m_Display->RequestRepaint(true);
            return Near(shownAt(kW / 4, kH / 4), kRed, 2) && Near(shownAt(kW / 4, 3 * kH / 4), kBlue, 2);
        },
        5000));
    // Presents keep coming: a repaint request after them is still carried out.
    m_Display->RequestRepaint();
    EXPECT_EQ(1, m_Window->Pump());
    m_Display->RequestRepaint();
    EXPECT_EQ(1, m_Window->Pump());
}

INSTANTIATE_TEST_SUITE_P(Presents, DisplayPresentTest, ::testing::Values(0, 1, 2),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(info.param == 0 ? "DirectDraw" : info.param == 1 ? "Gdi" : "SyncBlt");
                         });

}  // namespace
