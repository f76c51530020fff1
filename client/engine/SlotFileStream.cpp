#include "client/engine/SlotFileStream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

TSlotFileStream::TSlotFileStream(const std::string& path, bool forWrite, std::int64_t start, bool truncate)
    : start_(start), position_(start)
{
    const int flags = forWrite ? (O_WRONLY | O_CREAT | (truncate ? O_TRUNC : 0)) : O_RDONLY;
    fd_ = ::open(path.c_str(), flags | O_CLOEXEC, 0644);
    if (fd_ < 0) error_ = errno;
}

TSlotFileStream::~TSlotFileStream() { Freeze(); }

std::int64_t TSlotFileStream::Read(void* Buffer, std::int64_t Count)
{
    if (fd_ < 0) return -1;
    for (;;) {
        const ssize_t n = ::pread(fd_, Buffer, static_cast<std::size_t>(Count), position_);
        if (n >= 0) {
            position_ += n;
            return n;
        }
        if (errno == EINTR) continue;
        error_ = errno;
        failed_ = true;
        return -1;
    }
}

bool TSlotFileStream::Write(const void* Buffer, std::int64_t Count)
{
    if (fd_ < 0) return false;
    const char* p = static_cast<const char*>(Buffer);
    while (Count > 0) {
        const ssize_t n = ::pwrite(fd_, p, static_cast<std::size_t>(Count), position_);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            // What did land counts: the position is where the next byte goes.
            error_ = n < 0 ? errno : ENOSPC;
            failed_ = true;
            return false;
        }
        position_ += n;
        p += n;
        Count -= n;
    }
    return true;
}

bool TSlotFileStream::Seek(std::int64_t Position)
{
    if (fd_ < 0 || Position != start_) return false;
    position_ = Position;
    return true;
}

std::int64_t TSlotFileStream::Size() const
{
    struct stat st{};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) return 0;
    return st.st_size;
}

bool TSlotFileStream::Freeze()
{
    if (fd_ < 0) return true;
    const int rc = ::close(fd_);
    fd_ = -1;
    if (rc != 0) {
        error_ = errno;
        failed_ = true;
        return false;
    }
    return true;
}
