#include "companions/components/archive/CV77AviArchiveReceiver.h"
#include "companions/components/common/V77ComponentCreation.h"

#include <new>
#include <string>

#include "companions/components/recording/V77StoreNaming.h"

CUnknown* CV77AviArchiveReceiver::CreateInstance(LPUNKNOWN outer, HRESULT* phr)
{
    return CreateUnaggregated(outer, phr, [] { return new (std::nothrow) CV77AviArchiveReceiver(); });
}

CV77AviArchiveReceiver::CV77AviArchiveReceiver()
    : CV77StoreReceiver(TEXT("V77 AVI archive receiver"), "V77AviArchiveReceiver")
{
}

HRESULT CV77AviArchiveReceiver::OpenRecording(BSTR source1, BSTR source2, SOURCE_INFORMATION* info, CMediaType* mt)
{
    if (!source1 || !SysStringLen(source1) || !source2)
        return E_INVALIDARG;
    std::string text;
    for (UINT i = 0; i < SysStringLen(source2); ++i)
        text += source2[i] < 128 ? static_cast<char>(source2[i]) : '?';
    const auto firstTime = ParseDecimalTime(text);
    if (!firstTime) {
        Log("'%s' is not the time of a first frame\n", text.c_str());
        return E_INVALIDARG;
    }
    const HRESULT hr = m_Store.OpenFile(std::wstring(source1, SysStringLen(source1)), *firstTime, &m_Index);
    if (FAILED(hr))
        return hr;
    *info = m_Store.Information();
    *mt = m_Store.MediaType();
    return S_OK;
}
