#include "net/CustomSyncAsyncSocket.h"

#include <chrono>

#include "os/MessageLoop.h"

namespace {
std::int64_t NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
} // namespace

TCustomSyncAsyncSocket::TCustomSyncAsyncSocket() = default;
TCustomSyncAsyncSocket::~TCustomSyncAsyncSocket() = default;

int TCustomSyncAsyncSocket::RunAndWait(bool& Flag, const std::function<void()>& Method)
{
    Flag = false;
    if (Method) Method();
    return WaitForFlag(Flag);
}

int TCustomSyncAsyncSocket::WaitForFlag(bool& Flag)
{
    auto& loop = os::MessageLoop::ForThisThread();
    FTimeStop = NowMs() + FTimeout;
    if (Flag) return 0;
    if (FTerminated || loop.QuitReceived()) {
        FTerminated = true;
        return SocketWaitTimeoutError;
    }
    // Blocks in the loop (no spin) until the flag is set, the time-out
    // passes or WM_QUIT arrives. The socket may be freed by a handler inside
    // the wait only through PostFree, so `this` stays valid here.
    loop.WaitUntil([&] { return Flag; }, FTimeout > 0 ? FTimeout : -1);
    if (Flag) return 0;
    if (loop.QuitReceived()) FTerminated = true;
    return SocketWaitTimeoutError;
}
