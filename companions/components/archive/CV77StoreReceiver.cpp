#include "companions/components/archive/CV77StoreReceiver.h"
#include "companions/components/common/V77ComponentCreation.h"

#include <new>
#include <string>

CUnknown* CV77StoreReceiver::CreateInstance(LPUNKNOWN outer, HRESULT* phr)
{
    return CreateUnaggregated(outer, phr, [] {
        return new (std::nothrow) CV77StoreReceiver(TEXT("V77 store receiver"), "V77StoreReceiver");
    });
}

CV77StoreReceiver::CV77StoreReceiver(const TCHAR* name, const char* logName)
    : CV77ArchiveReceiver(name, logName), m_Store([this](const std::string& line) { Log("%s", line.c_str()); })
{
}

CV77StoreReceiver::~CV77StoreReceiver()
{
    StopThread();  // its reads use m_Store
}

HRESULT CV77StoreReceiver::OpenRecording(BSTR source1, BSTR, SOURCE_INFORMATION* info, CMediaType* mt)
{
    if (!source1 || !SysStringLen(source1))
        return E_INVALIDARG;
    const HRESULT hr = m_Store.OpenFolder(std::wstring(source1, SysStringLen(source1)), &m_Index);
    if (FAILED(hr))
        return hr;
    *info = m_Store.Information();
    *mt = m_Store.MediaType();
    return S_OK;
}

HRESULT CV77StoreReceiver::ReadFrame(size_t index, BYTE* data, LONG capacity, LONG* written)
{
    return m_Store.Read(m_Index.Frame(index), data, capacity, written);
}

void CV77StoreReceiver::CloseRecording()
{
    m_Store.Close();
}
