#pragma once
#include <cstdint>
#include <functional>
#include <memory>

#include "os/MessageTarget.h"

namespace os {

// One loop per thread: epoll for descriptors, an eventfd for posted messages,
// a timer heap. Everything the loop does runs on its own thread.
class MessageLoop {
public:
    // The calling thread's loop, created on first use.
    static MessageLoop& ForThisThread();

    MessageLoop(const MessageLoop&) = delete;
    MessageLoop& operator=(const MessageLoop&) = delete;
    ~MessageLoop();

    // Takes the next message without waiting (PeekMessage with removal):
    // first turns ready descriptors and due timers into their messages, then
    // pops the queue head. WM_QUIT is returned like any message.
    bool PeekMessage(MSG& msg);
    // Hands a message to its target's handler; dropped when the target is gone.
    LRESULT DispatchMessage(const MSG& msg);

    // Dispatches everything that is ready now, without waiting; a WM_QUIT met
    // on the way sets QuitReceived() and is not dispatched.
    void ProcessMessages();
    // Waits until something is ready or timeoutMs passed (-1: no limit), then
    // dispatches what is ready as ProcessMessages does.
    void WaitAndProcess(int timeoutMs);
    // Pumps the loop, blocking in epoll between events, until done() holds,
    // the deadline passes (timeoutMs < 0: none) or a WM_QUIT is met.
    // Returns whether done() held.
    bool WaitUntil(const std::function<bool()>& done, std::int64_t timeoutMs);
    // Runs until WM_QUIT; returns its exit code.
    int Run();

    bool QuitReceived() const;
    int ExitCode() const;
    void ClearQuit();

    // Descriptor watching, used by the socket layer. The callback runs on the
    // loop's thread while the loop polls (inside PeekMessage and the waits),
    // with the epoll events that are ready. Events are level-triggered.
    using FdCallback = std::function<void(std::uint32_t epollEvents)>;
    void WatchFd(int fd, std::uint32_t epollEvents, FdCallback callback);
    void ModifyFd(int fd, std::uint32_t epollEvents);
    void UnwatchFd(int fd);

    // For a foreign event loop (Qt) that drives this one: a descriptor that is
    // readable whenever something may be ready, and the milliseconds until the
    // next timer is due (-1: none). Call ProcessMessages when either fires.
    int PollFd() const;
    int MillisecondsToNextTimer() const;

    struct Impl;
    Impl& impl() { return *impl_; }

private:
    MessageLoop();
    std::unique_ptr<Impl> impl_;
};

} // namespace os
