// The TCP archive source against a server that fails it: the real server
// killed in the middle of a stretch, a server answering garbage, one that
// goes silent; Stop while an archive receiver waits inside GetBuffer for a
// pool the test keeps empty; and, with the archive server, the capture tool
// and the store source alike, a frame that no longer reads and a stretch cut
// short by a seek or a Stop.
#include <winsock2.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "buffer/CV77DsBufferInput.h"
#include "buffer/CV77DsBufferInputAllocator.h"
#include "companions/components/recording/V77ArchiveProtocol.h"
#include "tests/buffer/BoundedCall.h"
#include "tests/sources/ArchiveStoreFixture.h"
#include "tools/common/CV77UnixProcess.h"
#include "v77/IV77SamplePool.h"

namespace P = V77ArchiveProtocol;

namespace {

// Describes a 16x16 YUY2 recording at 25 fps like the real server, then
// answers every stretch request with text, or with silence.
class MisbehavingServer {
public:
    enum class Mode { Garbage, Silent };

    explicit MisbehavingServer(Mode mode) : m_Mode(mode)
    {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        m_Listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof address;
        bind(m_Listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(m_Listener, 8);
        getsockname(m_Listener, reinterpret_cast<sockaddr*>(&address), &length);
        m_uPort = ntohs(address.sin_port);
        m_Thread = std::thread([this] { Serve(); });
    }

    ~MisbehavingServer()
    {
        m_bQuit = true;
        closesocket(m_Listener);  // ends accept and, with it, the thread
        m_Thread.join();
        WSACleanup();
    }

    void SetMode(Mode mode) { m_Mode = mode; }
    std::wstring Address() const { return L"127.0.0.1:" + std::to_wstring(m_uPort); }

private:
    void Serve()
    {
        while (!m_bQuit) {
            const SOCKET client = accept(m_Listener, nullptr, nullptr);
            if (client == INVALID_SOCKET)
                return;
            Answer(client);
            closesocket(client);
        }
    }

    void Answer(SOCKET client)
    {
        for (;;) {
            uint8_t bytes[P::kRequestSize];
            P::Request request;
            int got = 0;
            while (got < static_cast<int>(sizeof bytes) && !m_bQuit) {
                timeval slice = {0, 50000};
                fd_set set;
                FD_ZERO(&set);
                FD_SET(client, &set);
                if (select(0, &set, nullptr, nullptr, &slice) == 0)
                    continue;
                const int n = recv(client, reinterpret_cast<char*>(bytes) + got, sizeof bytes - got, 0);
                if (n <= 0)
                    return;
                got += n;
            }
            if (m_bQuit || !P::Decode(bytes, sizeof bytes, &request))
                return;
            std::vector<uint8_t> out;
            if (request.kind == P::kDescribe) {
                BITMAPINFOHEADER format = {sizeof format, 16, 16, 1, 16, MAKEFOURCC('Y', 'U', 'Y', '2'), 512, 0, 0, 0, 0};
                P::Description description;
                description.frameCount = 120;
                description.frameTime = kFrameTime;
                description.formatLength = sizeof format;
                description.averageFrameSize = 512;
                P::Encode(description, &out);
                const auto* raw = reinterpret_cast<const uint8_t*>(&format);
                out.insert(out.end(), raw, raw + sizeof format);
            } else if (m_Mode == Mode::Garbage) {
                const std::string text = "HTTP/1.0 400 Bad Request\r\nContent-Length: 0\r\n\r\n";
                out.assign(text.begin(), text.end());
            }
            if (!out.empty())
                send(client, reinterpret_cast<const char*>(out.data()), static_cast<int>(out.size()), 0);
        }
    }

    std::atomic<Mode> m_Mode;
    std::atomic<bool> m_bQuit{false};
    SOCKET m_Listener = INVALID_SOCKET;
    uint16_t m_uPort = 0;
    std::thread m_Thread;
};

class ArchiveServerTest : public ArchiveStoreFixture {};

TEST_F(ArchiveServerTest, TheServerKilledMidStretchFailsPlaybackOnceAndARestartedServerIsReachedAgain)
{
    m_StoreKind = SourceKind::Tcp;
    m_bAutoRestart = false;  // the buffer alone reports the end
    ASSERT_TRUE(m_Server.Start(StorePath("plain"), 0, 60));  // slower than play: always mid-stretch
    ASSERT_NO_FATAL_FAILURE(PlayFromASlowPeer());
    m_Server.Kill();
    const HRESULT status = NextFailure();
    EXPECT_TRUE(FAILED(status)) << "a lost server is a failure: 0x" << std::hex << status;
    Sleep(1000);
    m_Graph.DrainEvents();
    EXPECT_EQ(1, m_Graph.CountEvents(EC_V77_SEGMENT_END)) << "one playback end, one 0x8005";
    ExpectStep(RenderedFrames(), 1, "what was delivered before the loss");

    // The receiver still serves the buffer: a seek reaches the restarted server.
    const uint16_t port = m_Server.Port();
    ASSERT_TRUE(m_Server.Start(StorePath("plain"), port));
    m_Chains[0].renderer->ClearSamples();
    ASSERT_EQ(S_OK, SeekGroup(50));
    ASSERT_TRUE(WaitUntil([&] { return LastFrame() >= 60; }, kEventTimeoutMs)) << Text(RenderedFrames());
    ExpectQuickStop("after reconnecting");
}

TEST_F(ArchiveServerTest, GarbageAndSilenceFailTheStretchAndStopNeverWaitsForASilentServer)
{
    MisbehavingServer server(MisbehavingServer::Mode::Garbage);
    ASSERT_NO_FATAL_FAILURE(AddChain(SourceKind::Tcp, server.Address(), L"", nullptr));
    ASSERT_EQ(S_OK, m_Chains[0].source->Configure(0, 0.0, 500));  // stall limit
    ASSERT_NO_FATAL_FAILURE(Run());
    SeekGroup(10);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_INVALID_DATA), NextFailure());
    EXPECT_TRUE(m_Chains[0].renderer->Samples().empty()) << "nothing of the garbage is delivered";
    Sleep(500);  // the buffer's own 0x8005 for the end of what it holds may follow
    ExpectQuickStop("after garbage");

    server.SetMode(MisbehavingServer::Mode::Silent);
    m_Graph.DrainEvents();
    const ULONGLONG begin = NowMs();
    ASSERT_NO_FATAL_FAILURE(Run());
    SeekGroup(10);
    EXPECT_EQ(HRESULT_FROM_WIN32(WSAETIMEDOUT), NextFailure());
    EXPECT_GE(NowMs() - begin, 450u) << "the stall limit is waited out";
    Sleep(500);
    ExpectQuickStop("after a stall");

    // A long stall limit: Stop must not wait it out.
    ASSERT_EQ(S_OK, m_Chains[0].source->Configure(0, 0.0, 60000));
    ASSERT_NO_FATAL_FAILURE(Run());
    ExpectStopReleasesAWaitingSeek(300, "reading from a silent server");
    ASSERT_NO_FATAL_FAILURE(Run());
    Sleep(300);
    ExpectQuickStop("parked in WaitForRequest");
}

class ArchiveStarvedPoolTest : public ArchiveStoreFixture, public ::testing::WithParamInterface<SourceKind> {};

TEST_P(ArchiveStarvedPoolTest, StopReturnsWithinASecondWhileTheReceiverWaitsInsideGetBuffer)
{
    // The renderer keeps every frame it shows: once the buffer's pool is
    // spent, the receiver asked for the next stretch waits in GetBuffer.
    m_StoreKind = GetParam();
    m_bRenderersKeepSamples = true;
    ASSERT_NO_FATAL_FAILURE(BuildStore("plain"));
    ASSERT_NO_FATAL_FAILURE(Run());
    ASSERT_EQ(S_OK, SeekGroup(10));
    ComPtr<IV77SamplePool> pool;
    m_Chains[0].buffer->Input()->OwnAllocator()->GetPool(&pool);
    ASSERT_TRUE(pool);
    ASSERT_EQ(S_OK, SetRate(4.0));
    size_t shown = 0;
    ASSERT_TRUE(WaitUntil([&] {
        const size_t before = m_Chains[0].renderer->SampleCount();
        Sleep(300);
        shown = m_Chains[0].renderer->SampleCount();
        return shown > 0 && shown == before;
    }, kEventTimeoutMs)) << "playback never ran dry";
    EXPECT_EQ(0u, pool->GetFreeCount()) << "the pool is spent";
    EXPECT_LT(LastFrame(), 100) << "stopped for want of samples, not at the end of the recording";
    ExpectQuickStop("inside GetBuffer with the pool exhausted");
}

INSTANTIATE_TEST_SUITE_P(Sources, ArchiveStarvedPoolTest, ::testing::Values(SourceKind::Store, SourceKind::Tcp),
                         SourceKindName);

// A copy of the plain store that the test may break while it is served:
// by the archive server, the capture tool or the store source itself.
class ArchivePeerTest : public ArchiveStoreFixture, public ::testing::WithParamInterface<SourceKind> {
protected:
    void SetUp() override
    {
        ArchiveStoreFixture::SetUp();
        m_StoreKind = GetParam();
        m_Copy = "copy-" + std::to_string(GetCurrentProcessId());
        ASSERT_EQ(0, Shell("rm -rf " + m_Copy + " && cp -r plain " + m_Copy));
    }

    void TearDown() override
    {
        ArchiveStoreFixture::TearDown();
        Shell("rm -rf " + m_Copy);
    }

    // A shell command run in the stores' folder (Unix path: drive Z: dropped).
    static int Shell(const std::string& command)
    {
        const std::string folder = V77_ARCHIVE_STORES + 2;
        return CV77UnixProcess::Run(folder, "cd " + folder + " && " + command);
    }

    // The copy served with each frame delayed by delayMs, and one chain on it.
    void ServeCopy(DWORD delayMs)
    {
        const std::wstring store = StorePath(m_Copy.c_str());
        if (m_StoreKind == SourceKind::Tcp) {
            ASSERT_TRUE(m_Server.Start(store, 0, delayMs));
        } else if (m_StoreKind == SourceKind::Local) {
            ASSERT_TRUE(m_Server.StartCapture(store, CaptureName(), delayMs));
        }
        ASSERT_NO_FATAL_FAILURE(BuildStore(m_Copy.c_str()));
    }

    std::string m_Copy;
};

TEST_P(ArchivePeerTest, AFrameThatNoLongerReadsFailsItsStretchOnceAndPlaybackEndsThere)
{
    m_bAutoRestart = false;  // the buffer alone reports the end
    ASSERT_NO_FATAL_FAILURE(ServeCopy(0));
    // Indexed whole; now the second half of the file of frames 40-79 goes.
    const std::wstring segment = SegmentFile(40);
    const std::string file = m_Copy + "/" + std::string(segment.begin(), segment.end());
    ASSERT_EQ(0, Shell("truncate -s $(( $(stat -c %s " + file + ") / 2 )) " + file));
    ASSERT_NO_FATAL_FAILURE(Run());
    ASSERT_EQ(S_OK, SeekGroup(30));
    ASSERT_EQ(S_OK, SetRate(4.0));
    LONG_PTR status = 0;
    ASSERT_TRUE(m_Graph.WaitForEvent(EC_V77_SEGMENT_END, kEventTimeoutMs, &status)) << Text(RenderedFrames());
    if (m_StoreKind == SourceKind::Local)
        EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_READ_FAULT), static_cast<HRESULT>(status)) << "the capture tool's fail marker";
    else
        EXPECT_TRUE(FAILED(static_cast<HRESULT>(status))) << "0x" << std::hex << status;
    ASSERT_TRUE(m_Chains[0].renderer->WaitForEndOfStream(kEventTimeoutMs)) << Text(RenderedFrames());
    Sleep(500);
    const std::vector<int> frames = RenderedFrames();
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(30, frames.front());
    ExpectStep(frames, 1, "up to the frame that no longer reads");
    EXPECT_GT(frames.back(), 40);
    EXPECT_LT(frames.back(), 79) << "nothing is shown past the failure";
    m_Graph.DrainEvents();
    const std::vector<GraphEvent> ends = EventsWithCode(m_Graph, EC_V77_SEGMENT_END);
    EXPECT_EQ(1u, ends.size()) << "one playback end, one 0x8005";
    ExpectQuickStop("after a failed stretch");
}

INSTANTIATE_TEST_SUITE_P(Sources, ArchivePeerTest,
                         ::testing::Values(SourceKind::Store, SourceKind::Tcp, SourceKind::Local), SourceKindName);

// Peers that stream each stretch slowly, so that a seek or a Stop comes
// while one is still on its way.
class ArchiveSlowPeerTest : public ArchivePeerTest {};

TEST_P(ArchiveSlowPeerTest, ASeekOrAStopMidStretchLeavesNothingOfThatStretchBehindTheNewPosition)
{
    ASSERT_NO_FATAL_FAILURE(ServeCopy(50));  // a stretch of 10 frames takes half a second
    ASSERT_NO_FATAL_FAILURE(Run());
    ASSERT_EQ(S_OK, SeekGroup(0));
    ASSERT_EQ(S_OK, SetRate(1.0));
    ASSERT_TRUE(WaitForMore(0, 3)) << Text(RenderedFrames());
    m_Chains[0].renderer->ClearSamples();
    ASSERT_EQ(S_OK, SeekGroup(90));
    ASSERT_TRUE(WaitUntil([&] { return LastFrame() >= 95; }, kEventTimeoutMs)) << Text(RenderedFrames());
    std::vector<int> frames = RenderedFrames();
    auto restart = std::find(frames.begin(), frames.end(), 90);
    ASSERT_NE(frames.end(), restart) << Text(frames);
    ExpectStep(std::vector<int>(restart, frames.end()), 1, "after a seek mid-stretch");
    for (auto it = frames.begin(); it != restart; ++it)
        EXPECT_LT(*it, 20) << "only frames from before the seek precede it:" << Text(frames);

    // Given up mid-stretch by Stop; the next request must get only its own frames.
    ExpectQuickStop("mid-stretch");
    m_Chains[0].renderer->ClearSamples();
    ASSERT_NO_FATAL_FAILURE(Run());
    ASSERT_EQ(S_OK, SeekGroup(20));
    ASSERT_EQ(S_OK, SetRate(4.0));
    ASSERT_TRUE(WaitUntil([&] { return LastFrame() >= 35; }, kEventTimeoutMs)) << Text(RenderedFrames());
    frames = RenderedFrames();
    EXPECT_EQ(20, frames.front()) << Text(frames);
    ExpectStep(frames, 1, "after a Stop mid-stretch");
    ExpectQuickStop("after playing again");
}

INSTANTIATE_TEST_SUITE_P(Sources, ArchiveSlowPeerTest, ::testing::Values(SourceKind::Tcp, SourceKind::Local),
                         SourceKindName);

}  // namespace
