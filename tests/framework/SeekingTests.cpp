// CSourceSeeking on the test source's pin, without a graph: formats, flag
// validation, position arithmetic, capabilities and the change callbacks.
#include <gtest/gtest.h>
#include <wrl/client.h>
#include "tests/kit/CComInit.h"
#include "tests/kit/ComAdopt.h"
#include "tests/kit/CTestSource.h"
#include "tests/kit/CTestSourceStream.h"
#include "tests/kit/TestMediaTypes.h"
#include <uuids.h>

using Microsoft::WRL::ComPtr;

namespace {

constexpr LONGLONG kSecond = 10000000;

class SourceSeekingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TestSourceConfig config;
        config.mediaType = MakeTestVideoType();
        config.frameCount = 100;
        config.frameDuration = kSecond / 10;
        m_Source = Adopt(CTestSource::Create(config));
        ASSERT_TRUE(m_Source);
        ASSERT_EQ(S_OK, m_Source->Stream()->QueryInterface(IID_IMediaSeeking,
                                                           reinterpret_cast<void**>(m_Seeking.GetAddressOf())));
    }

    void Positions(LONGLONG* current, LONGLONG* stop) { ASSERT_EQ(S_OK, m_Seeking->GetPositions(current, stop)); }

    CComInit m_Com;
    ComPtr<CTestSource> m_Source;
    ComPtr<IMediaSeeking> m_Seeking;
};

}  // namespace

TEST_F(SourceSeekingTest, OnlyMediaTimeIsSupportedAndCapabilitiesAndRateFollowTheRules)
{
    EXPECT_EQ(S_OK, m_Seeking->IsFormatSupported(&TIME_FORMAT_MEDIA_TIME));
    EXPECT_EQ(S_FALSE, m_Seeking->IsFormatSupported(&TIME_FORMAT_FRAME));
    EXPECT_EQ(E_POINTER, m_Seeking->IsFormatSupported(nullptr));
    EXPECT_EQ(S_OK, m_Seeking->SetTimeFormat(&TIME_FORMAT_MEDIA_TIME));
    EXPECT_EQ(E_INVALIDARG, m_Seeking->SetTimeFormat(&TIME_FORMAT_SAMPLE));
    GUID format = GUID_NULL;
    EXPECT_EQ(S_OK, m_Seeking->GetTimeFormat(&format));
    EXPECT_EQ(TIME_FORMAT_MEDIA_TIME, format);
    EXPECT_EQ(S_OK, m_Seeking->IsUsingTimeFormat(&TIME_FORMAT_MEDIA_TIME));
    EXPECT_EQ(S_FALSE, m_Seeking->IsUsingTimeFormat(&TIME_FORMAT_FRAME));

    LONGLONG converted = 0;
    EXPECT_EQ(S_OK, m_Seeking->ConvertTimeFormat(&converted, nullptr, 1234, &TIME_FORMAT_MEDIA_TIME));
    EXPECT_EQ(1234, converted);
    EXPECT_EQ(E_INVALIDARG, m_Seeking->ConvertTimeFormat(&converted, &TIME_FORMAT_FRAME, 1, nullptr));

    // Capabilities are checked bit by bit.
    DWORD caps = AM_SEEKING_CanSeekAbsolute | AM_SEEKING_CanGetDuration;
    EXPECT_EQ(S_OK, m_Seeking->CheckCapabilities(&caps));
    caps = AM_SEEKING_CanSeekAbsolute | AM_SEEKING_CanGetCurrentPos;
    EXPECT_EQ(S_FALSE, m_Seeking->CheckCapabilities(&caps));
    EXPECT_EQ(static_cast<DWORD>(AM_SEEKING_CanSeekAbsolute), caps);
    caps = AM_SEEKING_CanGetCurrentPos;
    EXPECT_EQ(E_FAIL, m_Seeking->CheckCapabilities(&caps));
    EXPECT_EQ(0u, caps);

    // The rate is stored before the callback; the available range and preroll follow the stream.
    EXPECT_EQ(S_OK, m_Seeking->SetRate(-2.0));
    double rate = 0;
    EXPECT_EQ(S_OK, m_Seeking->GetRate(&rate));
    EXPECT_DOUBLE_EQ(-2.0, rate);
    EXPECT_EQ(1, m_Source->Stream()->changeRates.load());
    EXPECT_EQ(E_INVALIDARG, m_Seeking->SetRate(0.0));
    LONGLONG earliest = -1;
    LONGLONG latest = -1;
    EXPECT_EQ(S_OK, m_Seeking->GetAvailable(&earliest, &latest));
    EXPECT_EQ(0, earliest);
    EXPECT_EQ(10 * kSecond, latest);
    LONGLONG preroll = -1;
    EXPECT_EQ(S_OK, m_Seeking->GetPreroll(&preroll));
    EXPECT_EQ(0, preroll);
}

TEST_F(SourceSeekingTest, PositionsAreAbsoluteRelativeOrIncremental)
{
    LONGLONG current = 0;
    LONGLONG stop = 0;
    Positions(&current, &stop);
    EXPECT_EQ(0, current);
    EXPECT_EQ(10 * kSecond, stop);
    LONGLONG duration = 0;
    EXPECT_EQ(S_OK, m_Seeking->GetDuration(&duration));
    EXPECT_EQ(10 * kSecond, duration);

    LONGLONG start = 2 * kSecond;
    LONGLONG end = 8 * kSecond;
    EXPECT_EQ(S_OK, m_Seeking->SetPositions(&start, AM_SEEKING_AbsolutePositioning, &end,
                                            AM_SEEKING_AbsolutePositioning));
    Positions(&current, &stop);
    EXPECT_EQ(2 * kSecond, current);
    EXPECT_EQ(8 * kSecond, stop);

    start = kSecond;
    end = -kSecond;
    EXPECT_EQ(S_OK, m_Seeking->SetPositions(&start, AM_SEEKING_RelativePositioning, &end,
                                            AM_SEEKING_RelativePositioning));
    Positions(&current, &stop);
    EXPECT_EQ(3 * kSecond, current);
    EXPECT_EQ(7 * kSecond, stop);

    // Incremental: the stop is relative to the new start; ReturnTime writes back.
    start = 4 * kSecond;
    end = kSecond;
    EXPECT_EQ(S_OK, m_Seeking->SetPositions(&start, AM_SEEKING_AbsolutePositioning | AM_SEEKING_ReturnTime, &end,
                                            AM_SEEKING_IncrementalPositioning | AM_SEEKING_ReturnTime));
    EXPECT_EQ(4 * kSecond, start);
    EXPECT_EQ(5 * kSecond, end);

    CTestSourceStream* stream = m_Source->Stream();
    EXPECT_EQ(3, stream->changeStarts.load());
    EXPECT_EQ(3, stream->changeStops.load());
    // Only the stop: no restart.
    EXPECT_EQ(S_OK, m_Seeking->SetPositions(nullptr, AM_SEEKING_NoPositioning, &end, AM_SEEKING_AbsolutePositioning));
    EXPECT_EQ(3, stream->changeStarts.load());
    EXPECT_EQ(4, stream->changeStops.load());
}

TEST_F(SourceSeekingTest, BadFlagsAndPointersAreRefusedWithoutChange)
{
    LONGLONG position = kSecond;
    EXPECT_EQ(E_POINTER, m_Seeking->SetPositions(nullptr, AM_SEEKING_AbsolutePositioning, nullptr,
                                                 AM_SEEKING_NoPositioning));
    EXPECT_EQ(E_POINTER, m_Seeking->SetPositions(nullptr, AM_SEEKING_NoPositioning, nullptr,
                                                 AM_SEEKING_AbsolutePositioning));
    EXPECT_EQ(E_INVALIDARG, m_Seeking->SetPositions(&position, AM_SEEKING_IncrementalPositioning, nullptr,
                                                    AM_SEEKING_NoPositioning));
    LONGLONG current = -1;
    LONGLONG stop = -1;
    Positions(&current, &stop);
    EXPECT_EQ(0, current);
    EXPECT_EQ(0, m_Source->Stream()->changeStarts.load());
    EXPECT_EQ(E_POINTER, m_Seeking->GetPositions(nullptr, nullptr));
    EXPECT_EQ(E_NOTIMPL, m_Seeking->GetCurrentPosition(&current));
}
