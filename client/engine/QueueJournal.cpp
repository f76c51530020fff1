#include "client/engine/QueueJournal.h"

#include "rtl/IniFile.h"

bool TQueueJournal::Begin(const std::string& fileName, const std::string& dateTime, const THostInfo& host,
                          bool resumed, const std::vector<TTransferFileInfo>& items)
{
    fileName_ = fileName;
    list_ = TOldQuene{};
    list_.DateTime = dateTime;
    list_.Host = host;
    if (fileName_.empty()) return true;
    list_.Items = items;
    return Store(resumed ? TOldQueneStore::Replace : TOldQueneStore::New);
}

bool TQueueJournal::Due() const
{
    return Active() && changed_ && std::chrono::steady_clock::now() - written_ >= kInterval;
}

bool TQueueJournal::Write(const std::vector<TTransferFileInfo>& items)
{
    if (!Active()) return true;
    list_.Items = items;
    return Store(TOldQueneStore::Replace);
}

bool TQueueJournal::End(const std::vector<TTransferFileInfo>& items)
{
    if (!Active()) return true;
    list_.Items = items;
    const bool ok = Store(items.empty() ? TOldQueneStore::Remove : TOldQueneStore::Replace);
    fileName_.clear();
    list_.Items.clear();
    return ok;
}

bool TQueueJournal::Store(TOldQueneStore how)
{
    // Marked written before the write: a file that cannot be written is
    // tried again after the interval, not on every event.
    changed_ = false;
    written_ = std::chrono::steady_clock::now();
    try {
        list_.DateTime = StoreOldQuene(fileName_, list_, how);
        error_.clear();
        return true;
    } catch (const std::exception& e) {
        error_ = e.what();
        changed_ = true;
        return false;
    }
}
