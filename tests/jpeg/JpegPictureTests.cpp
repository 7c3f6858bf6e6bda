// What the JPEG renderer's pictures hold: the frame the right way up at the
// host's size, grey or colour, the comment, the quality, and what happens
// with buffers that are too small and before there is anything to encode.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tests/display/CTestDibDc.h"
#include "tests/jpeg/JpegFixture.h"
#include "v77/V77Guids.h"

using Microsoft::WRL::ComPtr;

namespace {

// The native check decodes one of our JPEGs with libjpeg-turbo's djpeg.
void WriteForNativeCheck(const Bytes& jpeg)
{
    const char* path = std::getenv("V77_JPEG_OUT");
    if (!path || !*path)
        return;
    FILE* file = std::fopen(path, "wb");
    ASSERT_NE(nullptr, file) << path;
    const size_t written = std::fwrite(jpeg.data(), 1, jpeg.size(), file);
    EXPECT_EQ(0, std::fclose(file));
    ASSERT_EQ(jpeg.size(), written) << path;
}

using JpegPictures = JpegFixture;

// ---- orientation and fidelity ----

TEST_F(JpegPictures, EveryInputLayoutComesOutUprightAndAlikeFromBothPaths)
{
    const TestPicture picture = NaturalPicture(kWidth, kHeight);
    const struct {
        const GUID* subtype;
        bool topDown;
        const char* name;
    } layouts[] = {{&MEDIASUBTYPE_RGB24, false, "RGB24 bottom-up"}, {&MEDIASUBTYPE_RGB24, true, "RGB24 top-down"},
                   {&MEDIASUBTYPE_YUY2, false, "YUY2"}, {&MEDIASUBTYPE_YV12, false, "YV12"},
                   {&MEDIASUBTYPE_I420, false, "I420"}};
    for (const auto& layout : layouts) {
        SCOPED_TRACE(layout.name);
        CJpegRendererGraph graph;
        ASSERT_EQ(S_OK, graph.Start(*layout.subtype, kWidth, kHeight, layout.topDown));
        ASSERT_EQ(S_OK, graph.Push(picture));
        ASSERT_EQ(S_OK, graph.Jpeg()->SetQuality(75));
        Bytes buffer(1u << 20);
        DWORD size = static_cast<DWORD>(buffer.size());
        ASSERT_EQ(S_OK, graph.Jpeg()->EncodeToBuffer(nullptr, buffer.data(), &size));
        buffer.resize(size);
        ComPtr<IMediaSample> sample;
        ASSERT_EQ(S_OK, graph.Jpeg()->GetJpegSample(nullptr, sample.GetAddressOf()));
        const Bytes pooled = SampleBytes(sample.Get());
        EXPECT_EQ(buffer, pooled) << "both paths encode alike";
        const WicDecodedImage d = Decode(pooled);
        ASSERT_EQ(static_cast<UINT>(kWidth), d.width);
        ASSERT_EQ(static_cast<UINT>(kHeight), d.height);
        EXPECT_EQ(3u, d.channels);
        EXPECT_GT(PsnrAgainst(d, picture), 30.0);
        // The comparison tells the two orientations apart.
        EXPECT_LT(PsnrAgainst(d, Flipped(picture)), 20.0);
        if (*layout.subtype == MEDIASUBTYPE_RGB24 && !layout.topDown)
            WriteForNativeCheck(pooled);
    }
}

TEST_F(JpegPictures, TheLastPictureIsKeptAfterStop)
{
    const TestPicture picture = Quadrants(kWidth, kHeight);
    ASSERT_NO_FATAL_FAILURE(StartWith(MEDIASUBTYPE_RGB24, picture));
    ASSERT_EQ(S_OK, m_Graph.Graph().StopAndWait());
    EXPECT_EQ("", QuadrantMismatch(Decode(JpegSample())));
}

// ---- picture size ----

TEST_F(JpegPictures, TheTargetRectangleSetsThePictureSize)
{
    ASSERT_NO_FATAL_FAILURE(StartWith(MEDIASUBTYPE_RGB24, Quadrants(kWidth, kHeight)));
    const RECT target = {0, 0, 97, 61};
    ASSERT_EQ(S_OK, m_Graph.Dx()->SetRects(&target, nullptr, &target));
    // There is no window: SetWindow changes nothing, whatever it is given.
    EXPECT_EQ(S_OK, m_Graph.Dx()->SetWindow(reinterpret_cast<HWND>(static_cast<LONG_PTR>(0x1234))));
    // The frame on screen survives the rebuild of the bitmaps.
    WicDecodedImage d = Decode(EncodeToBuffer());
    ASSERT_EQ(97u, d.width);
    ASSERT_EQ(61u, d.height);
    EXPECT_EQ("", QuadrantMismatch(d));
    d = Decode(JpegSample());
    ASSERT_EQ(97u, d.width);
    ASSERT_EQ(61u, d.height);
    EXPECT_EQ("", QuadrantMismatch(d));
}

// ---- grey ----

TEST_F(JpegPictures, GreyPicturesHaveOneComponentAndTheFramesLuma)
{
    const TestPicture picture = NaturalPicture(kWidth, kHeight);
    ASSERT_NO_FATAL_FAILURE(StartWith(MEDIASUBTYPE_RGB24, picture));
    ASSERT_EQ(S_OK, Jpeg()->SetQuality(75));
    ASSERT_EQ(S_OK, Jpeg()->SetColor(FALSE));
    const Bytes grey = EncodeToBuffer();
    EXPECT_EQ(1, FrameComponents(grey));
    const WicDecodedImage d = Decode(grey);
    EXPECT_EQ(1u, d.channels);
    EXPECT_GT(PsnrAgainst(d, Luma(picture)), 30.0);
    EXPECT_EQ(grey, JpegSample()) << "both paths encode alike";

    ASSERT_EQ(S_OK, Jpeg()->SetColor(TRUE));
    const Bytes colour = EncodeToBuffer();
    EXPECT_EQ(3, FrameComponents(colour));
    // 4:2:0: luma sampled 2x2, both chroma components 1x1.
    Bytes sof;
    ASSERT_TRUE(FindSegment(colour, 0xC0, &sof));
    ASSERT_EQ(6u + 3 * 3, sof.size());
    EXPECT_EQ(0x22, sof[7]);
    EXPECT_EQ(0x11, sof[10]);
    EXPECT_EQ(0x11, sof[13]);
}

// ---- comment ----

TEST_F(JpegPictures, TheCommentIsTheBstrsBytesAndAnEmptyOneIsOneZeroByte)
{
    ASSERT_NO_FATAL_FAILURE(StartWith(MEDIASUBTYPE_RGB24, NaturalPicture(kWidth, kHeight)));
    CBstr wide(SysAllocString(L"camera 7, gate"));
    Bytes payload;
    ASSERT_TRUE(FindSegment(EncodeToBuffer(wide.Get()), 0xFE, &payload));
    ASSERT_EQ(SysStringByteLen(wide.Get()), payload.size());
    EXPECT_EQ(0, memcmp(payload.data(), wide.Get(), payload.size()));

    // A byte string BSTR goes in as it is, through a pool sample too.
    CBstr narrow(SysAllocStringByteLen("lobby", 5));
    ASSERT_TRUE(FindSegment(JpegSample(narrow.Get()), 0xFE, &payload));
    EXPECT_EQ(Bytes({'l', 'o', 'b', 'b', 'y'}), payload);

    CBstr empty(SysAllocString(L""));
    for (BSTR comment : {static_cast<BSTR>(nullptr), empty.Get()}) {
        ASSERT_TRUE(FindSegment(EncodeToBuffer(comment), 0xFE, &payload));
        EXPECT_EQ(Bytes({0}), payload);
        ASSERT_TRUE(FindSegment(JpegSample(comment), 0xFE, &payload));
        EXPECT_EQ(Bytes({0}), payload);
    }
}

// ---- quality ----

TEST_F(JpegPictures, QualityStartsAtFiftyAndIsClampedToOneAndAHundred)
{
    ASSERT_NO_FATAL_FAILURE(StartWith(MEDIASUBTYPE_RGB24, NaturalPicture(kWidth, kHeight)));
    const Bytes initial = EncodeToBuffer();
    const auto at = [this](long quality) {
        EXPECT_EQ(S_OK, Jpeg()->SetQuality(quality));
        return EncodeToBuffer();
    };
    const Bytes q50 = at(50);
    EXPECT_EQ(initial, q50);
    EXPECT_NE(initial, at(51));
    const Bytes q1 = at(1), q0 = at(0), qNegative = at(-40);
    const Bytes q100 = at(100), q250 = at(250);
    ASSERT_FALSE(q1.empty());
    ASSERT_FALSE(q100.empty());
    EXPECT_EQ(q1, q0);
    EXPECT_EQ(q1, qNegative);
    EXPECT_EQ(q100, q250);
    EXPECT_LT(q1.size(), q50.size());
    EXPECT_LT(q50.size(), q100.size());
    // At 100 every quantiser step is 1.
    Bytes dqt;
    ASSERT_TRUE(FindSegment(q250, 0xDB, &dqt));
    ASSERT_GE(dqt.size(), 65u);
    for (size_t i = 1; i < 65; ++i)
        ASSERT_EQ(1, dqt[i]) << "entry " << i - 1;
}

// ---- failures ----

TEST_F(JpegPictures, ATooSmallBufferGivesZeroAndTheNextEncodeIsUnchanged)
{
    ASSERT_NO_FATAL_FAILURE(StartWith(MEDIASUBTYPE_RGB24, NaturalPicture(kWidth, kHeight)));
    ASSERT_EQ(S_OK, Jpeg()->SetQuality(83));
    ASSERT_EQ(S_OK, Jpeg()->SetColor(FALSE));
    const Bytes before = EncodeToBuffer();
    ASSERT_FALSE(before.empty());

    Bytes small(200, 0xAB);
    DWORD size = static_cast<DWORD>(small.size());
    ASSERT_EQ(S_OK, Jpeg()->EncodeToBuffer(nullptr, small.data(), &size));
    EXPECT_EQ(0u, size);
    // One byte short of the JPEG fails as well.
    EXPECT_TRUE(EncodeToBuffer(nullptr, static_cast<DWORD>(before.size() - 1)).empty());

    // The encoder was reset, yet quality, grey and row padding still hold.
    EXPECT_EQ(before, EncodeToBuffer());
    EXPECT_EQ(before, EncodeToBuffer(nullptr, static_cast<DWORD>(before.size())));
}

TEST_F(JpegPictures, NothingIsEncodedBeforeThereIsATarget)
{
    ASSERT_EQ(S_OK, m_Com.Result());
    ComPtr<IBaseFilter> filter;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_V77JpegRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                     reinterpret_cast<void**>(filter.GetAddressOf())));
    ComPtr<IV77JpegRenderer> jpeg;
    ComPtr<IV77DxRenderer> dx;
    ASSERT_EQ(S_OK, filter.As(&jpeg));
    ASSERT_EQ(S_OK, filter.As(&dx));

    const auto expectNotReady = [&] {
        IMediaSample* sample = reinterpret_cast<IMediaSample*>(static_cast<LONG_PTR>(1));
        EXPECT_EQ(E_FAIL, jpeg->GetJpegSample(nullptr, &sample));
        EXPECT_EQ(nullptr, sample);
        BYTE buffer[64];
        DWORD size = sizeof(buffer);
        EXPECT_EQ(E_FAIL, jpeg->EncodeToBuffer(nullptr, buffer, &size));
    };
    expectNotReady();
    // Null rectangles stand for the image, which has no size yet.
    ASSERT_EQ(S_OK, dx->SetRects(nullptr, nullptr, nullptr));
    expectNotReady();
    HDC dc = CreateCompatibleDC(nullptr);
    EXPECT_EQ(E_FAIL, jpeg->DrawToDC(dc, RECT{0, 0, 8, 8})) << "no frame yet";
    DeleteDC(dc);
    // EncodeDC succeeds but has no pool sample to give yet.
    CTestDibDc bitmap(40, 30, true);
    ASSERT_TRUE(bitmap.IsValid());
    bitmap.Fill(Quadrants(40, 30));
    IMediaSample* none = reinterpret_cast<IMediaSample*>(static_cast<LONG_PTR>(1));
    EXPECT_EQ(S_OK, jpeg->EncodeDC(bitmap.Dc(), nullptr, &none));
    EXPECT_EQ(nullptr, none);

    const RECT target = {0, 0, 64, 48};
    ASSERT_EQ(S_OK, dx->SetRects(&target, nullptr, nullptr));
    ComPtr<IMediaSample> sample;
    ASSERT_EQ(S_OK, jpeg->GetJpegSample(nullptr, sample.GetAddressOf()));
    const WicDecodedImage d = Decode(SampleBytes(sample.Get()));
    EXPECT_EQ(64u, d.width);
    EXPECT_EQ(48u, d.height);
}

}  // namespace
