// CAMThread's request/reply channel: replies reach the right caller, callers
// are served one at a time, and a worker that ends does not hang callers.
#include <gtest/gtest.h>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>
#include "framework/CAMThread.h"

namespace {

constexpr DWORD kExit = 0;

// Answers every request with twice its value; kExit ends the thread.
class EchoThread : public CAMThread {
public:
    std::atomic<int> concurrent{0};
    std::atomic<int> maxConcurrent{0};

    DWORD ThreadProc() override
    {
        for (;;) {
            DWORD request = GetRequest();
            int now = ++concurrent;
            if (now > maxConcurrent)
                maxConcurrent = now;
            --concurrent;
            Reply(request * 2);
            if (request == kExit)
                return 0;
        }
    }
};

// Ends without replying to its first request.
class QuittingThread : public CAMThread {
public:
    DWORD ThreadProc() override
    {
        GetRequest();
        return 0;
    }
};

// Reports whether a request was pending, looks at one with CheckRequest, then
// takes it with GetRequest: the look must leave the request in place.
class PeekingThread : public CAMThread {
public:
    std::atomic<bool> sawNothingFirst{false};
    std::atomic<bool> looked{false};
    DWORD ThreadProc() override
    {
        DWORD peeked = 0;
        sawNothingFirst = !CheckRequest(&peeked);
        looked = true;
        while (!CheckRequest(&peeked))
            Sleep(1);
        DWORD taken = GetRequest();
        Reply(peeked == taken ? taken + 100 : 0);
        // Once answered, the request is gone.
        return CheckRequest(nullptr) ? 1 : 0;
    }
};

// A streaming worker: it polls CheckRequest between samples and answers there,
// then waits in GetRequest for the next request, and so on alternately.
class PollingThread : public CAMThread {
public:
    std::atomic<bool> ended{false};
    DWORD ThreadProc() override
    {
        bool poll = true;
        for (;;) {
            DWORD request = 0;
            if (poll) {
                while (!CheckRequest(&request))
                    YieldProcessor();
            } else {
                request = GetRequest();
            }
            Reply(request * 2);
            if (request == kExit)
                break;
            poll = !poll;
        }
        ended = true;
        return 0;
    }
};

}  // namespace

TEST(CAMThreadTest, CallWorkerReturnsTheWorkersReplyAndFailsWithoutAWorkerToReply)
{
    EchoThread thread;
    EXPECT_EQ(static_cast<DWORD>(E_FAIL), thread.CallWorker(5));
    ASSERT_TRUE(thread.Create());
    EXPECT_FALSE(thread.Create());
    EXPECT_TRUE(thread.ThreadExists());
    EXPECT_EQ(42u, thread.CallWorker(21));
    EXPECT_EQ(0u, thread.CallWorker(kExit));
    thread.Close();
    EXPECT_FALSE(thread.ThreadExists());
    EXPECT_EQ(static_cast<DWORD>(E_FAIL), thread.CallWorker(5));

    // A worker that ends without replying.
    QuittingThread quitting;
    ASSERT_TRUE(quitting.Create());
    EXPECT_EQ(static_cast<DWORD>(E_FAIL), quitting.CallWorker(1));
    quitting.Close();
}

TEST(CAMThreadTest, ConcurrentCallersEachGetTheirOwnReply)
{
    EchoThread worker;
    ASSERT_TRUE(worker.Create());
    std::atomic<int> wrong{0};
    std::vector<std::thread> callers;
    for (int c = 0; c < 4; ++c) {
        callers.emplace_back([&, c] {
            for (DWORD i = 1; i <= 200; ++i) {
                DWORD request = c * 1000 + i;
                if (worker.CallWorker(request) != request * 2)
                    ++wrong;
            }
        });
    }
    for (auto& caller : callers)
        caller.join();
    EXPECT_EQ(0, wrong.load());
    EXPECT_EQ(1, worker.maxConcurrent.load());
    worker.CallWorker(kExit);
    worker.Close();
}

TEST(CAMThreadTest, CheckRequestSeesPendingRequestsWithoutBlockingAndLeavesThemForGetRequest)
{
    PeekingThread thread;
    ASSERT_TRUE(thread.Create());
    // Only once the worker has looked is there something to see: a slept
    // guess loses on a loaded machine.
    for (int i = 0; i < 10000 && !thread.looked; ++i)
        Sleep(1);
    ASSERT_TRUE(thread.looked.load());
    EXPECT_EQ(103u, thread.CallWorker(3));
    thread.Close();
    EXPECT_TRUE(thread.sawNothingFirst.load());
}

// A worker that answers a polled request while the caller is still posting
// it must not see that request again, nor may its stray reply answer the
// caller's next call (seen as a source's Stop answered before it was served,
// then a Pause failing and a teardown waiting for ever on its thread).
TEST(CAMThreadTest, ARequestAnsweredWhileItIsBeingPostedIsServedOnce)
{
    constexpr DWORD kCalls = 2000;
    struct Run {
        PollingThread worker;
        std::atomic<DWORD> wrong{0};
        std::atomic<DWORD> first{0};
        std::atomic<bool> done{false};
    };
    // Left alive if the calls never finish: the worker may be lost in a wait.
    auto* run = new Run;
    ASSERT_TRUE(run->worker.Create());
    std::thread caller([run] {
        for (DWORD i = 1; i <= kCalls; ++i) {
            const DWORD reply = run->worker.CallWorker(i);
            if (reply != i * 2 && run->wrong++ == 0)
                run->first = i;
        }
        for (int i = 0; i < 100 && !run->worker.ended; ++i)
            run->worker.CallWorker(kExit);
        run->done = true;
    });
    const ULONGLONG deadline = GetTickCount64() + 60000;
    while (!run->done && GetTickCount64() < deadline)
        Sleep(10);
    if (!run->done) {
        caller.detach();
        FAIL() << "the calls did not finish: a request was lost";
    }
    caller.join();
    EXPECT_EQ(0u, run->wrong.load()) << "replies to other requests, the first at call " << run->first.load();
    EXPECT_TRUE(run->worker.ended.load());
    run->worker.Close();
    delete run;
}
