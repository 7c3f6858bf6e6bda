#include "tests/buffer/BoundedCall.h"

#include <objbase.h>

BoundedCall::State::~State()
{
    if (done)
        CloseHandle(done);
}

BoundedCall::BoundedCall(std::function<void()> call) : m_State(std::make_shared<State>()), m_hThread(nullptr)
{
    m_State->call = std::move(call);
    m_State->done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    auto* shared = new std::shared_ptr<State>(m_State);
    m_hThread = CreateThread(nullptr, 0, Run, shared, 0, nullptr);
    if (!m_hThread) {
        delete shared;
        SetEvent(m_State->done);
    }
}

BoundedCall::~BoundedCall()
{
    if (!m_hThread)
        return;
    if (Wait(0))
        WaitForSingleObject(m_hThread, INFINITE);
    CloseHandle(m_hThread);
}

DWORD WINAPI BoundedCall::Run(LPVOID param)
{
    std::unique_ptr<std::shared_ptr<State>> state(static_cast<std::shared_ptr<State>*>(param));
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    (*state)->call();
    if (SUCCEEDED(hr))
        CoUninitialize();
    SetEvent((*state)->done);
    return 0;
}

bool BoundedCall::Wait(DWORD timeoutMs)
{
    return WaitForSingleObject(m_State->done, timeoutMs) == WAIT_OBJECT_0;
}

bool FinishesWithin(DWORD timeoutMs, std::function<void()> call)
{
    BoundedCall bounded(std::move(call));
    return bounded.Wait(timeoutMs);
}
