// Video types whose bitmap header disagrees with their subtype, offered to
// every renderer (the Windows renderer, also registered as the GDI renderer,
// the JPEG renderer and the DirectDraw renderer): hand-picked ones must be
// refused, a few hundred seeded random ones must be refused or stream a frame
// cleanly, with brightness set so that every drawing step runs.
#include "tests/display/WindowRendererFixture.h"

#include <amvideo.h>
#include <dvdmedia.h>
#include <climits>
#include <cstring>
#include <random>
#include <string>
#ifdef V77_TYPE_REFUSAL_DIRECTDRAW
#include "display/CV77DxRenderer.h"
#endif
#include "tests/kit/ComAdopt.h"
#include "v77/V77Guids.h"

using Microsoft::WRL::ComPtr;

namespace {

struct HeaderSpec {
    const GUID* subtype;
    WORD bitCount;
    DWORD compression;
    LONG width;
    LONG height;
    DWORD sizeImage;
    bool videoInfo2 = false;
    int formatBytesDelta = 0;  // added to the format block length
    DWORD headerSize = sizeof(BITMAPINFOHEADER);
};

constexpr DWORD kYuy2 = MAKEFOURCC('Y', 'U', 'Y', '2');
constexpr DWORD kYv12 = MAKEFOURCC('Y', 'V', '1', '2');
constexpr DWORD kI420 = MAKEFOURCC('I', '4', '2', '0');

CMediaType MakeType(const HeaderSpec& s)
{
    BYTE block[sizeof(VIDEOINFOHEADER2) + 64] = {};
    const size_t offset = s.videoInfo2 ? offsetof(VIDEOINFOHEADER2, bmiHeader) : offsetof(VIDEOINFOHEADER, bmiHeader);
    BITMAPINFOHEADER h = {};
    h.biSize = s.headerSize;
    h.biWidth = s.width;
    h.biHeight = s.height;
    h.biPlanes = 1;
    h.biBitCount = s.bitCount;
    h.biCompression = s.compression;
    h.biSizeImage = s.sizeImage;
    std::memcpy(block + offset, &h, sizeof(h));
    const LONG length =
        static_cast<LONG>(s.videoInfo2 ? sizeof(VIDEOINFOHEADER2) : sizeof(VIDEOINFOHEADER)) + s.formatBytesDelta;
    CMediaType mt;
    mt.SetType(&MEDIATYPE_Video);
    mt.SetSubtype(s.subtype);
    mt.SetFormatType(s.videoInfo2 ? &FORMAT_VideoInfo2 : &FORMAT_VideoInfo);
    mt.SetFormat(block, static_cast<ULONG>(length < 0 ? 0 : length));
    mt.SetTemporalCompression(FALSE);
    return mt;
}

struct RendererCase {
    const char* name;
    const CLSID* clsid;  // null: the DirectDraw renderer built here
};

#ifdef V77_TYPE_REFUSAL_DIRECTDRAW
// Built into the DirectDraw suite, which alone brings DirectDraw into its process.
const RendererCase kRenderers[] = {{"DirectDraw", nullptr}};

// Wine's display offers RGB32 only: every copy of the renderer is forced on
// but I420, for which the driver makes no surface.
ComPtr<IBaseFilter> NewDirectDrawRenderer()
{
    static const GUID kSubtypes[] = {MEDIASUBTYPE_YV12, MEDIASUBTYPE_YUY2, MEDIASUBTYPE_RGB24, MEDIASUBTYPE_RGB32,
                                     MEDIASUBTYPE_RGB565};
    HRESULT hr = S_OK;
    auto* renderer = new CV77DxRenderer(nullptr, &hr, kSubtypes, 5);
    renderer->NonDelegatingAddRef();
    ComPtr<IBaseFilter> filter = Adopt(static_cast<IBaseFilter*>(renderer));
    EXPECT_EQ(S_OK, hr) << "DirectDraw renderer not built";
    return filter;
}
#else
const RendererCase kRenderers[] = {
    {"Windows", &CLSID_V77WindowsRenderer},
    {"Jpeg", &CLSID_V77JpegRenderer},
};

ComPtr<IBaseFilter> NewDirectDrawRenderer()
{
    return nullptr;
}
#endif

void PrintTo(const RendererCase& r, std::ostream* os)
{
    *os << r.name;
}

class TypeRefusalTest : public WindowRendererFixture, public ::testing::WithParamInterface<RendererCase> {
protected:
    void SetUp() override
    {
        ASSERT_EQ(S_OK, m_Com.Result()) << "COM";
        m_Window = std::make_unique<CTestVideoWindow>(64, 48);
        ASSERT_NE(nullptr, m_Window->Handle()) << "test window not created";
    }

    ComPtr<IBaseFilter> NewRenderer()
    {
        ComPtr<IBaseFilter> renderer;
        if (!GetParam().clsid)
            renderer = NewDirectDrawRenderer();
        else
            EXPECT_EQ(S_OK, CoCreateInstance(*GetParam().clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                             reinterpret_cast<void**>(renderer.GetAddressOf())))
                << GetParam().name << " renderer not created";
        ComPtr<IV77DxRenderer> dx;
        if (renderer && SUCCEEDED(renderer.As(&dx))) {
            dx->SetWindow(m_Window->Handle());
            dx->SetBrightnessContrast(0.25, 0.5);
            dx->SetDeinterlaceMode(1);
        }
        return renderer;
    }

    bool Accepts(IBaseFilter* renderer, const CMediaType& mt)
    {
        ComPtr<IPin> pin = TestGraph::FindPin(renderer, PINDIR_INPUT);
        return pin && pin->QueryAccept(&mt) == S_OK;
    }

    static bool Offers(IBaseFilter* renderer, const GUID& subtype)
    {
        ComPtr<IPin> pin = TestGraph::FindPin(renderer, PINDIR_INPUT);
        ComPtr<IEnumMediaTypes> types;
        if (!pin || FAILED(pin->EnumMediaTypes(&types)))
            return false;
        AM_MEDIA_TYPE* mt = nullptr;
        bool found = false;
        while (!found && types->Next(1, &mt, nullptr) == S_OK) {
            found = mt->subtype == subtype;
            DeleteMediaType(mt);
        }
        return found;
    }

    // Connects a source of mt and streams one frame of four bytes a pixel,
    // more than any accepted layout of the picture needs.
    void StreamOneFrame(const CMediaType& mt, const std::string& what)
    {
        const BITMAPINFOHEADER* h = reinterpret_cast<const BITMAPINFOHEADER*>(
            mt.Format() + (*mt.FormatType() == FORMAT_VideoInfo2 ? offsetof(VIDEOINFOHEADER2, bmiHeader)
                                                                  : offsetof(VIDEOINFOHEADER, bmiHeader)));
        const LONG rows = h->biHeight < 0 ? -h->biHeight : h->biHeight;
        const LONG bytes = h->biWidth * rows * 4;
        CRendererGraph graph;
        ASSERT_EQ(S_OK, graph.Use(NewRenderer())) << "no renderer for " << what;
        graph.UseBufferSize(bytes);
        ASSERT_EQ(S_OK, graph.Start(mt)) << what;
        std::vector<BYTE> frame(static_cast<size_t>(bytes));
        for (size_t i = 0; i < frame.size(); ++i)
            frame[i] = static_cast<BYTE>(i * 7);
        EXPECT_TRUE(SUCCEEDED(graph.PushBytes(frame))) << what;
        m_Window->Pump();
        EXPECT_TRUE(SUCCEEDED(graph.Graph().Stop())) << what;
    }
};

TEST_P(TypeRefusalTest, HeadersThatDisagreeWithTheirSubtypeAreRefused)
{
    const HeaderSpec refused[] = {
        {&MEDIASUBTYPE_YUY2, 8, BI_RGB, 64, 48, 0},            // a w x h scratch for w x h x 2 bytes
        {&MEDIASUBTYPE_YV12, 4, kYv12, 64, 48, 0},             // a luma plane larger than the image
        {&MEDIASUBTYPE_I420, 12, kYuy2, 64, 48, 0},
        {&MEDIASUBTYPE_RGB24, 32, BI_RGB, 64, 48, 0},
        {&MEDIASUBTYPE_RGB24, 24, kYuy2, 64, 48, 0},
        {&MEDIASUBTYPE_RGB24, 24, BI_RGB, 0, 48, 0},
        {&MEDIASUBTYPE_RGB24, 24, BI_RGB, 64, 0, 0},
        {&MEDIASUBTYPE_RGB24, 24, BI_RGB, -64, 48, 0},
        {&MEDIASUBTYPE_RGB24, 24, BI_RGB, 100000, 48, 0},
        {&MEDIASUBTYPE_RGB24, 24, BI_RGB, 64, INT_MIN, 0},
        {&MEDIASUBTYPE_YUY2, 16, kYuy2, 0x40000000, 0x40000000, 0},  // width x height x 2 overflows
        {&MEDIASUBTYPE_YUY2, 16, kYuy2, 63, 48, 0},            // half a pixel pair
        {&MEDIASUBTYPE_YV12, 12, kYv12, 64, 47, 0},
        {&MEDIASUBTYPE_RGB24, 24, BI_RGB, 64, 48, 100},        // stated image smaller than the picture
        {&MEDIASUBTYPE_RGB24, 24, BI_RGB, 64, 48, 0, false, -1},  // format block cut short
        {&MEDIASUBTYPE_RGB24, 24, BI_RGB, 64, 48, 0, true, -8},
        {&MEDIASUBTYPE_RGB24, 24, BI_RGB, 64, 48, 0, false, 0, 0},     // no bitmap header size
        {&MEDIASUBTYPE_RGB24, 24, BI_RGB, 64, 48, 0, false, 0, 4096},  // header beyond the block
        {&MEDIASUBTYPE_UYVY, 16, MAKEFOURCC('U', 'Y', 'V', 'Y'), 64, 48, 0},  // not drawn at all
        {&MEDIASUBTYPE_RGB32, 24, BI_RGB, 64, 48, 0},
        {&MEDIASUBTYPE_RGB32, 32, kYuy2, 64, 48, 0},
        {&MEDIASUBTYPE_RGB565, 32, BI_BITFIELDS, 64, 48, 0},
        {&MEDIASUBTYPE_RGB565, 16, BI_BITFIELDS, 64, 48, 64 * 48},
    };
    const HeaderSpec accepted[] = {
        {&MEDIASUBTYPE_RGB24, 24, BI_RGB, 6, -2, 0},
        {&MEDIASUBTYPE_YUY2, 16, kYuy2, 64, 48, 64 * 48 * 2},
        {&MEDIASUBTYPE_YV12, 12, kYv12, 64, 48, 0, true},
        {&MEDIASUBTYPE_I420, 12, kI420, 64, 48, 64 * 48 * 3 / 2 + 100},
        {&MEDIASUBTYPE_RGB32, 32, BI_RGB, 6, 2, 0},
        {&MEDIASUBTYPE_RGB565, 16, BI_BITFIELDS, 6, -2, 0},
    };
    ComPtr<IBaseFilter> renderer = NewRenderer();
    ASSERT_TRUE(renderer);
    for (size_t i = 0; i < sizeof(refused) / sizeof(refused[0]); ++i)
        EXPECT_FALSE(Accepts(renderer.Get(), MakeType(refused[i]))) << "refused[" << i << "] was accepted";
    for (size_t i = 0; i < sizeof(accepted) / sizeof(accepted[0]); ++i) {
        if (!Offers(renderer.Get(), *accepted[i].subtype))
            continue;
        const CMediaType mt = MakeType(accepted[i]);
        ASSERT_TRUE(Accepts(renderer.Get(), mt)) << "accepted[" << i << "] was refused";
        ASSERT_NO_FATAL_FAILURE(StreamOneFrame(mt, "accepted[" + std::to_string(i) + "]"));
    }
}

TEST_P(TypeRefusalTest, RandomHeadersAreRefusedOrStreamCleanly)
{
    const GUID* const subtypes[] = {&MEDIASUBTYPE_RGB24, &MEDIASUBTYPE_YUY2,  &MEDIASUBTYPE_YV12,
                                    &MEDIASUBTYPE_I420,  &MEDIASUBTYPE_RGB32, &MEDIASUBTYPE_RGB565};
    const WORD bitCounts[] = {0, 4, 8, 12, 16, 24, 32};
    const DWORD compressions[] = {BI_RGB, BI_BITFIELDS, kYuy2, kYv12, kI420, 0x12345678};
    const LONG widths[] = {-2, 0, 1, 2, 6, 7, 64, 16386, 0x40000000};
    const LONG heights[] = {-48, -1, 0, 1, 2, 48, 16386, INT_MIN};
    const DWORD sizes[] = {0, 1, 64 * 48, 64 * 48 * 4, 0xFFFFFFFF};
    const int deltas[] = {0, 0, 0, -1, -40, 16};
    std::mt19937 random(77);
    auto pick = [&random](const auto& list) { return list[random() % (sizeof(list) / sizeof(list[0]))]; };
    ComPtr<IBaseFilter> renderer = NewRenderer();
    ASSERT_TRUE(renderer);
    int streamed = 0;
    for (int i = 0; i < 300; ++i) {
        HeaderSpec s = {pick(subtypes), pick(bitCounts), pick(compressions), pick(widths), pick(heights),
                        pick(sizes), random() % 2 == 0, pick(deltas)};
        // Every third case keeps the subtype's own bit count and compression,
        // so that the sizes and the block are what decides.
        if (i % 3 == 0) {
            const GUID& t = *s.subtype;
            s.bitCount = t == MEDIASUBTYPE_RGB24 ? 24 : t == MEDIASUBTYPE_RGB32 ? 32 : t == MEDIASUBTYPE_YUY2 ? 16
                       : t == MEDIASUBTYPE_RGB565 ? 16 : 12;
            s.compression = t == MEDIASUBTYPE_RGB24 || t == MEDIASUBTYPE_RGB32 ? BI_RGB
                          : t == MEDIASUBTYPE_RGB565 ? BI_BITFIELDS : t == MEDIASUBTYPE_YUY2 ? kYuy2
                          : t == MEDIASUBTYPE_YV12 ? kYv12 : kI420;
        }
        const CMediaType mt = MakeType(s);
        if (!Accepts(renderer.Get(), mt))
            continue;
        // A sane renderer accepts only pictures of at most 64 x 48 here.
        ASSERT_LE(s.width, 64) << "case " << i;
        ASSERT_NO_FATAL_FAILURE(StreamOneFrame(mt, "case " + std::to_string(i)));
        ++streamed;
    }
    EXPECT_GT(streamed, 0) << "no random type was good enough to stream";
}

INSTANTIATE_TEST_SUITE_P(Renderers, TypeRefusalTest, ::testing::ValuesIn(kRenderers),
                         [](const ::testing::TestParamInfo<RendererCase>& info) { return std::string(info.param.name); });

}  // namespace
