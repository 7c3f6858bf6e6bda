#include "tests/local/CCaptureProcess.h"

#include <vector>

CCaptureProcess::CCaptureProcess(const std::wstring& arguments)
{
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring exe(path, length);
    exe = exe.substr(0, exe.find_last_of(L"\\/") + 1) + L"V77Capture.exe";
    std::wstring line = L"\"" + exe + L"\" " + arguments;
    std::vector<wchar_t> mutableLine(line.begin(), line.end());
    mutableLine.push_back(0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    if (!CreateProcessW(exe.c_str(), mutableLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &m_Info))
        m_Info = PROCESS_INFORMATION{};
}

CCaptureProcess::~CCaptureProcess()
{
    Kill();
}

bool CCaptureProcess::Kill()
{
    if (!m_Info.hProcess)
        return false;
    TerminateProcess(m_Info.hProcess, 9);
    const bool ended = WaitForSingleObject(m_Info.hProcess, 10000) == WAIT_OBJECT_0;
    CloseHandle(m_Info.hProcess);
    CloseHandle(m_Info.hThread);
    m_Info = PROCESS_INFORMATION{};
    return ended;
}
