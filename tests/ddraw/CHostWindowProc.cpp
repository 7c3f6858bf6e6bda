#include "tests/ddraw/CHostWindowProc.h"

#include "v77/IV77DxRenderer.h"

namespace {

constexpr wchar_t kProperty[] = L"V77Test.HostProc";
constexpr wchar_t kParametersKey[] = L"CLSID\\{B80D6ED7-7340-4da5-AEA9-93610B81239E}\\Parameters";

}  // namespace

CHostWindowProc::CHostWindowProc(HWND window) : m_hWnd(window), m_pPrevious(nullptr)
{
    SetPropW(window, kProperty, this);
    m_pPrevious = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CHostWindowProc::Proc)));
}

CHostWindowProc::~CHostWindowProc()
{
    if (IsWindow(m_hWnd)) {
        SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pPrevious));
        RemovePropW(m_hWnd, kProperty);
    }
}

LRESULT CALLBACK CHostWindowProc::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = static_cast<CHostWindowProc*>(GetPropW(window, kProperty));
    if (!self)
        return DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_V77_OVERLAY_REDRAW)
        ++self->m_Redraws;
    return CallWindowProcW(self->m_pPrevious, window, message, wParam, lParam);
}

CRendererParameters::CRendererParameters(DWORD useGdi, DWORD syncBlt)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, kParametersKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    RegSetValueExW(key, L"UseGDI", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&useGdi), sizeof useGdi);
    RegSetValueExW(key, L"SyncBlt", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&syncBlt), sizeof syncBlt);
    RegCloseKey(key);
}

CRendererParameters::~CRendererParameters()
{
    RegDeleteKeyW(HKEY_CLASSES_ROOT, kParametersKey);
}
