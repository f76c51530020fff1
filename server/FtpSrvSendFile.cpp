#include "server/FtpSrvSendFile.h"

#include <signal.h>
#include <sys/sendfile.h>

#include <algorithm>
#include <cerrno>
#include <exception>

#include "net/WsBinding.h"
#include "server/FtpSrvSignal.h"

namespace {

// What goes through the library's send once the socket took less than it was
// offered. Taken whole, the socket had room for that much again and sending
// goes on; taken in part or refused, the socket's write event is armed and
// comes when the system finds a good part of the buffer free. A single byte
// here would be taken at the first sign of room, and the sender would spin
// on a full socket in slivers, starving the reader of the CPU it needs.
constexpr std::int64_t ProbeBytes = 64 << 10;

TSendFileResult SendSlice(os::SOCKET S, int Sock, TFtpSrvFileStream& Stream, std::int64_t MaxSlice,
                          std::int64_t& BytesSent, int& Error)
{
    const std::int64_t size = Stream.Size();
    std::int64_t slice = 0;
    // After a short sendfile the reader has often made room again by the
    // next call: one more sendfile takes it without copying, where the probe
    // below would read and copy its bytes. Only once, then the probe.
    bool retried = false;
    while (Stream.Position() < size) {
        if (slice >= MaxSlice) return sfMore;
        off_t offset = Stream.Position();
        // Never more than the slice allows in one call: the loop must get its turn.
        const std::int64_t count = std::min(size - offset, MaxSlice - slice);
        ssize_t n = ::sendfile(Sock, Stream.Handle(), &offset, static_cast<std::size_t>(count));
        if (n > 0) {
            Stream.Advance(n);
            BytesSent += n;
            slice += n;
            if (n == count) continue;
            if (!retried) {
                retried = true;
                continue;
            }
        } else if (n == 0) {
            break; // the file got shorter while sending
        } else if (errno == EINTR) {
            continue;
        } else if (errno != EAGAIN) {
            Error = os::WsaErrorFromErrno(errno);
            return sfError;
        }
        // The socket is full.
        char probe[ProbeBytes];
        const std::int64_t want = std::min(size - Stream.Position(), ProbeBytes);
        const std::int64_t got = Stream.Read(probe, want);
        if (got <= 0) break;
        int r = WsSend(S, probe, static_cast<int>(got), 0);
        if (r < 0) {
            Stream.Seek(Stream.Position() - got);
            int err = WsWSAGetLastError();
            if (err == os::WSAEWOULDBLOCK) return sfWaiting;
            Error = err;
            return sfError;
        }
        Stream.Seek(Stream.Position() - (got - r));
        BytesSent += r;
        slice += r;
        if (r < got) return sfWaiting;
    }
    return sfDone;
}

// Whether SIGPIPE is ignored (as the server sets it unless the program has
// a handler of its own): sendfile then fails with EPIPE and raises nothing.
bool BrokenPipeIgnored()
{
    struct sigaction current {};
    return sigaction(SIGPIPE, nullptr, &current) == 0 && !(current.sa_flags & SA_SIGINFO) &&
           current.sa_handler == SIG_IGN;
}

} // namespace

TSendFileResult SendFileToSocket(os::SOCKET S, TFtpSrvFileStream& Stream, std::int64_t MaxSlice,
                                 std::int64_t& BytesSent, int& Error)
{
    Error = 0;
    int sock = os::winsock::DescriptorOf(S);
    if (sock < 0) {
        Error = os::WSAENOTSOCK;
        return sfError;
    }
    // sendfile has no MSG_NOSIGNAL: unless the signal is ignored anyway, it is
    // held once for the whole slice (four system calls a slice, so only then).
    if (BrokenPipeIgnored()) return SendSlice(S, sock, Stream, MaxSlice, BytesSent, Error);
    TSendFileResult result = sfDone;
    std::exception_ptr failure;
    CallWithSignalHeld(SIGPIPE, [&]() -> ssize_t {
        try {
            result = SendSlice(S, sock, Stream, MaxSlice, BytesSent, Error);
        } catch (...) {
            failure = std::current_exception(); // raised again once the mask is back
        }
        return 0;
    });
    if (failure) std::rethrow_exception(failure);
    return result;
}
