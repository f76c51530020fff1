#pragma once
// Makes written bytes durable away from the GUI thread. One pass at a time
// runs on a thread of its own; its outcome is taken once it is done, so a
// journal records only positions whose bytes survive a power cut.
#include <future>
#include <string>
#include <vector>

class TFileSync {
public:
    struct TJob {
        int Fd = -1;          // a descriptor of its own (dup'd), closed by the pass
        std::string Path;     // opened when Fd is -1 ...
        std::string AltPath;  // ... or this when Path is gone (renamed meanwhile)
        std::string Folder;   // its name is made durable too: fsynced once a pass
    };

    TFileSync() = default;
    ~TFileSync();
    TFileSync(const TFileSync&) = delete;
    TFileSync& operator=(const TFileSync&) = delete;

    // A pass was started and its outcome not taken yet.
    bool Busy() const { return pass_.valid(); }
    // The pass is done: Take will not wait.
    bool Ready() const;
    void Start(std::vector<TJob> jobs);
    // Waits for the pass: per job, true when its bytes (and folder) are durable.
    std::vector<bool> Take();

    // The work of a pass, on the calling thread.
    static std::vector<bool> Run(std::vector<TJob>& jobs);

private:
    std::future<std::vector<bool>> pass_;
};
