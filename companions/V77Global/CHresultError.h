// A failed COM or DirectDraw call, carrying its HRESULT.
#pragma once

#include "companions/V77Global/CExceptionBase.h"

class CHresultError : public CExceptionBase {
public:
    // A success code is reported as E_FAIL (the message keeps the original).
    CHresultError(const char* file, int line, long hr);

    // "HRESULT 0x8007000E" followed by the system's text when it has one.
    static std::string Describe(HRESULT hr);
};
