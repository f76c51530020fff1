#pragma once
// A wait for a flag while the thread's messages keep flowing.
#include <cstdint>
#include <functional>

#include "net/CustomLineAsyncSocket.h"

class TCustomSyncAsyncSocket : public TCustomLineAsyncSocket {
public:
    TCustomSyncAsyncSocket();
    ~TCustomSyncAsyncSocket() override;

    // Clears the flag, runs Method (when given), then waits for the flag.
    virtual int RunAndWait(bool& Flag, const std::function<void()>& Method);
    // Blocks in the thread's loop until Flag is set (0), or until the time-out
    // passed or the loop met WM_QUIT (SocketWaitTimeoutError, 12001).
    virtual int WaitForFlag(bool& Flag);

    // Milliseconds; 0 waits without limit.
    std::int64_t Timeout() const { return FTimeout; }
    void SetTimeout(std::int64_t Value) { FTimeout = Value; }

protected:
    std::int64_t FTimeout = 0;
    std::int64_t FTimeStop = 0; // monotonic milliseconds at which the current wait ends
};
