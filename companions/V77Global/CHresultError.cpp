#include "companions/V77Global/CHresultError.h"

#include <cstdio>

namespace {

// The system's text for a message id, trailing line breaks removed; empty when unknown.
std::string SystemText(DWORD id)
{
    char* text = nullptr;
    DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, id, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string result;
    if (length && text)
        result.assign(text, length);
    if (text)
        LocalFree(text);
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r' || result.back() == ' '))
        result.pop_back();
    return result;
}

}  // namespace

CHresultError::CHresultError(const char* file, int line, long hr)
    : CExceptionBase(file, line, static_cast<HRESULT>(hr), Describe(static_cast<HRESULT>(hr)))
{
}

std::string CHresultError::Describe(HRESULT hr)
{
    char code[32];
    snprintf(code, sizeof code, "HRESULT 0x%08lX", static_cast<unsigned long>(hr));
    std::string result = code;
    std::string text = SystemText(static_cast<DWORD>(hr));
    if (!text.empty())
        result += ": " + text;
    return result;
}
