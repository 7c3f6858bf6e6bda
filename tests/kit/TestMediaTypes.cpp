#include "tests/kit/TestMediaTypes.h"

#include <amvideo.h>
#include <mmreg.h>
#include <uuids.h>

CMediaType MakeTestVideoType(LONG width, LONG height, REFERENCE_TIME frameTime)
{
    CMediaType mt;
    mt.SetType(&MEDIATYPE_Video);
    mt.SetSubtype(&MEDIASUBTYPE_RGB32);
    mt.SetFormatType(&FORMAT_VideoInfo);
    VIDEOINFOHEADER vih = {};
    vih.AvgTimePerFrame = frameTime;
    vih.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih.bmiHeader.biWidth = width;
    vih.bmiHeader.biHeight = height;
    vih.bmiHeader.biPlanes = 1;
    vih.bmiHeader.biBitCount = 32;
    vih.bmiHeader.biCompression = BI_RGB;
    vih.bmiHeader.biSizeImage = static_cast<DWORD>(width * height * 4);
    mt.SetFormat(reinterpret_cast<const BYTE*>(&vih), sizeof(vih));
    mt.SetSampleSize(vih.bmiHeader.biSizeImage);
    mt.SetTemporalCompression(FALSE);
    return mt;
}

CMediaType MakeTestAudioType(DWORD samplesPerSec)
{
    CMediaType mt;
    mt.SetType(&MEDIATYPE_Audio);
    mt.SetSubtype(&MEDIASUBTYPE_PCM);
    mt.SetFormatType(&FORMAT_WaveFormatEx);
    WAVEFORMATEX wfx = {};
    wfx.wFormatTag = WAVE_FORMAT_PCM;
    wfx.nChannels = 1;
    wfx.nSamplesPerSec = samplesPerSec;
    wfx.wBitsPerSample = 16;
    wfx.nBlockAlign = 2;
    wfx.nAvgBytesPerSec = samplesPerSec * 2;
    mt.SetFormat(reinterpret_cast<const BYTE*>(&wfx), sizeof(wfx));
    mt.SetSampleSize(2);
    return mt;
}

BYTE TestFrameByte(int frame, LONG offset)
{
    return static_cast<BYTE>((frame * 31 + offset * 7 + 1) & 0xFF);
}
