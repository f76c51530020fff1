// The thread's message loop: order, ownership, timers and waits.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "os/MessageLoop.h"
#include "os/MessageTarget.h"

using namespace os;
using namespace std::chrono_literals;

namespace {

struct Recorder {
    std::vector<std::pair<UINT, WPARAM>> got;
    HWND hwnd = 0;
    Recorder()
    {
        hwnd = CreateMessageTarget([this](UINT m, WPARAM w, LPARAM) {
            got.emplace_back(m, w);
            return 0;
        });
    }
    ~Recorder() { DestroyMessageTarget(hwnd); }
};

double ThreadCpuMs()
{
    rusage ru{};
    getrusage(RUSAGE_THREAD, &ru);
    return (ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1000.0 + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1000.0;
}

// Everything posted so far. One ProcessMessages stops after its time budget
// (a loaded machine can spend it on one message) and leaves the wake-up fd
// readable for the rest, so call it until nothing is left, within a bound.
void Drain()
{
    auto& loop = MessageLoop::ForThisThread();
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    do {
        loop.ProcessMessages();
        pollfd p{loop.PollFd(), POLLIN, 0};
        if (::poll(&p, 1, 0) <= 0)
            return;
    } while (!loop.QuitReceived() && std::chrono::steady_clock::now() < until);
}

} // namespace

TEST(MessageLoop, PostsArriveInOrderAndNeverInsideThePost)
{
    Recorder r;
    for (WPARAM i = 0; i < 100; ++i) {
        ASSERT_TRUE(PostMessage(r.hwnd, WM_USER + 1, i, 0));
        EXPECT_TRUE(r.got.empty());
    }
    Drain();
    ASSERT_EQ(r.got.size(), 100u);
    for (WPARAM i = 0; i < 100; ++i)
        EXPECT_EQ(r.got[i].second, i);
}

TEST(MessageLoop, PostsFromAHandlerQueueBehindWhatWasWaiting)
{
    std::vector<int> order;
    HWND a = 0;
    a = CreateMessageTarget([&](UINT m, WPARAM w, LPARAM) {
        order.push_back(static_cast<int>(w));
        if (w == 1)
            PostMessage(a, WM_USER, 3, 0); // must come after 2
        EXPECT_TRUE(order.back() != 3 || order.size() == 3);
        return 0;
    });
    PostMessage(a, WM_USER, 1, 0);
    PostMessage(a, WM_USER, 2, 0);
    Drain();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    DestroyMessageTarget(a);
}

TEST(MessageLoop, PostsFromOtherThreadsWakeTheOwnerInOrderPerThread)
{
    constexpr int kThreads = 4, kEach = 2000;
    std::vector<std::vector<int>> seen(kThreads);
    int total = 0;
    HWND t = CreateMessageTarget([&](UINT, WPARAM w, LPARAM l) {
        seen[w].push_back(static_cast<int>(l));
        ++total;
        return 0;
    });
    std::vector<std::thread> posters;
    for (int p = 0; p < kThreads; ++p)
        posters.emplace_back([t, p] {
            for (int i = 0; i < kEach; ++i)
                PostMessage(t, WM_USER, p, i);
        });
    bool ok = MessageLoop::ForThisThread().WaitUntil([&] { return total == kThreads * kEach; }, 10000);
    for (auto& th : posters)
        th.join();
    ASSERT_TRUE(ok);
    for (int p = 0; p < kThreads; ++p)
        for (int i = 0; i < kEach; ++i)
            ASSERT_EQ(seen[p][i], i);
    DestroyMessageTarget(t);
}

TEST(MessageLoop, MessagesForADestroyedTargetAreDropped)
{
    int calls = 0;
    HWND t = CreateMessageTarget([&](UINT, WPARAM, LPARAM) { return ++calls; });
    PostMessage(t, WM_USER, 0, 0);
    DestroyMessageTarget(t);
    EXPECT_FALSE(IsMessageTarget(t));
    EXPECT_FALSE(PostMessage(t, WM_USER, 0, 0));
    EXPECT_EQ(SendMessage(t, WM_USER, 0, 0), 0);
    Drain();
    EXPECT_EQ(calls, 0);
}

TEST(MessageLoop, HandlerMayDestroyItselfAndOthersAndPostMore)
{
    int selfCalls = 0, otherCalls = 0, lateCalls = 0;
    HWND other = CreateMessageTarget([&](UINT, WPARAM, LPARAM) { return ++otherCalls; });
    HWND late = CreateMessageTarget([&](UINT, WPARAM, LPARAM) { return ++lateCalls; });
    HWND self = 0;
    self = CreateMessageTarget([&, captured = std::vector<int>(1000, 7)](UINT, WPARAM, LPARAM) {
        ++selfCalls;
        EXPECT_TRUE(DestroyMessageTarget(self));
        EXPECT_TRUE(DestroyMessageTarget(other));
        PostMessage(late, WM_USER, 0, 0);
        // The handler's own state is still alive after destroying its target.
        EXPECT_EQ(captured[999], 7);
        return 0;
    });
    PostMessage(self, WM_USER, 0, 0);
    PostMessage(self, WM_USER, 0, 0); // dropped: target gone by then
    PostMessage(other, WM_USER, 0, 0);
    Drain();
    EXPECT_EQ(selfCalls, 1);
    EXPECT_EQ(otherCalls, 0);
    EXPECT_EQ(lateCalls, 1);
    DestroyMessageTarget(late);
}

TEST(MessageLoop, TargetIdsAreNeverReused)
{
    HWND last = 0;
    for (int i = 0; i < 1000; ++i) {
        HWND h = CreateMessageTarget([](UINT, WPARAM, LPARAM) { return 0; });
        EXPECT_GT(h, last);
        last = h;
        DestroyMessageTarget(h);
    }
}

TEST(MessageLoop, OnlyTheOwnerMayDestroyOrSend)
{
    int calls = 0;
    HWND t = CreateMessageTarget([&](UINT, WPARAM, LPARAM) { return ++calls; });
    bool destroyed = true;
    LRESULT sent = -1;
    std::thread([&] {
        destroyed = DestroyMessageTarget(t);
        sent = SendMessage(t, WM_USER, 0, 0);
    }).join();
    EXPECT_FALSE(destroyed);
    EXPECT_EQ(sent, 0);
    EXPECT_EQ(SendMessage(t, WM_USER, 0, 0), 1);
    DestroyMessageTarget(t);
}

TEST(MessageLoop, TimerTicksAndStops)
{
    Recorder r;
    ASSERT_TRUE(SetTimer(r.hwnd, 7, 10));
    auto& loop = MessageLoop::ForThisThread();
    ASSERT_TRUE(loop.WaitUntil([&] { return r.got.size() >= 3; }, 5000));
    for (auto& [m, w] : r.got) {
        EXPECT_EQ(m, WM_TIMER);
        EXPECT_EQ(w, 7u);
    }
    EXPECT_TRUE(KillTimer(r.hwnd, 7));
    EXPECT_FALSE(KillTimer(r.hwnd, 7));
    size_t n = r.got.size();
    loop.WaitUntil([] { return false; }, 50);
    EXPECT_EQ(r.got.size(), n);
}

TEST(MessageLoop, AtMostOneTickWaitsPerTimerAndAKilledTimersTickIsDropped)
{
    Recorder r;
    auto& loop = MessageLoop::ForThisThread();
    ASSERT_TRUE(SetTimer(r.hwnd, 1, 2));
    std::this_thread::sleep_for(60ms); // the loop is busy elsewhere
    MSG msg;
    int ticks = 0;
    while (loop.PeekMessage(msg))
        ticks += msg.message == WM_TIMER;
    EXPECT_EQ(ticks, 1) << "ticks piled up while the loop was busy";

    KillTimer(r.hwnd, 1);
    r.got.clear();
    ASSERT_TRUE(SetTimer(r.hwnd, 2, 1));
    PostMessage(r.hwnd, WM_USER, 0, 0);
    std::this_thread::sleep_for(10ms);
    ASSERT_TRUE(loop.PeekMessage(msg)); // queues the tick behind the post
    EXPECT_EQ(msg.message, WM_USER);
    KillTimer(r.hwnd, 2);
    Drain();
    EXPECT_TRUE(r.got.empty()) << "tick of a killed timer";
}

TEST(MessageLoop, WaitUntilBlocksUntilTheDeadlineWithoutSpinning)
{
    auto& loop = MessageLoop::ForThisThread();
    double cpu0 = ThreadCpuMs();
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(loop.WaitUntil([] { return false; }, 300));
    auto elapsed = std::chrono::steady_clock::now() - t0;
    double cpu = ThreadCpuMs() - cpu0;
    EXPECT_GE(elapsed, 300ms);
    EXPECT_LT(elapsed, 2000ms);
    EXPECT_LT(cpu, 30.0) << "the wait used CPU time: it spins";
}

TEST(MessageLoop, WaitUntilWakesForAPostFromAnotherThread)
{
    bool done = false;
    HWND t = CreateMessageTarget([&](UINT, WPARAM, LPARAM) {
        done = true;
        return 0;
    });
    std::thread poster([t] {
        std::this_thread::sleep_for(50ms);
        PostMessage(t, WM_USER, 0, 0);
    });
    auto t0 = std::chrono::steady_clock::now();
    double cpu0 = ThreadCpuMs();
    EXPECT_TRUE(MessageLoop::ForThisThread().WaitUntil([&] { return done; }, 10000));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 5000ms);
    EXPECT_LT(ThreadCpuMs() - cpu0, 30.0);
    poster.join();
    DestroyMessageTarget(t);
}

TEST(MessageLoop, WaitUntilStopsAsSoonAsDoneHoldsLeavingLaterMessagesQueued)
{
    Recorder r;
    bool done = false;
    HWND flag = CreateMessageTarget([&](UINT, WPARAM, LPARAM) {
        done = true;
        return 0;
    });
    PostMessage(flag, WM_USER, 0, 0);
    PostMessage(r.hwnd, WM_USER, 1, 0);
    EXPECT_TRUE(MessageLoop::ForThisThread().WaitUntil([&] { return done; }, 1000));
    EXPECT_TRUE(r.got.empty()) << "a message behind the finishing one was dispatched inside the wait";
    Drain();
    EXPECT_EQ(r.got.size(), 1u);
    DestroyMessageTarget(flag);
}

TEST(MessageLoop, QuitEndsRunAndWaits)
{
    auto& loop = MessageLoop::ForThisThread();
    Recorder r;
    PostMessage(r.hwnd, WM_USER, 1, 0);
    PostQuitMessage(3);
    EXPECT_EQ(loop.Run(), 3);
    EXPECT_EQ(r.got.size(), 1u);
    EXPECT_TRUE(loop.QuitReceived());
    loop.ClearQuit();

    PostQuitMessage(4);
    EXPECT_FALSE(loop.WaitUntil([] { return false; }, 5000));
    EXPECT_TRUE(loop.QuitReceived());
    EXPECT_EQ(loop.ExitCode(), 4);
    loop.ClearQuit();

    PostQuitMessage(5);
    PostMessage(r.hwnd, WM_USER, 2, 0);
    loop.ProcessMessages();
    EXPECT_TRUE(loop.QuitReceived());
    loop.ClearQuit();
    Drain();
    EXPECT_EQ(r.got.size(), 2u);
}

TEST(MessageLoop, PollFdAndNextTimerLetAForeignLoopDriveIt)
{
    auto& loop = MessageLoop::ForThisThread();
    Drain();
    pollfd p{loop.PollFd(), POLLIN, 0};
    EXPECT_EQ(::poll(&p, 1, 0), 0);
    EXPECT_EQ(loop.MillisecondsToNextTimer(), -1);

    Recorder r;
    std::thread([&] { PostMessage(r.hwnd, WM_USER, 9, 0); }).join();
    EXPECT_EQ(::poll(&p, 1, 1000), 1);
    loop.ProcessMessages();
    EXPECT_EQ(r.got.size(), 1u);
    EXPECT_EQ(::poll(&p, 1, 0), 0);

    SetTimer(r.hwnd, 1, 500);
    int ms = loop.MillisecondsToNextTimer();
    EXPECT_GT(ms, 400);
    EXPECT_LE(ms, 500);
    KillTimer(r.hwnd, 1);
}

TEST(MessageLoop, WatchedDescriptorCallsBackWhileThePollRuns)
{
    auto& loop = MessageLoop::ForThisThread();
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    int calls = 0;
    loop.WatchFd(fds[0], EPOLLIN, [&](std::uint32_t ev) {
        ++calls;
        EXPECT_TRUE(ev & EPOLLIN);
        char c;
        EXPECT_EQ(::read(fds[0], &c, 1), 1);
    });
    ASSERT_EQ(::write(fds[1], "x", 1), 1);
    EXPECT_EQ(calls, 0);
    loop.WaitUntil([&] { return calls == 1; }, 1000);
    EXPECT_EQ(calls, 1);
    loop.ModifyFd(fds[0], 0);
    ASSERT_EQ(::write(fds[1], "y", 1), 1);
    Drain();
    EXPECT_EQ(calls, 1);
    loop.UnwatchFd(fds[0]);
    ::close(fds[0]);
    ::close(fds[1]);
}

TEST(MessageLoop, AWaitInsideAHandlerPumpsTheSameQueueInOrder)
{
    std::vector<int> order;
    bool flag = false;
    HWND t = 0;
    t = CreateMessageTarget([&](UINT, WPARAM w, LPARAM) {
        order.push_back(static_cast<int>(w));
        if (w == 1) {
            // A blocking call made from an event handler.
            EXPECT_TRUE(MessageLoop::ForThisThread().WaitUntil([&] { return flag; }, 5000));
            order.push_back(100);
        }
        if (w == 3)
            flag = true;
        return 0;
    });
    for (WPARAM i = 1; i <= 4; ++i)
        PostMessage(t, WM_USER, i, 0);
    Drain();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 100, 4}));
    DestroyMessageTarget(t);
}
