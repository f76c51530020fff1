#pragma once
// The local file of one slot's transfer. The engine hands it to the client
// instead of a file name, so it knows the position really written (not just
// received), can refuse a restart the server did not accept, and can stop a
// given-back item from writing any more.
#include <cstdint>
#include <string>

#include "net/FtpLocalStream.h"

class TSlotFileStream : public TFtpStream {
public:
    // A download opens (creates) the file for writing, emptied first when
    // truncate is set; an upload opens it for reading. start is the only
    // position the transfer may begin at.
    TSlotFileStream(const std::string& path, bool forWrite, std::int64_t start, bool truncate);
    ~TSlotFileStream() override;
    TSlotFileStream(const TSlotFileStream&) = delete;
    TSlotFileStream& operator=(const TSlotFileStream&) = delete;

    bool Opened() const { return fd_ >= 0; }
    int LastError() const { return error_; }

    std::int64_t Read(void* Buffer, std::int64_t Count) override;
    bool Write(const void* Buffer, std::int64_t Count) override;
    // A restart elsewhere than at start means the server refused it: refused.
    bool Seek(std::int64_t Position) override;
    std::int64_t Position() const override { return position_; }
    std::int64_t Size() const override;

    // The first byte not yet written (download) or read (upload).
    std::int64_t Reached() const { return position_; }
    // True once a read or write failed.
    bool Failed() const { return failed_; }
    // Closes the file; nothing more is read or written. False when the
    // close reported a write the system had deferred as failed.
    bool Freeze();

private:
    int fd_ = -1;
    int error_ = 0;
    bool failed_ = false;
    std::int64_t start_ = 0;
    std::int64_t position_ = 0;
};
