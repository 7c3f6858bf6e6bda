#include "tools/common/CPacketCarrier.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <amvideo.h>
#include <dvdmedia.h>
#include <uuids.h>
#include "framework/CTransformInputPin.h"
#include "framework/CTransformOutputPin.h"

namespace {

// {0C2B6F1E-3A4D-4E59-8C71-2D9F5A6B7C80}
const CLSID CLSID_ScenarioCarrier = {0x0c2b6f1e, 0x3a4d, 0x4e59, {0x8c, 0x71, 0x2d, 0x9f, 0x5a, 0x6b, 0x7c, 0x80}};

}  // namespace

CPacketCarrier::CPacketCarrier(LONG buffers)
    : CTransformFilter(TEXT("Packet carrier"), nullptr, CLSID_ScenarioCarrier), m_cBuffers(buffers)
{
}

CPacketCarrier* CPacketCarrier::Create(LONG buffers)
{
    auto* filter = new (std::nothrow) CPacketCarrier(buffers);
    if (filter)
        filter->AddRef();
    return filter;
}

std::vector<BYTE> CPacketCarrier::Unwrap(const std::vector<BYTE>& frame)
{
    if (frame.size() < sizeof(DWORD))
        return {};
    DWORD length = 0;
    std::memcpy(&length, frame.data(), sizeof length);
    if (length == 0 || length > frame.size() - sizeof length)
        return {};
    return std::vector<BYTE>(frame.begin() + sizeof length, frame.begin() + sizeof length + length);
}

const BITMAPINFOHEADER* CPacketCarrier::Header(const CMediaType& mt)
{
    if (mt.formattype == FORMAT_VideoInfo2 && mt.cbFormat >= sizeof(VIDEOINFOHEADER2))
        return &reinterpret_cast<const VIDEOINFOHEADER2*>(mt.pbFormat)->bmiHeader;
    if (mt.formattype == FORMAT_VideoInfo && mt.cbFormat >= sizeof(VIDEOINFOHEADER))
        return &reinterpret_cast<const VIDEOINFOHEADER*>(mt.pbFormat)->bmiHeader;
    return nullptr;
}

HRESULT CPacketCarrier::CheckInputType(const CMediaType* mtIn)
{
    const BITMAPINFOHEADER* bih = Header(*mtIn);
    return mtIn->majortype == MEDIATYPE_Video && bih && bih->biWidth > 0 && bih->biCompression > BI_BITFIELDS
               ? S_OK
               : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CPacketCarrier::GetMediaType(int position, CMediaType* mt)
{
    if (position < 0)
        return E_INVALIDARG;
    if (position > 0)
        return VFW_S_NO_MORE_ITEMS;
    const CMediaType& in = m_pInput->CurrentMediaType();
    const BITMAPINFOHEADER* bih = Header(in);
    if (!bih)
        return E_UNEXPECTED;
    VIDEOINFOHEADER* vih = reinterpret_cast<VIDEOINFOHEADER*>(mt->AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
    if (!vih)
        return E_OUTOFMEMORY;
    std::memset(vih, 0, sizeof *vih);
    vih->AvgTimePerFrame = in.formattype == FORMAT_VideoInfo2
                               ? reinterpret_cast<const VIDEOINFOHEADER2*>(in.pbFormat)->AvgTimePerFrame
                               : reinterpret_cast<const VIDEOINFOHEADER*>(in.pbFormat)->AvgTimePerFrame;
    vih->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih->bmiHeader.biWidth = bih->biWidth;
    vih->bmiHeader.biHeight = std::abs(bih->biHeight);
    vih->bmiHeader.biPlanes = 1;
    vih->bmiHeader.biBitCount = 16;
    vih->bmiHeader.biCompression = MAKEFOURCC('Y', 'U', 'Y', '2');
    vih->bmiHeader.biSizeImage = vih->bmiHeader.biWidth * vih->bmiHeader.biHeight * 2;
    mt->SetType(&MEDIATYPE_Video);
    mt->SetSubtype(&MEDIASUBTYPE_YUY2);
    mt->SetFormatType(&FORMAT_VideoInfo);
    mt->SetTemporalCompression(FALSE);
    mt->SetSampleSize(vih->bmiHeader.biSizeImage);
    return S_OK;
}

HRESULT CPacketCarrier::CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut)
{
    const BITMAPINFOHEADER* in = Header(*mtIn);
    const BITMAPINFOHEADER* out = Header(*mtOut);
    return in && out && mtOut->subtype == MEDIASUBTYPE_YUY2 && out->biWidth == in->biWidth ? S_OK
                                                                                          : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CPacketCarrier::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    ALLOCATOR_PROPERTIES wanted = *request;
    wanted.cBuffers = std::max(m_cBuffers, request->cBuffers);
    wanted.cbBuffer = std::max(static_cast<LONG>(m_pOutput->CurrentMediaType().GetSampleSize()), request->cbBuffer);
    wanted.cbAlign = std::max(1L, request->cbAlign);
    ALLOCATOR_PROPERTIES actual = {};
    const HRESULT hr = allocator->SetProperties(&wanted, &actual);
    if (FAILED(hr))
        return hr;
    return actual.cbBuffer >= wanted.cbBuffer ? S_OK : E_FAIL;
}

HRESULT CPacketCarrier::Transform(IMediaSample* in, IMediaSample* out)
{
    BYTE* from = nullptr;
    BYTE* to = nullptr;
    HRESULT hr = in->GetPointer(&from);
    if (SUCCEEDED(hr))
        hr = out->GetPointer(&to);
    if (FAILED(hr))
        return hr;
    const LONG length = in->GetActualDataLength();
    const LONG frame = static_cast<LONG>(m_pOutput->CurrentMediaType().GetSampleSize());
    if (length < 0 || length + static_cast<LONG>(sizeof(DWORD)) > std::min(out->GetSize(), frame))
        return E_FAIL;
    const DWORD size = static_cast<DWORD>(length);
    std::memcpy(to, &size, sizeof size);
    std::memcpy(to + sizeof size, from, size);
    std::memset(to + sizeof size + size, 0x80, static_cast<size_t>(frame) - sizeof size - size);
    return out->SetActualDataLength(frame);
}
