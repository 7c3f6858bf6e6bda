#include "companions/components/local/CV77CaptureRingMapping.h"

#include <cwctype>
#include <new>

namespace {

HRESULT LastError()
{
    const DWORD error = GetLastError();
    return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

bool SameFormat(const V77CaptureFormat& a, const V77CaptureFormat& b)
{
    return a.width == b.width && a.height == b.height && a.compression == b.compression &&
           a.bitCount == b.bitCount && a.frameTime == b.frameTime;
}

}  // namespace

bool CV77CaptureRingMapping::IsValidName(const std::wstring& name)
{
    if (name.empty() || name.size() > kMaxNameLength)
        return false;
    for (wchar_t c : name) {
        if (!(std::iswalnum(c) && c < 128) && c != L'-' && c != L'_' && c != L'.')
            return false;
    }
    return true;
}

bool CV77CaptureRingMapping::IsProcessAlive(DWORD pid)
{
    if (pid == 0)
        return false;
    if (pid == GetCurrentProcessId())
        return true;
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!process)
        return false;
    const bool alive = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return alive;
}

std::wstring CV77CaptureRingMapping::ObjectName(const std::wstring& name, const wchar_t* suffix)
{
    return L"Local\\V77Capture." + name + suffix;
}

CV77CaptureRingMapping::CV77CaptureRingMapping(HANDLE section, void* view, size_t size)
    : m_hSection(section), m_pView(view), m_Ring(view, size)
{
}

CV77CaptureRingMapping::~CV77CaptureRingMapping()
{
    if (m_hFrame)
        CloseHandle(m_hFrame);
    if (m_hReturned)
        CloseHandle(m_hReturned);
    if (m_pView)
        UnmapViewOfFile(m_pView);
    if (m_hSection)
        CloseHandle(m_hSection);
}

HRESULT CV77CaptureRingMapping::Map(HANDLE section, const std::wstring& name,
                                    std::shared_ptr<CV77CaptureRingMapping>* mapping)
{
    void* view = MapViewOfFile(section, FILE_MAP_ALL_ACCESS, 0, 0, 0);
    if (!view) {
        const HRESULT hr = LastError();
        CloseHandle(section);
        return hr;
    }
    MEMORY_BASIC_INFORMATION info = {};
    const size_t size = VirtualQuery(view, &info, sizeof info) ? info.RegionSize : 0;
    std::shared_ptr<CV77CaptureRingMapping> mapped(new (std::nothrow) CV77CaptureRingMapping(section, view, size));
    if (!mapped) {
        UnmapViewOfFile(view);
        CloseHandle(section);
        return E_OUTOFMEMORY;
    }
    mapped->m_hFrame = CreateEventW(nullptr, FALSE, FALSE, ObjectName(name, L".Frame").c_str());
    mapped->m_hReturned = CreateEventW(nullptr, FALSE, FALSE, ObjectName(name, L".Returned").c_str());
    if (!mapped->m_hFrame || !mapped->m_hReturned)
        return LastError();
    *mapping = std::move(mapped);
    return S_OK;
}

HRESULT CV77CaptureRingMapping::Create(const std::wstring& name, const V77CaptureFormat& format, uint32_t slotCount,
                                       uint32_t slotBytes, std::shared_ptr<CV77CaptureRingMapping>* mapping,
                                       bool* alreadyExisted)
{
    if (!IsValidName(name) || !mapping)
        return E_INVALIDARG;
    const size_t bytes = CV77CaptureRing::RequiredBytes(slotCount, slotBytes);
    HANDLE section = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                                        static_cast<DWORD>(static_cast<unsigned long long>(bytes) >> 32),
                                        static_cast<DWORD>(bytes), ObjectName(name, L"").c_str());
    if (!section)
        return LastError();
    const bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
    std::shared_ptr<CV77CaptureRingMapping> mapped;
    HRESULT hr = Map(section, name, &mapped);
    if (FAILED(hr))
        return hr;
    CV77CaptureRing& ring = mapped->Ring();
    if (existed) {
        // Left by a capture process that is gone, or still filled by a live one.
        if (!ring.IsValid() || ring.Header().slotCount != slotCount || ring.Header().slotBytes != slotBytes ||
            !SameFormat(ring.Header().format, format))
            return HRESULT_FROM_WIN32(ERROR_BAD_FORMAT);
        if (IsProcessAlive(ring.Header().producerPid.load()))
            return HRESULT_FROM_WIN32(ERROR_BUSY);
    } else if (!ring.Format(format, slotCount, slotBytes)) {
        return HRESULT_FROM_WIN32(ERROR_BAD_FORMAT);
    }
    if (alreadyExisted)
        *alreadyExisted = existed;
    *mapping = std::move(mapped);
    return S_OK;
}

HRESULT CV77CaptureRingMapping::Open(const std::wstring& name, std::shared_ptr<CV77CaptureRingMapping>* mapping)
{
    if (!IsValidName(name) || !mapping)
        return E_INVALIDARG;
    HANDLE section = OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, ObjectName(name, L"").c_str());
    if (!section)
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    std::shared_ptr<CV77CaptureRingMapping> mapped;
    HRESULT hr = Map(section, name, &mapped);
    if (FAILED(hr))
        return hr;
    if (!mapped->Ring().IsValid())
        return HRESULT_FROM_WIN32(ERROR_BAD_FORMAT);
    *mapping = std::move(mapped);
    return S_OK;
}
