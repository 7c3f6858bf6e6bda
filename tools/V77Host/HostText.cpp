#include "tools/V77Host/HostText.h"

#include <algorithm>
#include <cstdio>
#include <strmif.h>
#include <uuids.h>
#include <vfwmsgs.h>

namespace {

struct NamedCode {
    HRESULT hr;
    const char* name;
    const char* meaning;
};

const NamedCode kCodes[] = {
    {S_OK, "S_OK", "success"},
    {S_FALSE, "S_FALSE", "success, with a reservation"},
    {E_NOTIMPL, "E_NOTIMPL", "not implemented"},
    {E_NOINTERFACE, "E_NOINTERFACE", "interface not supported"},
    {E_POINTER, "E_POINTER", "null pointer"},
    {E_FAIL, "E_FAIL", "unspecified failure"},
    {E_OUTOFMEMORY, "E_OUTOFMEMORY", "out of memory"},
    {E_INVALIDARG, "E_INVALIDARG", "invalid argument"},
    {E_UNEXPECTED, "E_UNEXPECTED", "unexpected call"},
    {E_ACCESSDENIED, "E_ACCESSDENIED", "access denied"},
    {CLASS_E_CLASSNOTAVAILABLE, "CLASS_E_CLASSNOTAVAILABLE", "the DLL does not serve this class"},
    {REGDB_E_CLASSNOTREG, "REGDB_E_CLASSNOTREG", "class not registered (is its component DLL registered?)"},
    {VFW_E_WRONG_STATE, "VFW_E_WRONG_STATE", "not allowed in the graph's current state"},
    {VFW_E_NOT_CONNECTED, "VFW_E_NOT_CONNECTED", "pin not connected"},
    {VFW_E_CANNOT_CONNECT, "VFW_E_CANNOT_CONNECT", "no combination of media types connects these pins"},
    {VFW_E_TYPE_NOT_ACCEPTED, "VFW_E_TYPE_NOT_ACCEPTED", "media type not accepted"},
    {VFW_E_NO_ACCEPTABLE_TYPES, "VFW_E_NO_ACCEPTABLE_TYPES", "the pins have no media type in common"},
    {VFW_E_INVALID_MEDIA_TYPE, "VFW_E_INVALID_MEDIA_TYPE", "the stream's description has changed or is invalid"},
    {VFW_E_NOT_COMMITTED, "VFW_E_NOT_COMMITTED", "allocator not committed (graph stopped)"},
    {VFW_E_SIZENOTSET, "VFW_E_SIZENOTSET", "allocator buffer size not set"},
    {VFW_E_NOT_FOUND, "VFW_E_NOT_FOUND", "no such pin or object"},
    {VFW_E_ALREADY_CONNECTED, "VFW_E_ALREADY_CONNECTED", "pin already connected"},
    {VFW_E_TIMEOUT, "VFW_E_TIMEOUT", "timed out"},
    // AVIFile's own codes (MAKE_AVIERR), which the AVI receivers pass on.
    {static_cast<HRESULT>(0x80044065), "AVIERR_UNSUPPORTED", "AVIFile does not support this file or stream"},
    {static_cast<HRESULT>(0x80044066), "AVIERR_BADFORMAT", "bad AVI format"},
    {static_cast<HRESULT>(0x8004406D), "AVIERR_FILEREAD", "the AVI file cannot be read"},
    {static_cast<HRESULT>(0x8004406E), "AVIERR_FILEWRITE", "the AVI file cannot be written"},
    {static_cast<HRESULT>(0x8004406F), "AVIERR_FILEOPEN", "the AVI file cannot be opened (missing, locked or not an AVI file)"},
    {HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), "ERROR_FILE_NOT_FOUND", "file not found"},
    {HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), "ERROR_PATH_NOT_FOUND", "path not found"},
    {HRESULT_FROM_WIN32(WSAECONNREFUSED), "WSAECONNREFUSED", "connection refused"},
    {HRESULT_FROM_WIN32(WSAEADDRINUSE), "WSAEADDRINUSE", "address in use"},
};

bool IsFourCcSubtype(const GUID& minor)
{
    // FOURCC subtypes: {XXXXXXXX-0000-0010-8000-00AA00389B71}
    static const BYTE kTail[8] = {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    return minor.Data2 == 0 && minor.Data3 == 0x10 && std::equal(kTail, kTail + 8, minor.Data4);
}

std::string SubtypeText(const GUID& minor)
{
    if (minor == GUID_NULL)
        return "any";
    if (minor == MEDIASUBTYPE_PCM)
        return "PCM";
    if (IsFourCcSubtype(minor)) {
        std::string fourcc;
        for (int shift = 0; shift < 32; shift += 8) {
            const char c = static_cast<char>((minor.Data1 >> shift) & 0xFF);
            fourcc += (c >= 0x20 && c < 0x7F) ? c : '?';
        }
        return fourcc;
    }
    return GuidText(minor);
}

}  // namespace

std::string HResultText(HRESULT hr)
{
    char hex[16];
    std::snprintf(hex, sizeof(hex), "0x%08lX", static_cast<unsigned long>(hr));
    for (const NamedCode& code : kCodes) {
        if (code.hr == hr)
            return std::string(code.name) + " (" + hex + ")";
    }
    return hex;
}

std::string HResultMeaning(HRESULT hr)
{
    for (const NamedCode& code : kCodes) {
        if (code.hr == hr)
            return HResultText(hr) + ": " + code.meaning;
    }
    // Anything else: the system's own text, on one line.
    char text[256] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                        static_cast<DWORD>(hr), 0, text, sizeof(text), nullptr);
    std::string meaning(text, length);
    while (!meaning.empty() && (meaning.back() == '\n' || meaning.back() == '\r' || meaning.back() == ' ' ||
                                meaning.back() == '.'))
        meaning.pop_back();
    for (char& c : meaning)
        c = (c == '\n' || c == '\r') ? ' ' : c;
    return HResultText(hr) + ": " + (meaning.empty() ? "no description known" : meaning);
}

std::string GuidText(const GUID& guid)
{
    WCHAR wide[40];
    StringFromGUID2(guid, wide, 40);
    return Narrow(wide);
}

std::string MediaTypeText(const GUID& major, const GUID& minor)
{
    std::string text;
    if (major == MEDIATYPE_Video)
        text = "Video";
    else if (major == MEDIATYPE_Audio)
        text = "Audio";
    else if (major == GUID_NULL)
        text = "any";
    else
        text = GuidText(major);
    return text + "/" + SubtypeText(minor);
}

std::string Narrow(const WCHAR* text)
{
    if (!text)
        return std::string();
    const int size = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1)
        return std::string();
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, -1, &result[0], size, nullptr, nullptr);
    result.resize(static_cast<size_t>(size - 1));
    return result;
}
