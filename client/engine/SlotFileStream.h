#pragma once
// The local file of one slot's transfer. The engine hands it to the client
// instead of a file name, so it knows the position really written (not just
// received), can refuse a restart the server did not accept, and can stop a
// given-back item from writing any more.
//
// A download's file is opened on a background thread: creating a file can
// take a file system longer than a whole small transfer takes the network,
// and the slot's commands (and every other slot) go on meanwhile. Whatever
// needs the file waits for that open.
#include <cstdint>
#include <future>
#include <string>
#include <utility>

#include "net/FtpLocalStream.h"

class TSlotFileStream : public TFtpStream {
public:
    // A download opens (creates) the file for writing, with the folders it
    // lies in, emptied first when truncate is set; an upload opens it for
    // reading, at once. start is the only position the transfer may begin at.
    TSlotFileStream(const std::string& path, bool forWrite, std::int64_t start, bool truncate);
    ~TSlotFileStream() override;
    TSlotFileStream(const TSlotFileStream&) = delete;
    TSlotFileStream& operator=(const TSlotFileStream&) = delete;

    // True when the file was opened (also after Freeze); waits for the open.
    bool Opened() const;
    int LastError() const;

    std::int64_t Read(void* Buffer, std::int64_t Count) override;
    bool Write(const void* Buffer, std::int64_t Count) override;
    // A restart elsewhere than at start means the server refused it:
    // refused. An open still running is not waited for; its failure fails
    // the first write.
    bool Seek(std::int64_t Position) override;
    std::int64_t Position() const override { return position_; }
    std::int64_t Size() const override;

    // The first byte not yet written (download) or read (upload).
    std::int64_t Reached() const { return position_; }
    // A descriptor of its own for the file, for a sync that may outlive the
    // stream; -1 while the open still runs (never waited for) or once closed.
    int DupDescriptor() const;
    // True once the open, a read or a write failed.
    bool Failed() const;
    // Closes the file; nothing more is read or written. False when the
    // close reported a write the system had deferred as failed.
    bool Freeze();
    // Removes the file again when this stream made it and nothing was
    // written: a download refused before its first byte leaves no empty
    // file behind that looks like a finished one. Closes the file first.
    void DiscardIfUntouched();

private:
    // Takes the outcome of a background open (waiting for it) once.
    void Settle() const;

    struct TOpened {
        int fd = -1, error = 0;
        bool created = false; // the file was not there before
    };
    // The background open's outcome.
    mutable std::future<TOpened> opening_;
    std::string path_;
    mutable bool created_ = false;
    mutable int fd_ = -1;
    mutable int error_ = 0;
    mutable bool failed_ = false;
    mutable bool opened_ = false;
    std::int64_t start_ = 0;
    std::int64_t position_ = 0;
};
