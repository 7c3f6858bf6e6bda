// COM initialised for the lifetime of a scope on the calling thread.
#pragma once

#include <windows.h>
#include <objbase.h>

class CComInit {
public:
    explicit CComInit(DWORD model = COINIT_MULTITHREADED);
    ~CComInit();
    CComInit(const CComInit&) = delete;
    CComInit& operator=(const CComInit&) = delete;

    HRESULT Result() const { return m_hr; }

private:
    HRESULT m_hr;
};
