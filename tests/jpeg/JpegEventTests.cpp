// Automatic notification: one 0x8007 event per frame with a pool sample the
// host owns, a null sample while the host holds the whole pool, repaints on
// setting changes; and host calls racing the streaming thread.
#include <atomic>
#include <cstdio>
#include <functional>
#include <thread>
#include <vector>

#include "tests/jpeg/JpegFixture.h"

using Microsoft::WRL::ComPtr;

namespace {

using JpegEvents = JpegFixture;

constexpr DWORD kEventWaitMs = 2000;
// Long enough for a queued event to show; used where none may come.
constexpr DWORD kQuietMs = 300;

TEST_F(JpegEvents, EveryFrameIsSentWithAutoNotifyAndNoneWithout)
{
    const TestPicture picture = Quadrants(kWidth, kHeight);
    ASSERT_NO_FATAL_FAILURE(StartWith(MEDIASUBTYPE_RGB24, picture));
    ComPtr<IMediaSample> sample;
    EXPECT_FALSE(m_Graph.NextJpegEvent(kQuietMs, &sample)) << "off by default";

    ASSERT_EQ(S_OK, Jpeg()->SetAutoNotify(TRUE));
    ASSERT_EQ(S_OK, m_Graph.Push(picture));
    ASSERT_TRUE(m_Graph.NextJpegEvent(kEventWaitMs, &sample));
    ASSERT_TRUE(sample);
    EXPECT_EQ("", QuadrantMismatch(Decode(SampleBytes(sample.Get()))));

    // The next frame's own picture, not the previous one again.
    ASSERT_EQ(S_OK, m_Graph.Push(Flipped(picture)));
    ASSERT_TRUE(m_Graph.NextJpegEvent(kEventWaitMs, &sample));
    ASSERT_TRUE(sample);
    EXPECT_EQ("", QuadrantMismatch(Decode(SampleBytes(sample.Get())), kBlue, kWhite, kRed, kGreen));
    Bytes payload;
    ASSERT_TRUE(FindSegment(SampleBytes(sample.Get()), 0xFE, &payload));
    EXPECT_EQ(Bytes({0}), payload) << "events carry the empty comment";

    ASSERT_EQ(S_OK, Jpeg()->SetAutoNotify(FALSE));
    ASSERT_EQ(S_OK, m_Graph.Push(picture));
    EXPECT_FALSE(m_Graph.NextJpegEvent(kQuietMs, &sample));
}

TEST_F(JpegEvents, AHostHoldingThePoolGetsNullSamplesUntilItLetsGo)
{
    ASSERT_NO_FATAL_FAILURE(StartWith(MEDIASUBTYPE_YUY2, NaturalPicture(kWidth, kHeight)));
    ASSERT_EQ(S_OK, Jpeg()->SetAutoNotify(TRUE));
    std::vector<ComPtr<IMediaSample>> held;
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(S_OK, m_Graph.Push(NaturalPicture(kWidth, kHeight)));
        ComPtr<IMediaSample> sample;
        ASSERT_TRUE(m_Graph.NextJpegEvent(kEventWaitMs, &sample)) << i;
        ASSERT_TRUE(sample) << i;
        held.push_back(sample);
    }
    ASSERT_EQ(S_OK, m_Graph.Push(NaturalPicture(kWidth, kHeight)));
    ComPtr<IMediaSample> fourth;
    ASSERT_TRUE(m_Graph.NextJpegEvent(kEventWaitMs, &fourth)) << "the event still comes";
    EXPECT_FALSE(fourth);
    ComPtr<IMediaSample> requested;
    EXPECT_EQ(S_OK, Jpeg()->GetJpegSample(nullptr, requested.GetAddressOf()));
    EXPECT_FALSE(requested);

    // Every held sample is a JPEG of its own.
    for (const ComPtr<IMediaSample>& sample : held)
        EXPECT_EQ(static_cast<UINT>(kWidth), Decode(SampleBytes(sample.Get())).width);
    EXPECT_NE(held[0].Get(), held[1].Get());
    EXPECT_NE(held[1].Get(), held[2].Get());
    held.clear();

    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(S_OK, m_Graph.Push(NaturalPicture(kWidth, kHeight)));
        ComPtr<IMediaSample> sample;
        ASSERT_TRUE(m_Graph.NextJpegEvent(kEventWaitMs, &sample)) << i;
        ASSERT_TRUE(sample) << "released samples are used again, " << i;
        EXPECT_GT(PsnrAgainst(Decode(SampleBytes(sample.Get())), NaturalPicture(kWidth, kHeight)), 30.0);
    }
}

TEST_F(JpegEvents, SettingChangesResendTheCurrentFrameOnlyWithAutoNotify)
{
    const TestPicture picture = UniformPicture(kWidth, kHeight, Rgb{100, 100, 100});
    ASSERT_NO_FATAL_FAILURE(StartWith(MEDIASUBTYPE_RGB24, picture));
    ComPtr<IMediaSample> sample;
    ASSERT_EQ(S_OK, m_Graph.Dx()->SetBrightnessContrast(0.0, -0.25));
    EXPECT_FALSE(m_Graph.NextJpegEvent(kQuietMs, &sample));

    ASSERT_EQ(S_OK, Jpeg()->SetAutoNotify(TRUE));
    // Half contrast halves every colour byte of RGB input.
    ASSERT_EQ(S_OK, m_Graph.Dx()->SetBrightnessContrast(0.0, -0.5));
    ASSERT_TRUE(m_Graph.NextJpegEvent(kEventWaitMs, &sample));
    ASSERT_TRUE(sample);
    const WicDecodedImage darker = Decode(SampleBytes(sample.Get()));
    EXPECT_TRUE(Near(PixelAt(darker, kWidth / 2, kHeight / 2), Rgb{50, 50, 50}, 4));

    ASSERT_EQ(S_OK, m_Graph.Dx()->Invalidate());
    ASSERT_TRUE(m_Graph.NextJpegEvent(kEventWaitMs, &sample));
    EXPECT_TRUE(sample);
}

// ---- races ----

// Runs the bodies on threads of their own (each with COM) while pump runs on
// this one. Threads stuck in the renderer cannot be cleaned up: a deadlock
// ends the process.
void RunConcurrently(const std::vector<std::function<void()>>& bodies, const std::function<void()>& pump,
                     DWORD timeoutMs)
{
    std::atomic<size_t> running(bodies.size());
    std::vector<std::thread> threads;
    for (const auto& body : bodies)
        threads.emplace_back([&body, &running] {
            CComInit com;
            body();
            --running;
        });
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (running > 0) {
        pump();
        if (GetTickCount64() > deadline) {
            std::fprintf(stderr, "concurrent calls did not finish: deadlock\n");
            std::fflush(stderr);
            TerminateProcess(GetCurrentProcess(), 3);
        }
    }
    for (std::thread& thread : threads)
        thread.join();
}

bool IsOneOfTheSizes(const WicDecodedImage& d)
{
    return (d.width == static_cast<UINT>(kWidth) && d.height == static_cast<UINT>(kHeight)) ||
           (d.width == 80 && d.height == 60);
}

TEST_F(JpegEvents, HostCallsRebuildsAndFramesRaceSafely)
{
    const TestPicture picture = NaturalPicture(kWidth, kHeight);
    ASSERT_NO_FATAL_FAILURE(StartWith(MEDIASUBTYPE_RGB24, picture));
    ASSERT_EQ(S_OK, Jpeg()->SetAutoNotify(TRUE));

    std::atomic<bool> pushing(true);
    std::atomic<int> pushFailures(0), badResults(0), hostJpegs(0), eventJpegs(0);
    IV77JpegRenderer* jpeg = Jpeg();
    IV77DxRenderer* dx = m_Graph.Dx();
    const auto checkJpeg = [&](const Bytes& bytes, std::atomic<int>& counter) {
        if (IsOneOfTheSizes(Decode(bytes)))
            ++counter;
        else
            ++badResults;
    };
    const auto pusher = [&] {
        for (int i = 0; i < 400; ++i)
            if (FAILED(m_Graph.Push(picture)))
                ++pushFailures;
        pushing = false;
    };
    const auto resizer = [&] {
        const RECT small = {0, 0, 80, 60}, large = {0, 0, kWidth, kHeight};
        for (int i = 0; pushing; ++i) {
            const RECT& target = i % 2 ? large : small;
            if (dx->SetRects(&target, nullptr, &target) != S_OK)
                ++badResults;
            Sleep(3);
        }
    };
    const auto host = [&] {
        while (pushing) {
            ComPtr<IMediaSample> sample;
            const HRESULT hr = jpeg->GetJpegSample(nullptr, sample.GetAddressOf());
            if (hr == S_OK && sample)
                checkJpeg(SampleBytes(sample.Get()), hostJpegs);
            else if (hr != S_OK && hr != E_FAIL)
                ++badResults;
            Bytes buffer(1 << 18);
            DWORD size = static_cast<DWORD>(buffer.size());
            const HRESULT hrBuffer = jpeg->EncodeToBuffer(nullptr, buffer.data(), &size);
            if (hrBuffer == S_OK && size) {
                buffer.resize(size);
                checkJpeg(buffer, hostJpegs);
            } else if (hrBuffer != S_OK && hrBuffer != E_FAIL) {
                ++badResults;
            }
        }
    };
    const auto pump = [&] {
        ComPtr<IMediaSample> sample;
        while (m_Graph.NextJpegEvent(10, &sample)) {
            if (sample)   // null while the host holds the whole pool
                checkJpeg(SampleBytes(sample.Get()), eventJpegs);
        }
    };
    RunConcurrently({pusher, resizer, host}, pump, 60000);
    pump();

    EXPECT_EQ(0, pushFailures.load());
    EXPECT_EQ(0, badResults.load());
    EXPECT_GT(hostJpegs.load(), 0);
    EXPECT_GT(eventJpegs.load(), 0);
}

}  // namespace
