#include "companions/components/live/CV77ReceiverAuxiliary.h"

#include <vector>


namespace {

struct HandleCloser {
    HANDLE h;
    ~HandleCloser()
    {
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    }
};

BSTR ToBstr(const std::vector<char>& bytes)
{
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        return SysAllocStringLen(reinterpret_cast<const OLECHAR*>(bytes.data() + 2),
                                 static_cast<UINT>((bytes.size() - 2) / 2));
    }
    size_t skip = 0;
    if (bytes.size() >= 3 && static_cast<unsigned char>(bytes[0]) == 0xEF &&
        static_cast<unsigned char>(bytes[1]) == 0xBB && static_cast<unsigned char>(bytes[2]) == 0xBF)
        skip = 3;
    const int length = static_cast<int>(bytes.size() - skip);
    if (length == 0)
        return SysAllocString(L"");
    const int chars = MultiByteToWideChar(CP_UTF8, 0, bytes.data() + skip, length, nullptr, 0);
    if (chars <= 0)
        return nullptr;
    BSTR text = SysAllocStringLen(nullptr, static_cast<UINT>(chars));
    if (text)
        MultiByteToWideChar(CP_UTF8, 0, bytes.data() + skip, length, text, chars);
    return text;
}

}  // namespace

CV77ReceiverAuxiliary::CV77ReceiverAuxiliary() : CUnknown(TEXT("V77 receiver auxiliary"), nullptr) {}

STDMETHODIMP CV77ReceiverAuxiliary::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (riid == IID_IV77ReceiverAuxiliary)
        return GetInterface(static_cast<IV77ReceiverAuxiliary*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CV77ReceiverAuxiliary::Attach(BSTR source2, BSTR source1)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (source2 && SysStringLen(source2))
        m_ZonePath.assign(source2, SysStringLen(source2));
    else if (source1 && SysStringLen(source1))
        m_ZonePath.assign(source1, SysStringLen(source1)).append(L".zones.xml");
    else
        m_ZonePath.clear();
    m_cFrames = 0;
    m_cBytes = 0;
    return S_OK;
}

STDMETHODIMP CV77ReceiverAuxiliary::GetAverageFrameSize(double* bytes)
{
    if (!bytes)
        return E_POINTER;
    const ULONGLONG frames = m_cFrames;
    *bytes = frames ? static_cast<double>(m_cBytes) / static_cast<double>(frames) : 0.0;
    return frames ? S_OK : S_FALSE;
}

void CV77ReceiverAuxiliary::CountFrame(DWORD bytes)
{
    m_cBytes += bytes;
    ++m_cFrames;
}

STDMETHODIMP CV77ReceiverAuxiliary::GetOverlayConfiguration(long, BSTR* xml)
{
    if (!xml)
        return E_POINTER;
    *xml = nullptr;
    std::wstring path;
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        path = m_ZonePath;
    }
    HandleCloser file{path.empty() ? INVALID_HANDLE_VALUE
                                   : CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (file.h == INVALID_HANDLE_VALUE) {
        *xml = SysAllocString(L"");
        return *xml ? S_OK : E_OUTOFMEMORY;
    }
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file.h, &size) || size.QuadPart > kMaxConfigurationBytes)
        return E_FAIL;
    std::vector<char> bytes(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty() && (!ReadFile(file.h, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
                           read != bytes.size()))
        return E_FAIL;
    *xml = ToBstr(bytes);
    return *xml ? S_OK : E_FAIL;
}
