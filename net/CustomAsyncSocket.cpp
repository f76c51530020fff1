#include "net/CustomAsyncSocket.h"

#include <arpa/inet.h>

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstring>

#include "net/SocketResolve.h"
#include "net/WsBinding.h"
#include "os/MessageLoop.h"
#include "rtl/Format.h"
#include "rtl/StrUtils.h"

namespace {

// Below this many unread bytes in the first chunk, TryToSend gathers the
// following chunks into one block, so one send call carries many chunks.
constexpr int StagingSize = 256 * 1024;

std::int64_t NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

TCustomAsyncSocket::TCustomAsyncSocket()
{
    FWindowHandle = os::CreateMessageTarget([this](os::UINT msg, os::WPARAM w, os::LPARAM l) -> os::LRESULT {
        TMessage m{msg, w, l, 0};
        DispatchWindowMessage(m);
        return m.Result;
    });
    FBufSize = 1514;
    TCustomAsyncSocket::ResetToDefaults();
    WinsockComponentCreated();
}

TCustomAsyncSocket::~TCustomAsyncSocket()
{
    FDestroying = true;
    try {
        StopDnsLookup();
    } catch (...) {
    }
    try {
        if (FState != wsClosed || FHSocket != os::INVALID_SOCKET) TCustomAsyncSocket::CloseSession();
    } catch (...) {
    }
    // A close that failed above must still not leak the handle.
    if (FHSocket != os::INVALID_SOCKET) {
        try {
            WsClosesocket(FHSocket);
        } catch (...) {
        }
        FHSocket = os::INVALID_SOCKET;
    }
    FAlive.reset();
    FBufList.clear();
    if (FWindowHandle) os::DestroyMessageTarget(FWindowHandle);
    FWindowHandle = 0;
    WinsockComponentDestroyed();
}

// ---------------------------------------------------------------- defaults

void TCustomAsyncSocket::ResetToDefaults()
{
    std::memset(&Fsin, 0, sizeof Fsin);
    Fsin.sin_family = AF_INET;
    FAddrFormat = AF_INET;
    FProtoStr = "tcp";
    FProtoAssigned = true;
    FProtoResolved = false;
    FProto = IPPROTO_TCP;
    FType = SOCK_STREAM;
    FAddrStr.clear();
    FAddrAssigned = false;
    FAddrResolved = false;
    FPortStr.clear();
    FPortAssigned = false;
    FPortResolved = false;
    FPortNum = 0;
    FLocalPortStr = "0";
    FLocalPortResolved = false;
    FLocalPortNum = 0;
    FLocalAddr = "0.0.0.0";
    FLingerOnOff = wsLingerOn;
    FLingerTimeout = 0;
    FHSocket = os::INVALID_SOCKET;
    FSelectEvent = 0;
    FState = wsClosed;
    FAllSent = true;
    FPaused = false;
    FReadCount = 0;
    FCloseInvoked = false;
    FFlushTimeout = 60;
}

// ---------------------------------------------------------------- properties

// Addr, Port and Proto: trimmed, assigned when non-empty, resolved again
// at the next Connect or Listen; refused while not closed.
bool TCustomAsyncSocket::StoreRemotePart(const std::string& Value, const char* Name, std::string& Text,
                                         bool& Assigned, bool& Resolved)
{
    std::string v = rtl::Trim(Value);
    if (Assigned && v == Text) return false;
    if (FState != wsClosed) {
        ReportError(std::string("Cannot change ") + Name + " if not closed");
        return false;
    }
    Text = v;
    Assigned = !v.empty();
    Resolved = false;
    return true;
}

void TCustomAsyncSocket::SetAddr(const std::string& Value)
{
    StoreRemotePart(Value, "Addr", FAddrStr, FAddrAssigned, FAddrResolved);
}

void TCustomAsyncSocket::SetPort(const std::string& Value)
{
    StoreRemotePart(Value, "Port", FPortStr, FPortAssigned, FPortResolved);
}

void TCustomAsyncSocket::SetProto(const std::string& Value)
{
    StoreRemotePart(Value, "Proto", FProtoStr, FProtoAssigned, FProtoResolved);
}

void TCustomAsyncSocket::SetLocalAddr(const std::string& Value)
{
    if (FState != wsClosed) {
        ReportError("Cannot change LocalAddr if not closed");
        return;
    }
    std::string v = rtl::Trim(Value);
    if (v.empty()) v = "0.0.0.0";
    if (!IsDottedAddress(v)) {
        ReportError("SetLocalAddr(): Invalid IP address");
        return;
    }
    in_addr a{};
    a.s_addr = static_cast<in_addr_t>(WsInetAddr(v.c_str()));
    FLocalAddr = WsInetNtoa(a);
}

void TCustomAsyncSocket::SetLocalPort(const std::string& Value)
{
    if (FState != wsClosed) {
        ReportError("Cannot change LocalPort if not closed");
        return;
    }
    FLocalPortStr = rtl::Trim(Value);
    FLocalPortResolved = false;
}

TSocketSendFlags TCustomAsyncSocket::SendFlags()
{
    if (FSendFlags != wsSendNormal && FSendFlags != wsSendUrgent) {
        ReportError("Invalid internal SendFlags");
        return wsSendNormal;
    }
    return static_cast<TSocketSendFlags>(FSendFlags);
}

void TCustomAsyncSocket::SetSendFlags(TSocketSendFlags Value)
{
    if (Value != wsSendNormal && Value != wsSendUrgent) {
        ReportError("Invalid SendFlags");
        return;
    }
    FSendFlags = Value;
}

void TCustomAsyncSocket::SetState(TSocketState NewState)
{
    TSocketState old = FState;
    FState = NewState;
    // Not from the destructor: the owner's handler may reach what is gone already.
    if (!FDestroying) FireChangeState(old, NewState);
}

// ---------------------------------------------------------------- errors

void TCustomAsyncSocket::ReportError(const std::string& Msg)
{
    if (OnError)
        FireError();
    else
        throw ESocketException(Msg);
}

void TCustomAsyncSocket::ReportErrorFmt(const char* Format, ...)
{
    va_list args;
    va_start(args, Format);
    char small[512];
    va_list again;
    va_copy(again, args);
    int n = std::vsnprintf(small, sizeof small, Format, args);
    std::string msg;
    if (n >= 0 && static_cast<std::size_t>(n) < sizeof small) {
        msg.assign(small, static_cast<std::size_t>(n));
    } else if (n >= 0) {
        msg.resize(static_cast<std::size_t>(n));
        std::vsnprintf(msg.data(), msg.size() + 1, Format, again);
    }
    va_end(again);
    va_end(args);
    ReportError(msg);
}

void TCustomAsyncSocket::ReportSocketError(const std::string& Where)
{
    int err = WsWSAGetLastError();
    std::string msg = "Error " + std::to_string(err) + " in function " + Where + "\r\n" + SocketErrorText(err);
    if (err == os::WSAECONNRESET || err == os::WSAENOTCONN) {
        if (FHSocket != os::INVALID_SOCKET) WsClosesocket(FHSocket);
        FHSocket = os::INVALID_SOCKET;
        if (FState != wsClosed) SetState(wsClosed);
    }
    FLastError = err;
    ReportError(msg);
}

void TCustomAsyncSocket::ProcessBgException(rtl::Exception& E)
{
    bool canClose = true;
    if (OnBgException) {
        try {
            OnBgException(this, E, canClose);
        } catch (...) {
        }
    }
    if (canClose) {
        try {
            AbortSession();
        } catch (...) {
        }
    }
}

// ---------------------------------------------------------------- events

bool TCustomAsyncSocket::FireDataAvailable(std::uint16_t Error)
{
    if (!OnDataAvailable) return false;
    OnDataAvailable(this, Error);
    return true;
}

void TCustomAsyncSocket::FireSessionAvailable(std::uint16_t Error)
{
    if (OnSessionAvailable) OnSessionAvailable(this, Error);
}

void TCustomAsyncSocket::FireSessionConnected(std::uint16_t Error)
{
    if (OnSessionConnected) OnSessionConnected(this, Error);
}

void TCustomAsyncSocket::FireSessionClosed(std::uint16_t Error)
{
    if (OnSessionClosed) OnSessionClosed(this, Error);
}

void TCustomAsyncSocket::FireDataSent(std::uint16_t Error)
{
    if (OnDataSent) OnDataSent(this, Error);
}

void TCustomAsyncSocket::FireChangeState(TSocketState OldState, TSocketState NewState)
{
    if (OnChangeState) OnChangeState(this, OldState, NewState);
}

void TCustomAsyncSocket::FireDnsLookupDone(std::uint16_t Error)
{
    if (OnDnsLookupDone) OnDnsLookupDone(this, Error);
}

void TCustomAsyncSocket::FireError()
{
    if (OnError) OnError(this);
}

// ---------------------------------------------------------------- connect, listen

// Resolves what Connect and Listen still need, in this order
// (protocol, port, local port for Connect, address); raises on failure.
void TCustomAsyncSocket::ResolvePending(bool LocalPortToo)
{
    if (!FProtoResolved) {
        FProto = SocketResolveProto(FProtoStr);
        FType = FProto == IPPROTO_UDP ? SOCK_DGRAM : SOCK_STREAM;
        FProtoResolved = true;
    }
    if (!FPortResolved) {
        FPortNum = SocketResolvePort(FPortStr, FProtoStr);
        Fsin.sin_port = WsHtons(static_cast<std::uint16_t>(FPortNum));
        FPortResolved = true;
    }
    if (LocalPortToo && !FLocalPortResolved) {
        FLocalPortNum = SocketResolvePort(FLocalPortStr, FProtoStr);
        FLocalPortResolved = true;
    }
    if (!FAddrResolved) {
        Fsin.sin_addr.s_addr = SocketResolveHost(FAddrStr);
        FAddrResolved = true;
    }
}

void TCustomAsyncSocket::Connect()
{
    if (FHSocket != os::INVALID_SOCKET && FState != wsClosed) {
        ReportError("Connect: Socket already in use");
        return;
    }
    if (!FPortAssigned) {
        ReportError("Connect: No Port Specified");
        return;
    }
    if (!FAddrAssigned) {
        ReportError("Connect: No IP Address Specified");
        return;
    }
    if (!FProtoAssigned) {
        ReportError("Connect: No Protocol Specified");
        return;
    }
    try {
        ResolvePending(true);
    } catch (const ESocketException& e) {
        ReportError(std::string("connect: ") + e.what());
        return;
    }

    DeleteBufferedData();
    FCloseInvoked = false;
    FHSocket = WsSocket(FAddrFormat, FType, FProto);
    if (FHSocket == os::INVALID_SOCKET) {
        ReportSocketError("Connect (socket)");
        return;
    }
    SetState(wsOpened);

    if (FType == SOCK_DGRAM) {
        BindSocket();
        if (Fsin.sin_addr.s_addr == INADDR_BROADCAST) {
            int on = 1;
            if (WsSetsockopt(FHSocket, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on) != 0) {
                ReportSocketError("setsockopt(SO_BROADCAST)");
                return;
            }
        }
    } else {
        if (FLocalPortNum != 0 || FLocalAddr != "0.0.0.0") BindSocket();
        ApplyLinger();
        int on = 1;
        if (WsSetsockopt(FHSocket, SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<const char*>(&on), sizeof on) != 0) {
            ReportSocketError("setsockopt(SO_KEEPALIVE)");
            return;
        }
        if (WsSetsockopt(FHSocket, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on), sizeof on) != 0) {
            ReportSocketError("setsockopt(SO_REUSEADDR)");
            return;
        }
    }

    FSelectEvent = os::FD_READ | os::FD_WRITE | os::FD_ACCEPT | os::FD_CONNECT | os::FD_CLOSE;
    if (WsWSAAsyncSelect(FHSocket, FWindowHandle, WM_ASYNCSELECT, FSelectEvent) != 0) {
        ReportSocketError("WSAAsyncSelect");
        return;
    }

    if (FType == SOCK_DGRAM) {
        SetState(wsConnected);
        FireSessionConnected(0);
        return;
    }
    if (WsConnect(FHSocket, reinterpret_cast<const sockaddr*>(&Fsin), sizeof Fsin) == 0) {
        SetState(wsConnecting);
        return;
    }
    int err = WsWSAGetLastError();
    switch (err) {
    case os::WSAEWOULDBLOCK:
        SetState(wsConnecting);
        return;
    case os::WSAECONNREFUSED:
    case os::WSAETIMEDOUT:
    case os::WSAENETUNREACH:
    case os::WSAEHOSTUNREACH:
        // A network outcome known at once is still told by the connect
        // event, as it would be after a wait.
        SetState(wsConnecting);
        os::PostMessage(FWindowHandle, WM_ASYNCSELECT, static_cast<os::WPARAM>(FHSocket),
                        os::WSAMAKESELECTREPLY(os::FD_CONNECT, static_cast<std::uint16_t>(err)));
        return;
    default:
        FLastError = err;
        ReportSocketError("Connect");
    }
}

void TCustomAsyncSocket::BindSocket()
{
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = WsHtons(static_cast<std::uint16_t>(FLocalPortNum));
    local.sin_addr.s_addr = SocketResolveHost(FLocalAddr);
    if (WsBind(FHSocket, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        ReportErrorFmt("winsock.bind failed, error #%d", WsWSAGetLastError());
        return;
    }
    int len = sizeof local;
    if (WsGetsockname(FHSocket, reinterpret_cast<sockaddr*>(&local), &len) != 0) {
        ReportErrorFmt("winsock.getsockname failed, error #%d", WsWSAGetLastError());
        return;
    }
    FLocalPortNum = WsNtohs(local.sin_port);
    FLocalPortStr = std::to_string(FLocalPortNum);
}

void TCustomAsyncSocket::ApplyLinger()
{
    if (FLingerOnOff == wsLingerNoSet) return;
    if (FHSocket == os::INVALID_SOCKET) {
        ReportError("Cannot set linger option at this time");
        return;
    }
    linger l{};
    l.l_onoff = FLingerOnOff == wsLingerOn ? 1 : 0;
    l.l_linger = FLingerTimeout;
    if (WsSetsockopt(FHSocket, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof l) != 0)
        ReportSocketError("setsockopt(SO_LINGER)");
}

void TCustomAsyncSocket::Listen()
{
    if (!FPortAssigned) {
        WsWSASetLastError(os::WSAEINVAL);
        ReportSocketError("listen: port not assigned");
        return;
    }
    if (!FProtoAssigned) {
        WsWSASetLastError(os::WSAEINVAL);
        ReportSocketError("listen: protocol not assigned");
        return;
    }
    if (!FAddrAssigned) {
        WsWSASetLastError(os::WSAEINVAL);
        ReportSocketError("listen: address not assigned");
        return;
    }
    try {
        ResolvePending(false);
    } catch (const ESocketException& e) {
        ReportError(std::string("listen: ") + e.what());
        return;
    }

    DeleteBufferedData();
    FCloseInvoked = false;
    FHSocket = WsSocket(FAddrFormat, FType, FProto);
    if (FHSocket == os::INVALID_SOCKET) {
        ReportSocketError("socket");
        return;
    }
    if (WsBind(FHSocket, reinterpret_cast<const sockaddr*>(&Fsin), sizeof Fsin) != 0) {
        // Close first: the report may raise.
        int err = WsWSAGetLastError();
        WsClosesocket(FHSocket);
        FHSocket = os::INVALID_SOCKET;
        WsWSASetLastError(err);
        ReportSocketError("Bind");
        return;
    }
    SetState(wsBound);
    if (FType == SOCK_DGRAM) {
        SetState(wsListening);
        SetState(wsConnected);
        FireSessionConnected(0);
    } else {
        if (WsListen(FHSocket, 5) != 0) {
            ReportSocketError("Listen");
            return;
        }
        SetState(wsListening);
    }
    if (FHSocket == os::INVALID_SOCKET) return;
    FSelectEvent = os::FD_READ | os::FD_WRITE | os::FD_ACCEPT | os::FD_CLOSE;
    if (WsWSAAsyncSelect(FHSocket, FWindowHandle, WM_ASYNCSELECT, FSelectEvent) != 0)
        ReportSocketError("WSAASyncSelect");
}

os::SOCKET TCustomAsyncSocket::Accept()
{
    if (FState != wsListening) {
        WsWSASetLastError(os::WSAEINVAL);
        ReportSocketError("not a listening socket");
        return os::INVALID_SOCKET;
    }
    int len = sizeof Fsin;
    FASocket = WsAccept(FHSocket, reinterpret_cast<sockaddr*>(&Fsin), &len);
    if (FASocket == os::INVALID_SOCKET) {
        ReportSocketError("Accept");
        return os::INVALID_SOCKET;
    }
    return FASocket;
}

void TCustomAsyncSocket::Dup(os::SOCKET NewHSocket)
{
    if (NewHSocket == 0 || NewHSocket == os::INVALID_SOCKET) {
        WsWSASetLastError(os::WSAEINVAL);
        ReportSocketError("Dup");
        return;
    }
    if (FState != wsClosed) {
        if (FHSocket != os::INVALID_SOCKET && WsClosesocket(FHSocket) != 0) {
            ReportSocketError("Dup (closesocket)");
            return;
        }
        FHSocket = os::INVALID_SOCKET;
        SetState(wsClosed);
    }
    DeleteBufferedData();
    FCloseInvoked = false;
    FHSocket = NewHSocket;
    ApplyLinger();
    FSelectEvent = os::FD_READ | os::FD_WRITE | os::FD_CONNECT | os::FD_CLOSE;
    if (WsWSAAsyncSelect(FHSocket, FWindowHandle, WM_ASYNCSELECT, FSelectEvent) != 0) {
        ReportSocketError("WSAAsyncSelect");
        return;
    }
    SetState(wsConnected);
}

// ---------------------------------------------------------------- sending

void TCustomAsyncSocket::DeleteBufferedData()
{
    FBufList.clear();
    FAllSent = true;
}

void TCustomAsyncSocket::QueueSendData(const void* Data, std::int64_t Len)
{
    const char* p = static_cast<const char*>(Data);
    if (FBufList.empty()) FBufList.push_back(std::make_unique<TBuffer>(FBufSize));
    while (Len > 0) {
        int piece = static_cast<int>(std::min<std::int64_t>(Len, 1 << 30));
        int n = FBufList.back()->AppendData(p, piece);
        if (n == 0) {
            FBufList.push_back(std::make_unique<TBuffer>(FBufSize));
            continue;
        }
        p += n;
        Len -= n;
    }
}

std::int64_t TCustomAsyncSocket::SendBuffer(const void* Data, std::int64_t Len)
{
    if (FState != wsConnected) {
        WsWSASetLastError(os::WSAENOTCONN);
        ReportSocketError("Send");
        return -1;
    }
    FAllSent = false;
    os::SOCKET h = FHSocket;
    const char* p = static_cast<const char*>(Data);
    std::int64_t left = Len > 0 ? Len : 0;
    // With nothing queued the bytes go straight from the caller's block;
    // only what the network does not take now is copied into the queue.
    bool queueEmpty = FBufList.empty() || (FBufList.size() == 1 && FBufList.front()->UnreadCount() == 0);
    if (left > 0 && queueEmpty && FType == SOCK_STREAM && h != os::INVALID_SOCKET) {
        std::weak_ptr<bool> alive = FAlive;
        while (left > 0) {
            int rc = RawSend(p, static_cast<int>(std::min<std::int64_t>(left, 1 << 30)));
            if (alive.expired() || FHSocket != h) return Len;
            if (rc <= 0) {
                int err = rc < 0 ? WsWSAGetLastError() : os::WSAEWOULDBLOCK;
                if (err != os::WSAEWOULDBLOCK) {
                    SendFailed(err);
                    return Len;
                }
                break;
            }
            p += rc;
            left -= rc;
        }
    }
    if (left > 0) QueueSendData(p, left);
    TryToSend();
    // Everything left at once: OnDataSent comes from the loop, never from here.
    if (FAllSent && FHSocket == h && h != os::INVALID_SOCKET)
        os::PostMessage(FWindowHandle, WM_ASYNCSELECT, static_cast<os::WPARAM>(h),
                        os::WSAMAKESELECTREPLY(os::FD_WRITE, 0));
    return Len > 0 ? Len : 0;
}

std::int64_t TCustomAsyncSocket::SendText(const std::string& Str)
{
    return SendBuffer(Str.data(), static_cast<std::int64_t>(Str.size()));
}

int TCustomAsyncSocket::SendDatagram(const sockaddr_in& To, const void* Data, int Len)
{
    int rc = WsSendto(FHSocket, static_cast<const char*>(Data), Len, FSendFlags,
                      reinterpret_cast<const sockaddr*>(&To), sizeof To);
    if (rc > 0 && OnSendData) OnSendData(this, rc);
    return rc;
}

int TCustomAsyncSocket::RawSend(const void* Data, int Len)
{
    int rc;
    if (FType == SOCK_DGRAM)
        rc = WsSendto(FHSocket, static_cast<const char*>(Data), Len, FSendFlags,
                      reinterpret_cast<const sockaddr*>(&Fsin), sizeof Fsin);
    else
        rc = WsSend(FHSocket, static_cast<const char*>(Data), Len, FSendFlags);
    if (rc > 0 && OnSendData) OnSendData(this, rc);
    return rc;
}

bool TCustomAsyncSocket::SendFailed(int Error)
{
    switch (Error) {
    case os::WSAEINVAL:
    case os::WSAENOTSOCK:
    case os::WSAECONNABORTED:
    case os::WSAECONNRESET:
    case os::WSAENOTCONN:
    case os::WSAESHUTDOWN:
        FCloseInvoked = true;
        CloseSession();
        FireSessionClosed(static_cast<std::uint16_t>(Error));
        return false;
    case os::WSAEWOULDBLOCK:
        return false; // the next write event goes on
    default:
        WsWSASetLastError(Error);
        ReportSocketError("TryToSend failed");
        return false;
    }
}

void TCustomAsyncSocket::TryToSend()
{
    if (FHSocket == os::INVALID_SOCKET) return;
    if (FBufList.empty()) {
        FAllSent = true;
        return;
    }
    std::weak_ptr<bool> alive = FAlive;
    os::SOCKET h = FHSocket;
    for (;;) {
        int len = 0;
        const char* data = FBufList.front()->PeekData(len);
        if (len == 0) {
            if (FBufList.size() > 1) {
                FBufList.pop_front();
                continue;
            }
            FAllSent = true;
            return;
        }
        // Gather the next chunks behind the first into one block.
        if (FBufList.size() > 1 && len < StagingSize && FType == SOCK_STREAM) {
            FStaging.resize(StagingSize);
            int filled = 0;
            for (auto& chunk : FBufList) {
                int n = 0;
                const char* p = chunk->PeekData(n);
                n = std::min(n, StagingSize - filled);
                if (n > 0) std::memcpy(FStaging.data() + filled, p, static_cast<std::size_t>(n));
                filled += n;
                if (filled >= StagingSize) break;
            }
            data = FStaging.data();
            len = filled;
        }
        int rc = RawSend(data, len);
        if (alive.expired() || FHSocket != h) return;
        if (rc == 0) return;
        if (rc < 0) {
            SendFailed(WsWSAGetLastError());
            return;
        }
        int left = rc;
        while (left > 0) {
            left -= FBufList.front()->ConsumeData(left);
            if (FBufList.front()->UnreadCount() == 0 && FBufList.size() > 1) FBufList.pop_front();
        }
        // A short send does not promise a write event (only a refused one
        // does), so go on until the library says it would block.
    }
}

void TCustomAsyncSocket::FlushSendBuffer()
{
    auto& loop = os::MessageLoop::ForThisThread();
    // FlushTimeout bounds the wait, so a peer that never reads cannot hold
    // the thread for ever.
    std::int64_t deadline = NowMs() + static_cast<std::int64_t>(std::max(FFlushTimeout, 1)) * 1000;
    while (FHSocket != os::INVALID_SOCKET && !FAllSent) {
        TryToSend();
        if (FHSocket == os::INVALID_SOCKET || FAllSent) break;
        std::int64_t left = deadline - NowMs();
        if (left <= 0) break;
        os::SOCKET h = FHSocket;
        loop.WaitUntil([&] { return FAllSent || FHSocket != h; }, std::min<std::int64_t>(left, 100));
        if (loop.QuitReceived()) {
            FTerminated = true;
            break;
        }
    }
}

// ---------------------------------------------------------------- receiving

int TCustomAsyncSocket::RawReceive(void* Buffer, int BufferSize)
{
    ++FRecvCalls;
    return WsRecv(FHSocket, static_cast<char*>(Buffer), BufferSize, 0);
}

int TCustomAsyncSocket::RawReceiveFrom(void* Buffer, int BufferSize, sockaddr_in& From, int& FromLen)
{
    ++FRecvCalls;
    return WsRecvfrom(FHSocket, static_cast<char*>(Buffer), BufferSize, 0, reinterpret_cast<sockaddr*>(&From),
                      &FromLen);
}

int TCustomAsyncSocket::ReadBytes(void* Buffer, int BufferSize)
{
    int rc = RawReceive(Buffer, BufferSize);
    if (rc < 0)
        FLastError = WsWSAGetLastError();
    else
        FReadCount += rc;
    return rc;
}

int TCustomAsyncSocket::ReadBytesFrom(void* Buffer, int BufferSize, sockaddr_in& From, int& FromLen)
{
    int rc = RawReceiveFrom(Buffer, BufferSize, From, FromLen);
    if (rc < 0)
        FLastError = WsWSAGetLastError();
    else
        FReadCount += rc;
    return rc;
}

std::string TCustomAsyncSocket::ReadAvailableText()
{
    std::int64_t n = GetRcvdCount();
    if (n <= 0) return std::string();
    std::string s(static_cast<std::size_t>(std::min<std::int64_t>(n, 1 << 30)), '\0');
    int rc = ReadBytes(s.data(), static_cast<int>(s.size()));
    if (rc <= 0) return std::string();
    s.resize(static_cast<std::size_t>(rc));
    return s;
}

std::int64_t TCustomAsyncSocket::GetRcvdCount()
{
    if (FHSocket == os::INVALID_SOCKET) return 0;
    unsigned long n = 0;
    if (WsIoctlsocket(FHSocket, FIONREAD, &n) != 0) {
        ReportSocketError("ioctlSocket");
        return -1;
    }
    return static_cast<std::int64_t>(n);
}

void TCustomAsyncSocket::ReceiveLoop(std::uint16_t Error)
{
    std::weak_ptr<bool> alive = FAlive;
    os::SOCKET h = FHSocket;
    for (;;) {
        FLastError = 0;
        std::uint64_t callsBefore = FRecvCalls;
        try {
            if (!FireDataAvailable(Error)) {
                char junk[1024];
                int rc = ReadBytes(junk, sizeof junk);
                if (rc < 0 && FLastError == os::WSAEWOULDBLOCK) {
                    FLastError = 0;
                    return;
                }
            }
        } catch (rtl::Exception& e) {
            if (!alive.expired()) ProcessBgException(e);
            return;
        }
        if (alive.expired() || FHSocket != h || FHSocket == os::INVALID_SOCKET) return;
        if (FComponentOptions.Contains(wsoNoReceiveLoop)) return;
        if (FLastError != 0) return;
        // A handler that read nothing would be called for ever: wait for it
        // to read on its own (or for the next read event).
        if (FRecvCalls == callsBefore) return;
        unsigned long n = 0;
        if (WsIoctlsocket(FHSocket, FIONREAD, &n) != 0) {
            FLastError = WsWSAGetLastError();
            return;
        }
        if (n == 0) return;
    }
}

void TCustomAsyncSocket::DiscardInput()
{
    char junk[16384];
    for (int i = 0; i < 64; ++i) {
        unsigned long n = 0;
        if (WsIoctlsocket(FHSocket, FIONREAD, &n) != 0 || n == 0) return;
        if (WsRecv(FHSocket, junk, sizeof junk, 0) <= 0) return;
    }
}

void TCustomAsyncSocket::DrainInput()
{
    std::weak_ptr<bool> alive = FAlive;
    while (FHSocket != os::INVALID_SOCKET && FState != wsClosed) {
        PumpMessages();
        if (alive.expired() || FHSocket == os::INVALID_SOCKET || FState == wsClosed) return;
        unsigned long n = 0;
        if (WsIoctlsocket(FHSocket, FIONREAD, &n) != 0) return;
        if (n == 0) return;
        std::uint64_t before = FRecvCalls;
        FireDataAvailable(0);
        if (alive.expired()) return;
        if (FRecvCalls == before) return; // nobody reads
    }
}

// ---------------------------------------------------------------- closing

void TCustomAsyncSocket::CloseSession() { CloseAndNotify(true, 0); }

void TCustomAsyncSocket::PostClose() { os::PostMessage(FWindowHandle, WM_CLOSE_DELAYED, 0, 0); }

void TCustomAsyncSocket::PostFree() { os::PostMessage(FWindowHandle, WM_WSOCKET_RELEASE, 0, 0); }

void TCustomAsyncSocket::AbortSession()
{
    if (FDnsLookupHandle != 0) StopDnsLookup();
    DeleteBufferedData();
    if (FHSocket != os::INVALID_SOCKET && FType == SOCK_STREAM && FState == wsConnected) {
        FLingerOnOff = wsLingerOff;
        ApplyLinger();
    }
    CloseAndNotify(false, 0);
}

void TCustomAsyncSocket::ShutdownSide(int How)
{
    if (FHSocket != os::INVALID_SOCKET) WsShutdown(FHSocket, How);
}

void TCustomAsyncSocket::CloseAndNotify(bool Shutdown, std::uint16_t Error)
{
    if (FHSocket == os::INVALID_SOCKET) {
        if (FState != wsClosed) {
            SetState(wsClosed);
            ResetToDefaults();
        }
        return;
    }
    if (FState == wsClosed) return;

    if (Shutdown) {
        // An orderly close delivers what the kernel still queues: a zero
        // time-out linger would turn it into a reset, and so would unread
        // input, which the owner gave up by closing.
        if (FType == SOCK_STREAM && FLingerOnOff == wsLingerOn && FLingerTimeout == 0) {
            linger l{};
            WsSetsockopt(FHSocket, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof l);
        }
        WsShutdown(FHSocket, 1);
        if (FType == SOCK_STREAM) DiscardInput();
    }

    for (int attempt = 0;; ++attempt) {
        if (WsClosesocket(FHSocket) == 0) break;
        int err = WsWSAGetLastError();
        FLastError = err;
        if (err == os::WSAEWOULDBLOCK && attempt < 100) {
            PumpMessages();
            continue;
        }
        if (err == os::WSANOTINITIALISED) break;
        ReportSocketError("Disconnect (closesocket)");
        return;
    }
    FHSocket = os::INVALID_SOCKET;

    std::weak_ptr<bool> alive = FAlive;
    SetState(wsClosed);
    if (alive.expired()) return;
    if (!FDestroying && !FCloseInvoked) {
        FCloseInvoked = true;
        FireSessionClosed(Error);
        if (alive.expired()) return;
    }
    // A handler that connected again keeps its new settings.
    if (FHSocket != os::INVALID_SOCKET) return;
    try {
        ResetToDefaults();
    } catch (...) {
    }
}

// ---------------------------------------------------------------- events paused

void TCustomAsyncSocket::PauseEvents()
{
    FPaused = true;
    if (FHSocket != os::INVALID_SOCKET) WsWSAAsyncSelect(FHSocket, FWindowHandle, WM_ASYNCSELECT, 0);
}

void TCustomAsyncSocket::ResumeEvents()
{
    FPaused = false;
    if (FHSocket != os::INVALID_SOCKET) WsWSAAsyncSelect(FHSocket, FWindowHandle, WM_ASYNCSELECT, FSelectEvent);
}

void TCustomAsyncSocket::PumpMessages()
{
    auto& loop = os::MessageLoop::ForThisThread();
    loop.ProcessMessages();
    if (loop.QuitReceived()) FTerminated = true;
}

// ---------------------------------------------------------------- look-ups

void TCustomAsyncSocket::StartDnsLookup(const std::string& HostName)
{
    if (HostName.empty()) {
        ReportError("DNS lookup: invalid host name.");
        FireDnsLookupDone(os::WSAEINVAL);
        return;
    }
    if (FDnsLookupHandle != 0) {
        WsWSACancelAsyncRequest(FDnsLookupHandle);
        FDnsLookupHandle = 0;
    }
    FDnsResult.clear();
    FDnsResultList.clear();
    std::string host = rtl::Trim(HostName);
    if (IsDottedAddress(host)) {
        in_addr a{};
        a.s_addr = static_cast<in_addr_t>(WsInetAddr(host.c_str()));
        FDnsResult = WsInetNtoa(a);
        FDnsResultList.push_back(FDnsResult);
        FireDnsLookupDone(0);
        return;
    }
    FDnsLookupHandle = WsWSAAsyncGetHostByName(FWindowHandle, WM_ASYNCGETHOSTBYNAME, host.c_str(), FDnsLookupBuffer,
                                               sizeof FDnsLookupBuffer);
    if (FDnsLookupHandle == 0)
        ReportErrorFmt("%s: can't start DNS lookup, error #%d", HostName.c_str(), WsWSAGetLastError());
}

void TCustomAsyncSocket::StartReverseDnsLookup(const std::string& HostAddr)
{
    if (HostAddr.empty()) {
        ReportError("DNS lookup: invalid host name.");
        FireDnsLookupDone(os::WSAEINVAL);
        return;
    }
    if (FDnsLookupHandle != 0) {
        WsWSACancelAsyncRequest(FDnsLookupHandle);
        FDnsLookupHandle = 0;
    }
    FDnsResult.clear();
    FDnsResultList.clear();
    std::string host = rtl::Trim(HostAddr);
    std::uint32_t a = static_cast<std::uint32_t>(WsInetAddr(host.c_str()));
    FDnsLookupHandle = WsWSAAsyncGetHostByAddr(FWindowHandle, WM_ASYNCGETHOSTBYADDR, reinterpret_cast<const char*>(&a),
                                               4, AF_INET, FDnsLookupBuffer, sizeof FDnsLookupBuffer);
    if (FDnsLookupHandle == 0)
        ReportErrorFmt("%s: can't start DNS lookup, error #%d", HostAddr.c_str(), WsWSAGetLastError());
}

void TCustomAsyncSocket::StopDnsLookup()
{
    if (FDnsLookupHandle == 0) return;
    int rc = WsWSACancelAsyncRequest(FDnsLookupHandle);
    FDnsLookupHandle = 0;
    if (rc != 0) {
        ReportSocketError("WSACancelAsyncRequest");
        return;
    }
    if (!FDestroying) FireDnsLookupDone(os::WSAEINTR);
}

void TCustomAsyncSocket::WMAsyncGetHostByName(TMessage& MsgRec)
{
    if (FDnsLookupHandle == 0 || MsgRec.WParam != FDnsLookupHandle) return;
    FDnsLookupHandle = 0;
    std::uint16_t err = os::WSAGETASYNCERROR(MsgRec.LParam);
    if (err == 0) {
        auto* he = reinterpret_cast<hostent*>(FDnsLookupBuffer);
        for (char** p = he->h_addr_list; p && *p; ++p) {
            in_addr a{};
            std::memcpy(&a, *p, 4);
            FDnsResultList.push_back(WsInetNtoa(a));
        }
        if (!FDnsResultList.empty()) FDnsResult = FDnsResultList.front();
    }
    FireDnsLookupDone(err);
}

void TCustomAsyncSocket::WMAsyncGetHostByAddr(TMessage& MsgRec)
{
    if (FDnsLookupHandle == 0 || MsgRec.WParam != FDnsLookupHandle) return;
    FDnsLookupHandle = 0;
    std::uint16_t err = os::WSAGETASYNCERROR(MsgRec.LParam);
    if (err == 0) {
        auto* he = reinterpret_cast<hostent*>(FDnsLookupBuffer);
        if (he->h_name) {
            FDnsResult = he->h_name;
            FDnsResultList.push_back(FDnsResult);
        }
    }
    FireDnsLookupDone(err);
}

// ---------------------------------------------------------------- addresses

std::string TCustomAsyncSocket::GetPeerAddr()
{
    if (FState != wsConnected) return "error";
    sockaddr_in a{};
    int len = sizeof a;
    if (WsGetpeername(FHSocket, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        ReportSocketError("GetPeerName");
        return "error";
    }
    return WsInetNtoa(a.sin_addr);
}

std::string TCustomAsyncSocket::GetPeerPort()
{
    if (FState != wsConnected) return "error";
    sockaddr_in a{};
    int len = sizeof a;
    if (WsGetpeername(FHSocket, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        ReportSocketError("GetPeerPort");
        return "error";
    }
    return std::to_string(WsNtohs(a.sin_port));
}

int TCustomAsyncSocket::GetPeerSockAddr(sockaddr_in& Addr, int& AddrLen)
{
    if (FState != wsConnected) return -1;
    return WsGetpeername(FHSocket, reinterpret_cast<sockaddr*>(&Addr), &AddrLen);
}

int TCustomAsyncSocket::GetLocalSockAddr(sockaddr_in& Addr, int& AddrLen)
{
    return WsGetsockname(FHSocket, reinterpret_cast<sockaddr*>(&Addr), &AddrLen);
}

std::string TCustomAsyncSocket::GetBoundPort()
{
    if (FState != wsBound && FState != wsConnected && FState != wsListening) return "error";
    sockaddr_in a{};
    int len = sizeof a;
    if (WsGetsockname(FHSocket, reinterpret_cast<sockaddr*>(&a), &len) != 0) return "error";
    return rtl::Format("%d", static_cast<int>(WsNtohs(a.sin_port)));
}

// ---------------------------------------------------------------- messages

void TCustomAsyncSocket::WMSocketSelect(TMessage& MsgRec)
{
    // Handles are never reused, so a message for an older socket never matches.
    if (FPaused || FHSocket == os::INVALID_SOCKET || MsgRec.WParam != static_cast<os::WPARAM>(FHSocket)) return;
    std::uint16_t events = os::WSAGETSELECTEVENT(MsgRec.LParam);
    std::uint16_t err = os::WSAGETSELECTERROR(MsgRec.LParam);
    std::weak_ptr<bool> alive = FAlive;
    os::SOCKET h = FHSocket;
    auto gone = [&] { return alive.expired() || FHSocket != h; };

    if (events & os::FD_CONNECT) {
        SetState(wsConnected);
        if (gone()) return;
        FireSessionConnected(err);
        if (gone()) return;
        if (err != 0 && FState != wsClosed) {
            CloseSession();
            return;
        }
    }
    if (events & os::FD_READ) {
        ReceiveLoop(err);
        if (gone()) return;
    }
    if (events & os::FD_WRITE) {
        TryToSend();
        if (gone()) return;
        if (FAllSent) FireDataSent(err);
        if (gone()) return;
    }
    if (events & os::FD_ACCEPT) {
        FireSessionAvailable(err);
        if (gone()) return;
    }
    if ((events & os::FD_CLOSE) && FState != wsConnecting) {
        ReceiveLoop(0);
        if (gone()) return;
        if (!FCloseInvoked) {
            FCloseInvoked = true;
            FireSessionClosed(err);
            if (gone()) return;
        }
        if (FState != wsClosed) CloseSession();
    }
}

void TCustomAsyncSocket::WMCloseDelayed(TMessage&) { CloseSession(); }

void TCustomAsyncSocket::WMRelease(TMessage&) { delete this; }

void TCustomAsyncSocket::WMTriggerException(TMessage&) { throw ESocketException("Test exception in AsyncSocket"); }

void TCustomAsyncSocket::DispatchWindowMessage(TMessage& MsgRec)
{
    try {
        switch (MsgRec.Msg) {
        case WM_ASYNCSELECT: WMSocketSelect(MsgRec); break;
        case WM_ASYNCGETHOSTBYNAME: WMAsyncGetHostByName(MsgRec); break;
        case WM_ASYNCGETHOSTBYADDR: WMAsyncGetHostByAddr(MsgRec); break;
        case WM_CLOSE_DELAYED: WMCloseDelayed(MsgRec); break;
        case WM_WSOCKET_RELEASE: WMRelease(MsgRec); return; // gone now
        case WM_TRIGGER_EXCEPTION: WMTriggerException(MsgRec); break;
        default: MsgRec.Result = 0; break;
        }
    } catch (rtl::Exception& e) {
        ProcessBgException(e);
    }
}
