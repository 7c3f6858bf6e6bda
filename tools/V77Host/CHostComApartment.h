// The host thread's COM apartment for the duration of a command. A
// single-threaded apartment, because later graphs draw into windows.
#pragma once

#include <objbase.h>

class CHostComApartment {
public:
    CHostComApartment() : m_hr(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    CHostComApartment(const CHostComApartment&) = delete;
    CHostComApartment& operator=(const CHostComApartment&) = delete;
    ~CHostComApartment()
    {
        if (SUCCEEDED(m_hr))
            CoUninitialize();
    }

    HRESULT Result() const { return m_hr; }

private:
    const HRESULT m_hr;
};
