#pragma once
// Some calls raise a signal that would end the whole server (SIGPIPE from
// sendfile, SIGXFSZ from a write past the file-size limit). The signal is
// held back on this thread around the call, so the call fails with an
// error instead and only that transfer fails.
#include <signal.h>
#include <sys/types.h>
#include <time.h>

#include <cerrno>

// Call is made with Signal held back; when it failed with RaisedErr, the
// Signal it raised is taken off again (unless one was pending before).
template <class Call>
ssize_t CallWithSignalHeld(int Signal, int RaisedErr, Call call)
{
    sigset_t held, old, pending;
    sigemptyset(&held);
    sigaddset(&held, Signal);
    sigpending(&pending);
    bool wasPending = sigismember(&pending, Signal) == 1;
    pthread_sigmask(SIG_BLOCK, &held, &old);
    ssize_t n = call();
    int err = errno;
    if (n < 0 && err == RaisedErr && !wasPending) {
        timespec zero {0, 0};
        sigtimedwait(&held, nullptr, &zero);
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    errno = err;
    return n;
}
