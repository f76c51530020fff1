#pragma once
// Makes written bytes durable away from the GUI thread. One pass at a time
// runs on a thread of its own; its outcome is taken once it is done, so a
// journal records only positions whose bytes survive a power cut.
//
// A pass costs one syncfs per file system its files are on, however many
// files it holds: the file system writes back and commits them together,
// names in their folders included. One fdatasync per file (a commit each)
// made a run of many small files several times slower than the transfer.
#include <functional>
#include <future>
#include <string>
#include <vector>

class TFileSync {
public:
    struct TJob {
        int Fd = -1;          // a descriptor of its own (dup'd), closed by the pass
        std::string Path;     // opened when Fd is -1 ...
        std::string AltPath;  // ... or this when Path is gone (renamed meanwhile)
        std::string Folder;   // its name lives there: made durable with it
    };

    TFileSync() = default;
    ~TFileSync();
    TFileSync(const TFileSync&) = delete;
    TFileSync& operator=(const TFileSync&) = delete;

    // A pass was started and its outcome not taken yet.
    bool Busy() const { return pass_.valid(); }
    // The pass is done: Take will not wait.
    bool Ready() const;
    // done, when given, is called on the pass's thread once it is over (to
    // tell the owner's thread, which then takes the outcome).
    void Start(std::vector<TJob> jobs, std::function<void()> done = {});
    // Waits for the pass: per job, true when its bytes (and folder) are durable.
    std::vector<bool> Take();

    // The work of a pass, on the calling thread.
    static std::vector<bool> Run(std::vector<TJob>& jobs);

private:
    std::future<std::vector<bool>> pass_;
};
