#include "server/FtpSrvSendFile.h"

#include <sys/sendfile.h>

#include <algorithm>
#include <cerrno>

#include "net/WsBinding.h"
#include "server/FtpSrvSignal.h"

namespace {

// sendfile has no MSG_NOSIGNAL.
ssize_t SendFileNoSignal(int Sock, int Fd, off_t* Offset, std::size_t Count)
{
    return CallWithSignalHeld(SIGPIPE, [&] { return ::sendfile(Sock, Fd, Offset, Count); });
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
    std::int64_t size = Stream.Size();
    std::int64_t slice = 0;
    while (Stream.Position() < size) {
        if (slice >= MaxSlice) return sfMore;
        off_t offset = Stream.Position();
        std::size_t count = static_cast<std::size_t>(std::min<std::int64_t>(size - offset, 1 << 30));
        ssize_t n = SendFileNoSignal(sock, Stream.Handle(), &offset, count);
        if (n > 0) {
            Stream.Advance(n);
            BytesSent += n;
            slice += n;
            continue;
        }
        if (n == 0) break; // the file got shorter while sending
        if (errno == EINTR) continue;
        if (errno != EAGAIN) {
            Error = os::WsaErrorFromErrno(errno);
            return sfError;
        }
        // The socket is full. One byte through the library's own send: taken
        // means room came back meanwhile; refused arms the write event.
        char byte = 0;
        if (Stream.Read(&byte, 1) != 1) break;
        int r = WsSend(S, &byte, 1, 0);
        if (r == 1) {
            BytesSent += 1;
            slice += 1;
            continue;
        }
        Stream.Seek(Stream.Position() - 1);
        int err = WsWSAGetLastError();
        if (err == os::WSAEWOULDBLOCK) return sfWaiting;
        Error = err;
        return sfError;
    }
    return sfDone;
}
