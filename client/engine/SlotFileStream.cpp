#include "client/engine/SlotFileStream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "client/engine/LocalFiles.h"

namespace {

// The threads that open download files, started as they are needed and
// joined at exit. A few, so files in different folders are made side by
// side (a folder takes one new file at a time).
class TOpenThreads {
public:
    static TOpenThreads& Get()
    {
        static TOpenThreads threads;
        return threads;
    }

    void Run(std::function<void()> job)
    {
        std::unique_lock lock(mu_);
        if (stopping_) {
            // Past exit's clean-up: nobody is left to run it later.
            lock.unlock();
            job();
            return;
        }
        jobs_.push_back(std::move(job));
        if (idle_ == 0 && threads_.size() < kThreads) threads_.emplace_back([this] { Work(); });
        else wake_.notify_one();
    }

    ~TOpenThreads()
    {
        {
            std::lock_guard lock(mu_);
            stopping_ = true;
        }
        wake_.notify_all();
        for (auto& t : threads_) t.join();
    }

private:
    static constexpr std::size_t kThreads = 4;

    void Work()
    {
        std::unique_lock lock(mu_);
        for (;;) {
            if (!jobs_.empty()) {
                auto job = std::move(jobs_.front());
                jobs_.pop_front();
                lock.unlock();
                job();
                lock.lock();
                continue;
            }
            if (stopping_) return;
            ++idle_;
            wake_.wait(lock);
            --idle_;
        }
    }

    std::mutex mu_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    std::vector<std::thread> threads_;
    std::size_t idle_ = 0;
    bool stopping_ = false;
};

} // namespace

TSlotFileStream::TSlotFileStream(const std::string& path, bool forWrite, std::int64_t start, bool truncate)
    : path_(path), start_(start), position_(start)
{
    if (!forWrite) {
        fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        error_ = fd_ < 0 ? errno : 0;
        opened_ = fd_ >= 0;
        failed_ = !opened_;
        return;
    }
    const int flags = O_WRONLY | O_CREAT | (truncate ? O_TRUNC : 0) | O_CLOEXEC;
    auto done = std::make_shared<std::promise<TOpened>>();
    opening_ = done->get_future();
    TOpenThreads::Get().Run([done, path, flags] {
        const std::string parent = std::filesystem::path(path).parent_path().string();
        if (!parent.empty()) ForceLocalDirs(parent);
        TOpened r;
        r.fd = ::open(path.c_str(), flags | O_EXCL, 0644);
        r.created = r.fd >= 0;
        if (r.fd < 0 && errno == EEXIST) r.fd = ::open(path.c_str(), flags, 0644);
        r.error = r.fd < 0 ? errno : 0;
        done->set_value(r);
    });
}

TSlotFileStream::~TSlotFileStream() { Freeze(); }

void TSlotFileStream::Settle() const
{
    if (!opening_.valid()) return;
    const TOpened r = opening_.get();
    fd_ = r.fd;
    created_ = r.created;
    opened_ = r.fd >= 0;
    if (!opened_) {
        error_ = r.error;
        failed_ = true;
    }
}

bool TSlotFileStream::Opened() const
{
    Settle();
    return opened_;
}

int TSlotFileStream::LastError() const
{
    Settle();
    return error_;
}

int TSlotFileStream::DupDescriptor() const
{
    if (opening_.valid() && opening_.wait_for(std::chrono::seconds(0)) != std::future_status::ready) return -1;
    Settle();
    return fd_ >= 0 ? ::fcntl(fd_, F_DUPFD_CLOEXEC, 0) : -1;
}

bool TSlotFileStream::Failed() const
{
    Settle();
    return failed_;
}

std::int64_t TSlotFileStream::Read(void* Buffer, std::int64_t Count)
{
    Settle();
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
    Settle();
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
    if (Position != start_) return false;
    if (!opening_.valid() && fd_ < 0) return false;
    position_ = Position;
    return true;
}

std::int64_t TSlotFileStream::Size() const
{
    Settle();
    struct stat st{};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) return 0;
    return st.st_size;
}

bool TSlotFileStream::Freeze()
{
    Settle();
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

void TSlotFileStream::DiscardIfUntouched()
{
    Freeze();
    if (created_ && position_ == start_) ::unlink(path_.c_str());
    created_ = false;
}
