#include "net/CustomLineAsyncSocket.h"

#include <algorithm>
#include <cstring>

#include "net/WsBinding.h"
#include "os/MessageTarget.h"

TCustomLineAsyncSocket::TCustomLineAsyncSocket()
{
    FLineEnd = "\r\n";
    FLineMode = false;
}

TCustomLineAsyncSocket::~TCustomLineAsyncSocket() = default;

void TCustomLineAsyncSocket::SetLineMode(bool Value)
{
    if (Value == FLineMode) return;
    FLineMode = Value;
    if (!Value) FLineLength = 0;
    // Buffered bytes are delivered again from the loop, never inside the setter.
    if (FRcvdCnt > 0 && !FLineReceivedTriggered) {
        FLineReceivedTriggered = true;
        os::PostMessage(FWindowHandle, WM_TRIGGER_DATA_AVAILABLE, 0, 0);
    }
}

void TCustomLineAsyncSocket::DispatchWindowMessage(TMessage& MsgRec)
{
    if (MsgRec.Msg != WM_TRIGGER_DATA_AVAILABLE) {
        TCustomSocksAsyncSocket::DispatchWindowMessage(MsgRec);
        return;
    }
    try {
        WMTriggerDataAvailable(MsgRec);
    } catch (rtl::Exception& e) {
        ProcessBgException(e);
    }
}

void TCustomLineAsyncSocket::WMTriggerDataAvailable(TMessage&)
{
    FLineReceivedTriggered = false;
    std::weak_ptr<bool> alive = FAlive;
    if (FLineMode && !FLineEnd.empty()) {
        DeliverLines(0);
        return;
    }
    // Plain delivery of what line mode left behind; stop when a pass took nothing.
    while (FRcvdCnt > 0) {
        std::int64_t before = FRcvdCnt;
        if (!TCustomSocksAsyncSocket::FireDataAvailable(0)) {
            FRcvdPtr.clear();
            FRcvdCnt = 0;
            return;
        }
        if (alive.expired()) return;
        if (FRcvdCnt == before || FLineMode) break;
    }
    if (FLineMode && FRcvdCnt > 0) DeliverLines(0);
}

bool TCustomLineAsyncSocket::OfferLine(std::int64_t Len)
{
    std::weak_ptr<bool> alive = FAlive;
    FLineLength = std::min(Len, FRcvdCnt);
    while (FLineMode && FLineLength > 0) {
        std::int64_t before = FLineLength;
        if (!TCustomSocksAsyncSocket::FireDataAvailable(0)) {
            // Nobody listens: the line is dropped.
            FRcvdPtr.erase(0, static_cast<std::size_t>(FLineLength));
            FRcvdCnt = static_cast<std::int64_t>(FRcvdPtr.size());
            FLineLength = 0;
            return true;
        }
        if (alive.expired()) return false;
        if (FLineMode && FLineLength == before) return false; // the owner read nothing: keep it for later
    }
    return true;
}

void TCustomLineAsyncSocket::DeliverLines(std::int64_t SearchFrom)
{
    std::weak_ptr<bool> alive = FAlive;
    while (FLineMode && !FLineEnd.empty()) {
        std::size_t pos = FRcvdPtr.find(FLineEnd, static_cast<std::size_t>(std::max<std::int64_t>(SearchFrom, 0)));
        if (pos == std::string::npos) return;
        std::int64_t len = static_cast<std::int64_t>(pos + FLineEnd.size());
        if (!OfferLine(len)) return;
        if (alive.expired()) return;
        SearchFrom = 0;
    }
}

bool TCustomLineAsyncSocket::FireDataAvailable(std::uint16_t Error)
{
    // The SOCKS negotiation reads its replies itself.
    if (FSocksState != 0 || !FLineMode || FLineEnd.empty()) return TCustomSocksAsyncSocket::FireDataAvailable(Error);
    if (FHSocket == os::INVALID_SOCKET) return true;
    unsigned long waiting = 0;
    if (WsIoctlsocket(FHSocket, FIONREAD, &waiting) != 0 || waiting == 0) return true;
    std::int64_t old = FRcvdCnt;
    FRcvdPtr.resize(static_cast<std::size_t>(old + static_cast<std::int64_t>(waiting)));
    int rc = TCustomSocksAsyncSocket::RawReceive(FRcvdPtr.data() + old, static_cast<int>(waiting));
    if (rc <= 0) {
        if (rc < 0) FLastError = WsWSAGetLastError();
        FRcvdPtr.resize(static_cast<std::size_t>(old));
        return true;
    }
    FReadCount += rc;
    FRcvdPtr.resize(static_cast<std::size_t>(old + rc));
    int len = rc;
    if (FLineEdit) {
        EditLine(len);
    } else if (FLineEcho && FState == wsConnected) {
        SendBuffer(FRcvdPtr.data() + old, len);
    }
    std::int64_t searchFrom = std::max<std::int64_t>(FRcvdCnt - static_cast<std::int64_t>(FLineEnd.size()), 0);
    FRcvdCnt += len;
    DeliverLines(searchFrom);
    return true;
}

void TCustomLineAsyncSocket::EditLine(int& Len)
{
    std::int64_t mark = FRcvdCnt;
    const std::string fresh = FRcvdPtr.substr(static_cast<std::size_t>(FRcvdCnt), static_cast<std::size_t>(Len));
    std::string edited;
    bool built = false;
    std::string echo;
    auto build = [&](std::size_t upTo) {
        if (built) return;
        edited.reserve(((FRcvdPtr.size() / 256) + 1) * 256);
        edited.assign(FRcvdPtr, 0, upTo);
        built = true;
    };
    for (std::size_t i = 0; i < fresh.size(); ++i) {
        char c = fresh[i];
        if (c == '\b') {
            build(static_cast<std::size_t>(FRcvdCnt) + i);
            if (!edited.empty()) {
                if (FLineEcho) echo += "\b \b";
                edited.pop_back();
            }
            if (static_cast<std::int64_t>(edited.size()) < mark) mark = static_cast<std::int64_t>(edited.size());
        } else if (c == '\t') {
            build(static_cast<std::size_t>(FRcvdCnt) + i);
            std::size_t blanks = 8 - edited.size() % 8;
            edited.append(blanks, ' ');
            if (FLineEcho) echo.append(blanks, ' ');
        } else {
            if (FLineEcho) echo += c;
            if (built) edited += c;
        }
    }
    if (!echo.empty() && FState == wsConnected) SendBuffer(echo.data(), static_cast<std::int64_t>(echo.size()));
    if (built) {
        FRcvdPtr = std::move(edited);
        FRcvdCnt = mark;
        Len = static_cast<int>(static_cast<std::int64_t>(FRcvdPtr.size()) - mark);
    }
}

int TCustomLineAsyncSocket::ReadBytes(void* Buffer, int BufferSize)
{
    if ((FLineMode && !FLineEnd.empty()) || FRcvdCnt > 0) {
        int rc = RawReceive(Buffer, BufferSize);
        if (rc < 0) FLastError = WsWSAGetLastError();
        return rc;
    }
    return TCustomSocksAsyncSocket::ReadBytes(Buffer, BufferSize);
}

int TCustomLineAsyncSocket::RawReceive(void* Buffer, int BufferSize)
{
    if (FLineMode && !FLineEnd.empty()) {
        if (FLineLength <= 0) {
            // No complete line yet: the socket's bytes belong to the line buffer.
            WsWSASetLastError(os::WSAEWOULDBLOCK);
            return -1;
        }
        int n = static_cast<int>(std::min<std::int64_t>(BufferSize, FLineLength));
        if (n <= 0) return 0;
        std::memcpy(Buffer, FRcvdPtr.data(), static_cast<std::size_t>(n));
        FRcvdPtr.erase(0, static_cast<std::size_t>(n));
        FRcvdCnt -= n;
        FLineLength -= n;
        return n;
    }
    if (FRcvdCnt > 0) {
        int n = static_cast<int>(std::min<std::int64_t>(BufferSize, FRcvdCnt));
        if (n <= 0) return 0;
        std::memcpy(Buffer, FRcvdPtr.data(), static_cast<std::size_t>(n));
        FRcvdPtr.erase(0, static_cast<std::size_t>(n));
        FRcvdCnt -= n;
        ++FRecvCalls; // progress for the receive loop
        return n;
    }
    return TCustomSocksAsyncSocket::RawReceive(Buffer, BufferSize);
}

std::int64_t TCustomLineAsyncSocket::GetRcvdCount()
{
    if (FLineMode && !FLineEnd.empty()) return FLineLength;
    // Bytes left by line mode come first and count too.
    std::int64_t socketCount = FHSocket == os::INVALID_SOCKET ? 0 : TCustomSocksAsyncSocket::GetRcvdCount();
    if (socketCount < 0) return socketCount;
    return FRcvdCnt + socketCount;
}

void TCustomLineAsyncSocket::FireSessionClosed(std::uint16_t Error)
{
    std::weak_ptr<bool> alive = FAlive;
    if (FLineMode && FRcvdCnt > 0) {
        // An unterminated last line is still a line.
        OfferLine(FRcvdCnt);
        if (alive.expired()) return;
    }
    FRcvdPtr.clear();
    FRcvdPtr.shrink_to_fit();
    FRcvdCnt = 0;
    FLineLength = 0;
    TCustomSocksAsyncSocket::FireSessionClosed(Error);
}
