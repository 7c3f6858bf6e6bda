#include "sources/CV77DsARCLocalFilter.h"

#include <new>

#include "sources/CV77DsARCLocalOutput.h"
#include "v77/V77Guids.h"

CV77DsARCLocalFilter::CV77DsARCLocalFilter(const TCHAR* name, LPUNKNOWN outer, HRESULT* phr)
    : CV77DsARCSourceFilterBase(name, outer, phr, CLSID_V77DsARCLocalSource)
{
    if (FAILED(*phr))
        return;
    m_pOutput = new (std::nothrow) CV77DsARCLocalOutput(this, phr);
    if (!m_pOutput) {
        *phr = E_OUTOFMEMORY;
        return;
    }
    if (FAILED(*phr))
        return;
    const HRESULT hr = CreateReceiver(CLSID_V77LocalArchiveReceiver);
    if (FAILED(hr)) {
        *phr = hr;
        return;
    }
    CreateAuxiliary(CLSID_V77LocalArchiveAuxiliary, phr);
}
