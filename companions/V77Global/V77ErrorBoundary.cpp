#include "companions/V77Global/V77ErrorBoundary.h"

#include "companions/V77Global/CGlobalErrorHandlingEnvironment.h"

HRESULT V77HandleException(const char* module, int line, HRESULT unknownResult) noexcept
{
    const char* name = module ? module : "";
    try {
        throw;
    } catch (const CExceptionBase& error) {
        g_ErrorHandling.WriteLog("%s - handler %s line %d\n", error.GetErrorMessage(), name, line);
        return error.GetHResult();
    } catch (...) {
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        std::string when;
        try {
            when = GetDateAndTimeString(now);
        } catch (...) {
        }
        g_ErrorHandling.WriteLog("%s: thread %d Unhandled Exception - handler %s line %d\n", when.c_str(),
                                 static_cast<int>(GetCurrentThreadId()), name, line);
        return unknownResult;
    }
}
