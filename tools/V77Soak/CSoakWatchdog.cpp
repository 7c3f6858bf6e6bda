#include "tools/V77Soak/CSoakWatchdog.h"

#include <cstdio>

CSoakWatchdog::CSoakWatchdog(std::function<void()> cleanup)
    : m_Cleanup(std::move(cleanup)), m_hStop(CreateEventW(nullptr, TRUE, FALSE, nullptr)), m_hThread(nullptr)
{
    m_hThread = CreateThread(nullptr, 0, Watch, this, 0, nullptr);
}

CSoakWatchdog::~CSoakWatchdog()
{
    SetEvent(m_hStop);
    if (m_hThread) {
        WaitForSingleObject(m_hThread, 5000);
        CloseHandle(m_hThread);
    }
    CloseHandle(m_hStop);
}

DWORD WINAPI CSoakWatchdog::Watch(LPVOID self)
{
    auto* dog = static_cast<CSoakWatchdog*>(self);
    while (WaitForSingleObject(dog->m_hStop, 250) == WAIT_TIMEOUT) {
        std::string step;
        DWORD thread = 0;
        ULONGLONG overdue = 0;
        {
            std::lock_guard<std::mutex> lock(dog->m_Mutex);
            const ULONGLONG now = GetTickCount64();
            if (dog->m_Deadline == 0 || now < dog->m_Deadline)
                continue;
            step = dog->m_Step;
            thread = dog->m_dwThread;
            overdue = now - dog->m_Deadline;
        }
        std::printf("\nSTUCK: step \"%s\" on thread %lu is %.1f s past its limit; the run ends\n", step.c_str(),
                    thread, overdue / 1000.0);
        std::fflush(stdout);
        if (dog->m_Cleanup)
            dog->m_Cleanup();
        // The stuck thread holds locks the normal exit would wait for.
        TerminateProcess(GetCurrentProcess(), kStuckExitCode);
    }
    return 0;
}

CSoakWatchdog::Step::Step(CSoakWatchdog& dog, const std::string& name, DWORD limitMs) : m_Dog(dog)
{
    std::lock_guard<std::mutex> lock(m_Dog.m_Mutex);
    m_Previous = m_Dog.m_Step;
    m_PreviousDeadline = m_Dog.m_Deadline;
    m_Dog.m_Step = name;
    m_Dog.m_dwThread = GetCurrentThreadId();
    m_Dog.m_Deadline = GetTickCount64() + limitMs;
}

CSoakWatchdog::Step::~Step()
{
    std::lock_guard<std::mutex> lock(m_Dog.m_Mutex);
    m_Dog.m_Step = m_Previous;
    m_Dog.m_Deadline = m_PreviousDeadline;
}
