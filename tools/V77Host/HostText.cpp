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
};

const NamedCode kCodes[] = {
    {S_OK, "S_OK"},
    {S_FALSE, "S_FALSE"},
    {E_NOTIMPL, "E_NOTIMPL"},
    {E_NOINTERFACE, "E_NOINTERFACE"},
    {E_POINTER, "E_POINTER"},
    {E_FAIL, "E_FAIL"},
    {E_OUTOFMEMORY, "E_OUTOFMEMORY"},
    {E_INVALIDARG, "E_INVALIDARG"},
    {E_UNEXPECTED, "E_UNEXPECTED"},
    {CLASS_E_CLASSNOTAVAILABLE, "CLASS_E_CLASSNOTAVAILABLE"},
    {REGDB_E_CLASSNOTREG, "REGDB_E_CLASSNOTREG"},
    {VFW_E_WRONG_STATE, "VFW_E_WRONG_STATE"},
    {VFW_E_NOT_CONNECTED, "VFW_E_NOT_CONNECTED"},
    {VFW_E_CANNOT_CONNECT, "VFW_E_CANNOT_CONNECT"},
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
