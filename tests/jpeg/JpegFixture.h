// Shared fixture of the JPEG renderer suites: COM, a running graph with the
// renderer, and the three ways of getting a JPEG out of it.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <uuids.h>
#include <gtest/gtest.h>

#include "tests/jpeg/CBstr.h"
#include "tests/jpeg/CJpegRendererGraph.h"
#include "tests/jpeg/JpegTestSupport.h"
#include "tests/kit/CComInit.h"

// Rows of 486 bytes: the frame bitmap has 2 pad bytes per row.
constexpr LONG kWidth = 162;
constexpr LONG kHeight = 118;

class JpegFixture : public ::testing::Test {
protected:
    // The graph running with this format and the picture delivered once.
    // Fails fatally: call it through ASSERT_NO_FATAL_FAILURE.
    void StartWith(const GUID& subtype, const TestPicture& picture, bool topDown = false)
    {
        ASSERT_EQ(S_OK, m_Com.Result()) << "COM";
        ASSERT_EQ(S_OK, m_Graph.Start(subtype, picture.width, picture.height, topDown))
            << "JPEG renderer not created, connected and run";
        ASSERT_EQ(S_OK, m_Graph.Push(picture)) << "first frame not delivered";
    }

    IV77JpegRenderer* Jpeg() const { return m_Graph.Jpeg(); }

    // EncodeToBuffer into a buffer of this capacity; the JPEG (empty when the
    // size came back 0).
    Bytes EncodeToBuffer(BSTR comment = nullptr, DWORD capacity = 1u << 20)
    {
        Bytes buffer(capacity);
        DWORD size = capacity;
        EXPECT_EQ(S_OK, Jpeg()->EncodeToBuffer(comment, buffer.data(), &size));
        EXPECT_LE(size, capacity);
        buffer.resize(size);
        return buffer;
    }

    // GetJpegSample's bytes (empty without a sample).
    Bytes JpegSample(BSTR comment = nullptr)
    {
        Microsoft::WRL::ComPtr<IMediaSample> sample;
        EXPECT_EQ(S_OK, Jpeg()->GetJpegSample(comment, sample.GetAddressOf()));
        return SampleBytes(sample.Get());
    }

    CComInit m_Com;
    CJpegRendererGraph m_Graph;
};
