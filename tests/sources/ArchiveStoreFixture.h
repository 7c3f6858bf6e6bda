// Wine's graph with real archive sources feeding time-shift buffers: each
// chain is archive source -> buffer (full queue) -> test renderer; the first
// chain's buffer is the group's master. The stores come from
// make_archive_stores.sh: frame n lies at kOrigin + n * kFrameTime and
// carries n in its first luma bytes, so every rendered frame says which
// recorded instant it is, twice.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "sources/CV77DsARCSourceFilterBase.h"
#include "tests/buffer/BufferGraphFixture.h"
#include "tests/sources/ArchiveServerProcess.h"

constexpr REFERENCE_TIME kOrigin = 133485408000000000LL;
constexpr REFERENCE_TIME kFrameTime = 400000;  // 25 fps
constexpr LONG kSegment = 10;
constexpr DWORD kCallTimeoutMs = 5000;

inline REFERENCE_TIME T(int frame) { return kOrigin + frame * kFrameTime; }
// Wine path of a store (plain, bad, mpeg4) or of a file in it.
std::wstring StorePath(const char* store, const std::wstring& file = L"");
std::wstring SegmentFile(int firstFrame);

// Tcp: the TCP archive source fed by the archive server tool serving the store;
// Local: the archive local source fed by the capture tool serving it.
enum class SourceKind { Store, AviFile, Local, Tcp };
// Test-name suffix of a parameterised case.
std::string SourceKindName(const ::testing::TestParamInfo<SourceKind>& info);

struct ArchiveChain {
    ComPtr<CV77DsARCSourceFilterBase> source;
    ComPtr<CV77DsBufferFilter> buffer;
    ComPtr<CTestRenderer> renderer;
};

class ArchiveStoreFixture : public BufferGraphFixture {
protected:
    void TearDown() override;

    static ComPtr<CV77DsARCSourceFilterBase> NewSource(SourceKind kind);
    // Opens source on s1/s2 and adds a connected chain; master null: the group's master.
    void AddChain(SourceKind kind, const std::wstring& s1, const std::wstring& s2, IV77DsBufferMaster* master);
    // The name the capture tool serves the store under (SourceKind::Local).
    static std::wstring CaptureName();
    // views chains on the store, each with its own source of m_StoreKind
    // (AviFile: the plain recording as one file).
    void BuildStore(const char* store, int views = 1);
    // Runs the graph and starts every source's receiver (a position on its pin).
    void Run();
    HRESULT StartSource(size_t chain, REFERENCE_TIME position);

    IV77DsBuffer* Control(size_t chain = 0);
    HRESULT Bounded(const std::function<HRESULT()>& call);
    HRESULT SeekGroup(int frame);
    HRESULT SetRate(double rate) { return Control()->SetGroupRate(rate); }

    // The frame a sample shows: its time and its picture must agree (-2 when they do not).
    int FrameOf(const RenderedSample& sample) const;
    std::vector<int> RenderedFrames(size_t chain = 0);
    int LastFrame(size_t chain = 0);
    bool WaitForMore(size_t chain, size_t count);
    // The 0x8005 raised next and its status.
    HRESULT NextFailure();
    // One view on the plain store served by m_Server (slower than play): the
    // peer measured the recording's bit rate, and playback from frame 0 is
    // under way mid-stretch with its events drained.
    void PlayFromASlowPeer();
    // Stops the graph; it must come back within a second with no 0x8005.
    void ExpectQuickStop(const char* state);
    // A host thread seeks to T(20) and is held waiting for the stretch; after
    // settleMs, Stop must be quick and release that thread.
    void ExpectStopReleasesAWaitingSeek(DWORD settleMs, const char* state);
    static void ExpectStep(const std::vector<int>& frames, int step, const char* what);
    static std::string Text(const std::vector<int>& frames);

    bool m_bPictureCarriesNumber = true;  // false for the lossy store
    SourceKind m_StoreKind = SourceKind::Store;
    bool m_bRenderersKeepSamples = false;
    // Clear: the receivers serve the buffer without the source restarting
    // them, and only the master buffer reports the end of playback.
    bool m_bAutoRestart = true;
    ArchiveServerProcess m_Server;        // serves the store for SourceKind::Tcp and Local
    std::vector<ArchiveChain> m_Chains;
    std::vector<ComPtr<IV77DsBuffer>> m_Controls;
};
