#include "sources/CV77DsARCSourceFilterAVI.h"

#include <new>

#include "sources/CV77DsARCSourceOutput.h"
#include "v77/V77Guids.h"

CV77DsARCSourceFilterAVI::CV77DsARCSourceFilterAVI(const TCHAR* name, LPUNKNOWN outer, HRESULT* phr)
    : CV77DsARCSourceFilterBase(name, outer, phr, CLSID_V77DsARCSourceAVI)
{
    if (FAILED(*phr))
        return;
    const HRESULT hr = CreateReceiver(CLSID_V77AviArchiveReceiver);
    if (FAILED(hr)) {
        *phr = hr;
        return;
    }
    m_pOutput = new (std::nothrow) CV77DsARCSourceOutput(TEXT("ARCSource output"), this, phr, L"ARCSource OUTPUT");
    if (!m_pOutput)
        *phr = E_OUTOFMEMORY;
}
