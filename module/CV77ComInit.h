// Initialises COM on the calling thread for one scope. S_FALSE (already
// initialised on this thread) is a success and is balanced like S_OK.
#pragma once

#include <objbase.h>

class CV77ComInit {
public:
    CV77ComInit() : m_hr(CoInitialize(nullptr)) {}
    CV77ComInit(const CV77ComInit&) = delete;
    CV77ComInit& operator=(const CV77ComInit&) = delete;
    ~CV77ComInit()
    {
        if (SUCCEEDED(m_hr))
            CoUninitialize();
    }

    HRESULT Result() const { return m_hr; }

private:
    const HRESULT m_hr;
};
