#include "companions/components/archive/CV77ArchiveAuxiliary.h"
#include "companions/components/common/V77ComponentCreation.h"

#include <new>
#include <string>

#include "companions/components/archive/CV77RecordingStore.h"
#include "companions/components/archive/V77ArchiveDescribe.h"

CUnknown* CV77ArchiveAuxiliary::CreateInstance(LPUNKNOWN outer, HRESULT* phr)
{
    return CreateUnaggregated(outer, phr, [] { return new (std::nothrow) CV77ArchiveAuxiliary(); });
}

STDMETHODIMP CV77ArchiveAuxiliary::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (riid == IID_IV77ArchiveAuxiliaryState)
        return GetInterface(static_cast<IV77ArchiveAuxiliaryState*>(this), ppv);
    return CV77ReceiverAuxiliary::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CV77ArchiveAuxiliary::Attach(BSTR, BSTR source1)
{
    double average = 0.0;
    if (source1 && SysStringLen(source1)) {
        const std::wstring path(source1, SysStringLen(source1));
        const DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            CV77RecordingStore store([](const std::string&) {});
            CV77RecordingIndex index;
            if (SUCCEEDED(store.OpenFolder(path, &index)))
                average = index.AverageFrameSize();
        } else if (path.find(L':') != std::wstring::npos && path.find(L'\\') == std::wstring::npos) {
            average = ArchiveServerAverageFrameSize(path, kServerTimeoutMs);
        } else if (path.find_first_of(L"\\/:") == std::wstring::npos) {
            average = CaptureArchiveAverageFrameSize(path, kServerTimeoutMs);
        }
    }
    {
        std::lock_guard<std::mutex> lock(m_StateLock);
        m_dAverage = average;
    }
    // The zone file: named by source2 only when that is a path (the archive
    // sources' second string is not one), else next to the store.
    return CV77ReceiverAuxiliary::Attach(nullptr, source1);
}

STDMETHODIMP CV77ArchiveAuxiliary::GetAverageFrameSize(double* bytes)
{
    if (!bytes)
        return E_POINTER;
    std::lock_guard<std::mutex> lock(m_StateLock);
    *bytes = m_dAverage;
    return m_dAverage > 0.0 ? S_OK : S_FALSE;
}

HRESULT CV77ArchiveAuxiliary::Record(int index, DWORD a, DWORD b)
{
    std::lock_guard<std::mutex> lock(m_StateLock);
    ++m_Commands[index].calls;
    m_Commands[index].a = a;
    m_Commands[index].b = b;
    return S_OK;
}

STDMETHODIMP CV77ArchiveAuxiliary::GetCommand(DWORD slot, DWORD* calls, DWORD* a, DWORD* b)
{
    if (!calls || !a || !b)
        return E_POINTER;
    if (slot < 7 || slot > 9)
        return E_INVALIDARG;
    std::lock_guard<std::mutex> lock(m_StateLock);
    const Command& command = m_Commands[slot - 7];
    *calls = command.calls;
    *a = command.a;
    *b = command.b;
    return S_OK;
}
