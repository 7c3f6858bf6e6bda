// The AVI file renderer's rules: key-frame gating, numbering across stops and
// files, the stream header, and what bad names, a full disk, a failed stream
// and oversized samples do.
#include <gtest/gtest.h>

#include "tests/kit/CComInit.h"
#include "tests/sinks/AviTestSupport.h"
#include "tests/sinks/CFailingAviHandler.h"

namespace {

class AviRenderer : public ::testing::Test {
protected:
    static std::vector<BYTE> Frame(BYTE tag, size_t bytes = 100) { return std::vector<BYTE>(bytes, tag); }
    // Tags of the frames in a file, with '*' after each key frame.
    static std::string Describe(const AviContents& c)
    {
        std::string s;
        for (const AviFrame& f : c.frames) {
            s += f.bytes.empty() ? '?' : static_cast<char>(f.bytes[0]);
            if (f.key)
                s += '*';
        }
        return s;
    }
    CComInit m_Com;
};

TEST_F(AviRenderer, FilesStartAtAKeyFrameAndStoppingKeepsThemOpen)
{
    AviGraph g;
    // No connected type yet: no header to build the stream from.
    EXPECT_EQ(E_FAIL, g.Renderer()->SetFileName(DataPath(L"gating.avi").c_str(), L"v"));
    ASSERT_EQ(S_OK, g.Connect(MakeDx50Type(64, 48, 400000)));
    ASSERT_EQ(S_OK, g.Renderer()->SetFileName(DataPath(L"gating.avi").c_str(), L"camera 1"));
    ASSERT_TRUE(SUCCEEDED(g.Run()));
    EXPECT_EQ(S_OK, g.Push(Frame('a'), false));  // before the first key frame: dropped
    EXPECT_EQ(S_OK, g.Push(Frame('b'), false));
    EXPECT_EQ(S_OK, g.Push(Frame('C'), true));
    EXPECT_EQ(S_OK, g.Push(Frame('d'), false));
    EXPECT_EQ(S_OK, g.Push(Frame('E', 3000), true));
    // Stop and run again: the file stays open and numbering goes on.
    ASSERT_EQ(S_OK, g.Graph().StopAndWait());
    ASSERT_TRUE(SUCCEEDED(g.Run()));
    EXPECT_EQ(S_OK, g.Push(Frame('f', 1), false));
    EXPECT_EQ(S_OK, g.EndOfStream());  // closes the file

    AviContents c = ReadAvi(DataPath(L"gating.avi"));
    ASSERT_EQ(S_OK, c.hr);
    EXPECT_EQ("C*dE*f", Describe(c));
    ASSERT_EQ(4u, c.frames.size());
    EXPECT_EQ(3000u, c.frames[2].bytes.size());
    EXPECT_EQ(1u, c.frames[3].bytes.size());
    EXPECT_EQ(streamtypeVIDEO, c.info.fccType);
    EXPECT_EQ(MAKEFOURCC('D', 'X', '5', '0'), c.info.fccHandler);
    EXPECT_EQ(40u, c.info.dwScale);
    EXPECT_EQ(1000u, c.info.dwRate);
    EXPECT_EQ(64, c.info.rcFrame.right);
    EXPECT_EQ(48, c.info.rcFrame.bottom);
    EXPECT_STREQ(L"camera 1", c.info.szName);
    ASSERT_EQ(sizeof(BITMAPINFOHEADER), c.format.size());
}

TEST_F(AviRenderer, ANewNameClosesTheFileAndRestartsAtFrameZero)
{
    AviGraph g;
    // Bottom-up header: the frame rectangle takes the height's absolute value, the format keeps it.
    ASSERT_EQ(S_OK, g.Connect(MakeDx50Type(32, -24, 400000)));
    ASSERT_EQ(S_OK, g.Renderer()->SetFileName(DataPath(L"first.avi").c_str(), nullptr));
    ASSERT_TRUE(SUCCEEDED(g.Run()));
    EXPECT_EQ(S_OK, g.Push(Frame('A'), true));
    EXPECT_EQ(S_OK, g.Push(Frame('b'), false));
    const std::wstring longName(100, L'n');
    ASSERT_EQ(S_OK, g.Renderer()->SetFileName(DataPath(L"second.avi").c_str(), longName.c_str()));
    EXPECT_EQ(S_OK, g.Push(Frame('c'), false));
    EXPECT_EQ(S_OK, g.Push(Frame('D'), true));
    // A null or empty name only closes.
    EXPECT_EQ(S_OK, g.Renderer()->SetFileName(nullptr, nullptr));
    EXPECT_EQ(S_OK, g.Push(Frame('E'), true));
    EXPECT_EQ(S_OK, g.Renderer()->SetFileName(L"", L"x"));

    AviContents first = ReadAvi(DataPath(L"first.avi")), second = ReadAvi(DataPath(L"second.avi"));
    ASSERT_EQ(S_OK, first.hr);
    ASSERT_EQ(S_OK, second.hr);
    EXPECT_EQ("A*b", Describe(first));
    EXPECT_EQ("D*", Describe(second));
    EXPECT_EQ(24, second.info.rcFrame.bottom);
    ASSERT_EQ(sizeof(BITMAPINFOHEADER), second.format.size());
    EXPECT_EQ(-24, reinterpret_cast<const BITMAPINFOHEADER*>(second.format.data())->biHeight);
    EXPECT_EQ(std::wstring(63, L'n'), std::wstring(second.info.szName));
}

TEST_F(AviRenderer, FrameTimesUnderAMillisecondGiveAZeroScaleThatAVIFileRefuses)
{
    for (REFERENCE_TIME frameTime : {REFERENCE_TIME(0), REFERENCE_TIME(9999), REFERENCE_TIME(333667)}) {
        AviGraph g;
        ASSERT_EQ(S_OK, g.Connect(MakeDx50Type(16, 16, frameTime)));
        const std::wstring name = DataPath((L"rate" + std::to_wstring(frameTime) + L".avi").c_str());
        const HRESULT hr = g.Renderer()->SetFileName(name.c_str(), L"r");
        ASSERT_TRUE(SUCCEEDED(g.Run()));
        EXPECT_EQ(S_OK, g.Push(Frame('K'), true));
        EXPECT_EQ(S_OK, g.Push(Frame('p'), false));
        EXPECT_EQ(S_OK, g.EndOfStream());
        AviContents c = ReadAvi(name);
        if (frameTime < 10000) {
            // Scale 0: the stream is refused (Wine: AVIERR_BADFORMAT) and
            // the file stays half-open, so nothing is written.
            EXPECT_EQ(AVIERR_BADFORMAT, hr) << frameTime;
            EXPECT_TRUE(FAILED(c.hr) || c.frames.empty()) << frameTime;
        } else {
            EXPECT_EQ(S_OK, hr);
            ASSERT_EQ(S_OK, c.hr);
            EXPECT_EQ(33u, c.info.dwScale);
            EXPECT_EQ(1000u, c.info.dwRate);
            EXPECT_EQ("K*p", Describe(c));
        }
    }
}

TEST_F(AviRenderer, NamesThatCannotBeWrittenLeaveNoFileOpenAndTheNextNameRecords)
{
    AviGraph g;
    ASSERT_EQ(S_OK, g.Connect(MakeDx50Type(16, 16, 400000)));
    EXPECT_TRUE(FAILED(g.Renderer()->SetFileName(L"Z:\\no\\such\\folder\\x.avi", L"x")));
    // An existing read-only file is neither opened nor changed. (Wine run
    // by root opens read-only files for writing, so a reader that shares
    // no write access keeps it closed to writers as Windows would.)
    const std::wstring readOnly = DataPath(L"readonly.avi");
    SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);
    HANDLE h = CreateFileW(readOnly.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    DWORD written = 0;
    WriteFile(h, "keep", 4, &written, nullptr);
    CloseHandle(h);
    ASSERT_TRUE(SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
    h = CreateFileW(readOnly.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    EXPECT_TRUE(FAILED(g.Renderer()->SetFileName(readOnly.c_str(), L"x")));
    ASSERT_TRUE(SUCCEEDED(g.Run()));
    EXPECT_EQ(S_OK, g.Push(Frame('K'), true));  // closed: written nowhere
    EXPECT_EQ(4u, GetFileSize(h, nullptr));
    CloseHandle(h);
    SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);

    // The .wav handler opens the file but takes no video stream: half open until the next name.
    const HRESULT hr = g.Renderer()->SetFileName(DataPath(L"halfopen.wav").c_str(), L"x");
    EXPECT_TRUE(FAILED(hr)) << std::hex << hr;
    EXPECT_EQ(S_OK, g.Push(Frame('K'), true));  // not written
    ASSERT_EQ(S_OK, g.Renderer()->SetFileName(DataPath(L"afterhalf.avi").c_str(), L"x"));
    EXPECT_EQ(S_OK, g.Push(Frame('L'), true));
    EXPECT_EQ(S_OK, g.EndOfStream());
    EXPECT_EQ("L*", Describe(ReadAvi(DataPath(L"afterhalf.avi"))));
}

TEST_F(AviRenderer, AFullDiskNeitherHangsNorBreaksTheNextFile)
{
    AviGraph g;
    ASSERT_EQ(S_OK, g.Connect(MakeDx50Type(16, 16, 400000, 4096), 200000));
    // /dev/full accepts the open and refuses every byte written (ENOSPC).
    // Wine's AVIFile does not pass that failure on (its writes go through a
    // buffer whose flush result it drops), so every write reports what
    // AVIFile says and the file ends up empty.
    ASSERT_EQ(S_OK, g.Renderer()->SetFileName(L"Z:\\dev\\full", L"full"));
    ASSERT_TRUE(SUCCEEDED(g.Run()));
    const HRESULT first = g.Push(Frame('K', 100000), true);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(first, g.Push(Frame('p', 100000), false));
    EXPECT_EQ(S_OK, g.Renderer()->SetFileName(nullptr, nullptr));
    // The next file is recorded normally.
    ASSERT_EQ(S_OK, g.Renderer()->SetFileName(DataPath(L"afterfull.avi").c_str(), L"x"));
    EXPECT_EQ(S_OK, g.Push(Frame('K'), true));
    EXPECT_EQ(S_OK, g.EndOfStream());
    EXPECT_EQ("K*", Describe(ReadAvi(DataPath(L"afterfull.avi"))));
}

TEST_F(AviRenderer, AFailedWriteStillCountsAsAFrame)
{
    // A file handler of the test's own behind the real AVIFile calls: its
    // second write fails.
    ASSERT_TRUE(failing_avi::Register());
    failing_avi::FailWrites({1});
    AviGraph g;
    ASSERT_EQ(S_OK, g.Connect(MakeDx50Type(16, 16, 400000)));
    ASSERT_EQ(S_OK, g.Renderer()->SetFileName(DataPath(L"handler.vff").c_str(), L"x"));
    ASSERT_TRUE(SUCCEEDED(g.Run()));
    EXPECT_EQ(S_OK, g.Push(Frame('n'), false));  // before the first key frame: no write
    EXPECT_EQ(S_OK, g.Push(Frame('K'), true));
    // The write fails; the renderer base class does not pass a drawing
    // result upstream, so the stream goes on.
    EXPECT_EQ(S_OK, g.Push(Frame('p'), false));
    EXPECT_EQ(S_OK, g.Push(Frame('q'), false));
    // A new file counts from 0 again.
    ASSERT_EQ(S_OK, g.Renderer()->SetFileName(DataPath(L"handler2.vff").c_str(), L"x"));
    EXPECT_EQ(S_OK, g.Push(Frame('L'), true));
    EXPECT_EQ(S_OK, g.Renderer()->SetFileName(nullptr, nullptr));
    g.Graph().StopAndWait();
    failing_avi::Unregister();
    const auto writes = failing_avi::Writes();
    ASSERT_EQ(4u, writes.size());
    EXPECT_EQ(0, writes[0].position);
    EXPECT_TRUE(writes[0].key);
    EXPECT_EQ(1, writes[1].position);
    EXPECT_TRUE(writes[1].failed);
    EXPECT_EQ(2, writes[2].position);  // the failed frame kept its position
    EXPECT_FALSE(writes[2].key);
    EXPECT_EQ(0, writes[3].position);
}

TEST_F(AviRenderer, SamplesLargerThanTheNegotiatedSizeAreWrittenWhole)
{
    AviGraph g;
    // The type announces 1,000-byte samples; the source's buffers hold 200,000.
    ASSERT_EQ(S_OK, g.Connect(MakeDx50Type(16, 16, 400000, 1000), 200000));
    ASSERT_EQ(S_OK, g.Renderer()->SetFileName(DataPath(L"oversized.avi").c_str(), L"x"));
    ASSERT_TRUE(SUCCEEDED(g.Run()));
    std::vector<BYTE> big(150000);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<BYTE>('A' + i % 26);
    EXPECT_EQ(S_OK, g.Push(big, true));
    EXPECT_EQ(S_OK, g.Push(Frame('s', 0), false));  // an empty frame is a frame too
    EXPECT_EQ(S_OK, g.EndOfStream());
    AviContents c = ReadAvi(DataPath(L"oversized.avi"));
    ASSERT_EQ(S_OK, c.hr);
    ASSERT_EQ(2u, c.frames.size());
    EXPECT_EQ(big, c.frames[0].bytes);
    EXPECT_TRUE(c.frames[0].key);
    EXPECT_EQ(0u, c.frames[1].bytes.size());
}

} // namespace
