#include "server/FtpSrvStream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "rtl/Exception.h"
#include "server/FtpSrvPath.h"
#include "server/FtpSrvSignal.h"

namespace {
[[noreturn]] void RaiseSystemError(int err)
{
    throw rtl::Exception(std::strerror(err));
}
// A write past the process's file-size limit fails with EFBIG.
ssize_t WriteNoSignal(int Fd, const void* Buffer, std::size_t Count, off_t Offset)
{
    return CallWithSignalHeld(SIGXFSZ, [&] { return ::pwrite(Fd, Buffer, Count, Offset); });
}

} // namespace

TFtpSrvFileStream::TFtpSrvFileStream(const std::string& Path, const std::string& HomeDir, TFtpSrvOpenMode Mode)
{
    // Non-blocking, so a named pipe cannot hold the server in open().
    int flags = O_CLOEXEC | O_NONBLOCK;
    switch (Mode) {
    case fsmRead: flags |= O_RDONLY; break;
    case fsmCreate: flags |= O_WRONLY | O_CREAT | O_TRUNC; break;
    case fsmRewrite: flags |= O_WRONLY | O_CREAT; break;
    case fsmAppend: flags |= O_WRONLY | O_CREAT | O_APPEND; break;
    }
    FFd = OpenConfined(Path, HomeDir, flags, 0644);
    if (FFd < 0) RaiseSystemError(errno);
    struct stat st {};
    if (::fstat(FFd, &st) != 0 || !S_ISREG(st.st_mode)) {
        int err = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ::close(FFd);
        FFd = -1;
        if (err == EINVAL) throw rtl::Exception("Not a regular file");
        RaiseSystemError(err);
    }
    ::fcntl(FFd, F_SETFL, ::fcntl(FFd, F_GETFL) & ~O_NONBLOCK);
    if (Mode == fsmAppend) FPosition = Size();
}

TFtpSrvFileStream::~TFtpSrvFileStream()
{
    if (FFd >= 0) ::close(FFd);
}

void TFtpSrvFileStream::Close()
{
    if (FFd < 0) return;
    int fd = FFd;
    FFd = -1;
    if (::close(fd) != 0 && errno != EINTR) RaiseSystemError(errno);
}

std::int64_t TFtpSrvFileStream::Read(void* Buffer, std::int64_t Count)
{
    while (true) {
        ssize_t n = ::pread(FFd, Buffer, static_cast<std::size_t>(Count), FPosition);
        if (n >= 0) {
            FPosition += n;
            return n;
        }
        if (errno != EINTR) RaiseSystemError(errno);
    }
}

void TFtpSrvFileStream::Write(const void* Buffer, std::int64_t Count)
{
    const char* p = static_cast<const char*>(Buffer);
    while (Count > 0) {
        ssize_t n = WriteNoSignal(FFd, p, static_cast<std::size_t>(Count), FPosition);
        if (n < 0) {
            if (errno == EINTR) continue;
            RaiseSystemError(errno);
        }
        if (n == 0) RaiseSystemError(ENOSPC);
        p += n;
        Count -= n;
        FPosition += n;
    }
}

void TFtpSrvFileStream::Seek(std::int64_t Position)
{
    FPosition = std::max<std::int64_t>(Position, 0);
}

std::int64_t TFtpSrvFileStream::Size() const
{
    struct stat st {};
    if (::fstat(FFd, &st) != 0) RaiseSystemError(errno);
    return st.st_size;
}

void TFtpSrvFileStream::Truncate(std::int64_t Length)
{
    if (::ftruncate(FFd, Length) != 0) RaiseSystemError(errno);
}

std::int64_t TFtpSrvMemoryStream::Read(void* Buffer, std::int64_t Count)
{
    std::int64_t n = std::min<std::int64_t>(Count, Size() - FPosition);
    if (n <= 0) return 0;
    std::memcpy(Buffer, FData.data() + FPosition, static_cast<std::size_t>(n));
    FPosition += n;
    return n;
}

void TFtpSrvMemoryStream::Write(const void* Buffer, std::int64_t Count)
{
    if (FPosition > Size()) FData.resize(static_cast<std::size_t>(FPosition));
    FData.replace(static_cast<std::size_t>(FPosition),
                  static_cast<std::size_t>(std::min<std::int64_t>(Count, Size() - FPosition)),
                  static_cast<const char*>(Buffer), static_cast<std::size_t>(Count));
    FPosition += Count;
}

void TFtpSrvMemoryStream::Seek(std::int64_t Position)
{
    FPosition = std::max<std::int64_t>(Position, 0);
}
