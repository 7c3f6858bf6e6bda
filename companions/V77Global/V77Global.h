// Everything of the error and log library in one include.
#pragma once

#include "companions/V77Global/CAppError.h"
#include "companions/V77Global/CExceptionBase.h"
#include "companions/V77Global/CGlobalErrorHandlingEnvironment.h"
#include "companions/V77Global/CHresultError.h"
#include "companions/V77Global/CWin32Error.h"
#include "companions/V77Global/V77ErrorBoundary.h"
