#pragma once
#include <cstdint>

#include "rtl/Object.h"

// One chunk of a socket's send queue: a fixed-size block with a write count
// and a read count. An emptied chunk rewinds to its start, so it is reused.
class TBuffer : public TObject {
public:
    // A size of 0 or less means the default of 1514 bytes.
    explicit TBuffer(int Size = 1514);
    ~TBuffer() override;
    TBuffer(const TBuffer&) = delete;
    TBuffer& operator=(const TBuffer&) = delete;

    // Copies as many bytes as fit after the written ones; returns that number
    // (0 when full).
    int AppendData(const void* Data, int Len);
    // The first unread byte and the number of unread bytes (nullptr and 0 when none).
    const char* PeekData(int& Len) const;
    // Marks up to Len unread bytes as read; returns how many were.
    int ConsumeData(int Len);
    // Reallocates; written bytes are kept (as far as they fit).
    void SetSize(int NewSize);

    int Size() const { return FBufSize; }
    int WrCount() const { return FWrCount; }
    int RdCount() const { return FRdCount; }
    int UnreadCount() const { return FWrCount - FRdCount; }
    bool Full() const { return FWrCount >= FBufSize; }

private:
    char* FBuf = nullptr;
    int FBufSize = 0;
    int FWrCount = 0;
    int FRdCount = 0;
};
