// Text forms of the values the host prints.
#pragma once

#include <windows.h>
#include <string>

// "E_NOTIMPL (0x80004001)" for the codes the module commonly returns, else the hex value.
std::string HResultText(HRESULT hr);
// HResultText with what the code means, for one-line error messages.
std::string HResultMeaning(HRESULT hr);
// "{B50FA83E-08F2-4C4C-A473-1956B5089268}".
std::string GuidText(const GUID& guid);
// "Video/DX50", "Audio/PCM", "Video/any" ...
std::string MediaTypeText(const GUID& major, const GUID& minor);
std::string Narrow(const WCHAR* text);
