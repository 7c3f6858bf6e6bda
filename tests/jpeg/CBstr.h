#pragma once

#include <windows.h>
#include <oleauto.h>

// A BSTR for the length of a scope.
class CBstr {
public:
    explicit CBstr(BSTR owned) : m_Bstr(owned) {}
    ~CBstr() { SysFreeString(m_Bstr); }
    CBstr(const CBstr&) = delete;
    CBstr& operator=(const CBstr&) = delete;
    BSTR Get() const { return m_Bstr; }

private:
    BSTR m_Bstr;
};
