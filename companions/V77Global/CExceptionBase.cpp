#include "companions/V77Global/CExceptionBase.h"

#include "companions/V77Global/CGlobalErrorHandlingEnvironment.h"

namespace {

std::string LocationPrefix(const char* file, int line)
{
    std::string where = CGlobalErrorHandlingEnvironment::GetFilePart(file);
    where += '(';
    where += std::to_string(line);
    where += "): ";
    return where;
}

}  // namespace

CExceptionBase::CExceptionBase(const char* file, int line, HRESULT hr, const std::string& text)
    : m_Message(LocationPrefix(file, line) + text),
      // A success code would tell the COM caller that nothing went wrong.
      m_hr(FAILED(hr) ? hr : E_FAIL)
{
}

CExceptionBase::~CExceptionBase() = default;

const char* CExceptionBase::GetErrorMessage() const
{
    return m_Message.c_str();
}

HRESULT CExceptionBase::GetHResult() const
{
    return m_hr;
}
