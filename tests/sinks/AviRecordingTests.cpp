// A recording of real MPEG-4 video: the frames of an ffmpeg-made DX50 AVI
// (read with AVIFile, a key frame every 12) are pushed from frame 5 on; the
// renderer must drop 5..11 and write 12..59 unchanged with their key flags.
// The native step after this suite judges recorded.avi with ffprobe/ffmpeg.
//
// Wine's AVIFile reads only the first frame of ffmpeg's file as a key frame
// (its key flags come from the OpenDML index), so the input's key frames are
// the known spacing, checked against each frame's VOP coding type.
#include <gtest/gtest.h>

#include "tests/kit/CComInit.h"
#include "tests/sinks/AviTestSupport.h"

namespace {

constexpr size_t kFirstPushed = 5, kFirstKey = 12, kKeySpacing = 12;

// The coding type of the first VOP (00 00 01 B6) of an MPEG-4 Part 2 frame:
// 0 intra, 1 predicted, 2 bidirectional, 3 sprite; -1 without a VOP.
int VopCodingType(const std::vector<BYTE>& f)
{
    for (size_t i = 0; i + 4 < f.size(); ++i)
        if (f[i] == 0 && f[i + 1] == 0 && f[i + 2] == 1 && f[i + 3] == 0xB6)
            return f[i + 4] >> 6;
    return -1;
}

TEST(AviRecording, RecordsAnFfmpegStreamFromItsFirstKeyFramePacketForPacket)
{
    CComInit com;
    AviContents in = ReadAvi(DataPath(L"dx50.avi"));
    ASSERT_EQ(S_OK, in.hr) << "ffmpeg's dx50.avi is missing";
    ASSERT_EQ(60u, in.frames.size());
    ASSERT_GE(in.format.size(), sizeof(BITMAPINFOHEADER));
    for (size_t i = 0; i < in.frames.size(); ++i) {
        in.frames[i].key = i % kKeySpacing == 0;
        ASSERT_EQ(in.frames[i].key ? 0 : 1, VopCodingType(in.frames[i].bytes)) << "input frame " << i;
    }
    const REFERENCE_TIME frameTime = 10000000LL * in.info.dwScale / in.info.dwRate;
    ASSERT_EQ(400000, frameTime);

    AviGraph g;
    ASSERT_EQ(S_OK, g.Connect(MakeDx50Type(0, 0, frameTime, 65536, in.format)));
    ASSERT_EQ(S_OK, g.Renderer()->SetFileName(DataPath(L"recorded.avi").c_str(), L"DX50 camera"));
    ASSERT_TRUE(SUCCEEDED(g.Run()));
    for (size_t i = kFirstPushed; i < in.frames.size(); ++i)
        ASSERT_EQ(S_OK, g.Push(in.frames[i].bytes, in.frames[i].key)) << "frame " << i;
    ASSERT_EQ(S_OK, g.EndOfStream());
    ASSERT_TRUE(g.Graph().WaitForEvent(EC_COMPLETE, 5000));

    AviContents out = ReadAvi(DataPath(L"recorded.avi"));
    ASSERT_EQ(S_OK, out.hr);
    ASSERT_EQ(in.frames.size() - kFirstKey, out.frames.size());
    for (size_t i = 0; i < out.frames.size(); ++i) {
        EXPECT_EQ(in.frames[kFirstKey + i].key, out.frames[i].key) << "frame " << i;
        EXPECT_EQ(in.frames[kFirstKey + i].bytes, out.frames[i].bytes) << "frame " << i;
    }
    EXPECT_EQ(MAKEFOURCC('D', 'X', '5', '0'), out.info.fccHandler);
    EXPECT_EQ(176, out.info.rcFrame.right);
    EXPECT_EQ(144, out.info.rcFrame.bottom);
}

} // namespace
