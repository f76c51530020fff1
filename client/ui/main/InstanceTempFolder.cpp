#include "client/ui/main/InstanceTempFolder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {
const char* const kLockName = ".lock";
}

int TInstanceTempFolder::RemoveStale(const std::string& tmpRoot)
{
    int removed = 0;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(tmpRoot, ec)) {
        std::error_code e2;
        if (!entry.is_directory(e2) || entry.is_symlink(e2)) continue;
        const std::string lock = (entry.path() / kLockName).string();
        // A folder without a lock may be one being made right now: left alone.
        const int fd = ::open(lock.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0) continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            fs::remove_all(entry.path(), e2);
            if (!e2) ++removed;
        }
        ::close(fd);
    }
    return removed;
}

TInstanceTempFolder::TInstanceTempFolder(const std::string& tmpRoot)
{
    std::error_code ec;
    fs::create_directories(tmpRoot, ec);
    RemoveStale(tmpRoot);
    std::string templ = (fs::path(tmpRoot) / "run-XXXXXX").string();
    if (!::mkdtemp(templ.data())) return;
    const std::string lock = templ + "/" + kLockName;
    FLockFd = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (FLockFd < 0 || ::flock(FLockFd, LOCK_EX | LOCK_NB) != 0) {
        if (FLockFd >= 0) ::close(FLockFd);
        FLockFd = -1;
        fs::remove_all(templ, ec);
        return;
    }
    FPath = templ + "/";
}

TInstanceTempFolder::~TInstanceTempFolder()
{
    if (FPath.empty()) return;
    std::error_code ec;
    fs::remove_all(FPath, ec);
    ::close(FLockFd);
}
