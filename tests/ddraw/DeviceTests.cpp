// The DirectDraw device on Wine's real DirectDraw: the surface creation and
// clear rules, surfaces on the caller's memory, finding a surface by its DC,
// colour matching through the primary, and the single restore of a lost
// surface.
#include <windows.h>
#include <ddraw.h>
#include <cstring>
#include <gtest/gtest.h>

#include "companions/V77Global/CAppError.h"
#include "companions/V77Global/CHresultError.h"
#include "display/CDirectDrawDevice.h"
#include "tests/ddraw/CLostSurface.h"
#include "tests/ddraw/DdrawTestSupport.h"
#include "tests/kit/CComInit.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr DWORD kYuy2 = MAKEFOURCC('Y', 'U', 'Y', '2');
constexpr DWORD kYv12 = MAKEFOURCC('Y', 'V', '1', '2');
constexpr DWORD kI420 = MAKEFOURCC('I', '4', '2', '0');

class DeviceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(S_OK, m_Com.Result());
        m_Device.Initialize(nullptr);
        m_Format = m_Device.PrimaryFormat();
    }

    DDSURFACEDESC2 Describe(IDirectDrawSurface7* surface)
    {
        DDSURFACEDESC2 desc;
        memset(&desc, 0, sizeof desc);
        desc.dwSize = sizeof desc;
        EXPECT_EQ(DD_OK, surface->GetSurfaceDesc(&desc));
        return desc;
    }

    CComInit m_Com;
    CDirectDrawDevice m_Device;
    DDPIXELFORMAT m_Format = {};
};

TEST_F(DeviceTest, OffscreenSurfacesFollowTheirClearRules)
{
    ComPtr<IDirectDrawSurface7> rgb;
    m_Device.CreateOffscreenSurface(33, 17, 0, rgb.GetAddressOf());
    DDSURFACEDESC2 desc = Describe(rgb.Get());
    EXPECT_EQ(33u, desc.dwWidth);
    EXPECT_EQ(m_Format.dwRGBBitCount, desc.ddpfPixelFormat.dwRGBBitCount) << "the primary's format";
    const TestPicture black = ReadSurface(rgb.Get());
    ASSERT_EQ(33 * 17u, black.pixels.size());
    for (const Rgb& c : black.pixels)
        ASSERT_TRUE(Near(c, Rgb{0, 0, 0}, 0));

    // YUY2 black: luma 0, chroma 128 in every word.
    ComPtr<IDirectDrawSurface7> yuy2;
    m_Device.CreateOffscreenSurface(16, 8, kYuy2, yuy2.GetAddressOf());
    DDSURFACEDESC2 locked;
    EXPECT_FALSE(m_Device.LockSurface(yuy2.Get(), &locked));
    for (DWORD y = 0; y < locked.dwHeight; ++y) {
        const auto* row = reinterpret_cast<const DWORD*>(static_cast<BYTE*>(locked.lpSurface) + y * locked.lPitch);
        for (DWORD x = 0; x < locked.dwWidth / 2; ++x)
            ASSERT_EQ(0x80008000u, row[x]) << "row " << y << " word " << x;
    }
    m_Device.UnlockSurface(yuy2.Get());

    // YV12: a zero luma plane, then half as many bytes of 0x80.
    ComPtr<IDirectDrawSurface7> yv12;
    m_Device.CreateOffscreenSurface(16, 8, kYv12, yv12.GetAddressOf());
    m_Device.LockSurface(yv12.Get(), &locked);
    const auto* bytes = static_cast<const BYTE*>(locked.lpSurface);
    const size_t plane = static_cast<size_t>(locked.lPitch) * locked.dwHeight;
    for (size_t i = 0; i < plane + plane / 2; ++i)
        ASSERT_EQ(i < plane ? 0 : 0x80, bytes[i]) << "byte " << i;
    m_Device.UnlockSurface(yv12.Get());

    // A FOURCC the driver does not make is a CHresultError, not a crash.
    ComPtr<IDirectDrawSurface7> i420;
    try {
        m_Device.CreateOffscreenSurface(16, 8, kI420, i420.GetAddressOf());
    } catch (const CHresultError&) {
        EXPECT_FALSE(m_Device.IsFourCCSupported(kI420));
    }
}

TEST_F(DeviceTest, RgbSurfacesHaveTheDocumentedMasksAndOtherDepthsAreRefused)
{
    for (DWORD bits : {16u, 24u, 32u}) {
        ComPtr<IDirectDrawSurface7> surface;
        m_Device.CreateRgbSurface(10, 6, bits, surface.GetAddressOf(), true);
        const DDSURFACEDESC2 desc = Describe(surface.Get());
        EXPECT_EQ(bits, desc.ddpfPixelFormat.dwRGBBitCount);
        EXPECT_EQ(bits == 16 ? 0xF800u : 0xFF0000u, desc.ddpfPixelFormat.dwRBitMask);
        EXPECT_EQ(bits == 16 ? 0x001Fu : 0x0000FFu, desc.ddpfPixelFormat.dwBBitMask);
        const TestPicture cleared = ReadSurface(surface.Get());
        ASSERT_FALSE(cleared.pixels.empty());
        EXPECT_TRUE(Near(cleared.At(9, 5), Rgb{0, 0, 0}, 0));
    }
    ComPtr<IDirectDrawSurface7> none;
    try {
        m_Device.CreateRgbSurface(10, 6, 8, none.GetAddressOf(), false);
        ADD_FAILURE() << "8 bits accepted";
    } catch (const CAppError& error) {
        EXPECT_NE(nullptr, std::strstr(error.GetErrorMessage(), "Unsupported format"));
    }
    EXPECT_EQ(nullptr, none.Get());
}

TEST_F(DeviceTest, SurfacesOnMemoryShowTheCallersPixels)
{
    // 5 pixels of 4 bytes in rows of 24 bytes: the pitch is the caller's.
    std::vector<DWORD> memory(6 * 3, 0xDEADBEEF);
    memory[6 * 2 + 4] = 0x00112233;
    ComPtr<IDirectDrawSurface7> surface;
    m_Device.CreateSurfaceOnMemory(5, 3, 24, 32, memory.data(), surface.GetAddressOf());
    DDSURFACEDESC2 locked;
    m_Device.LockSurface(surface.Get(), &locked);
    EXPECT_EQ(memory.data(), locked.lpSurface);
    EXPECT_EQ(24, locked.lPitch);
    m_Device.UnlockSurface(surface.Get());
    EXPECT_TRUE(Near(ReadSurface(surface.Get()).At(4, 2), Rgb{0x11, 0x22, 0x33}, 0));

    // Blitting into it writes the caller's memory, and only inside each row.
    ComPtr<IDirectDrawSurface7> red;
    m_Device.CreateRgbSurface(5, 3, 32, red.GetAddressOf(), false);
    FillSurface(red.Get(), UniformPicture(5, 3, Rgb{255, 0, 0}));
    ASSERT_EQ(DD_OK, surface->Blt(nullptr, red.Get(), nullptr, DDBLT_WAIT, nullptr));
    EXPECT_EQ(0xFF0000u, memory[0] & 0xFFFFFF);
    EXPECT_EQ(0xDEADBEEFu, memory[5]) << "the row's padding";

    ComPtr<IDirectDrawSurface7> refused;
    EXPECT_THROW(m_Device.CreateSurfaceOnMemory(5, 3, 24, 12, memory.data(), refused.GetAddressOf()), CAppError);
}

TEST_F(DeviceTest, FindSurfaceForDCTellsSurfaceDCsFromOthers)
{
    ComPtr<IDirectDrawSurface7> surface;
    m_Device.CreateRgbSurface(8, 8, m_Format.dwRGBBitCount, surface.GetAddressOf(), true);
    HDC dc = nullptr;
    ASSERT_EQ(DD_OK, surface->GetDC(&dc));
    ComPtr<IDirectDrawSurface7> found;
    const bool isSurface = m_Device.FindSurfaceForDC(dc, found.GetAddressOf());
    surface->ReleaseDC(dc);
    EXPECT_TRUE(isSurface);
    EXPECT_EQ(surface.Get(), found.Get());

    HDC memoryDc = CreateCompatibleDC(nullptr);
    ComPtr<IDirectDrawSurface7> none;
    EXPECT_FALSE(m_Device.FindSurfaceForDC(memoryDc, none.GetAddressOf()));
    DeleteDC(memoryDc);
}

TEST_F(DeviceTest, ColorMatchGivesThePrimarysPixelAndPutsItBack)
{
    HDC screen = GetDC(nullptr);
    const COLORREF before = GetPixel(screen, 0, 0);
    const DWORD magenta = m_Device.ColorMatch(RGB(255, 0, 255));
    const DWORD olive = m_Device.ColorMatch(RGB(128, 128, 0));
    const COLORREF after = GetPixel(screen, 0, 0);
    ReleaseDC(nullptr, screen);
    if (m_Format.dwRGBBitCount == 16) {
        EXPECT_EQ(0xF81Fu, magenta);
    } else {
        EXPECT_EQ(0xFF00FFu, magenta & 0xFFFFFF);
        EXPECT_EQ(0x808000u, olive & 0xFFFFFF);
    }
    EXPECT_EQ(before, after) << "the borrowed pixel is put back";
}

TEST_F(DeviceTest, ALostSurfaceIsRestoredOnceAndReported)
{
    ComPtr<IDirectDrawSurface7> real;
    m_Device.CreateRgbSurface(8, 8, 32, real.GetAddressOf(), true);
    ComPtr<CLostSurface> lost = CLostSurface::Wrap(real.Get(), 1);
    DDSURFACEDESC2 locked;
    EXPECT_TRUE(m_Device.LockSurface(lost.Get(), &locked)) << "the lock had to restore first";
    EXPECT_EQ(2, lost->LockCalls());
    m_Device.UnlockSurface(lost.Get());
    EXPECT_FALSE(m_Device.LockSurface(lost.Get(), &locked));
    m_Device.UnlockSurface(lost.Get());

    // Lost twice in a row: the second failure is an error, not a loop.
    ComPtr<CLostSurface> gone = CLostSurface::Wrap(real.Get(), 2);
    EXPECT_THROW(m_Device.LockSurface(gone.Get(), &locked), CHresultError);

    EXPECT_TRUE(m_Device.RestoreIfLost(DDERR_SURFACELOST));
    EXPECT_FALSE(m_Device.RestoreIfLost(DDERR_GENERIC));
}

}  // namespace
