#pragma once
// The local side of an FTP transfer: a stream with 64-bit positions. The
// client opens a file stream itself, or the caller attaches any stream
// (a memory stream for listings).
#include <cstdint>
#include <string>

#include "rtl/Object.h"

class TFtpStream : public TObject {
public:
    // Bytes read at the current position (0 at the end, -1 on failure).
    virtual std::int64_t Read(void* Buffer, std::int64_t Count) = 0;
    // Writes all Count bytes at the current position; false on failure.
    virtual bool Write(const void* Buffer, std::int64_t Count) = 0;
    virtual bool Seek(std::int64_t Position) = 0;
    virtual std::int64_t Position() const = 0;
    virtual std::int64_t Size() const = 0;
};

// How a local file is shared with other openers. Linux has no mandatory
// share modes: the exclusive and deny modes take an advisory lock
// (flock), which other openers that lock see; compat and deny-none lock
// nothing.
enum TFtpShareMode {
    ftpShareCompat = 0,
    ftpShareExclusive = 1,
    ftpShareDenyWrite = 2,
    ftpShareDenyRead = 3,
    ftpShareDenyNone = 4,
};

// Open-mode share flags, kept as the component stores them.
std::uint16_t ShareFlagsOf(TFtpShareMode Mode);
TFtpShareMode ShareModeOf(std::uint16_t Flags);

class TFtpFileStream : public TFtpStream {
public:
    enum TOpenMode { fmOpenRead, fmOpenReadWrite };
    // Opens (for ReadWrite: creates when missing, never truncates). Check
    // Opened(); LastError() holds the errno of a failure.
    TFtpFileStream(const std::string& FileName, TOpenMode Mode, std::uint16_t ShareFlags);
    ~TFtpFileStream() override;
    TFtpFileStream(const TFtpFileStream&) = delete;
    TFtpFileStream& operator=(const TFtpFileStream&) = delete;

    bool Opened() const { return FFd >= 0; }
    int LastError() const { return FLastError; }
    int Handle() const { return FFd; }

    std::int64_t Read(void* Buffer, std::int64_t Count) override;
    bool Write(const void* Buffer, std::int64_t Count) override;
    bool Seek(std::int64_t Position) override;
    std::int64_t Position() const override { return FPosition; }
    std::int64_t Size() const override;
    // Closes the file; false when the close reported a failure (a write
    // the system deferred did not land).
    bool Close();

private:
    int FFd = -1;
    int FLastError = 0;
    std::int64_t FPosition = 0;
};

class TFtpMemoryStream : public TFtpStream {
public:
    std::int64_t Read(void* Buffer, std::int64_t Count) override;
    bool Write(const void* Buffer, std::int64_t Count) override;
    bool Seek(std::int64_t Position) override;
    std::int64_t Position() const override { return FPosition; }
    std::int64_t Size() const override { return static_cast<std::int64_t>(FData.size()); }
    const std::string& DataString() const { return FData; }
    void Clear()
    {
        FData.clear();
        FPosition = 0;
    }

private:
    std::string FData;
    std::int64_t FPosition = 0;
};
