// The sensor helpers on their own: zone configurations parsed through the
// platform's MSXML DOM, and the run-length and dither entry points on real
// DIB sections.
#include <gtest/gtest.h>
#include <objbase.h>
#include <string>
#include <vector>

#include "companions/V77UIHelper/V77UIHelper.h"
#include "companions/V77UIHelper/rle/V77RunLength.h"

namespace {

class CPlainSensor : public CSensorBase {
public:
    int created = 0;

protected:
    CSensorGroupBase* CreateGroup(IXMLDOMElement* element) override
    {
        ++created;
        return new CSensorGroupBase(element);
    }
};

// One byte per pixel of a group's region.
std::vector<uint8_t> RegionPixels(const CSensorGroupBase& group)
{
    const int w = group.Width(), h = group.Height(), rowBytes = (w + 7) / 8;
    std::vector<uint8_t> rows(static_cast<size_t>(rowBytes) * h);
    EXPECT_EQ(S_OK, V77RLDecodeRaw(group.RegionData(), 4 * group.RegionWordCount(), rows.data(), w, rowBytes, h));
    std::vector<uint8_t> pixels(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            pixels[static_cast<size_t>(y) * w + x] = (rows[y * rowBytes + x / 8] >> (7 - x % 8)) & 1;
    return pixels;
}

class UIHelperXml : public ::testing::Test {
protected:
    void SetUp() override { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    void TearDown() override { CoUninitialize(); }

    CPlainSensor m_Sensor;
};

TEST_F(UIHelperXml, GroupsComeInDocumentOrderWithTheirAttributesAndRegions)
{
    std::wstring xml =
        L"<?xml version=\"1.0\"?><site><cameras><sensors>"
        L"<sensorGroup name=\"Entr\u00e9e\" width=\"10\" height=\"3\" color=\"#102030\" low=\"5\" high=\"95\">"
        L"<runs> 2 3\n 10 1 </runs><rect left=\"8\" top=\"2\" right=\"99\" bottom=\"99\"/></sensorGroup>"
        L"<other/><sensorGroup name=\"B\" width=\"4\" height=\"2\" color=\"000000\"/>"
        L"</sensors></cameras></site>";
    m_Sensor.InitializeXML(&xml[0]);
    ASSERT_EQ(2u, m_Sensor.Groups().size());
    const CSensorGroupBase& a = *m_Sensor.Groups()[0];
    char expectedName[16] = {};
    WideCharToMultiByte(CP_THREAD_ACP, 0, L"Entr\u00e9e", -1, expectedName, sizeof(expectedName), nullptr, nullptr);
    EXPECT_EQ(std::string(expectedName), a.Name());
    EXPECT_EQ(10, a.Width());
    EXPECT_EQ(3, a.Height());
    EXPECT_EQ(0x10, a.Color().red);
    EXPECT_EQ(0x20, a.Color().green);
    EXPECT_EQ(0x30, a.Color().blue);
    EXPECT_EQ(5, a.LowThreshold());
    EXPECT_EQ(95, a.HighThreshold());
    // Runs: 2 clear, 3 set, 10 clear, 1 set; the rectangle sets x 8..9 of row 2.
    std::vector<uint8_t> want(30, 0);
    for (int i : {2, 3, 4, 15, 28, 29})
        want[i] = 1;
    EXPECT_EQ(want, RegionPixels(a));
    const CSensorGroupBase& b = *m_Sensor.Groups()[1];
    EXPECT_EQ("B", b.Name());
    EXPECT_EQ(0, b.LowThreshold());
    EXPECT_EQ(100, b.HighThreshold());
    EXPECT_EQ(1, b.Color().red) << "black is raised to the darkest visible colour";
    EXPECT_EQ(std::vector<uint8_t>(8, 0), RegionPixels(b));
    // A second configuration replaces the first.
    std::wstring one = L"<s><sensorGroup width=\"1\" height=\"1\" color=\"FFFFFF\"><runs>0 1</runs></sensorGroup></s>";
    m_Sensor.InitializeXML(&one[0]);
    ASSERT_EQ(1u, m_Sensor.Groups().size());
    EXPECT_EQ(std::vector<uint8_t>(1, 1), RegionPixels(*m_Sensor.Groups()[0]));
}

TEST_F(UIHelperXml, BadTextAndBadGroupsGiveNoGroupsWithoutThrowing)
{
    const wchar_t* texts[] = {
        L"", L"   ", L"<sensors>", L"<sensors><sensorGroup width=\"4\"></sensors>", L"not xml at all <<<",
    };
    for (const wchar_t* text : texts) {
        std::wstring copy = text;
        EXPECT_NO_THROW(m_Sensor.InitializeXML(&copy[0])) << "text " << copy.size();
        EXPECT_TRUE(m_Sensor.Groups().empty());
    }
    EXPECT_NO_THROW(m_Sensor.InitializeXML(nullptr));
    std::wstring groups =
        L"<s>"
        L"<sensorGroup name=\"NoHeight\" width=\"4\" color=\"FF0000\"/>"
        L"<sensorGroup name=\"Zero\" width=\"0\" height=\"4\" color=\"FF0000\"/>"
        L"<sensorGroup name=\"Huge\" width=\"4097\" height=\"4\" color=\"FF0000\"/>"
        L"<sensorGroup name=\"Negative\" width=\"-4\" height=\"4\" color=\"FF0000\"/>"
        L"<sensorGroup name=\"BadColour\" width=\"4\" height=\"4\" color=\"red\"/>"
        L"<sensorGroup name=\"HighAbove100\" width=\"4\" height=\"4\" color=\"FF0000\" high=\"101\"/>"
        L"<sensorGroup name=\"BadRuns\" width=\"4\" height=\"4\" color=\"FF0000\"><runs>1 -2</runs></sensorGroup>"
        L"<sensorGroup name=\"BadRect\" width=\"4\" height=\"4\" color=\"FF0000\"><rect left=\"1\"/></sensorGroup>"
        L"<sensorGroup name=\"Good\" width=\"4096\" height=\"4\" color=\"FF0000\"><runs>0 2147483647</runs></sensorGroup>"
        L"</s>";
    m_Sensor.InitializeXML(&groups[0]);
    ASSERT_EQ(1u, m_Sensor.Groups().size()) << "only the last group is usable";
    EXPECT_EQ("Good", m_Sensor.Groups()[0]->Name());
    EXPECT_EQ(1, m_Sensor.created);
}

TEST_F(UIHelperXml, RunsThatOverrunThePlaneAreCutAndHugeRegionsStayBounded)
{
    std::wstring xml = L"<s><sensorGroup width=\"4096\" height=\"4096\" color=\"00FF00\"><runs>0 2147483647 5</runs>"
                       L"<rect left=\"0\" top=\"0\" right=\"4096\" bottom=\"4096\"/></sensorGroup></s>";
    m_Sensor.InitializeXML(&xml[0]);
    ASSERT_EQ(1u, m_Sensor.Groups().size());
    // Every pixel set: one word per 2^31 - 1 pixels.
    EXPECT_EQ(1u, m_Sensor.Groups()[0]->RegionWordCount());
    EXPECT_EQ(v77::kRunSetBit | (4096u * 4096u), m_Sensor.Groups()[0]->RegionData()[0]);
}

struct Dib {
    HBITMAP bitmap = nullptr;
    BYTE* bits = nullptr;
    ~Dib() { DeleteObject(bitmap); }
};

void MakeMaskDib(Dib* dib, int width, int height)
{
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colours[2];
    } info = {};
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    info.header.biWidth = width;
    info.header.biHeight = -height;
    info.header.biPlanes = 1;
    info.header.biBitCount = 1;
    void* bits = nullptr;
    dib->bitmap = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
    dib->bits = static_cast<BYTE*>(bits);
}

TEST(UIHelperEntryPoints, DecodeIntoATopDownDibSectionAndDither)
{
    // 20 x 3: row 0 pixels 0..2 set, row 2 pixel 19 set.
    const std::vector<uint32_t> words = {v77::kRunSetBit | 3, 56, v77::kRunSetBit | 1};
    Dib dib;
    MakeMaskDib(&dib, 20, 3);
    ASSERT_NE(nullptr, dib.bits);
    memset(dib.bits, 0xFF, 12);
    EXPECT_EQ(S_OK, V77RLDecode(words.data(), static_cast<DWORD>(words.size()), dib.bitmap));
    EXPECT_EQ(0xE0, dib.bits[0]);
    EXPECT_EQ(0x00, dib.bits[1]);
    EXPECT_EQ(0x00, dib.bits[4]) << "the middle row rewritten clear";
    EXPECT_EQ(0x10, dib.bits[10]) << "pixel 19 of the last row";
    EXPECT_EQ(0x00, dib.bits[11]) << "row padding cleared";
    EXPECT_EQ(S_FALSE, V77RLDecode(words.data(), 1, dib.bitmap)) << "short";
    const uint32_t over[] = {v77::kRunSetBit | 61};
    EXPECT_EQ(S_FALSE, V77RLDecode(over, 1, dib.bitmap)) << "overrun";
    EXPECT_EQ(0xFF, dib.bits[8]);
    EXPECT_EQ(0xF0, dib.bits[10]) << "filled to the last pixel, not past it";
    EXPECT_EQ(E_POINTER, V77RLDecode(words.data(), 1, nullptr));
    HBITMAP colour = CreateBitmap(4, 4, 1, 32, nullptr);
    EXPECT_EQ(E_INVALIDARG, V77RLDecode(words.data(), 1, colour)) << "not a 1-bit DIB section";
    DeleteObject(colour);

    // Dither from raw rows of 2 bytes into the DIB's 4-byte rows.
    const BYTE raw[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0x0F, 0xF0};
    const int32_t phase[2] = {0, 0};
    EXPECT_EQ(S_OK, V77DitherRegionRaw(raw, dib.bits, 12, 2, 4, 3, const_cast<int32_t*>(phase), 1));
    EXPECT_EQ(0xAA, dib.bits[0]);
    EXPECT_EQ(0xA0, dib.bits[1]) << "columns past the width cleared";
    EXPECT_EQ(0x55, dib.bits[4]);
    EXPECT_EQ(0x0A, dib.bits[8]);
    EXPECT_EQ(0x00, dib.bits[3]);
    EXPECT_EQ(E_POINTER, V77DitherRegionRaw(nullptr, dib.bits, 12, 2, 4, 3, nullptr, 1));
}

}  // namespace
