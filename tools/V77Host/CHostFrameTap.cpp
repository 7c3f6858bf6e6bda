#include "tools/V77Host/CHostFrameTap.h"

#include <new>

namespace {

// {3C1F7E52-9A0B-4E7D-8D61-2B4F5A6C7D80}: the host's own, never registered.
const CLSID CLSID_V77HostFrameTap = {0x3c1f7e52, 0x9a0b, 0x4e7d, {0x8d, 0x61, 0x2b, 0x4f, 0x5a, 0x6c, 0x7d, 0x80}};

}  // namespace

CHostFrameTap::CHostFrameTap()
    : CTransInPlaceFilter(TEXT("V77Host frame counter"), nullptr, CLSID_V77HostFrameTap, nullptr, false)
{
}

CHostFrameTap* CHostFrameTap::Create()
{
    auto* tap = new (std::nothrow) CHostFrameTap();
    if (tap)
        tap->AddRef();
    return tap;
}

HRESULT CHostFrameTap::CheckInputType(const CMediaType* type)
{
    return type->IsValid() ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CHostFrameTap::Transform(IMediaSample* sample)
{
    ++m_Frames;
    REFERENCE_TIME start = 0, stop = 0;
    if (sample->GetMediaTime(&start, &stop) != S_OK)
        return S_OK;
    const REFERENCE_TIME previous = m_LastMediaTime.exchange(start);
    const REFERENCE_TIME frame = m_FrameTime.load();
    // A jump forward of more than one and a half frames lost the frames in
    // between; a jump back is a loop or a restart, not a loss.
    if (previous && frame > 0 && start - previous > frame + frame / 2)
        m_Dropped += static_cast<long>((start - previous + frame / 2) / frame - 1);
    return S_OK;
}
