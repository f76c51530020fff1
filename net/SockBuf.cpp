#include "net/SockBuf.h"

#include <algorithm>
#include <cstring>

TBuffer::TBuffer(int Size)
{
    FBufSize = Size > 0 ? Size : 1514;
    FBuf = new char[static_cast<std::size_t>(FBufSize)];
}

TBuffer::~TBuffer() { delete[] FBuf; }

int TBuffer::AppendData(const void* Data, int Len)
{
    int room = FBufSize - FWrCount;
    int n = std::min(std::max(Len, 0), room);
    if (n <= 0) return 0;
    std::memcpy(FBuf + FWrCount, Data, static_cast<std::size_t>(n));
    FWrCount += n;
    return n;
}

const char* TBuffer::PeekData(int& Len) const
{
    Len = FWrCount - FRdCount;
    if (Len <= 0) {
        Len = 0;
        return nullptr;
    }
    return FBuf + FRdCount;
}

int TBuffer::ConsumeData(int Len)
{
    int n = std::min(std::max(Len, 0), FWrCount - FRdCount);
    FRdCount += n;
    if (FRdCount >= FWrCount) {
        FRdCount = 0;
        FWrCount = 0;
    }
    return n;
}

void TBuffer::SetSize(int NewSize)
{
    if (NewSize <= 0) NewSize = 1514;
    if (NewSize == FBufSize) return;
    char* fresh = new char[static_cast<std::size_t>(NewSize)];
    // Keep the unread bytes, moved to the front, as far as they fit.
    int keep = std::min(FWrCount - FRdCount, NewSize);
    if (keep > 0) std::memcpy(fresh, FBuf + FRdCount, static_cast<std::size_t>(keep));
    delete[] FBuf;
    FBuf = fresh;
    FBufSize = NewSize;
    FRdCount = 0;
    FWrCount = keep;
}
