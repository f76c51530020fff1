#pragma once
// Internal to os/: the part of a thread's loop that other threads may touch
// (the posted-message queue and its wake-up eventfd), and the loop's own state.
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include "os/MessageLoop.h"

namespace os::detail {

using Clock = std::chrono::steady_clock;

// Shared by the loop and every thread that posts to it; outlives the loop
// while a poster still holds it (posts then fail).
struct PostCore {
    PostCore();
    ~PostCore();
    PostCore(const PostCore&) = delete;
    PostCore& operator=(const PostCore&) = delete;

    // False when the loop is gone.
    bool Push(const MSG& msg);
    // Runs task on the loop's thread the next time it polls.
    bool PushTask(std::function<void()> task);
    // Makes the eventfd readable (once until the loop drains it).
    void Signal();
    void SignalLocked();

    std::mutex mu;
    std::deque<MSG> queue;
    std::vector<std::function<void()>> tasks;
    int eventFd = -1;
    bool signalled = false;
    bool alive = true;
    std::thread::id owner;
};

// The calling thread's core, created with its loop.
std::shared_ptr<PostCore> CoreOfThisThread();

} // namespace os::detail

namespace os {

struct MessageLoop::Impl {
    struct Watch {
        int fd = -1;
        std::uint64_t id = 0;
        std::uint32_t events = 0;
        bool inEpoll = false;
        FdCallback callback;
    };
    struct Timer {
        UINT intervalMs = 0;
        detail::Clock::time_point due;
        bool queued = false;
    };

    std::shared_ptr<detail::PostCore> core;
    int epfd = -1;
    std::thread::id owner;
    // The batch taken from the shared queue, dispatched before it is refilled.
    std::deque<MSG> local;
    bool quit = false;
    int exitCode = 0;

    std::mutex watchMu; // the socket layer may unwatch from another thread
    std::unordered_map<int, std::shared_ptr<Watch>> watchByFd;
    std::unordered_map<std::uint64_t, std::shared_ptr<Watch>> watchById;
    std::uint64_t nextWatchId = 1;

    std::map<std::pair<HWND, std::uintptr_t>, Timer> timers;

    // Waits up to timeoutMs (-1: no limit; shortened by due timers and by
    // queued work), runs descriptor callbacks, tasks and due timers, then
    // moves the shared queue into local.
    void Poll(int timeoutMs);
    void Take();
    // Pops the next message of the batch; false when the batch is empty.
    bool PopLocal(MSG& msg);
    bool HasQueued();
    int MsToNextTimer() const;
    void ApplyEpoll(Watch& w, std::uint32_t events);

    void SetTimer(HWND target, std::uintptr_t id, UINT elapseMs);
    bool KillTimer(HWND target, std::uintptr_t id);
    void KillTimersOf(HWND target);
};

} // namespace os
