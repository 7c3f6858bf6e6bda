#include "sources/CV77DsARCSourceFilter.h"

#include <new>

#include "sources/CV77DsARCSourceOutput.h"
#include "v77/V77Guids.h"

CV77DsARCSourceFilter::CV77DsARCSourceFilter(const TCHAR* name, LPUNKNOWN outer, HRESULT* phr)
    : CV77DsARCSourceFilterBase(name, outer, phr, CLSID_V77DsARCSource)
{
    if (FAILED(*phr))
        return;
    const HRESULT hr = CreateReceiver(CLSID_V77StoreReceiver);
    if (FAILED(hr)) {
        *phr = hr;
        return;
    }
    CreateAuxiliary(CLSID_V77ArchiveAuxiliary, phr);
    m_pOutput = new (std::nothrow) CV77DsARCSourceOutput(TEXT("ARCSource output"), this, phr, L"ARCSource OUTPUT");
    if (!m_pOutput)
        *phr = E_OUTOFMEMORY;
}
