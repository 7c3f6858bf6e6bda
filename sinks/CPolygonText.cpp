#include "sinks/CPolygonText.h"

#include <cwchar>

namespace {

enum class ArgumentClass { None, Integer, Double, Text, Bad };

ArgumentClass ClassOf(wchar_t conversion)
{
    switch (conversion) {
    case L'd': case L'i': case L'u': case L'x': case L'X': case L'o': case L'c':
        return ArgumentClass::Integer;
    case L'f': case L'F': case L'e': case L'E': case L'g': case L'G': case L'a': case L'A':
        return ArgumentClass::Double;
    case L's':
        return ArgumentClass::Text;
    default:
        return ArgumentClass::Bad;
    }
}

// Checks every conversion of format against wanted and writes the format to
// use: wide %s conversions spelled %ls, which means a wide string in every
// printf flavour. False when a conversion does not fit or there are too many.
bool CheckFormat(const std::wstring& format, ArgumentClass wanted, std::wstring* checked)
{
    int conversions = 0;
    checked->clear();
    for (size_t i = 0; i < format.size(); ++i) {
        checked->push_back(format[i]);
        if (format[i] != L'%')
            continue;
        if (i + 1 < format.size() && format[i + 1] == L'%') {
            checked->push_back(format[++i]);
            continue;
        }
        ++i;
        while (i < format.size() && wcschr(L"-+ #0123456789.", format[i]))
            checked->push_back(format[i++]);
        if (i >= format.size())
            return false;
        const ArgumentClass found = ClassOf(format[i]);
        if (found != wanted || ++conversions > 3)
            return false;
        if (found == ArgumentClass::Text)
            checked->push_back(L'l');
        checked->push_back(format[i]);
    }
    return true;
}

}  // namespace

bool CPolygonText::Format(const v77::TextRecord& record, std::wstring* line) const
{
    line->clear();
    const wchar_t* resource = nullptr;
    const int length = LoadStringW(m_hModule, record.stringId, reinterpret_cast<LPWSTR>(&resource), 0);
    if (length <= 0 || !resource)
        return false;
    const std::wstring format(resource, static_cast<size_t>(length));
    ArgumentClass wanted = ArgumentClass::Bad;
    if (record.kind == static_cast<uint32_t>(v77::TextKind::Integer))
        wanted = ArgumentClass::Integer;
    else if (record.kind == static_cast<uint32_t>(v77::TextKind::Double))
        wanted = ArgumentClass::Double;
    else if (record.kind == static_cast<uint32_t>(v77::TextKind::Text))
        wanted = ArgumentClass::Text;
    std::wstring checked;
    if (wanted == ArgumentClass::Bad || !CheckFormat(format, wanted, &checked))
        return true;
    wchar_t buffer[512];
    int written = -1;
    if (wanted == ArgumentClass::Integer) {
        const int value = record.integer;
        written = _snwprintf(buffer, 511, checked.c_str(), value, value, value);
    } else if (wanted == ArgumentClass::Double) {
        const double value = record.number;
        written = _snwprintf(buffer, 511, checked.c_str(), value, value, value);
    } else {
        const std::wstring text(record.text.begin(), record.text.end());
        written = _snwprintf(buffer, 511, checked.c_str(), text.c_str(), text.c_str(), text.c_str());
    }
    buffer[511] = L'\0';
    line->assign(buffer, written >= 0 ? static_cast<size_t>(written) : wcslen(buffer));
    return true;
}
