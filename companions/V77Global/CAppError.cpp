#include "companions/V77Global/CAppError.h"

CAppError::CAppError(const char* file, int line, const char* message)
    : CExceptionBase(file, line, E_FAIL, message ? message : "(no message)")
{
}
