#include "os/qt/TermSignal.h"

#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void OnSignal(int)
{
    char c = 1;
    [[maybe_unused]] ssize_t n = ::write(signalPipe[1], &c, 1);
}

sigset_t TermSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    return set;
}

// Lets the held signals in when the handling is set up or has failed to be.
struct ReleaseTermSignals {
    ~ReleaseTermSignals()
    {
        const sigset_t set = TermSignals();
        ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    }
};

} // namespace

void HoldTermSignals()
{
    const sigset_t set = TermSignals();
    ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void OnTermSignal(QObject* context, std::function<void()> handler)
{
    ReleaseTermSignals release;
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGINT, OnSignal);
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [handler = std::move(handler)] {
        char buf[16];
        while (::read(signalPipe[0], buf, sizeof buf) > 0) {
        }
        handler();
    });
}
