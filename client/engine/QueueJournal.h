#pragma once
// The running queue of a transfer run, kept in "oldquene.ini" as a broken
// list of its site from the moment the run starts, so a crash or a power
// cut leaves an ordinary broken list behind. Every write replaces the file
// whole (a temporary file, then a rename) and keeps the other lists in it.
#include <chrono>
#include <string>
#include <vector>

#include "client/engine/OldQuene.h"

class TQueueJournal {
public:
    // How long changes may wait before they are written.
    static constexpr std::chrono::milliseconds kInterval{2000};

    // Starts journalling the run's items as the list (dateTime, host) in
    // fileName and writes it at once. A resumed list (resumed) of that
    // identity is replaced by the journal; otherwise the journal is a list
    // of its own (its DateTime made unique). False when the file could not
    // be written (LastError); the run goes on, and later writes try again.
    bool Begin(const std::string& fileName, const std::string& dateTime, const THostInfo& host, bool resumed,
               const std::vector<TTransferFileInfo>& items);
    bool Active() const { return !fileName_.empty(); }
    // Something written in the list changed: an item finished or moved on.
    void Changed() { changed_ = true; }
    // A write is due: something changed and the last write is kInterval old.
    bool Due() const;
    bool Write(const std::vector<TTransferFileInfo>& items);
    // The run ended: with nothing left the list leaves the file; what is
    // left stays as the ordinary broken list. Journalling stops.
    bool End(const std::vector<TTransferFileInfo>& items);
    // The DateTime of the list in the file (kept after End).
    const std::string& DateTime() const { return list_.DateTime; }
    const std::string& LastError() const { return error_; }

private:
    bool Store(TOldQueneStore how);

    std::string fileName_;
    TOldQuene list_;
    bool changed_ = false;
    std::chrono::steady_clock::time_point written_{};
    std::string error_;
};
