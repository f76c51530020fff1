// The blocking layer: a call starts a request and pumps the thread's message
// loop until the request ends or Timeout seconds pass without progress. The
// same silence ends a request nobody waits on, through a loop timer.
#include <algorithm>
#include <exception>

#include "net/FtpCli.h"
#include "os/MessageLoop.h"

TFtpClient::TFtpClient(const TFtpCliVariant& Variant) : TCustomFtpCli(Variant) { FTimeout = 15; }

void TFtpClient::SetMultiThreaded(bool Value)
{
    FMultiThreaded = Value;
    FCommandSocket->SetMultiThreaded(Value);
    FTransferSocket->SetMultiThreaded(Value);
}

bool TFtpClient::FireProgress()
{
    const bool goOn = TCustomFtpCli::FireProgress();
    TransferMoved();
    return goOn;
}

void TFtpClient::TransferMoved()
{
    // The time-out measures silence, not the whole time.
    if (FTimeout > 0) FTimeoutDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(FTimeout);
}

void TFtpClient::BusyChanged(bool Busy)
{
    if (!Busy || FTimeout <= 0) {
        os::KillTimer(FWindowHandle, kSilenceTimer);
        return;
    }
    TransferMoved();
    ArmSilenceTimer();
}

void TFtpClient::ArmSilenceTimer()
{
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(FTimeoutDeadline - std::chrono::steady_clock::now())
            .count();
    os::SetTimer(FWindowHandle, kSilenceTimer, static_cast<os::UINT>(std::max<std::int64_t>(left, 1)));
}

void TFtpClient::SilenceTick()
{
    // Nothing waits on the peer any more, or the time-out was switched off.
    if (FRequestDoneSent || IsReady() || FTimeout <= 0) {
        os::KillTimer(FWindowHandle, kSilenceTimer);
        return;
    }
    if (std::chrono::steady_clock::now() < FTimeoutDeadline) {
        ArmSilenceTimer();
        return;
    }
    os::KillTimer(FWindowHandle, kSilenceTimer);
    // The abort writes what was received, so the caller hears of the end
    // with every byte on disk.
    FireDisplay("<ERROR>      426 Timeout");
    AbortRequest();
    FErrorMessage = "426 Timeout";
    FReplyCode = 426;
}

os::LRESULT TFtpClient::DispatchWindowMessage(os::UINT Msg, os::WPARAM WParam, os::LPARAM LParam)
{
    if (Msg == os::WM_TIMER && WParam == kSilenceTimer) {
        try {
            SilenceTick();
        } catch (rtl::Exception& E) {
            ProcessBgException(E);
        }
        return 0;
    }
    return TCustomFtpCli::DispatchWindowMessage(Msg, WParam, LParam);
}

bool TFtpClient::BlockUntilIdle()
{
    // Both modes pump the calling thread's own loop: with MultiThreaded the
    // component was created on (and is waited on from) its worker thread.
    auto& loop = os::MessageLoop::ForThisThread();
    FTimeoutDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(FTimeout > 0 ? FTimeout : 0);
    // The browser's variant waits for the request's very end, not a step's.
    auto idle = [this] { return FVariant.StepDoneEndsWait ? IsReady() : FState == csReady; };
    bool timedOut = false;
    for (;;) {
        if (idle()) return FRequestStatus == 0;
        std::int64_t waitMs = -1;
        if (FTimeout > 0) {
            waitMs = std::chrono::duration_cast<std::chrono::milliseconds>(FTimeoutDeadline -
                                                                           std::chrono::steady_clock::now())
                         .count();
            if (waitMs <= 0) {
                timedOut = true;
                break;
            }
        }
        loop.WaitUntil(idle, waitMs);
        if (loop.QuitReceived() && !idle()) break;
    }
    // Shown as the silence timer shows it, whichever of the two saw it first.
    if (timedOut) FireDisplay("<ERROR>      426 Timeout");
    AbortRequest();
    FErrorMessage = "426 Timeout";
    FReplyCode = 426;
    return false;
}

bool TFtpClient::RunAndWait(TAction Request)
{
    return RunAndWait([this, Request] { (this->*Request)(); });
}

bool TFtpClient::RunAndWait(const std::function<void()>& Request)
{
    try {
        Request();
        return BlockUntilIdle();
    } catch (const std::exception&) {
        return false;
    }
}

bool TFtpClient::TypeBinaryBlocking()
{
    SetBinary(true);
    return RunAndWait(&TCustomFtpCli::SendType);
}

bool TFtpClient::TypeAsciiBlocking()
{
    SetBinary(false);
    return RunAndWait(&TCustomFtpCli::SendType);
}

bool TFtpClient::QuitBlocking() { return RunAndWait(&TCustomFtpCli::SendQuit); }
bool TFtpClient::AbortBlocking() { return RunAndWait(&TCustomFtpCli::AbortRequest); }
bool TFtpClient::RawCommandBlocking() { return RunAndWait(&TCustomFtpCli::SendRawCommand); }
