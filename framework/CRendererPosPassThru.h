// The renderer's seeking pass-through: also remembers the media time of the
// sample last received, so the current position is answered without asking
// upstream. At end of stream the position becomes the stop position.
#pragma once

#include "framework/CCritSec.h"
#include "framework/CPosPassThru.h"

class CRendererPosPassThru : public CPosPassThru {
public:
    CRendererPosPassThru(const TCHAR* name, LPUNKNOWN outer, HRESULT* phr, IPin* pin);

    // Caches the sample's media times; VFW_E_MEDIA_TIME_NOT_SET (and nothing cached) without them.
    HRESULT RegisterMediaTime(IMediaSample* sample);
    HRESULT RegisterMediaTime(LONGLONG start, LONGLONG end);
    // The cached times in the current format; E_FAIL while nothing is cached.
    HRESULT GetMediaTime(LONGLONG* start, LONGLONG* end) override;
    // Forgets the cached times (flush, stop).
    HRESULT ResetMediaTime();
    // Caches the upstream stop position as the position reached.
    HRESULT EOS();

private:
    CCritSec m_PositionLock;
    LONGLONG m_StartMedia;
    LONGLONG m_EndMedia;
    bool m_bValid;
};
