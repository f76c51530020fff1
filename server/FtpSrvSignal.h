#pragma once
// Some calls raise a signal that would end the whole server (SIGPIPE from
// sendfile, SIGXFSZ from a write past the file-size limit). The signal is
// held back on this thread around the call, so the call fails with an
// error instead and only that transfer fails.
#include <signal.h>
#include <sys/types.h>
#include <time.h>

#include <cerrno>

// Call is made with Signal held back. A signal it raised is taken off
// again before the mask is restored (unless one was pending before), also
// when the call reports success: sendfile that sent part of its bytes
// before the peer reset returns that count and still raises SIGPIPE.
template <class Call>
ssize_t CallWithSignalHeld(int Signal, Call call)
{
    sigset_t held, old, pending;
    sigemptyset(&held);
    sigaddset(&held, Signal);
    pthread_sigmask(SIG_BLOCK, &held, &old);
    sigpending(&pending);
    const bool wasPending = sigismember(&pending, Signal) == 1;
    ssize_t n = call();
    int err = errno;
    if (!wasPending && sigpending(&pending) == 0 && sigismember(&pending, Signal) == 1) {
        timespec zero {0, 0};
        while (sigtimedwait(&held, nullptr, &zero) < 0 && errno == EINTR) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    errno = err;
    return n;
}

// A write to a connection the peer has reset raises SIGPIPE, whose default
// action ends the process. A server must never end so: the disposition is
// set to ignored unless the program installed a handler of its own. Every
// socket write then fails with EPIPE instead, whatever path it takes.
inline void IgnoreBrokenPipe()
{
    struct sigaction current {};
    if (sigaction(SIGPIPE, nullptr, &current) != 0) return;
    if (!(current.sa_flags & SA_SIGINFO) && current.sa_handler == SIG_DFL) {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        sigaction(SIGPIPE, &ignore, nullptr);
    }
}
