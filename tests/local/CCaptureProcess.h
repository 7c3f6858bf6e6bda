// One run of the V77Capture tool (beside the test program), ended by its
// process handle when the object goes.
#pragma once

#include <windows.h>
#include <string>

class CCaptureProcess {
public:
    // Starts V77Capture.exe with arguments; Started() tells whether it runs.
    explicit CCaptureProcess(const std::wstring& arguments);
    ~CCaptureProcess();
    CCaptureProcess(const CCaptureProcess&) = delete;
    CCaptureProcess& operator=(const CCaptureProcess&) = delete;

    bool Started() const { return m_Info.hProcess != nullptr; }
    // Ends the process at once (as a crash would) and waits for it.
    bool Kill();

private:
    PROCESS_INFORMATION m_Info = {};
};
