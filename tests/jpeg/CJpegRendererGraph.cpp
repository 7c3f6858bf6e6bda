#include "tests/jpeg/CJpegRendererGraph.h"

#include "tests/kit/ComAdopt.h"
#include "v77/V77Events.h"
#include "v77/V77Guids.h"

using Microsoft::WRL::ComPtr;

CJpegRendererGraph::~CJpegRendererGraph()
{
    if (Graph().Control())
        Graph().StopAndWait();
    // Queued events own samples of the renderer's pool.
    if (Graph().Events())
        DrainEvents();
}

HRESULT CJpegRendererGraph::Start(const GUID& subtype, LONG width, LONG height, bool topDown)
{
    HRESULT hr = Create(CLSID_V77JpegRenderer);
    if (FAILED(hr) || FAILED(hr = Renderer()->QueryInterface(IID_IV77JpegRenderer,
                                                             reinterpret_cast<void**>(m_pJpeg.GetAddressOf()))))
        return hr;
    return CRendererGraph::Start(subtype, width, height, topDown);
}

bool CJpegRendererGraph::ReadEvent(DWORD timeoutMs, long* code, LONG_PTR* param1)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        const DWORD left = now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
        LONG_PTR param2 = 0;
        if (Graph().Events()->GetEvent(code, param1, &param2, static_cast<long>(left)) == S_OK) {
            Graph().Events()->FreeEventParams(*code, *param1, param2);
            return true;
        }
        // Wine's GetEvent may give up early: only the deadline ends the wait.
        if (left == 0)
            return false;
        Sleep(5);
    }
}

bool CJpegRendererGraph::NextJpegEvent(DWORD timeoutMs, ComPtr<IMediaSample>* sample)
{
    sample->Reset();
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        long code = 0;
        LONG_PTR param1 = 0;
        if (!ReadEvent(now >= deadline ? 0 : static_cast<DWORD>(deadline - now), &code, &param1))
            return false;
        if (code == EC_V77_JPEG_READY) {
            *sample = Adopt(reinterpret_cast<IMediaSample*>(param1));
            return true;
        }
    }
}

int CJpegRendererGraph::DrainEvents()
{
    int count = 0;
    long code = 0;
    LONG_PTR param1 = 0;
    // Not a zero wait: Wine's GetEvent may miss an event that is queued.
    while (ReadEvent(100, &code, &param1)) {
        if (code == EC_V77_JPEG_READY) {
            ++count;
            Adopt(reinterpret_cast<IMediaSample*>(param1));
        }
    }
    return count;
}
