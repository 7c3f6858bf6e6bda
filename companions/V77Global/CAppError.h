// An application-level failure described by a message (E_FAIL).
#pragma once

#include "companions/V77Global/CExceptionBase.h"

class CAppError : public CExceptionBase {
public:
    CAppError(const char* file, int line, const char* message);
};
