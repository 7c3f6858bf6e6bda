#include "tests/kit/CComInit.h"

CComInit::CComInit(DWORD model) : m_hr(CoInitializeEx(nullptr, model))
{
}

CComInit::~CComInit()
{
    // S_FALSE (already initialised) is balanced too.
    if (SUCCEEDED(m_hr))
        CoUninitialize();
}
