// Saves what the screen shows of a window's client area as a PNG file, so a
// person can look at what a demo step drew.
#pragma once

#include <windows.h>
#include <string>

// S_OK when written; the WIC or GDI failure otherwise.
HRESULT SaveWindowPng(HWND window, const std::wstring& path);
