// Saves pictures as PNG files through the platform's imaging component (WIC),
// so a person can look at what a demo step drew.
#pragma once

#include <windows.h>
#include <string>

HRESULT SavePng(const std::wstring& path, const BYTE* pixels, UINT width, UINT height, UINT stride);

// What the screen shows of a window's client area (S_OK when written; the
// WIC or GDI failure otherwise).
HRESULT SaveWindowPng(HWND window, const std::wstring& path);
