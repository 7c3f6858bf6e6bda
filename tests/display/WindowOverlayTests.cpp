// The host's overlay over the video: copied in through DrawOverlay, drawn
// over every frame while enabled, covering the video completely without a
// colour key and letting it through key-coloured pixels with one.
#include "tests/display/WindowRendererFixture.h"

#include "tests/display/CTestDibDc.h"

namespace {

constexpr LONG kWidth = 80;
constexpr LONG kHeight = 60;
// The host's drawing: a white box in key colour all round, clear of the
// quadrant probes; its probe lies in the bottom-right quadrant.
constexpr RECT kBox = {30, 22, 50, 38};
constexpr Probe kBoxProbe = {44, 34, kWhite};

class WindowOverlayTest : public WindowRendererFixture {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(OpenWindow(kWidth, kHeight));
        ASSERT_NO_FATAL_FAILURE(StartWith(MEDIASUBTYPE_YUY2, PictureA(kWidth, kHeight)));
        ASSERT_TRUE(Shows(ProbesA(Client())));
        ASSERT_TRUE(m_Canvas.IsValid());
        m_Canvas.Fill(Client(), kKey);
        m_Canvas.Fill(kBox, kWhite);
        ASSERT_EQ(S_OK, Dx()->DrawOverlay(m_Canvas.Dc(), FALSE));
    }

    CTestDibDc m_Canvas{kWidth, kHeight, true, 32};
};

TEST_F(WindowOverlayTest, KeyColouredPixelsLetTheVideoThrough)
{
    ASSERT_EQ(S_OK, Dx()->SetColorKey(kKeyRef));
    COLORREF key = 0;
    EXPECT_EQ(S_OK, Dx()->GetColorKey(&key));
    EXPECT_EQ(kKeyRef, key);
    // Copied and keyed but not enabled: the window keeps the plain video.
    EXPECT_TRUE(ShowsNow(ProbesA(Client()) + std::vector<Probe>{{kBoxProbe.x, kBoxProbe.y, kYellow}}));

    ASSERT_EQ(S_OK, Dx()->EnableOverlay(TRUE, TRUE));
    EXPECT_TRUE(Shows(ProbesA(Client()) + std::vector<Probe>{kBoxProbe})) << "overlay over the frame on screen";

    ASSERT_EQ(S_OK, m_Graph.Push(PictureB(kWidth, kHeight)));
    EXPECT_TRUE(Shows(ProbesB(Client()) + std::vector<Probe>{kBoxProbe})) << "overlay over a new frame";

    // A new drawing with repaint asked for replaces the old one at once.
    m_Canvas.Fill(kBox, kKey);
    m_Canvas.Fill(RECT{4, 4, 12, 12}, kWhite);
    ASSERT_EQ(S_OK, Dx()->DrawOverlay(m_Canvas.Dc(), TRUE));
    EXPECT_TRUE(Shows(ProbesB(Client()) + std::vector<Probe>{{kBoxProbe.x, kBoxProbe.y, kGreen}, {8, 8, kWhite}}))
        << "redrawn overlay";

    ASSERT_EQ(S_OK, Dx()->EnableOverlay(FALSE, TRUE));
    EXPECT_TRUE(Shows(ProbesB(Client()) + std::vector<Probe>{{8, 8, kBlue}})) << "overlay switched off";
}

TEST_F(WindowOverlayTest, WithoutAKeyTheOverlayHidesTheVideo)
{
    COLORREF key = 0;
    EXPECT_EQ(S_FALSE, Dx()->GetColorKey(&key));
    EXPECT_EQ(CLR_INVALID, key);

    ASSERT_EQ(S_OK, Dx()->EnableOverlay(TRUE, TRUE));
    EXPECT_TRUE(Shows(UniformProbes(RECT{0, 0, kWidth, 20}, kKey) + std::vector<Probe>{kBoxProbe}))
        << "opaque overlay";
    // Frames keep arriving underneath and stay hidden.
    ASSERT_EQ(S_OK, m_Graph.Push(PictureB(kWidth, kHeight)));
    EXPECT_EQ(1, m_Window->Pump());
    EXPECT_TRUE(ShowsNow(QuadrantProbes(Client(), kKey, kKey, kKey, kKey) + std::vector<Probe>{kBoxProbe}))
        << "new frame under an opaque overlay";

    // Keying it shows the newest frame through.
    ASSERT_EQ(S_OK, Dx()->SetColorKey(kKeyRef));
    ASSERT_EQ(S_OK, Dx()->Invalidate());
    EXPECT_TRUE(Shows(ProbesB(Client()) + std::vector<Probe>{kBoxProbe})) << "keyed";

    ASSERT_EQ(S_OK, Dx()->ClearColorKey());
    EXPECT_EQ(S_FALSE, Dx()->GetColorKey(&key));
    EXPECT_EQ(CLR_INVALID, key);
    ASSERT_EQ(S_OK, Dx()->Invalidate());
    EXPECT_TRUE(Shows(QuadrantProbes(Client(), kKey, kKey, kKey, kKey))) << "key cleared";
}

}  // namespace
