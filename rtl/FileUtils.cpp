#include "rtl/FileUtils.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "rtl/Format.h"

namespace rtl {

namespace {

bool WriteAll(int fd, const std::string& data)
{
    const char* p = data.data();
    std::size_t left = data.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        left -= std::size_t(n);
    }
    return true;
}

std::string DirName(const std::string& path)
{
    auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

[[noreturn]] void Fail(const std::string& path, int error)
{
    throw EFileWriteError(Format("Unable to write to %s: %s", path.c_str(), std::strerror(error)));
}

} // namespace

namespace {

// The bytes in a new temporary file beside target, on the disk; its name.
// An existing file's owner and bits (narrowed by mode) are taken over.
std::string WriteTemporary(const std::string& path, const std::string& target, const std::string& data, mode_t mode)
{
    struct stat existing {};
    const bool exists = ::stat(target.c_str(), &existing) == 0;

    static std::atomic<unsigned> counter{0};
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = Format("%s.%d.%u.tmp", target.c_str(), int(::getpid()), counter.fetch_add(1));
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) Fail(path, errno);

    bool ok = true;
    int error = 0;
    if (exists) {
        if (::geteuid() == 0 && ::fchown(fd, existing.st_uid, existing.st_gid) != 0) {
            // The owner stays root's; the bits below still hold.
        }
        ok = ::fchmod(fd, existing.st_mode & mode & 07777) == 0;
    }
    ok = ok && WriteAll(fd, data) && ::fsync(fd) == 0;
    if (!ok) error = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        Fail(path, error);
    }
    return temp;
}

void SyncFolderOf(const std::string& target)
{
    int dirFd = ::open(DirName(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
}

} // namespace

void WriteFileAtomic(const std::string& path, const std::string& data, mode_t mode)
{
    mode &= 07777;
    std::string target = path;
    struct stat linkInfo {};
    if (::lstat(target.c_str(), &linkInfo) == 0 && S_ISLNK(linkInfo.st_mode)) {
        if (char* real = ::realpath(target.c_str(), nullptr)) {
            target = real;
            std::free(real);
        }
    }
    const std::string temp = WriteTemporary(path, target, data, mode);
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        Fail(path, error);
    }
    SyncFolderOf(target);
}

bool CreateFileAtomic(const std::string& path, const std::string& data, mode_t mode)
{
    mode &= 07777;
    struct stat taken {};
    if (::lstat(path.c_str(), &taken) == 0) return false;
    const std::string temp = WriteTemporary(path, path, data, mode);
    // A hard link is made only under a free name: whatever took the name
    // meanwhile stays as it is.
    int error = ::link(temp.c_str(), path.c_str()) == 0 ? 0 : errno;
    if (error == EPERM || error == EOPNOTSUPP || error == ENOSYS) {
        // A file system without hard links: the name is checked, then renamed to.
        error = ::lstat(path.c_str(), &taken) == 0 ? EEXIST : ::rename(temp.c_str(), path.c_str()) == 0 ? 0 : errno;
    }
    ::unlink(temp.c_str());
    if (error == EEXIST) return false;
    if (error != 0) Fail(path, error);
    SyncFolderOf(path);
    return true;
}

} // namespace rtl
