#include "audio/CreateAudioMediaType.h"

#include <uuids.h>
#include <cstring>

#include "framework/CMediaType.h"

HRESULT WINAPI CreateAudioMediaType(const WAVEFORMATEX* wfx, AM_MEDIA_TYPE* pmt, BOOL setFormat)
{
    if (!wfx || !pmt)
        return E_POINTER;
    pmt->majortype = MEDIATYPE_Audio;
    // FOURCC-style subtype: the format tag in the first word of the base GUID.
    pmt->subtype = MEDIASUBTYPE_PCM;
    pmt->subtype.Data1 = wfx->wFormatTag;
    pmt->formattype = FORMAT_WaveFormatEx;
    pmt->bFixedSizeSamples = TRUE;
    pmt->bTemporalCompression = FALSE;
    pmt->lSampleSize = wfx->nBlockAlign;
    pmt->pUnk = nullptr;
    if (setFormat) {
        const ULONG length = sizeof(WAVEFORMATEX) + (wfx->wFormatTag == WAVE_FORMAT_PCM ? 0 : wfx->cbSize);
        BYTE* format = static_cast<BYTE*>(CoTaskMemAlloc(length));
        if (!format)
            return E_OUTOFMEMORY;
        std::memcpy(format, wfx, length);
        if (wfx->wFormatTag == WAVE_FORMAT_PCM)
            reinterpret_cast<WAVEFORMATEX*>(format)->cbSize = 0;
        if (pmt->pbFormat)
            CoTaskMemFree(pmt->pbFormat);
        pmt->pbFormat = format;
        pmt->cbFormat = length;
    }
    return S_OK;
}
