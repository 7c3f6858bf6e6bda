// The media-type helpers over every format kind they meet.
#include "companions/V77Media/V77Media.h"

#include <amvideo.h>
#include <dvdmedia.h>
#include <mmreg.h>
#include <uuids.h>

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr DWORD FourCC(const char (&code)[5])
{
    return static_cast<DWORD>(static_cast<BYTE>(code[0])) | (static_cast<DWORD>(static_cast<BYTE>(code[1])) << 8) |
           (static_cast<DWORD>(static_cast<BYTE>(code[2])) << 16) |
           (static_cast<DWORD>(static_cast<BYTE>(code[3])) << 24);
}

BITMAPINFOHEADER Bitmap(LONG width, LONG height, WORD bits, DWORD compression, DWORD sizeImage = 0)
{
    BITMAPINFOHEADER bih = {};
    bih.biSize = sizeof bih;
    bih.biWidth = width;
    bih.biHeight = height;
    bih.biPlanes = 1;
    bih.biBitCount = bits;
    bih.biCompression = compression;
    bih.biSizeImage = sizeImage;
    return bih;
}

// A media type whose format block is a copy of the given bytes (cut to length).
template <typename Format>
CMediaType TypeWith(const GUID& major, const GUID& formatType, const Format& format, ULONG length = sizeof(Format))
{
    CMediaType mt(&major);
    mt.SetFormatType(&formatType);
    EXPECT_TRUE(mt.SetFormat(reinterpret_cast<const BYTE*>(&format), length));
    return mt;
}

CMediaType Vih(const BITMAPINFOHEADER& bih, REFERENCE_TIME frame, ULONG length = sizeof(VIDEOINFOHEADER))
{
    VIDEOINFOHEADER vih = {};
    vih.AvgTimePerFrame = frame;
    vih.bmiHeader = bih;
    return TypeWith(MEDIATYPE_Video, FORMAT_VideoInfo, vih, length);
}

CMediaType Vih2(const BITMAPINFOHEADER& bih, REFERENCE_TIME frame, DWORD interlace = 0,
                ULONG length = sizeof(VIDEOINFOHEADER2))
{
    VIDEOINFOHEADER2 vih = {};
    vih.AvgTimePerFrame = frame;
    vih.dwInterlaceFlags = interlace;
    vih.bmiHeader = bih;
    return TypeWith(MEDIATYPE_Video, FORMAT_VideoInfo2, vih, length);
}

CMediaType Mpeg2(const BITMAPINFOHEADER& bih, REFERENCE_TIME frame, DWORD interlace = 0)
{
    MPEG2VIDEOINFO info = {};
    info.hdr.AvgTimePerFrame = frame;
    info.hdr.dwInterlaceFlags = interlace;
    info.hdr.bmiHeader = bih;
    return TypeWith(MEDIATYPE_Video, FORMAT_MPEG2Video, info);
}

CMediaType Wave()
{
    WAVEFORMATEX wfx = {};
    wfx.wFormatTag = WAVE_FORMAT_PCM;
    wfx.nChannels = 1;
    wfx.nSamplesPerSec = 8000;
    wfx.wBitsPerSample = 16;
    wfx.nBlockAlign = 2;
    wfx.nAvgBytesPerSec = 16000;
    return TypeWith(MEDIATYPE_Audio, FORMAT_WaveFormatEx, wfx);
}

TEST(BitmapInfoHeaderAndFrameTime, FoundInEveryVideoFormatAndWritable)
{
    const BITMAPINFOHEADER bih = Bitmap(640, 480, 24, BI_RGB);
    CMediaType vih = Vih(bih, 333333);
    CMediaType vih2 = Vih2(bih, 400000);
    CMediaType mpeg2 = Mpeg2(bih, 200000);
    for (CMediaType* mt : {&vih, &vih2, &mpeg2}) {
        REFERENCE_TIME* frame = GetAvgTimePerFrameFromMediaType(*mt);
        ASSERT_NE(nullptr, frame);
        EXPECT_EQ(mt == &vih ? 333333 : (mt == &vih2 ? 400000 : 200000), *frame);
        *frame = 1;
        EXPECT_EQ(1, reinterpret_cast<VIDEOINFOHEADER*>(mt->Format())->AvgTimePerFrame);
        BITMAPINFOHEADER* found = GetBitmapInfoHeaderFromMediaType(*mt);
        ASSERT_NE(nullptr, found);
        EXPECT_EQ(640, found->biWidth);
        EXPECT_EQ(480, found->biHeight);
        // It points into the format block: a write changes the media type.
        found->biWidth = 320;
        EXPECT_EQ(320, GetBitmapInfoHeaderFromMediaType(*mt)->biWidth);
        EXPECT_GE(reinterpret_cast<BYTE*>(found), mt->Format());
        EXPECT_LE(reinterpret_cast<BYTE*>(found + 1), mt->Format() + mt->FormatLength());
    }
    EXPECT_EQ(vih.Format() + 48, reinterpret_cast<BYTE*>(GetBitmapInfoHeaderFromMediaType(vih)));
    EXPECT_EQ(vih2.Format() + 72, reinterpret_cast<BYTE*>(GetBitmapInfoHeaderFromMediaType(vih2)));
}

TEST(BitmapInfoHeaderAndFrameTime, AbsentForAudioMissingOrShortFormats)
{
    const BITMAPINFOHEADER bih = Bitmap(64, 64, 32, BI_RGB);
    CMediaType none(&MEDIATYPE_Video);
    none.SetFormatType(&FORMAT_VideoInfo);
    EXPECT_EQ(nullptr, GetBitmapInfoHeaderFromMediaType(none));
    EXPECT_EQ(nullptr, GetBitmapInfoHeaderFromMediaType(Wave()));
    EXPECT_EQ(nullptr, GetBitmapInfoHeaderFromMediaType(Vih(bih, 0, sizeof(VIDEOINFOHEADER) - 1)));
    EXPECT_EQ(nullptr, GetBitmapInfoHeaderFromMediaType(Vih2(bih, 0, 0, sizeof(VIDEOINFOHEADER) + 8)));
    EXPECT_EQ(0u, GetBitmapSizeFromMediaType(none));
    EXPECT_EQ(0u, GetBitmapSizeFromMediaType(Wave()));
    EXPECT_EQ(nullptr, GetAvgTimePerFrameFromMediaType(Wave()));
    EXPECT_EQ(nullptr, GetAvgTimePerFrameFromMediaType(Vih(bih, 5, 40)));

    // A format type the block does not match is not trusted either.
    VIDEOINFOHEADER vih = {};
    vih.bmiHeader = bih;
    EXPECT_EQ(nullptr, GetBitmapInfoHeaderFromMediaType(TypeWith(MEDIATYPE_Video, FORMAT_WaveFormatEx, vih)));
}

TEST(BitmapSize, FollowsTheLayoutOfEachFormat)
{
    // RGB rows are padded to four bytes; the height's sign does not matter.
    EXPECT_EQ(12u * 2, GetBitmapSizeFromBitmapInfoHeader(Bitmap(3, 2, 24, BI_RGB)));
    EXPECT_EQ(640u * 3 * 480, GetBitmapSizeFromBitmapInfoHeader(Bitmap(640, -480, 24, BI_RGB)));
    EXPECT_EQ(4u * 5 * 7, GetBitmapSizeFromBitmapInfoHeader(Bitmap(5, 7, 32, BI_RGB)));
    EXPECT_EQ(8u * 3, GetBitmapSizeFromBitmapInfoHeader(Bitmap(3, 3, 16, BI_BITFIELDS)));
    // Planar 4:2:0 and packed 4:2:2.
    EXPECT_EQ(352u * 288 * 3 / 2, GetBitmapSizeFromBitmapInfoHeader(Bitmap(352, 288, 12, FourCC("YV12"))));
    EXPECT_EQ(352u * 288 * 3 / 2, GetBitmapSizeFromBitmapInfoHeader(Bitmap(352, 288, 12, FourCC("I420"))));
    EXPECT_EQ(720u * 2 * 576, GetBitmapSizeFromBitmapInfoHeader(Bitmap(720, 576, 16, FourCC("YUY2"))));
    // Compressed: the header's own size, else an RGB image as an upper bound.
    EXPECT_EQ(12345u, GetBitmapSizeFromBitmapInfoHeader(Bitmap(720, 576, 24, FourCC("DX50"), 12345)));
    EXPECT_EQ(720u * 3 * 576, GetBitmapSizeFromBitmapInfoHeader(Bitmap(720, 576, 0, FourCC("H264"))));
    // Sizes beyond a DWORD are refused, not wrapped.
    EXPECT_EQ(0u, GetBitmapSizeFromBitmapInfoHeader(Bitmap(0x7FFFFFFF, 0x7FFFFFFF, 32, BI_RGB)));

    EXPECT_EQ(640u * 3 * 480, GetBitmapSizeFromMediaType(Vih(Bitmap(640, 480, 24, BI_RGB), 0)));
    EXPECT_EQ(64u * 2 * 48, GetBitmapSizeFromMediaType(Vih2(Bitmap(64, 48, 16, FourCC("YUY2")), 0)));
    EXPECT_EQ(999u, GetBitmapSizeFromMediaType(Mpeg2(Bitmap(64, 48, 0, FourCC("H264"), 999), 0)));
}

TEST(Interlace, OnlyVideoInfo2CanSayInterlaced)
{
    const BITMAPINFOHEADER bih = Bitmap(720, 576, 16, FourCC("YUY2"));
    EXPECT_EQ(S_OK, IsMediaTypeInterlaced(Vih2(bih, 0, AMINTERLACE_IsInterlaced | AMINTERLACE_FieldPatBothRegular)));
    EXPECT_EQ(S_FALSE, IsMediaTypeInterlaced(Vih2(bih, 0, AMINTERLACE_FieldPatBothRegular)));
    EXPECT_EQ(S_OK, IsMediaTypeInterlaced(Mpeg2(bih, 0, AMINTERLACE_IsInterlaced)));
    EXPECT_EQ(S_FALSE, IsMediaTypeInterlaced(Vih(bih, 0)));
    EXPECT_EQ(E_INVALIDARG, IsMediaTypeInterlaced(Wave()));
    EXPECT_EQ(E_INVALIDARG, IsMediaTypeInterlaced(Vih2(bih, 0, AMINTERLACE_IsInterlaced, 60)));
    CMediaType none(&MEDIATYPE_Video);
    EXPECT_EQ(E_POINTER, IsMediaTypeInterlaced(none));
}

SOURCE_INFORMATION Record(LONG width, LONG height, DWORD compression, WORD bits, LONGLONG frame = 400000)
{
    SOURCE_INFORMATION info = {};
    info.AvgTimePerFrame = frame;
    info.Width = width;
    info.Height = height;
    info.Compression = compression;
    info.BitCount = bits;
    return info;
}

const VIDEOINFOHEADER2& Vih2Of(const CMediaType& mt)
{
    return *reinterpret_cast<const VIDEOINFOHEADER2*>(mt.Format());
}

TEST(SourceInformation, UncompressedRgbRecords)
{
    struct Case {
        WORD bits;
        DWORD compression;
        const GUID* subtype;
    } cases[] = {
        {24, BI_RGB, &MEDIASUBTYPE_RGB24},
        {32, BI_RGB, &MEDIASUBTYPE_RGB32},
        {16, BI_RGB, &MEDIASUBTYPE_RGB555},
        {16, BI_BITFIELDS, &MEDIASUBTYPE_RGB565},
    };
    for (const Case& c : cases) {
        CMediaType mt = GetMediaTypeFromSourceInformation(Record(321, -240, c.compression, c.bits, 666666));
        EXPECT_EQ(MEDIATYPE_Video, *mt.Type());
        EXPECT_EQ(*c.subtype, *mt.Subtype()) << c.bits;
        EXPECT_EQ(FORMAT_VideoInfo2, *mt.FormatType());
        ASSERT_GE(mt.FormatLength(), sizeof(VIDEOINFOHEADER2));
        const BITMAPINFOHEADER& bih = Vih2Of(mt).bmiHeader;
        EXPECT_EQ(321, bih.biWidth);
        EXPECT_EQ(240, bih.biHeight);  // bottom-up
        EXPECT_EQ(c.bits, bih.biBitCount);
        EXPECT_EQ(c.compression, bih.biCompression);
        EXPECT_EQ(GetBitmapSizeFromBitmapInfoHeader(bih), bih.biSizeImage);
        EXPECT_EQ(666666, Vih2Of(mt).AvgTimePerFrame);
        EXPECT_EQ(bih.biSizeImage, mt.GetSampleSize());
        EXPECT_FALSE(mt.IsTemporalCompressed());
    }
    // BI_BITFIELDS carries its masks behind the header.
    CMediaType rgb565 = GetMediaTypeFromSourceInformation(Record(16, 16, BI_BITFIELDS, 16));
    ASSERT_EQ(sizeof(VIDEOINFOHEADER2) + 12, rgb565.FormatLength());
    const DWORD* masks = reinterpret_cast<const DWORD*>(rgb565.Format() + sizeof(VIDEOINFOHEADER2));
    EXPECT_EQ(0xF800u, masks[0]);
    EXPECT_EQ(0x07E0u, masks[1]);
    EXPECT_EQ(0x001Fu, masks[2]);
}

TEST(SourceInformation, FourccRecords)
{
    CMediaType yuy2 = GetMediaTypeFromSourceInformation(Record(720, 576, FourCC("YUY2"), 0));
    EXPECT_EQ(MEDIASUBTYPE_YUY2, *yuy2.Subtype());
    EXPECT_EQ(16, Vih2Of(yuy2).bmiHeader.biBitCount);
    EXPECT_EQ(720u * 576 * 2, Vih2Of(yuy2).bmiHeader.biSizeImage);
    EXPECT_EQ(576, Vih2Of(yuy2).bmiHeader.biHeight);

    CMediaType dx50 = GetMediaTypeFromSourceInformation(Record(704, 576, FourCC("DX50"), 24, 400000));
    EXPECT_EQ(MEDIATYPE_Video, *dx50.Type());
    GUID expected = MEDIASUBTYPE_PCM;
    expected.Data1 = 0x30355844;
    EXPECT_EQ(expected, *dx50.Subtype());
    EXPECT_EQ(FourCC("DX50"), Vih2Of(dx50).bmiHeader.biCompression);
    EXPECT_EQ(400000, *GetAvgTimePerFrameFromMediaType(dx50));
    EXPECT_TRUE(dx50.IsTemporalCompressed());
    EXPECT_FALSE(dx50.IsFixedSize());
    EXPECT_NE(nullptr, GetBitmapInfoHeaderFromMediaType(dx50));
    EXPECT_FALSE(GetMediaTypeFromSourceInformation(SOURCE_INFORMATION{}).IsValid()) << "an empty record";
}

TEST(SourceInformation, AudioRecordsGiveWaveFormats)
{
    SOURCE_INFORMATION info = {};
    info.AvgTimePerFrame = 10000000 / 8000;
    info.Parameter = 8000;
    info.Compression = WAVE_FORMAT_PCM;
    info.BitCount = 16;
    CMediaType mt = GetMediaTypeFromSourceInformation(info);
    EXPECT_EQ(MEDIATYPE_Audio, *mt.Type());
    EXPECT_EQ(MEDIASUBTYPE_PCM, *mt.Subtype());
    ASSERT_EQ(FORMAT_WaveFormatEx, *mt.FormatType());
    ASSERT_GE(mt.FormatLength(), sizeof(WAVEFORMATEX));
    const auto& wfx = *reinterpret_cast<const WAVEFORMATEX*>(mt.Format());
    EXPECT_EQ(WAVE_FORMAT_PCM, wfx.wFormatTag);
    EXPECT_EQ(1, wfx.nChannels);
    EXPECT_EQ(8000u, wfx.nSamplesPerSec);
    EXPECT_EQ(16, wfx.wBitsPerSample);
    EXPECT_EQ(2, wfx.nBlockAlign);
    EXPECT_EQ(16000u, wfx.nAvgBytesPerSec);
    EXPECT_EQ(nullptr, GetBitmapInfoHeaderFromMediaType(mt));

    // Stereo, and a rate taken from the frame time when Parameter is 0.
    info.Width = 2;
    info.Parameter = 0;
    info.AvgTimePerFrame = 10000000 / 44100;
    CMediaType stereo = GetMediaTypeFromSourceInformation(info);
    const auto& wfx2 = *reinterpret_cast<const WAVEFORMATEX*>(stereo.Format());
    EXPECT_EQ(2, wfx2.nChannels);
    EXPECT_EQ(10000000u / 226u, wfx2.nSamplesPerSec);
    EXPECT_EQ(4, wfx2.nBlockAlign);
}

}  // namespace
