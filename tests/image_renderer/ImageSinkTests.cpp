// The image sink component of V77Components.dll behind the image renderer:
// a raw file of the frames back to back, the last N kept in memory, and the
// bad paths (a file it cannot create, samples larger than negotiated).
#include "tests/image_renderer/ImageRendererFixture.h"

#include <fstream>
#include <iterator>
#include <string>

#include "tests/kit/TestMediaTypes.h"
#include "tests/kit/TestWait.h"
#include "v77/IV77ImageSinkComponent.h"

namespace {

ComPtr<IV77ImageSinkSetup> NewImageSink()
{
    ComPtr<IV77ImageSinkSetup> sink;
    EXPECT_EQ(S_OK, CoCreateInstance(CLSID_V77ImageSink, nullptr, CLSCTX_INPROC_SERVER, IID_IV77ImageSinkSetup,
                                     reinterpret_cast<void**>(sink.GetAddressOf())));
    return sink;
}

std::string TempFile(const char* name)
{
    char dir[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, dir);
    return std::string(dir) + name;
}

std::wstring Wide(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

}  // namespace

// After a name it cannot create, 6 frames of 200 bytes, larger than the 64
// bytes negotiated but within the host's 256-byte items, reach the file whole
// and in order; the last 3 stay in memory with their media times.
TEST_F(ImageRendererFixture, ImageSinkWritesEveryFrameAndKeepsTheLast)
{
    ComPtr<IV77ImageSinkSetup> sink = NewImageSink();
    ASSERT_TRUE(sink);
    // A file that cannot be created is reported; the next name is taken.
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND),
              sink->SetFile(Wide(TempFile("v77-no-such-folder\\frames.raw")).c_str()));
    EXPECT_EQ(E_POINTER, sink->Deliver(nullptr));
    const std::string path = TempFile("v77-image-sink.raw");
    ASSERT_EQ(S_OK, sink->SetFile(Wide(path).c_str()));
    ASSERT_EQ(S_OK, sink->SetKeepCount(3));

    ComPtr<IBaseFilter> renderer = NewRenderer(NewPool(256, 8).Get());
    ASSERT_EQ(S_OK, Control(renderer.Get())->SetSink(sink.Get(), 0));
    TestSourceConfig config;
    config.mediaType = MakeTestVideoType(4, 4);
    config.frameCount = 6;
    config.frameBytes = 200;
    config.bufferSize = 200;
    config.mediaTimes = false;
    ComPtr<IBaseFilter> source = NewSource(config);
    ASSERT_EQ(S_OK, m_Graph.ConnectFilters(source.Get(), renderer.Get()));
    ASSERT_EQ(S_OK, m_Graph.RunAndWait());
    DWORD frames = 0;
    ASSERT_TRUE(WaitUntil([&] { return SUCCEEDED(sink->GetFrameCount(&frames)) && frames == 6; }, kWaitMs));
    ASSERT_EQ(S_OK, m_Graph.StopAndWait());
    ASSERT_EQ(S_OK, sink->SetFile(nullptr));

    std::ifstream file(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ASSERT_EQ(6u * 200u, bytes.size());
    for (int frame = 0; frame < 6; ++frame) {
        for (LONG i = 0; i < 200; ++i)
            ASSERT_EQ(TestFrameByte(frame, i), static_cast<BYTE>(bytes[frame * 200 + i])) << frame << " " << i;
    }
    file.close();
    DeleteFileA(path.c_str());

    BYTE kept[200] = {};
    DWORD length = 0;
    REFERENCE_TIME mediaStart = -1;
    for (DWORD index = 0; index < 3; ++index) {
        ASSERT_EQ(S_OK, sink->GetKeptFrame(index, kept, sizeof kept, &length, &mediaStart));
        const int frame = 5 - static_cast<int>(index);
        EXPECT_EQ(200u, length);
        EXPECT_EQ(TestFrameByte(frame, 199), kept[199]);
        EXPECT_EQ(frame * config.frameDuration, mediaStart);
    }
    EXPECT_EQ(E_INVALIDARG, sink->GetKeptFrame(3, kept, sizeof kept, &length, nullptr));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER), sink->GetKeptFrame(0, kept, 10, &length, nullptr));
    EXPECT_EQ(200u, length);
    ASSERT_EQ(S_OK, sink->SetKeepCount(0));
    EXPECT_EQ(E_INVALIDARG, sink->GetKeptFrame(0, kept, sizeof kept, &length, nullptr));
}
