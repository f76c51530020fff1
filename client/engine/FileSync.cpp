#include "client/engine/FileSync.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <map>

namespace {

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

void TFileSync::Start(std::vector<TJob> jobs, std::function<void()> done)
{
    if (pass_.valid()) pass_.wait();
    pass_ = std::async(std::launch::async, [jobs = std::move(jobs), done = std::move(done)]() mutable {
        std::vector<bool> ok = Run(jobs);
        if (done) done();
        return ok;
    });
}

std::vector<bool> TFileSync::Take()
{
    if (!pass_.valid()) return {};
    return pass_.get();
}

std::vector<bool> TFileSync::Run(std::vector<TJob>& jobs)
{
    std::vector<bool> ok(jobs.size(), false);
    // One descriptor per file system, kept: the oldest one there (an open
    // stream's, when the pass has one, made before its writes), so a write
    // back error since then is seen. A file that cannot be opened (gone) is
    // not durable.
    struct TFs {
        int Fd = -1;
        std::vector<std::size_t> Jobs;
    };
    std::map<dev_t, TFs> fileSystems;
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        const int fd = jobs[i].Fd >= 0 ? jobs[i].Fd : OpenForSync(jobs[i]);
        jobs[i].Fd = -1;
        if (fd < 0) continue;
        struct stat st {};
        if (::fstat(fd, &st) != 0) {
            ::close(fd);
            continue;
        }
        TFs& fs = fileSystems[st.st_dev];
        fs.Jobs.push_back(i);
        if (fs.Fd < 0) fs.Fd = fd;
        else ::close(fd);
    }
    for (auto& [dev, fs] : fileSystems) {
        // Everything written on it so far, data, sizes and names, reaches
        // the disk before this returns; its folders are on it too.
        int rc;
        while ((rc = ::syncfs(fs.Fd)) != 0 && errno == EINTR) {
        }
        ::close(fs.Fd);
        for (std::size_t i : fs.Jobs) ok[i] = rc == 0;
    }
    // A folder on another file system than its file (a mount point) holds
    // the name: that file system is synced too.
    std::map<dev_t, std::vector<std::size_t>> folderFs;
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        if (!ok[i] || jobs[i].Folder.empty()) continue;
        struct stat st {};
        if (::stat(jobs[i].Folder.c_str(), &st) != 0) {
            ok[i] = false;
            continue;
        }
        if (!fileSystems.count(st.st_dev)) folderFs[st.st_dev].push_back(i);
    }
    for (auto& [dev, list] : folderFs) {
        const int fd = ::open(jobs[list.front()].Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const bool done = fd >= 0 && ::syncfs(fd) == 0;
        if (fd >= 0) ::close(fd);
        for (std::size_t i : list) ok[i] = ok[i] && done;
    }
    return ok;
}
