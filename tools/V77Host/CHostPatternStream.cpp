#include "tools/V77Host/CHostPatternStream.h"

#include <algorithm>
#include <amvideo.h>
#include <uuids.h>
#include "framework/CSource.h"

namespace {

constexpr COLORREF kBars[8] = {
    RGB(235, 235, 235), RGB(235, 235, 16), RGB(16, 235, 235), RGB(16, 235, 16),
    RGB(235, 16, 235),  RGB(235, 16, 16),  RGB(16, 16, 235),  RGB(16, 16, 16),
};
constexpr LONG kFrameBytes = CHostPatternStream::kWidth * CHostPatternStream::kHeight * 2;

BYTE Clamp(int value)
{
    return static_cast<BYTE>(std::min(255, std::max(0, value)));
}

// BT.601 limited range, rounded.
void ToYuv(COLORREF c, BYTE* y, BYTE* u, BYTE* v)
{
    const int r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
    *y = Clamp((66 * r + 129 * g + 25 * b + 128) / 256 + 16);
    *u = Clamp((-38 * r - 74 * g + 112 * b + 128) / 256 + 128);
    *v = Clamp((112 * r - 94 * g - 18 * b + 128) / 256 + 128);
}

}  // namespace

CHostPatternStream::CHostPatternStream(HRESULT* phr, CSource* filter)
    : CSourceStream(TEXT("Demo camera stream"), phr, filter, L"Out"), m_Frame(0), m_StartMs(0), m_FramesDelivered(0)
{
}

COLORREF CHostPatternStream::BarColour(LONG x)
{
    return kBars[std::min<LONG>(7, std::max<LONG>(0, x * 8 / kWidth))];
}

HRESULT CHostPatternStream::GetMediaType(CMediaType* mt)
{
    VIDEOINFOHEADER vih = {};
    vih.AvgTimePerFrame = kFrameTime;
    vih.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih.bmiHeader.biWidth = kWidth;
    vih.bmiHeader.biHeight = kHeight;
    vih.bmiHeader.biPlanes = 1;
    vih.bmiHeader.biBitCount = 16;
    vih.bmiHeader.biCompression = MAKEFOURCC('Y', 'U', 'Y', '2');
    vih.bmiHeader.biSizeImage = kFrameBytes;
    mt->SetType(&MEDIATYPE_Video);
    mt->SetSubtype(&MEDIASUBTYPE_YUY2);
    mt->SetFormatType(&FORMAT_VideoInfo);
    mt->SetSampleSize(kFrameBytes);
    mt->SetTemporalCompression(FALSE);
    return mt->SetFormat(reinterpret_cast<const BYTE*>(&vih), sizeof(vih)) ? S_OK : E_OUTOFMEMORY;
}

HRESULT CHostPatternStream::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    ALLOCATOR_PROPERTIES wanted = *request;
    wanted.cBuffers = std::max(8L, request->cBuffers);
    wanted.cbBuffer = std::max(kFrameBytes, request->cbBuffer);
    wanted.cbAlign = std::max(1L, request->cbAlign);
    wanted.cbPrefix = 0;
    ALLOCATOR_PROPERTIES actual = {};
    HRESULT hr = allocator->SetProperties(&wanted, &actual);
    if (FAILED(hr))
        return hr;
    return actual.cbBuffer >= kFrameBytes ? S_OK : E_FAIL;
}

HRESULT CHostPatternStream::OnThreadStartPlay()
{
    m_StartMs = GetTickCount64();
    return S_OK;
}

void CHostPatternStream::WaitUntilDue(long frame) const
{
    // A camera delivers in real time; Stop waits at most one frame for us.
    const ULONGLONG due = m_StartMs + static_cast<ULONGLONG>(frame) * (kFrameTime / 10000);
    const ULONGLONG now = GetTickCount64();
    if (due > now)
        Sleep(static_cast<DWORD>(due - now));
}

void CHostPatternStream::DrawFrame(BYTE* data, long frame) const
{
    const LONG lineRow = frame % kHeight;  // top-down picture row of the moving line
    for (LONG row = 0; row < kHeight; ++row) {
        BYTE* line = data + row * kWidth * 2;
        for (LONG x = 0; x < kWidth; x += 2) {
            BYTE y = 0, u = 0, v = 0;
            ToYuv(row == lineRow ? RGB(255, 255, 255) : BarColour(x), &y, &u, &v);
            line[x * 2] = y;
            line[x * 2 + 1] = u;
            line[x * 2 + 2] = y;
            line[x * 2 + 3] = v;
        }
    }
}

HRESULT CHostPatternStream::FillBuffer(IMediaSample* sample)
{
    if (sample->GetSize() < kFrameBytes)
        return E_FAIL;
    WaitUntilDue(m_Frame);
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    DrawFrame(data, m_Frame);
    sample->SetActualDataLength(kFrameBytes);
    REFERENCE_TIME start = m_Frame * kFrameTime;
    REFERENCE_TIME stop = start + kFrameTime;
    sample->SetTime(&start, &stop);
    LONGLONG mediaStart = start;
    LONGLONG mediaStop = stop;
    sample->SetMediaTime(&mediaStart, &mediaStop);
    sample->SetSyncPoint(TRUE);
    sample->SetDiscontinuity(m_Frame == 0);
    ++m_Frame;
    return S_OK;
}

HRESULT CHostPatternStream::Deliver(IMediaSample* sample)
{
    HRESULT hr = CSourceStream::Deliver(sample);
    if (hr == S_OK)
        ++m_FramesDelivered;
    return hr;
}
