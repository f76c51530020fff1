#include "client/engine/FileSync.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <map>

namespace {

// Descriptors a pass holds at once, however many files finished.
constexpr std::size_t kChunk = 64;

int OpenForSync(const TFileSync::TJob& job)
{
    int fd = ::open(job.Path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT && !job.AltPath.empty()) fd = ::open(job.AltPath.c_str(), O_RDONLY | O_CLOEXEC);
    return fd;
}

} // namespace

TFileSync::~TFileSync()
{
    if (pass_.valid()) pass_.wait();
}

bool TFileSync::Ready() const
{
    return pass_.valid() && pass_.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

void TFileSync::Start(std::vector<TJob> jobs)
{
    if (pass_.valid()) pass_.wait();
    pass_ = std::async(std::launch::async, [jobs = std::move(jobs)]() mutable { return Run(jobs); });
}

std::vector<bool> TFileSync::Take()
{
    if (!pass_.valid()) return {};
    return pass_.get();
}

std::vector<bool> TFileSync::Run(std::vector<TJob>& jobs)
{
    std::vector<bool> ok(jobs.size(), false);
    for (std::size_t from = 0; from < jobs.size(); from += kChunk) {
        const std::size_t to = std::min(jobs.size(), from + kChunk);
        std::vector<int> fds(to - from, -1);
        for (std::size_t i = from; i < to; ++i) {
            fds[i - from] = jobs[i].Fd >= 0 ? jobs[i].Fd : OpenForSync(jobs[i]);
            jobs[i].Fd = -1;
            // Writeback of the whole chunk starts first: the syncs after it
            // then share the file system's commits instead of one each.
            if (fds[i - from] >= 0) ::sync_file_range(fds[i - from], 0, 0, SYNC_FILE_RANGE_WRITE);
        }
        for (std::size_t i = from; i < to; ++i) {
            const int fd = fds[i - from];
            if (fd < 0) continue;
            ok[i] = ::fdatasync(fd) == 0;
            ::close(fd);
        }
    }
    // A new file's name, or a rename, lives in its folder.
    std::map<std::string, bool> folders;
    for (std::size_t i = 0; i < jobs.size(); ++i)
        if (ok[i] && !jobs[i].Folder.empty()) folders.emplace(jobs[i].Folder, false);
    for (auto& [name, done] : folders) {
        const int fd = ::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) continue;
        done = ::fsync(fd) == 0;
        ::close(fd);
    }
    for (std::size_t i = 0; i < jobs.size(); ++i)
        if (ok[i] && !jobs[i].Folder.empty()) ok[i] = folders[jobs[i].Folder];
    return ok;
}
