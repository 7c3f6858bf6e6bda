// Shared fixture of the Windows renderer suites: COM, a real window of the
// test thread, and the renderer showing in it from a running graph. The
// set-up helpers fail fatally with what failed: call them through
// ASSERT_NO_FATAL_FAILURE.
#pragma once

#include <windows.h>
#include <memory>
#include <uuids.h>
#include <gtest/gtest.h>

#include "tests/display/CRendererGraph.h"
#include "tests/display/CTestVideoWindow.h"
#include "tests/display/WindowProbes.h"
#include "tests/kit/CComInit.h"
#include "v77/V77Guids.h"

// YUV rounding of the test encoder and the renderer's conversion.
constexpr int kTolerance = 12;
constexpr DWORD kShowTimeoutMs = 5000;

class WindowRendererFixture : public ::testing::Test {
protected:
    // A window of width x height with the renderer in it (created first, as a host does).
    void OpenWindow(LONG width, LONG height, bool giveWindow = true)
    {
        ASSERT_EQ(S_OK, m_Com.Result()) << "COM";
        m_Window = std::make_unique<CTestVideoWindow>(width, height);
        ASSERT_NE(nullptr, m_Window->Handle()) << "test window not created";
        ASSERT_EQ(S_OK, m_Graph.Create(CLSID_V77WindowsRenderer, giveWindow ? m_Window->Handle() : nullptr))
            << "Windows renderer not created or given its window";
        // The repaint that SetWindow asks for, so that tests count only their own.
        m_Window->Pump();
    }

    // Connected and running with the first picture delivered.
    void StartWith(const GUID& subtype, const TestPicture& first, bool topDown = false)
    {
        ASSERT_TRUE(m_Graph.Renderer()) << "no renderer: OpenWindow failed or was not called";
        ASSERT_EQ(S_OK, m_Graph.Start(subtype, first.width, first.height, topDown)) << "graph not connected and run";
        ASSERT_EQ(S_OK, m_Graph.Push(first)) << "first frame not delivered";
        ASSERT_TRUE(m_Graph.WaitRunning()) << "graph not running after its first frame";
    }

    // Pumps the window until it shows what probes expect (bounded).
    ::testing::AssertionResult Shows(const std::vector<Probe>& probes)
    {
        return PumpUntilShown(*m_Window, "window", [this] { return m_Window->Capture(); }, probes, kTolerance,
                              kShowTimeoutMs);
    }

    // What the window shows now, after the messages already queued.
    ::testing::AssertionResult ShowsNow(const std::vector<Probe>& probes)
    {
        return PumpUntilShown(*m_Window, "window", [this] { return m_Window->Capture(); }, probes, kTolerance, 0);
    }

    RECT Client() const { return RECT{0, 0, m_Window->Width(), m_Window->Height()}; }
    IV77DxRenderer* Dx() const { return m_Graph.Dx(); }

    CComInit m_Com;
    std::unique_ptr<CTestVideoWindow> m_Window;
    // After the window: the renderer goes before the window it subclassed.
    CRendererGraph m_Graph;
};
