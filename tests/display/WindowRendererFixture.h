// Shared fixture of the Windows renderer suites: COM, a real window of the
// test thread, and the renderer showing in it from a running graph.
#pragma once

#include <windows.h>
#include <memory>
#include <uuids.h>
#include <gtest/gtest.h>

#include "tests/display/CTestVideoWindow.h"
#include "tests/display/CWindowRendererGraph.h"
#include "tests/display/WindowProbes.h"
#include "tests/kit/CComInit.h"

// Colours well inside the YUV gamut, so that no channel clips.
constexpr Rgb kRed{205, 45, 45};
constexpr Rgb kGreen{45, 185, 65};
constexpr Rgb kBlue{50, 60, 210};
constexpr Rgb kYellow{215, 205, 60};
constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kKey{255, 0, 255};
constexpr COLORREF kKeyRef = RGB(255, 0, 255);

// YUV rounding of the test encoder and the renderer's conversion.
constexpr int kTolerance = 12;
constexpr DWORD kShowTimeoutMs = 5000;

inline TestPicture PictureA(LONG w, LONG h)
{
    return QuadrantPicture(w, h, kRed, kGreen, kBlue, kYellow);
}

// A's colours turned a quarter: a frame that replaced A differs everywhere.
inline TestPicture PictureB(LONG w, LONG h)
{
    return QuadrantPicture(w, h, kBlue, kRed, kYellow, kGreen);
}

inline std::vector<Probe> ProbesA(const RECT& r)
{
    return QuadrantProbes(r, kRed, kGreen, kBlue, kYellow);
}

inline std::vector<Probe> ProbesB(const RECT& r)
{
    return QuadrantProbes(r, kBlue, kRed, kYellow, kGreen);
}

inline std::vector<Probe> operator+(std::vector<Probe> a, const std::vector<Probe>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class WindowRendererFixture : public ::testing::Test {
protected:
    // A window of width x height with the renderer in it (created first, as a host does).
    void OpenWindow(LONG width, LONG height, bool giveWindow = true)
    {
        ASSERT_EQ(S_OK, m_Com.Result());
        m_Window = std::make_unique<CTestVideoWindow>(width, height);
        ASSERT_NE(nullptr, m_Window->Handle());
        ASSERT_EQ(S_OK, m_Graph.Create(giveWindow ? m_Window->Handle() : nullptr));
        // The repaint that SetWindow asks for, so that tests count only their own.
        m_Window->Pump();
    }

    // Connected and running with the first picture delivered.
    void StartWith(const GUID& subtype, const TestPicture& first, bool topDown = false)
    {
        ASSERT_EQ(S_OK, m_Graph.Start(subtype, first.width, first.height, topDown));
        ASSERT_EQ(S_OK, m_Graph.Push(first));
        ASSERT_TRUE(m_Graph.WaitRunning());
    }

    // Pumps the window until it shows what probes expect (bounded).
    ::testing::AssertionResult Shows(const std::vector<Probe>& probes)
    {
        std::string mismatches;
        const bool shown = m_Window->PumpUntil(
            [&] {
                mismatches = Mismatches(m_Window->Capture(), probes, kTolerance);
                return mismatches.empty();
            },
            kShowTimeoutMs);
        if (shown)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "window shows:\n" << mismatches;
    }

    // What the window shows now, after the messages already queued.
    ::testing::AssertionResult ShowsNow(const std::vector<Probe>& probes)
    {
        m_Window->Pump();
        const std::string mismatches = Mismatches(m_Window->Capture(), probes, kTolerance);
        if (mismatches.empty())
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "window shows:\n" << mismatches;
    }

    RECT Client() const { return RECT{0, 0, m_Window->Width(), m_Window->Height()}; }
    IV77DxRenderer* Dx() const { return m_Graph.Dx(); }

    CComInit m_Com;
    std::unique_ptr<CTestVideoWindow> m_Window;
    // After the window: the renderer goes before the window it subclassed.
    CWindowRendererGraph m_Graph;
};
