#include "server/FtpSrvC.h"

#include <netinet/in.h>
#include <netinet/tcp.h>

#include <algorithm>
#include <cstring>

#include "server/FtpSrvPath.h"

TFtpCtrlSocket::TFtpCtrlSocket()
{
    DataSocket = std::make_unique<TAsyncSocket>();
    // One read per read event: input can then be held back (see FInputHeld)
    // without the receive loop asking again and again.
    FComponentOptions.Include(wsoNoReceiveLoop);
    FRcvBuf.resize(static_cast<std::size_t>(FRcvSize));
}

TFtpCtrlSocket::~TFtpCtrlSocket()
{
    // The data socket goes first, so none of its events can reach a
    // half-destroyed client; the open file closes with DataStream.
    DataSocket.reset();
    DataStream.reset();
}

void TFtpCtrlSocket::SetRcvSize(int Value)
{
    if (FRcvCnt != 0) throw EFtpCtrlSocketException("Data in buffer, can't change size");
    Value = std::max(Value, 0);
    if (Value == FRcvSize) return;
    FRcvSize = Value;
    FRcvBuf.assign(static_cast<std::size_t>(Value), 0);
}

void TFtpCtrlSocket::StartConnection()
{
    FSessionStarted = std::time(nullptr);
    FLastCommandTime = 0;
    FCommandCount = 0;
    FFtpState = ftpcWaitingUserCode;
    SendAnswer(FBanner);
}

void TFtpCtrlSocket::SendAnswer(const std::string& Answer)
{
    SendText(Answer + "\r\n");
}

std::string TFtpCtrlSocket::GetPeerAddr()
{
    return FPeerAddr;
}

void TFtpCtrlSocket::Dup(os::SOCKET NewHSocket)
{
    TCustomAsyncSocket::Dup(NewHSocket);
    if (State() != wsConnected) return;
    FPeerAddr = TCustomAsyncSocket::GetPeerAddr();
    // Clients send ABOR (or the Telnet DM before it) as urgent data: kept in
    // the stream, the line stays whole.
    int one = 1;
    WsSetsockopt(FHSocket, SOL_SOCKET, SO_OOBINLINE, reinterpret_cast<const char*>(&one), sizeof one);
    // A reply is one small write that the client waits for: held back until
    // the previous one is acknowledged, the "226" after a transfer would wait
    // for the client's delayed ACK (some 40 ms on every file).
    WsSetsockopt(FHSocket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
}

void TFtpCtrlSocket::ResolveDirectory(const std::string& NewDirectory)
{
    FDirectory = ResolveDirectoryPath(FDirectory, NewDirectory, FHomeDir);
}

void TFtpCtrlSocket::FireCommand(const char* CmdBuf, int CmdLen)
{
    if (OnCommand) OnCommand(this, CmdBuf, CmdLen);
}

bool TFtpCtrlSocket::FireDataAvailable(std::uint16_t Error)
{
    if (!FInputHeld) ReadAndCut();
    return true;
}

void TFtpCtrlSocket::FireDataSent(std::uint16_t Error)
{
    auto alive = FAlive;
    TCustomAsyncSocket::FireDataSent(Error);
    if (!*alive) return;
    if (FInputHeld && AllSent() && State() == wsConnected) {
        FInputHeld = false;
        ProcessReceivedLines();
        // Reading again re-arms the read event that was left waiting.
        if (!FInputHeld && *alive && State() == wsConnected) ReadAndCut();
    }
}

void TFtpCtrlSocket::ReadAndCut()
{
    if (FRcvSize < 3) return;
    int room = FRcvSize - FRcvCnt - 1;
    if (room <= 0) return;
    int n = ReadBytes(FRcvBuf.data() + FRcvCnt, room);
    if (n <= 0) return;
    FRcvCnt += n;
    FRcvBuf[static_cast<std::size_t>(FRcvCnt)] = 0;
    ProcessReceivedLines();
}

void TFtpCtrlSocket::ProcessReceivedLines()
{
    auto alive = FAlive;
    while (FRcvCnt > 0) {
        char* buf = FRcvBuf.data();
        char* lf = static_cast<char*>(std::memchr(buf, '\n', static_cast<std::size_t>(FRcvCnt)));
        if (lf == nullptr) {
            if (FRcvCnt < FRcvSize - 1) return; // wait for the rest of the line
            // The buffer is full without a line end: the line is refused
            // once, as too long, and its bytes are dropped up to its LF.
            if (!FSkippingLongLine) {
                FSkippingLongLine = true;
                FLastCommandTime = std::time(nullptr);
                ++FCommandCount;
                FireCommand(buf, FRcvCnt);
                if (!*alive) return;
            }
            FRcvCnt = 0;
            return;
        }
        int lineLen = static_cast<int>(lf - buf);
        int used = lineLen + 1;
        if (lineLen > 0 && buf[lineLen - 1] == '\r') --lineLen;
        if (FSkippingLongLine) {
            FSkippingLongLine = false;
        } else {
            FLastCommandTime = std::time(nullptr);
            ++FCommandCount;
            std::string line(buf, static_cast<std::size_t>(lineLen));
            FireCommand(line.data(), lineLen);
            if (!*alive) return;
        }
        FRcvCnt -= used;
        if (FRcvCnt > 0) std::memmove(FRcvBuf.data(), FRcvBuf.data() + used, static_cast<std::size_t>(FRcvCnt));
        FRcvBuf[static_cast<std::size_t>(FRcvCnt)] = 0;
        // Answers that have not left yet hold the next commands back, so a
        // peer that never reads cannot grow the send queue without bound.
        if (!AllSent() && FRcvCnt > 0) {
            FInputHeld = true;
            return;
        }
    }
    if (!AllSent()) FInputHeld = true;
}
