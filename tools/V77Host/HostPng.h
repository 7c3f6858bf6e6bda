// Saves a 32-bit BGRX picture as a PNG file through the platform's imaging
// component (WIC).
#pragma once

#include <windows.h>
#include <string>

HRESULT SavePng(const std::wstring& path, const BYTE* pixels, UINT width, UINT height, UINT stride);
