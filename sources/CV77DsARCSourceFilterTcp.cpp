#include "sources/CV77DsARCSourceFilterTcp.h"

#include <new>

#include "sources/CV77DsARCSourceOutput.h"
#include "v77/V77Guids.h"

CV77DsARCSourceFilterTcp::CV77DsARCSourceFilterTcp(const TCHAR* name, LPUNKNOWN outer, HRESULT* phr)
    : CV77DsARCSourceFilterBase(name, outer, phr, CLSID_V77DsARCSourceTcp)
{
    if (FAILED(*phr))
        return;
    const HRESULT hr = CreateReceiver(CLSID_V77TcpArchiveReceiver);
    if (FAILED(hr)) {
        *phr = hr;
        return;
    }
    CreateAuxiliary(CLSID_V77ArchiveAuxiliary, phr);
    m_pOutput = new (std::nothrow) CV77DsARCSourceOutput(TEXT("ARCSource output"), this, phr, L"ARCSource OUTPUT");
    if (!m_pOutput)
        *phr = E_OUTOFMEMORY;
}
