// Root of the companion error classes. Thrown by value, caught by reference.
// The two operations keep their vtable slots (0: message, 1: HRESULT), so the
// virtual destructor is declared after them. It does not derive from
// std::exception on purpose: that would put what() in front of them.
#pragma once

#include <windows.h>
#include <string>

class CExceptionBase {
public:
    // Slot 0: the message as ANSI text; valid as long as the exception lives.
    virtual const char* GetErrorMessage() const;
    // Slot 1: always a failure code, the value a catching COM method returns.
    virtual HRESULT GetHResult() const;
    virtual ~CExceptionBase();

protected:
    CExceptionBase(const char* file, int line, HRESULT hr, const std::string& text);

private:
    std::string m_Message;
    HRESULT m_hr;
};
