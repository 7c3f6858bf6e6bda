#include "tests/sources/ArchiveStoreFixture.h"

#include <atomic>
#include <memory>
#include <new>
#include <thread>

#include "sources/CV77DsARCLocalFilter.h"
#include "sources/CV77DsARCSourceFilter.h"
#include "sources/CV77DsARCSourceFilterAVI.h"
#include "sources/CV77DsARCSourceFilterTcp.h"
#include "tests/buffer/BoundedCall.h"
#include "tests/kit/TestWait.h"

std::wstring StorePath(const char* store, const std::wstring& file)
{
    std::wstring path;
    for (const char* c = V77_ARCHIVE_STORES; *c; ++c)
        path += static_cast<wchar_t>(*c == '/' ? '\\' : *c);
    path += L"\\";
    for (const char* c = store; *c; ++c)
        path += static_cast<wchar_t>(*c);
    return file.empty() ? path : path + L"\\" + file;
}

std::string SourceKindName(const ::testing::TestParamInfo<SourceKind>& info)
{
    switch (info.param) {
    case SourceKind::AviFile: return "Avi";
    case SourceKind::Tcp: return "Tcp";
    case SourceKind::Local: return "Local";
    default: return "Store";
    }
}

std::wstring SegmentFile(int firstFrame)
{
    return std::to_wstring(T(firstFrame)) + L".avi";
}

void ArchiveStoreFixture::TearDown()
{
    m_Controls.clear();
    m_Graph.StopAndWait(kStateTimeoutMs);
    BufferGraphFixture::TearDown();
    m_Chains.clear();
    m_Server.Kill();
}

ComPtr<CV77DsARCSourceFilterBase> ArchiveStoreFixture::NewSource(SourceKind kind)
{
    HRESULT hr = S_OK;
    CV77DsARCSourceFilterBase* filter = nullptr;
    if (kind == SourceKind::Store)
        filter = new (std::nothrow) CV77DsARCSourceFilter("archive source", nullptr, &hr);
    else if (kind == SourceKind::Local)
        filter = new (std::nothrow) CV77DsARCLocalFilter("archive local source", nullptr, &hr);
    else if (kind == SourceKind::Tcp)
        filter = new (std::nothrow) CV77DsARCSourceFilterTcp("archive TCP source", nullptr, &hr);
    else
        filter = new (std::nothrow) CV77DsARCSourceFilterAVI("archive AVI source", nullptr, &hr);
    if (!filter)
        return nullptr;
    if (FAILED(hr)) {
        delete filter;
        ADD_FAILURE() << "archive source creation failed: 0x" << std::hex << hr;
        return nullptr;
    }
    return ComPtr<CV77DsARCSourceFilterBase>(filter);
}

void ArchiveStoreFixture::AddChain(SourceKind kind, const std::wstring& s1, const std::wstring& s2,
                                   IV77DsBufferMaster* master)
{
    ArchiveChain chain;
    chain.source = NewSource(kind);
    chain.buffer = NewBufferFilter();
    TestRendererConfig config;
    config.waitForSampleTime = false;  // the buffer paces
    config.keepSamples = m_bRenderersKeepSamples;
    chain.renderer = Adopt(CTestRenderer::Create(config));
    ASSERT_TRUE(chain.source && chain.buffer && chain.renderer);
    BSTR b1 = SysAllocString(s1.c_str());
    BSTR b2 = SysAllocString(s2.c_str());
    SOURCE_INFORMATION info = {};
    const HRESULT opened = chain.source->Open(b1, b2, FALSE, &info);
    SysFreeString(b1);
    SysFreeString(b2);
    ASSERT_EQ(S_OK, opened);
    EXPECT_EQ(kFrameTime, info.AvgTimePerFrame);
    ASSERT_EQ(S_OK, chain.source->SetAutoRestart(m_bAutoRestart ? TRUE : FALSE));
    ComPtr<IV77DsBuffer> control = BufferControl(chain.buffer.Get());
    ASSERT_EQ(S_FALSE, control->CreateQueue(V77_QUEUE_FULL, kSegment, master));
    ASSERT_EQ(S_OK, control->SetTimeStep(kFrameTime));
    const std::wstring suffix = std::to_wstring(m_Chains.size());
    ASSERT_EQ(S_OK, m_Graph.Add(chain.source.Get(), (L"archive" + suffix).c_str()));
    ASSERT_EQ(S_OK, m_Graph.Add(chain.buffer.Get(), (L"buffer" + suffix).c_str()));
    ASSERT_EQ(S_OK, m_Graph.Add(chain.renderer->Filter(), (L"renderer" + suffix).c_str()));
    ASSERT_EQ(S_OK, m_Graph.ConnectFilters(chain.source.Get(), chain.buffer.Get()));
    ASSERT_EQ(S_OK, m_Graph.ConnectFilters(chain.buffer.Get(), chain.renderer->Filter()));
    m_Chains.push_back(chain);
}

void ArchiveStoreFixture::BuildStore(const char* store, int views)
{
    std::wstring source = StorePath(store);
    std::wstring second;
    if (m_StoreKind == SourceKind::AviFile) {
        // The AVI file source plays one file: the plain recording written whole.
        source = StorePath("whole", SegmentFile(0));
        second = std::to_wstring(T(0));
    } else if (m_StoreKind == SourceKind::Tcp) {
        if (!m_Server.Running()) {
            ASSERT_TRUE(m_Server.Start(StorePath(store))) << "the archive server did not start";
        }
        source = m_Server.Address();
    } else if (m_StoreKind == SourceKind::Local) {
        if (!m_Server.Running()) {
            ASSERT_TRUE(m_Server.StartCapture(StorePath(store), CaptureName())) << "the capture process did not start";
        }
        source = CaptureName();
    }
    for (int i = 0; i < views; ++i) {
        ComPtr<IV77DsBufferMaster> master = i ? BufferMaster(m_Chains[0].buffer.Get()) : nullptr;
        ASSERT_NO_FATAL_FAILURE(AddChain(m_StoreKind, source, second, master.Get()));
    }
}

std::wstring ArchiveStoreFixture::CaptureName()
{
    return L"archive-test-" + std::to_wstring(GetCurrentProcessId());
}

HRESULT ArchiveStoreFixture::StartSource(size_t chain, REFERENCE_TIME position)
{
    ComPtr<IPin> pin = TestGraph::FindPin(m_Chains[chain].source.Get(), PINDIR_OUTPUT);
    ComPtr<IMediaSeeking> seeking;
    HRESULT hr = pin->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(seeking.GetAddressOf()));
    if (FAILED(hr))
        return hr;
    return seeking->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
}

void ArchiveStoreFixture::Run()
{
    // The renderers finish their transition only with a first frame, which
    // comes after the first seek: the graph is only told to run.
    ASSERT_TRUE(SUCCEEDED(m_Graph.Run()));
    for (size_t c = 0; c < m_Chains.size(); ++c)
        ASSERT_EQ(S_OK, StartSource(c, T(0)));
}

IV77DsBuffer* ArchiveStoreFixture::Control(size_t chain)
{
    m_Controls.push_back(BufferControl(m_Chains[chain].buffer.Get()));
    return m_Controls.back().Get();
}

HRESULT ArchiveStoreFixture::Bounded(const std::function<HRESULT()>& call)
{
    HRESULT hr = E_UNEXPECTED;
    EXPECT_TRUE(FinishesWithin(kCallTimeoutMs, [&] { hr = call(); })) << "the call did not return";
    return hr;
}

HRESULT ArchiveStoreFixture::SeekGroup(int frame)
{
    REFERENCE_TIME position = T(frame);
    IV77DsBuffer* control = Control();
    return Bounded([&] { return control->SetGroupPositions(&position, nullptr, nullptr); });
}

int ArchiveStoreFixture::FrameOf(const RenderedSample& sample) const
{
    if (!sample.mediaTimeValid || (sample.mediaStart - kOrigin) % kFrameTime != 0)
        return -1;
    const int frame = static_cast<int>((sample.mediaStart - kOrigin) / kFrameTime);
    if (m_bPictureCarriesNumber &&
        (sample.bytes.size() < 3 || sample.bytes[0] + 256 * sample.bytes[2] != frame))
        return -2;
    return frame;
}

std::vector<int> ArchiveStoreFixture::RenderedFrames(size_t chain)
{
    std::vector<int> frames;
    for (const RenderedSample& sample : m_Chains[chain].renderer->Samples())
        frames.push_back(FrameOf(sample));
    return frames;
}

int ArchiveStoreFixture::LastFrame(size_t chain)
{
    const std::vector<RenderedSample> samples = m_Chains[chain].renderer->Samples();
    return samples.empty() ? -1 : FrameOf(samples.back());
}

bool ArchiveStoreFixture::WaitForMore(size_t chain, size_t count)
{
    const size_t target = m_Chains[chain].renderer->SampleCount() + count;
    return m_Chains[chain].renderer->WaitForSamples(target, kEventTimeoutMs);
}

HRESULT ArchiveStoreFixture::NextFailure()
{
    LONG_PTR status = 0;
    EXPECT_TRUE(m_Graph.WaitForEvent(EC_V77_SEGMENT_END, kEventTimeoutMs, &status)) << "no 0x8005";
    return static_cast<HRESULT>(status);
}

void ArchiveStoreFixture::PlayFromASlowPeer()
{
    ASSERT_NO_FATAL_FAILURE(BuildStore("plain"));
    double bitRate = 0.0;
    ASSERT_EQ(S_OK, m_Chains[0].source->GetBitRate(&bitRate)) << "the peer measures its recording";
    EXPECT_DOUBLE_EQ(25.0 * 512 * 8, bitRate);
    ASSERT_NO_FATAL_FAILURE(Run());
    ASSERT_EQ(S_OK, SeekGroup(0));
    ASSERT_EQ(S_OK, SetRate(1.0));
    ASSERT_TRUE(WaitForMore(0, 4)) << Text(RenderedFrames());
    m_Graph.DrainEvents();
}

void ArchiveStoreFixture::ExpectQuickStop(const char* state)
{
    m_Graph.DrainEvents();
    const int before = m_Graph.CountEvents(EC_V77_SEGMENT_END);
    const ULONGLONG begin = NowMs();
    ASSERT_TRUE(FinishesWithin(5000, [&] { m_Graph.Stop(); })) << state << ": Stop hung";
    const ULONGLONG took = NowMs() - begin;
    EXPECT_LT(took, 1000u) << state << ": Stop took " << took << " ms";
    Sleep(100);
    m_Graph.DrainEvents();
    EXPECT_EQ(before, m_Graph.CountEvents(EC_V77_SEGMENT_END)) << state << ": Stop raised 0x8005";
}

void ArchiveStoreFixture::ExpectStopReleasesAWaitingSeek(DWORD settleMs, const char* state)
{
    IV77DsBuffer* control = Control();
    auto returned = std::make_shared<std::atomic<bool>>(false);
    std::thread seek([control, returned] {
        REFERENCE_TIME position = T(20);
        control->SetGroupPositions(&position, nullptr, nullptr);
        *returned = true;
    });
    Sleep(settleMs);
    ExpectQuickStop(state);
    if (WaitUntil([&] { return returned->load(); }, 2000)) {
        seek.join();
    } else {
        ADD_FAILURE() << state << ": Stop did not release the waiting seek";
        seek.detach();
    }
}

void ArchiveStoreFixture::ExpectStep(const std::vector<int>& frames, int step, const char* what)
{
    for (size_t i = 1; i < frames.size(); ++i)
        ASSERT_EQ(frames[i - 1] + step, frames[i]) << what << " at " << i << ":" << Text(frames);
}

std::string ArchiveStoreFixture::Text(const std::vector<int>& frames)
{
    std::string text;
    for (int f : frames)
        text += " " + std::to_string(f);
    return text;
}
