// The overlay renderer with sensor ("SENS") samples in Wine's graph: how the
// connection fails, which record lands in which group, when IsModified is
// set, and the pixels Draw paints.
#include <windows.h>
#include <gtest/gtest.h>
#include <oleauto.h>
#include <uuids.h>
#include <atomic>
#include <thread>

#include "companions/V77UIHelper/rle/V77RunLength.h"
#include "sinks/formats/V77OverlaySampleWriter.h"
#include "tests/kit/CComInit.h"
#include "tests/kit/TestMediaTypes.h"
#include "tests/overlay/COverlayGraph.h"
#include "tests/overlay/OverlayTestSupport.h"

namespace {

class SensorTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(S_OK, m_Graph.Start(MakeSensorType(), kZoneXml)); }

    // Draws groups named name (all when empty) 1:1 onto a grey 16 x 8 canvas.
    void DrawPlane(const wchar_t* name, const RECT* dst = nullptr, const RECT* src = nullptr)
    {
        BSTR text = SysAllocString(name);
        ASSERT_EQ(S_OK, m_Graph.Overlay()->SetSensorName(text));
        SysFreeString(text);
        m_Canvas.Fill(RECT{0, 0, 64, 32}, kGrey);
        const RECT whole = {0, 0, 16, 8};
        ASSERT_EQ(S_OK, m_Graph.Overlay()->Draw(m_Canvas.Dc(), dst ? dst : &whole, src));
    }

    CComInit m_Com;
    COverlayGraph m_Graph;
    CTestDibDc m_Canvas{64, 32, true, 32};
};

// The Door group's region: its rectangle through the checkerboard.
bool DoorRegion(LONG x, LONG y)
{
    return x < 8 && y < 4 && (x + y) % 2 == 0;
}

TEST(SensorConnection, FailuresOfTheConfigurationPathFailTheConnection)
{
    CComInit com;
    {
        // Never connected: no drawing object, and no subtype to make one for.
        Microsoft::WRL::ComPtr<IBaseFilter> filter;
        ASSERT_EQ(S_OK, COverlayGraph::CreateRenderer(&filter));
        Microsoft::WRL::ComPtr<IV77DsOverlayRenderer> overlay;
        ASSERT_EQ(S_OK, filter->QueryInterface(IID_IV77DsOverlayRenderer, reinterpret_cast<void**>(overlay.GetAddressOf())));
        const RECT dst = {0, 0, 4, 4};
        EXPECT_EQ(VFW_E_NOT_CONNECTED, overlay->Draw(nullptr, &dst, nullptr));
        EXPECT_EQ(VFW_E_NOT_CONNECTED, overlay->DrawInfo(nullptr, &dst));
        EXPECT_EQ(E_FAIL, overlay->CreateOverlay());
        EXPECT_EQ(S_OK, overlay->IsModified());
    }
    {
        COverlayGraph graph;  // the upstream pin has no auxiliary object
        EXPECT_EQ(E_NOINTERFACE, graph.Start(MakeSensorType(), L"", S_OK, false));
    }
    {
        COverlayGraph graph;
        EXPECT_EQ(E_ACCESSDENIED, graph.Start(MakeSensorType(), kZoneXml, E_ACCESSDENIED));
        EXPECT_EQ(1, graph.Auxiliary()->calls.load());
        EXPECT_EQ(0, graph.Auxiliary()->lastZero.load());
        // The sensor made before the failure stays: painting is harmless.
        CTestDibDc canvas(16, 8, true, 32);
        const RECT dst = {0, 0, 16, 8};
        EXPECT_EQ(S_OK, graph.Overlay()->Draw(canvas.Dc(), &dst, nullptr));
    }
    {
        COverlayGraph graph;  // not an overlay format
        EXPECT_EQ(VFW_E_TYPE_NOT_ACCEPTED, graph.Start(MakeTestVideoType(), kZoneXml));
        EXPECT_EQ(0, graph.Auxiliary()->calls.load());
    }
}

TEST_F(SensorTest, RecordsLandInTheirGroupsAndIsModifiedClearsOnlyOnDraw)
{
    EXPECT_EQ(S_OK, m_Graph.Overlay()->IsModified()) << "nothing drawn yet";
    DrawPlane(L"Hall");
    EXPECT_EQ(S_FALSE, m_Graph.Overlay()->IsModified());
    // The Hall region: its lower half through the checkerboard.
    EXPECT_EQ("", Mismatches(m_Canvas, 16, 8, [](LONG x, LONG y) {
                  return y >= 4 && (x + y) % 2 == 0 ? kHallColour : kGrey;
              }));
    const RECT info = {0, 0, 64, 32};
    ASSERT_EQ(S_OK, m_Graph.Overlay()->DrawInfo(m_Canvas.Dc(), &info));
    EXPECT_EQ(S_FALSE, m_Graph.Overlay()->IsModified()) << "DrawInfo leaves the flag";

    // Two records for three groups: the third keeps its (empty) mask.
    const auto column = [](int c) { return [c](int x, int) { return x == c; }; };
    ASSERT_EQ(S_OK, m_Graph.Push(v77::BuildSensorSample(
                        true, {{10, MaskWords(16, 8, column(9))}, {20, MaskWords(16, 8, column(10))}})));
    EXPECT_EQ(S_OK, m_Graph.Overlay()->IsModified());
    DrawPlane(L"Hall");
    EXPECT_EQ("", Mismatches(m_Canvas, 16, 8, [](LONG x, LONG y) {
                  return x == 10 || (y >= 4 && (x + y) % 2 == 0) ? kHallColour : kGrey;
              }));
    // Both groups named Door, through columns 8..11 of their planes at 1:1:
    // the first group's mask column 9; the 12 wide group shows nothing there
    // (its region cannot carry those columns, its mask is still empty).
    const RECT columns = {8, 0, 12, 8};
    const RECT narrow = {0, 0, 4, 8};
    DrawPlane(L"Door", &narrow, &columns);
    EXPECT_EQ("", Mismatches(m_Canvas, 8, 8, [](LONG x, LONG) { return x == 1 ? kDoorColour : kGrey; }));

    // Five records for three groups: the extra ones are ignored; a count of 0 changes nothing.
    std::vector<v77::SensorRecordSpec> five;
    for (int i = 0; i < 5; ++i)
        five.push_back({static_cast<uint32_t>(i), MaskWords(16, 8, column(i))});
    five[0].maskWords = MaskWords(16, 8, column(8));
    five[2].maskWords = MaskWords(12, 8, [](int x, int y) { return x >= 10 && y == 7; });
    ASSERT_EQ(S_OK, m_Graph.Push(v77::BuildSensorSample(true, five)));
    ASSERT_EQ(S_OK, m_Graph.Push(v77::BuildSensorSample(false, {})));
    DrawPlane(L"Door", &narrow, &columns);
    EXPECT_EQ("", Mismatches(m_Canvas, 8, 8, [](LONG x, LONG y) {
                  // The data mask keeps the columns the region loses.
                  return x >= 2 && x < 4 && y == 7 ? kWideColour : x == 0 ? kDoorColour : kGrey;
              }));
    // The whole 12 wide plane at 1:1: its region's first 8 columns.
    const RECT wide = {0, 0, 12, 8};
    DrawPlane(L"Door", &wide, &wide);
    EXPECT_EQ("", Mismatches(m_Canvas, 16, 8, [](LONG x, LONG y) {
                  if ((x < 8 && (x + y) % 2 == 0) || (x >= 10 && x < 12 && y == 7))
                      return kWideColour;
                  return x == 8 || DoorRegion(x, y) ? kDoorColour : kGrey;
              }));
    ASSERT_TRUE(m_Graph.Complete());
}

TEST_F(SensorTest, DrawMapsTheSourceRectangleOntoStretchedTargets)
{
    ASSERT_EQ(S_OK, m_Graph.Push(v77::BuildSensorSample(
                        true, {{0, {}}, {0, MaskWords(16, 8, [](int x, int y) { return x == 12 && y == 1; })}})));
    const auto hall = [](LONG x, LONG y) {
        return (x == 12 && y == 1) || (y >= 4 && (x + y) % 2 == 0) ? kHallColour : kGrey;
    };
    // Part of the plane, three times as large.
    const RECT part = {10, 0, 14, 6};
    const RECT tripled = {0, 0, 12, 18};
    DrawPlane(L"Hall", &tripled, &part);
    EXPECT_EQ("", Mismatches(m_Canvas, 12, 18, [&](LONG x, LONG y) { return hall(10 + x / 3, y / 3); }));
    // No source rectangle, or an empty one, maps the whole plane.
    const RECT doubled = {0, 0, 32, 16};
    const RECT empty = {5, 5, 5, 9};
    for (const RECT* src : {static_cast<const RECT*>(nullptr), &empty}) {
        DrawPlane(L"Hall", &doubled, src);
        EXPECT_EQ("", Mismatches(m_Canvas, 32, 16, [&](LONG x, LONG y) { return hall(x / 2, y / 2); }));
    }
    // An offset target at 1:1.
    const RECT offset = {20, 10, 36, 18};
    DrawPlane(L"Hall", &offset);
    EXPECT_EQ("", Mismatches(m_Canvas, 40, 20, [&](LONG x, LONG y) {
                  return x >= 20 && x < 36 && y >= 10 && y < 18 ? hall(x - 20, y - 10) : kGrey;
              }));
    // An empty name draws every group; a name that matches none draws nothing.
    DrawPlane(L"");
    // (The 12 wide group is stretched over the 16 columns and covers none of these.)
    EXPECT_TRUE(Same(m_Canvas.At(13, 5), kHallColour)) << Describe(m_Canvas.At(13, 5));
    EXPECT_TRUE(Same(m_Canvas.At(12, 1), kHallColour)) << Describe(m_Canvas.At(12, 1));
    EXPECT_TRUE(Same(m_Canvas.At(0, 0), kWideColour));
    DrawPlane(L"Nobody");
    EXPECT_EQ("", Mismatches(m_Canvas, 16, 8, [](LONG, LONG) { return kGrey; }));
}

TEST_F(SensorTest, DamagedSamplesAreSkippedAndTheStreamStillCompletes)
{
    const auto good = v77::BuildSensorSample(
        true, {{5, MaskWords(16, 8, [](int x, int) { return x == 15; })},
               {6, MaskWords(16, 8, [](int x, int) { return x == 14; })}});
    ASSERT_EQ(S_OK, m_Graph.Push(good));
    const uint32_t first = good[8] | good[9] << 8;  // offset of record 0
    const std::vector<std::vector<BYTE>> damaged = {
        {1, 2, 3},                                              // shorter than the header
        Poke(good, 4, 0xFFFFFFFF),                              // absurd record count
        Poke(good, 8, 0x7FFFFFF0),                              // record offset far outside
        Poke(good, first + 20, 0xFFFFFFF0),                     // mask length outside
        v77::BuildSensorSample(true, {{7, {v77::kRunSetBit | v77::kRunLengthMask, v77::kRunSetBit | 5}}}),  // overrun
    };
    for (const auto& bytes : damaged)
        ASSERT_EQ(S_OK, m_Graph.Push(bytes));
    ASSERT_TRUE(m_Graph.Complete()) << "EC_COMPLETE after the damaged samples";
    // The overrunning record filled the first group's whole mask and stopped there.
    DrawPlane(L"Hall");
    EXPECT_EQ("", Mismatches(m_Canvas, 16, 8, [](LONG x, LONG y) {
                  return x == 14 || (y >= 4 && (x + y) % 2 == 0) ? kHallColour : kGrey;
              }));
}

TEST(SensorConfiguration, BadConfigurationsConnectWithTheUsableGroupsOnly)
{
    CComInit com;
    const std::wstring goodGroup =
        L"<sensorGroup name=\"Ok\" width=\"8\" height=\"2\" color=\"FF0000\"><runs>0 16</runs></sensorGroup>";
    const std::wstring configurations[] = {
        L"",
        L"<sensors><sensorGroup name=\"x\" width=\"8\"",
        L"<sensors>" + goodGroup + L"<sensorGroup name=\"NoWidth\" height=\"2\" color=\"FF0000\"/>"
            L"<sensorGroup name=\"Huge\" width=\"100000\" height=\"100000\" color=\"FF0000\"/>"
            L"<sensorGroup name=\"BadRuns\" width=\"8\" height=\"2\" color=\"FF0000\"><runs>4 x</runs></sensorGroup>"
            L"<sensorGroup name=\"NoColour\" width=\"8\" height=\"2\"/></sensors>",
    };
    for (const auto& xml : configurations) {
        COverlayGraph graph;
        ASSERT_EQ(S_OK, graph.Start(MakeSensorType(), xml)) << "connects";
        ASSERT_EQ(S_OK, graph.Push(v77::BuildSensorSample(true, {{1, {v77::kRunSetBit | 16}}})));
        CTestDibDc canvas(8, 2, true, 32);
        canvas.Fill(RECT{0, 0, 8, 2}, kGrey);
        const RECT dst = {0, 0, 8, 2};
        ASSERT_EQ(S_OK, graph.Overlay()->Draw(canvas.Dc(), &dst, nullptr));
        const bool hasGood = xml.find(L"\"Ok\"") != std::wstring::npos;
        EXPECT_EQ("", Mismatches(canvas, 8, 2, [&](LONG, LONG) { return hasGood ? Rgb{0xFF, 0, 0} : kGrey; }));
        EXPECT_TRUE(graph.Complete());
    }
}

}  // namespace

namespace {

// The host paints, renames and rebuilds on its own thread while samples
// stream in: every call keeps to the lock, nothing crashes or hangs.
TEST_F(SensorTest, PaintingRenamingAndRebuildingRaceTheStreamSafely)
{
    std::atomic<bool> done{false};
    std::atomic<int> paints{0};
    std::atomic<HRESULT> failure{S_OK};
    IV77DsOverlayRenderer* overlay = m_Graph.Overlay();
    std::thread painter([&] {
        CComInit com;
        CTestDibDc canvas(64, 64, true, 32);
        const RECT dst = {0, 0, 64, 64};
        const wchar_t* names[] = {L"", L"Hall", L"Door", L"Nobody"};
        for (int i = 0; !done; ++i) {
            BSTR name = SysAllocString(names[i % 4]);
            overlay->SetSensorName(name);
            SysFreeString(name);
            HRESULT hr = overlay->Draw(canvas.Dc(), &dst, nullptr);
            if (SUCCEEDED(hr))
                hr = overlay->DrawInfo(canvas.Dc(), &dst);
            if (SUCCEEDED(hr) && i % 25 == 0)
                hr = overlay->CreateOverlay();  // fetches the configuration again
            if (FAILED(hr))
                failure = hr;
            ++paints;
        }
    });
    // At least 400 samples, and on until the painter has had its turns (a
    // loaded machine may not schedule it before 400 synchronous pushes end).
    for (uint32_t i = 0; i < 400 || (paints.load() <= 10 && i < 40000); ++i) {
        const int c = static_cast<int>(i % 16);
        ASSERT_EQ(S_OK, m_Graph.Push(v77::BuildSensorSample(
                            true, {{i, MaskWords(16, 8, [c](int x, int) { return x == c; })},
                                   {i % 120, MaskWords(16, 8, [c](int, int y) { return y == c % 8; })}})));
    }
    const bool completed = m_Graph.Complete();
    done = true;
    painter.join();
    EXPECT_TRUE(completed);
    EXPECT_EQ(S_OK, failure.load());
    EXPECT_GT(paints.load(), 10);
    EXPECT_GT(m_Graph.Auxiliary()->calls.load(), 1);
}

}  // namespace
