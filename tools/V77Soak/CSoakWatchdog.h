// The soak run's own watchdog: every step of the run names itself and its
// time limit; a thread of the watchdog checks the limit and, when a step is
// stuck, prints which step on which thread, runs the cleanup (stopping the
// camera by pid) and ends the process with exit code 3.
#pragma once

#include <windows.h>
#include <atomic>
#include <functional>
#include <mutex>
#include <string>

class CSoakWatchdog {
public:
    explicit CSoakWatchdog(std::function<void()> cleanup);
    ~CSoakWatchdog();
    CSoakWatchdog(const CSoakWatchdog&) = delete;
    CSoakWatchdog& operator=(const CSoakWatchdog&) = delete;

    // A step of the calling thread, bounded to limitMs from now, for the life of the object.
    class Step {
    public:
        Step(CSoakWatchdog& dog, const std::string& name, DWORD limitMs);
        ~Step();
        Step(const Step&) = delete;
        Step& operator=(const Step&) = delete;

    private:
        CSoakWatchdog& m_Dog;
        std::string m_Previous;
        ULONGLONG m_PreviousDeadline;
    };

    static constexpr int kStuckExitCode = 3;

private:
    static DWORD WINAPI Watch(LPVOID self);

    std::function<void()> m_Cleanup;
    std::mutex m_Mutex;
    std::string m_Step;
    DWORD m_dwThread = 0;
    ULONGLONG m_Deadline = 0;  // 0: nothing bounded
    HANDLE m_hStop;
    HANDLE m_hThread;
};
