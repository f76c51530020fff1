#include "os/MessageLoop.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include "os/LoopCore.h"
#include "os/TargetRegistry.h"

namespace os {
namespace detail {

PostCore::PostCore()
{
    eventFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (eventFd < 0)
        throw std::runtime_error(std::string("eventfd: ") + std::strerror(errno));
    owner = std::this_thread::get_id();
}

PostCore::~PostCore()
{
    if (eventFd >= 0)
        ::close(eventFd);
}

void PostCore::SignalLocked()
{
    if (signalled || !alive)
        return;
    signalled = true;
    std::uint64_t one = 1;
    // A full counter still leaves the descriptor readable: nothing is lost.
    [[maybe_unused]] auto n = ::write(eventFd, &one, sizeof one);
}

void PostCore::Signal()
{
    std::lock_guard lock(mu);
    SignalLocked();
}

bool PostCore::Push(const MSG& msg)
{
    std::lock_guard lock(mu);
    if (!alive)
        return false;
    queue.push_back(msg);
    SignalLocked();
    return true;
}

bool PostCore::PushTask(std::function<void()> task)
{
    std::lock_guard lock(mu);
    if (!alive)
        return false;
    tasks.push_back(std::move(task));
    SignalLocked();
    return true;
}

std::shared_ptr<PostCore> CoreOfThisThread()
{
    return MessageLoop::ForThisThread().impl().core;
}

} // namespace detail

namespace {

thread_local std::unique_ptr<MessageLoop> tlsLoop;

int CeilMs(detail::Clock::duration d)
{
    if (d <= detail::Clock::duration::zero())
        return 0;
    auto ms = std::chrono::ceil<std::chrono::milliseconds>(d).count();
    return ms > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(ms);
}

using detail::Clock;

bool WaitUntilIn(MessageLoop::Impl& impl, const std::function<bool()>& done, std::int64_t timeoutMs)
{
    auto* impl_ = &impl;
    const bool bounded = timeoutMs >= 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(bounded ? timeoutMs : 0);
    MSG msg;
    for (;;) {
        if (done())
            return true;
        if (impl_->PopLocal(msg)) {
            if (msg.message == WM_QUIT && msg.hwnd == 0) {
                impl_->quit = true;
                impl_->exitCode = static_cast<int>(msg.wParam);
                return done();
            }
            detail::DispatchToTarget(msg);
            if (bounded && Clock::now() >= deadline)
                return done();
            continue;
        }
        int wait = -1;
        if (bounded) {
            auto left = deadline - Clock::now();
            if (left <= Clock::duration::zero()) {
                impl_->Poll(0); // what is ready at the deadline still counts
                if (impl_->local.empty())
                    return done();
                continue;
            }
            wait = CeilMs(left);
        }
        impl_->Poll(wait);
    }
}

} // namespace

MessageLoop& MessageLoop::ForThisThread()
{
    if (!tlsLoop)
        tlsLoop.reset(new MessageLoop());
    return *tlsLoop;
}

MessageLoop::MessageLoop() : impl_(std::make_unique<Impl>())
{
    impl_->core = std::make_shared<detail::PostCore>();
    impl_->owner = std::this_thread::get_id();
    impl_->epfd = ::epoll_create1(EPOLL_CLOEXEC);
    if (impl_->epfd < 0)
        throw std::runtime_error(std::string("epoll_create1: ") + std::strerror(errno));
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = 0; // 0 is the wake-up eventfd; watches count from 1
    ::epoll_ctl(impl_->epfd, EPOLL_CTL_ADD, impl_->core->eventFd, &ev);
}

MessageLoop::~MessageLoop()
{
    {
        std::lock_guard lock(impl_->core->mu);
        impl_->core->alive = false;
        impl_->core->queue.clear();
        impl_->core->tasks.clear();
    }
    detail::DropTargetsOfLoop(impl_.get());
    ::close(impl_->epfd);
}

// ---- Impl ----

bool MessageLoop::Impl::HasQueued()
{
    if (!local.empty())
        return true;
    std::lock_guard lock(core->mu);
    return !core->queue.empty() || !core->tasks.empty();
}

int MessageLoop::Impl::MsToNextTimer() const
{
    if (timers.empty())
        return -1;
    auto now = detail::Clock::now();
    int best = -1;
    for (const auto& [key, t] : timers) {
        if (t.queued)
            continue; // its next tick waits until this one is taken
        int ms = CeilMs(t.due - now);
        if (best < 0 || ms < best)
            best = ms;
    }
    return best;
}

void MessageLoop::Impl::Poll(int timeoutMs)
{
    if (HasQueued())
        timeoutMs = 0;
    int timerMs = MsToNextTimer();
    if (timerMs >= 0 && (timeoutMs < 0 || timerMs < timeoutMs))
        timeoutMs = timerMs;

    epoll_event events[64];
    int n = ::epoll_wait(epfd, events, 64, timeoutMs);
    if (n < 0)
        n = 0; // EINTR: the caller loops
    for (int i = 0; i < n; ++i) {
        std::uint64_t id = events[i].data.u64;
        if (id == 0) {
            // Drain first, then clear the flag: a post in between finds the
            // flag still set and writes nothing, but Take() below sees it.
            std::uint64_t count;
            while (::read(core->eventFd, &count, sizeof count) > 0) {
            }
            std::lock_guard lock(core->mu);
            core->signalled = false;
            continue;
        }
        std::shared_ptr<Watch> w;
        {
            std::lock_guard lock(watchMu);
            auto it = watchById.find(id);
            if (it != watchById.end())
                w = it->second;
        }
        // An earlier callback of this round may have unwatched it.
        if (w && w->callback)
            w->callback(events[i].events);
    }

    std::vector<std::function<void()>> tasks;
    {
        std::lock_guard lock(core->mu);
        tasks.swap(core->tasks);
    }
    for (auto& task : tasks)
        task();

    if (!timers.empty()) {
        auto now = detail::Clock::now();
        std::lock_guard lock(core->mu);
        for (auto& [key, t] : timers) {
            if (!t.queued && t.due <= now) {
                t.queued = true;
                t.due = now + std::chrono::milliseconds(t.intervalMs);
                core->queue.push_back(MSG{key.first, WM_TIMER, static_cast<WPARAM>(key.second), 0});
            }
        }
    }
    Take();
}

void MessageLoop::Impl::Take()
{
    std::lock_guard lock(core->mu);
    if (local.empty()) {
        local.swap(core->queue);
    } else {
        for (auto& m : core->queue)
            local.push_back(m);
        core->queue.clear();
    }
}

bool MessageLoop::Impl::PopLocal(MSG& msg)
{
    while (!local.empty()) {
        msg = local.front();
        local.pop_front();
        if (msg.message == WM_TIMER && msg.hwnd != 0) {
            auto it = timers.find({msg.hwnd, static_cast<std::uintptr_t>(msg.wParam)});
            if (it == timers.end())
                continue; // killed while its tick waited
            it->second.queued = false;
        }
        return true;
    }
    return false;
}

void MessageLoop::Impl::ApplyEpoll(Watch& w, std::uint32_t events)
{
    // Interest 0 leaves the set: epoll reports hang-ups even for 0, which
    // would wake the loop again and again.
    if (events == 0) {
        if (w.inEpoll) {
            ::epoll_ctl(epfd, EPOLL_CTL_DEL, w.fd, nullptr);
            w.inEpoll = false;
        }
    } else {
        epoll_event ev{};
        ev.events = events;
        ev.data.u64 = w.id;
        if (w.inEpoll) {
            if (w.events != events)
                ::epoll_ctl(epfd, EPOLL_CTL_MOD, w.fd, &ev);
        } else {
            ::epoll_ctl(epfd, EPOLL_CTL_ADD, w.fd, &ev);
            w.inEpoll = true;
        }
    }
    w.events = events;
}

void MessageLoop::Impl::SetTimer(HWND target, std::uintptr_t id, UINT elapseMs)
{
    Timer& t = timers[{target, id}];
    t.intervalMs = elapseMs == 0 ? 1 : elapseMs; // 0 would fire without pause
    t.due = detail::Clock::now() + std::chrono::milliseconds(t.intervalMs);
    // A foreign loop driving this one learns of the new deadline on its next pump.
    core->Signal();
}

bool MessageLoop::Impl::KillTimer(HWND target, std::uintptr_t id)
{
    return timers.erase({target, id}) > 0;
}

void MessageLoop::Impl::KillTimersOf(HWND target)
{
    for (auto it = timers.begin(); it != timers.end();) {
        if (it->first.first == target)
            it = timers.erase(it);
        else
            ++it;
    }
}

// ---- MessageLoop ----

bool MessageLoop::PeekMessage(MSG& msg)
{
    if (impl_->local.empty())
        impl_->Poll(0);
    return impl_->PopLocal(msg);
}

LRESULT MessageLoop::DispatchMessage(const MSG& msg)
{
    if (msg.hwnd == 0)
        return 0;
    return detail::DispatchToTarget(msg);
}

void MessageLoop::ProcessMessages()
{
    // Everything ready now, but a chain of handlers that keep posting to
    // themselves must not hold a foreign (Qt) loop for ever: after the time
    // budget the rest waits for the next call, with the wake-up fd readable.
    auto start = detail::Clock::now();
    const auto budget = std::chrono::milliseconds(20);
    MSG msg;
    for (;;) {
        if (!PeekMessage(msg))
            return;
        if (msg.message == WM_QUIT && msg.hwnd == 0) {
            impl_->quit = true;
            impl_->exitCode = static_cast<int>(msg.wParam);
            break;
        }
        DispatchMessage(msg);
        if (detail::Clock::now() - start > budget)
            break;
    }
    if (!impl_->local.empty())
        impl_->core->Signal();
}

void MessageLoop::WaitAndProcess(int timeoutMs)
{
    if (!impl_->HasQueued())
        impl_->Poll(timeoutMs < 0 ? -1 : timeoutMs);
    ProcessMessages();
}

bool MessageLoop::WaitUntil(const std::function<bool()>& done, std::int64_t timeoutMs)
{
    bool held = WaitUntilIn(*impl_, done, timeoutMs);
    // What the wait took but did not dispatch must still wake a foreign loop.
    if (!impl_->local.empty())
        impl_->core->Signal();
    return held;
}

int MessageLoop::Run()
{
    MSG msg;
    for (;;) {
        if (!impl_->PopLocal(msg)) {
            impl_->Poll(-1);
            continue;
        }
        if (msg.message == WM_QUIT && msg.hwnd == 0) {
            impl_->quit = true;
            impl_->exitCode = static_cast<int>(msg.wParam);
            return impl_->exitCode;
        }
        DispatchMessage(msg);
    }
}

bool MessageLoop::QuitReceived() const { return impl_->quit; }
int MessageLoop::ExitCode() const { return impl_->exitCode; }
void MessageLoop::ClearQuit()
{
    impl_->quit = false;
    impl_->exitCode = 0;
}

void MessageLoop::WatchFd(int fd, std::uint32_t epollEvents, FdCallback callback)
{
    std::lock_guard lock(impl_->watchMu);
    auto& slot = impl_->watchByFd[fd];
    if (slot) {
        // Re-watching replaces the callback; a new id keeps stale events away.
        impl_->ApplyEpoll(*slot, 0);
        impl_->watchById.erase(slot->id);
    }
    slot = std::make_shared<Impl::Watch>();
    slot->fd = fd;
    slot->id = impl_->nextWatchId++;
    slot->callback = std::move(callback);
    impl_->watchById[slot->id] = slot;
    impl_->ApplyEpoll(*slot, epollEvents);
}

void MessageLoop::ModifyFd(int fd, std::uint32_t epollEvents)
{
    std::lock_guard lock(impl_->watchMu);
    auto it = impl_->watchByFd.find(fd);
    if (it != impl_->watchByFd.end())
        impl_->ApplyEpoll(*it->second, epollEvents);
}

void MessageLoop::UnwatchFd(int fd)
{
    std::lock_guard lock(impl_->watchMu);
    auto it = impl_->watchByFd.find(fd);
    if (it == impl_->watchByFd.end())
        return;
    impl_->ApplyEpoll(*it->second, 0);
    impl_->watchById.erase(it->second->id);
    impl_->watchByFd.erase(it);
}

int MessageLoop::PollFd() const { return impl_->epfd; }

int MessageLoop::MillisecondsToNextTimer() const { return impl_->MsToNextTimer(); }

} // namespace os
