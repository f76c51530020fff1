#pragma once
// The data stream of one transfer: a file, or a listing held in memory.
#include <cstdint>
#include <string>

class TFtpSrvStream {
public:
    virtual ~TFtpSrvStream() = default;
    // Up to Count bytes; 0 at the end. Raises rtl::Exception on failure.
    virtual std::int64_t Read(void* Buffer, std::int64_t Count) = 0;
    // Writes everything or raises rtl::Exception with the system's message.
    virtual void Write(const void* Buffer, std::int64_t Count) = 0;
    virtual void Seek(std::int64_t Position) = 0;
    virtual std::int64_t Position() const = 0;
    virtual std::int64_t Size() const = 0;
    // The file descriptor behind the stream, -1 for memory.
    virtual int Handle() const { return -1; }
};

enum TFtpSrvOpenMode {
    fsmRead,     // existing file, read only
    fsmCreate,   // create or empty, write
    fsmRewrite,  // create or keep, write from a position (restart)
    fsmAppend,   // create or keep, write at the end
};

// A file inside a client's home, opened at its real location without
// following any link (OpenConfined). Raises PortlornException for a path
// outside the home, rtl::Exception with the system's message when the
// file cannot be opened.
class TFtpSrvFileStream : public TFtpSrvStream {
public:
    TFtpSrvFileStream(const std::string& Path, const std::string& HomeDir, TFtpSrvOpenMode Mode);
    ~TFtpSrvFileStream() override;
    TFtpSrvFileStream(const TFtpSrvFileStream&) = delete;
    TFtpSrvFileStream& operator=(const TFtpSrvFileStream&) = delete;
    std::int64_t Read(void* Buffer, std::int64_t Count) override;
    void Write(const void* Buffer, std::int64_t Count) override;
    void Seek(std::int64_t Position) override;
    std::int64_t Position() const override { return FPosition; }
    std::int64_t Size() const override;
    int Handle() const override { return FFd; }
    // Closes the file; raises when the system reports a late write error.
    void Close();
    // Cuts the file at the given length (restart of an upload).
    void Truncate(std::int64_t Length);
    // Moves the position after bytes were sent by other means (sendfile).
    void Advance(std::int64_t Count) { FPosition += Count; }

private:
    int FFd = -1;
    std::int64_t FPosition = 0;
};

class TFtpSrvMemoryStream : public TFtpSrvStream {
public:
    std::int64_t Read(void* Buffer, std::int64_t Count) override;
    void Write(const void* Buffer, std::int64_t Count) override;
    void Seek(std::int64_t Position) override;
    std::int64_t Position() const override { return FPosition; }
    std::int64_t Size() const override { return static_cast<std::int64_t>(FData.size()); }
    const std::string& Data() const { return FData; }

private:
    std::string FData;
    std::int64_t FPosition = 0;
};
