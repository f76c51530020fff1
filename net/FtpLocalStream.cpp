#include "net/FtpLocalStream.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

std::uint16_t ShareFlagsOf(TFtpShareMode Mode)
{
    switch (Mode) {
    case ftpShareCompat: return 0x0000;
    case ftpShareDenyWrite: return 0x0020;
    case ftpShareDenyRead: return 0x0030;
    case ftpShareDenyNone: return 0x0040;
    default: return 0x0010;
    }
}

TFtpShareMode ShareModeOf(std::uint16_t Flags)
{
    switch (Flags) {
    case 0x0000: return ftpShareCompat;
    case 0x0020: return ftpShareDenyWrite;
    case 0x0030: return ftpShareDenyRead;
    case 0x0040: return ftpShareDenyNone;
    default: return ftpShareExclusive;
    }
}

TFtpFileStream::TFtpFileStream(const std::string& FileName, TOpenMode Mode, std::uint16_t ShareFlags)
{
    const int flags = Mode == fmOpenRead ? O_RDONLY : (O_RDWR | O_CREAT);
    FFd = ::open(FileName.c_str(), flags | O_CLOEXEC, 0644);
    if (FFd < 0) {
        FLastError = errno;
        return;
    }
    int lock = 0;
    switch (ShareModeOf(ShareFlags)) {
    case ftpShareExclusive:
    case ftpShareDenyRead: lock = LOCK_EX; break;
    case ftpShareDenyWrite: lock = Mode == fmOpenRead ? LOCK_SH : LOCK_EX; break;
    default: break;
    }
    if (lock && ::flock(FFd, lock | LOCK_NB) != 0) {
        FLastError = errno;
        ::close(FFd);
        FFd = -1;
    }
}

TFtpFileStream::~TFtpFileStream() { Close(); }

bool TFtpFileStream::Close()
{
    if (FFd < 0) return true;
    const bool ok = ::close(FFd) == 0;
    if (!ok) FLastError = errno;
    FFd = -1;
    return ok;
}

std::int64_t TFtpFileStream::Read(void* Buffer, std::int64_t Count)
{
    if (FFd < 0) return -1;
    for (;;) {
        ssize_t n = ::pread(FFd, Buffer, static_cast<std::size_t>(Count), FPosition);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            FLastError = errno;
            return -1;
        }
        FPosition += n;
        return n;
    }
}

bool TFtpFileStream::Write(const void* Buffer, std::int64_t Count)
{
    if (FFd < 0) return false;
    const char* p = static_cast<const char*>(Buffer);
    while (Count > 0) {
        ssize_t n = ::pwrite(FFd, p, static_cast<std::size_t>(Count), FPosition);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            FLastError = n < 0 ? errno : ENOSPC;
            return false;
        }
        p += n;
        Count -= n;
        FPosition += n;
    }
    return true;
}

bool TFtpFileStream::Seek(std::int64_t Position)
{
    if (FFd < 0 || Position < 0) return false;
    FPosition = Position;
    return true;
}

std::int64_t TFtpFileStream::Size() const
{
    struct stat st{};
    if (FFd < 0 || ::fstat(FFd, &st) != 0) return -1;
    return st.st_size;
}

std::int64_t TFtpMemoryStream::Read(void* Buffer, std::int64_t Count)
{
    const std::int64_t left = std::max<std::int64_t>(0, Size() - FPosition);
    const std::int64_t n = std::min(left, Count);
    if (n > 0) std::memcpy(Buffer, FData.data() + FPosition, static_cast<std::size_t>(n));
    FPosition += n;
    return n;
}

bool TFtpMemoryStream::Write(const void* Buffer, std::int64_t Count)
{
    if (Count <= 0) return true;
    const std::size_t end = static_cast<std::size_t>(FPosition + Count);
    if (FData.size() < end) FData.resize(end);
    std::memcpy(FData.data() + FPosition, Buffer, static_cast<std::size_t>(Count));
    FPosition += Count;
    return true;
}

bool TFtpMemoryStream::Seek(std::int64_t Position)
{
    if (Position < 0) return false;
    FPosition = Position;
    return true;
}
