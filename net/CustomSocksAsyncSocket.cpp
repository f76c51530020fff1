#include "net/CustomSocksAsyncSocket.h"

#include <cstring>

#include "net/SocketResolve.h"
#include "net/WsBinding.h"
#include "rtl/StrUtils.h"

TCustomSocksAsyncSocket::TCustomSocksAsyncSocket() = default;
TCustomSocksAsyncSocket::~TCustomSocksAsyncSocket() = default;

void TCustomSocksAsyncSocket::ResetToDefaults()
{
    TCustomAsyncSocket::ResetToDefaults();
    FSocksState = 0;
    FSocksServer.clear();
    FSocksPort.clear();
    FSocksLevel = "5";
    FSocksRcvdCnt = 0;
    FSocksMethod = 0;
}

void TCustomSocksAsyncSocket::SetSocksServer(const std::string& Value)
{
    if (FState != wsClosed) {
        ReportError("Can't change socks server if not closed");
        return;
    }
    FSocksServer = rtl::Trim(Value);
}

void TCustomSocksAsyncSocket::SetSocksPort(const std::string& Value)
{
    if (FState != wsClosed) {
        ReportError("Can't change socks port if not closed");
        return;
    }
    FSocksPort = rtl::Trim(Value);
}

void TCustomSocksAsyncSocket::SetSocksLevel(const std::string& Value)
{
    if (FState != wsClosed) {
        ReportError("Can't change socks level if not closed");
        return;
    }
    if (Value != "4" && Value != "4A" && Value != "4a" && Value != "5") {
        ReportError("Invalid socks level. Must be 4, 4A or 5.");
        return;
    }
    FSocksLevel = rtl::UpperCase(Value);
}

void TCustomSocksAsyncSocket::Listen()
{
    if (!FSocksServer.empty()) {
        ReportError("Listening is not supported thru socks server");
        return;
    }
    TCustomAsyncSocket::Listen();
}

void TCustomSocksAsyncSocket::Connect()
{
    if (FSocksServer.empty()) {
        FSocksState = 0;
        TCustomAsyncSocket::Connect();
        return;
    }
    if (rtl::LowerCase(FProtoStr) != "tcp") {
        ReportError("tcp is the only protocol supported thru socks server");
        return;
    }
    // Without Addr and Port the base reports what is missing.
    if (FPortAssigned && FAddrAssigned && !(FHSocket != os::INVALID_SOCKET && FState != wsClosed)) {
        try {
            if (!FPortResolved) {
                Fsin.sin_port = WsHtons(SocketResolvePort(FSocksPort, FProtoStr));
                FPortResolved = true;
            }
            if (!FAddrResolved) {
                Fsin.sin_addr.s_addr = SocketResolveHost(FSocksServer);
                FAddrResolved = true;
            }
            FSocksDestPort = SocketResolvePort(FPortStr, FProtoStr);
        } catch (const ESocketException& e) {
            ReportError(std::string("connect: ") + e.what());
            return;
        }
        FSocksState = 1;
        FSocksRcvdCnt = 0;
        FSocksOwnerTold = false;
    }
    TCustomAsyncSocket::Connect();
}

void TCustomSocksAsyncSocket::FireSocksConnected(std::uint16_t Error)
{
    if (OnSocksConnected) OnSocksConnected(this, Error);
}

void TCustomSocksAsyncSocket::FireSocksError(int Error, const std::string& Msg)
{
    if (OnSocksError) OnSocksError(this, Error, Msg);
}

void TCustomSocksAsyncSocket::FireAuthState(TSocksAuthState AuthState)
{
    if (OnSocksAuthState) OnSocksAuthState(this, AuthState);
}

void TCustomSocksAsyncSocket::FireDataSent(std::uint16_t Error)
{
    if (FSocksState != 0) return;
    TCustomAsyncSocket::FireDataSent(Error);
}

void TCustomSocksAsyncSocket::FireSessionConnected(std::uint16_t Error)
{
    if (FSocksState != 1) {
        TCustomAsyncSocket::FireSessionConnected(Error);
        return;
    }
    std::weak_ptr<bool> alive = FAlive;
    FireSocksConnected(Error);
    if (alive.expired()) return;
    if (Error != 0) {
        FSocksOwnerTold = true;
        TCustomAsyncSocket::FireSessionConnected(Error);
        return;
    }
    if (!FSocksLevel.empty() && FSocksLevel[0] == '4') {
        SocksDoConnect();
        return;
    }
    // Offer no authentication always, so servers without it accept us, and
    // user/password besides when a user is set.
    std::string greeting;
    if (FSocksAuthentication == socksAuthenticateUsercode) {
        FSocksMethod = 2;
        greeting = std::string("\x05\x02\x00\x02", 4);
    } else {
        FSocksMethod = 0;
        greeting = std::string("\x05\x01\x00", 3);
    }
    FSocksRcvdCnt = 0;
    SendSocksRequest(greeting);
}

void TCustomSocksAsyncSocket::SendSocksRequest(const std::string& Request)
{
    try {
        SendBuffer(Request.data(), static_cast<std::int64_t>(Request.size()));
    } catch (...) {
    }
}

void TCustomSocksAsyncSocket::SocksDoConnect()
{
    FSocksState = 3;
    FSocksRcvdCnt = 0;
    std::string req;
    auto port = [&] {
        req += static_cast<char>(FSocksDestPort >> 8);
        req += static_cast<char>(FSocksDestPort & 0xFF);
    };
    if (!FSocksLevel.empty() && FSocksLevel[0] == '4') {
        if (FSocksUsercode.size() > 255 || FSocksUsercode.find('\0') != std::string::npos ||
            (FSocksLevel == "4A" && (FAddrStr.size() > 255 || FAddrStr.find('\0') != std::string::npos))) {
            FailSocks(socksDataTooLong, "socks request field too long");
            return;
        }
        req = std::string("\x04\x01", 2);
        port();
        if (FSocksLevel == "4A") {
            req += std::string("\x00\x00\x00\x01", 4);
            req += FSocksUsercode;
            req += '\0';
            req += FAddrStr;
            req += '\0';
        } else {
            std::uint32_t dest = 0;
            try {
                dest = SocketResolveHost(FAddrStr);
            } catch (rtl::Exception& e) {
                std::weak_ptr<bool> alive = FAlive;
                FSocksOwnerTold = true; // told by the close that follows, with this code
                FireSocksError(socksHostResolutionFailed, std::string(e.ClassName()) + " " + e.Message());
                if (alive.expired()) return;
                CloseAndNotify(true, socksHostResolutionFailed);
                return;
            }
            req.append(reinterpret_cast<const char*>(&dest), 4);
            req += FSocksUsercode;
            req += '\0';
        }
    } else {
        if (FAddrStr.size() > 255) {
            FailSocks(socksDataTooLong, "socks request field too long");
            return;
        }
        req = std::string("\x05\x01\x00\x03", 4);
        req += static_cast<char>(FAddrStr.size());
        req += FAddrStr;
        port();
    }
    SendSocksRequest(req);
}

void TCustomSocksAsyncSocket::SocksDoAuthenticate()
{
    if (FSocksUsercode.size() > 255 || FSocksPassword.size() > 255) {
        FailSocks(socksDataTooLong, "socks request field too long");
        return;
    }
    FSocksRcvdCnt = 0;
    std::string req;
    req += '\x01';
    req += static_cast<char>(FSocksUsercode.size());
    req += FSocksUsercode;
    req += static_cast<char>(FSocksPassword.size());
    req += FSocksPassword;
    SendSocksRequest(req);
}

bool TCustomSocksAsyncSocket::ReadReply(int Wanted)
{
    if (Wanted > static_cast<int>(sizeof FSocksRcvdBuf)) Wanted = sizeof FSocksRcvdBuf;
    while (FSocksRcvdCnt < Wanted) {
        int rc = TCustomAsyncSocket::RawReceive(FSocksRcvdBuf + FSocksRcvdCnt, Wanted - FSocksRcvdCnt);
        if (rc <= 0) {
            if (rc < 0) FLastError = WsWSAGetLastError();
            return false;
        }
        FSocksRcvdCnt += rc;
    }
    return true;
}

void TCustomSocksAsyncSocket::FailSocks(int Code, const std::string& Msg)
{
    std::weak_ptr<bool> alive = FAlive;
    os::SOCKET h = FHSocket;
    FSocksOwnerTold = true;
    FireSocksError(Code, Msg);
    if (alive.expired() || FHSocket != h) return;
    TCustomAsyncSocket::FireSessionConnected(static_cast<std::uint16_t>(Code));
    if (alive.expired() || FHSocket != h) return;
    CloseAndNotify(true, static_cast<std::uint16_t>(Code));
}

void TCustomSocksAsyncSocket::ConnectDone()
{
    std::weak_ptr<bool> alive = FAlive;
    os::SOCKET h = FHSocket;
    FSocksState = 0;
    FSocksRcvdCnt = 0;
    FSocksOwnerTold = true;
    TCustomAsyncSocket::FireSessionConnected(0);
    if (alive.expired() || FHSocket != h || FHSocket == os::INVALID_SOCKET) return;
    // The bytes behind the reply are still in the socket: let the owner read them.
    FireDataAvailable(0);
}

bool TCustomSocksAsyncSocket::FireDataAvailable(std::uint16_t Error)
{
    if (FSocksState == 0) return TCustomAsyncSocket::FireDataAvailable(Error);
    if (Error != 0) {
        FailSocks(Error, "data receive error");
        return false;
    }
    bool level4 = !FSocksLevel.empty() && FSocksLevel[0] == '4';
    switch (FSocksState) {
    case 1: {
        if (level4) {
            FailSocks(socksProtocolError, "TAsyncSocket logic error");
            return true;
        }
        if (!ReadReply(2)) return true;
        FSocksRcvdCnt = 0;
        if (FSocksRcvdBuf[0] != 5) {
            FailSocks(socksVersionError, "socks version error");
            return true;
        }
        int method = FSocksRcvdBuf[1];
        if (method == 0) {
            std::weak_ptr<bool> alive = FAlive;
            if (FSocksMethod == 2) FireAuthState(socksAuthNotRequired);
            if (alive.expired()) return true;
            SocksDoConnect();
        } else if (method == 2 && FSocksMethod == 2) {
            std::weak_ptr<bool> alive = FAlive;
            FSocksState = 2;
            FireAuthState(socksAuthStart);
            if (alive.expired()) return true;
            SocksDoAuthenticate();
        } else {
            FailSocks(socksAuthMethodError, "authentification method not acceptable");
        }
        return true;
    }
    case 2: {
        if (!ReadReply(1)) return true;
        if (FSocksRcvdBuf[0] != 1) {
            FailSocks(socksVersionError, "socks version error");
            return true;
        }
        if (!ReadReply(2)) return true;
        FSocksRcvdCnt = 0;
        if (FSocksRcvdBuf[1] != 0) {
            FailSocks(socksAuthenticationFailed, "socks authentication failed");
            return true;
        }
        std::weak_ptr<bool> alive = FAlive;
        FireAuthState(socksAuthSuccess);
        if (alive.expired()) return true;
        SocksDoConnect();
        return true;
    }
    case 3:
        if (level4) {
            if (!ReadReply(8)) return true;
            FSocksRcvdCnt = 0;
            if (FSocksRcvdBuf[0] != 0) {
                FailSocks(socksVersionError, "socks version error");
                return true;
            }
            switch (FSocksRcvdBuf[1]) {
            case 90: ConnectDone(); break;
            case 91: FailSocks(socksRejectedOrFailed, "request rejected or failed"); break;
            case 92: FailSocks(socksConnectionRefused, "connection refused"); break;
            case 93: FailSocks(socksAuthenticationFailed, "authentification failed"); break;
            default: FailSocks(socksUnassignedError, "unassigned error #" + std::to_string(FSocksRcvdBuf[1])); break;
            }
            return true;
        } else {
            if (!ReadReply(1)) return true;
            if (FSocksRcvdBuf[0] != 5) {
                FailSocks(socksVersionError, "socks version error");
                return true;
            }
            if (!ReadReply(2)) return true;
            int code = FSocksRcvdBuf[1];
            if (code != 0) {
                FSocksRcvdCnt = 0;
                switch (code) {
                case 1: FailSocks(socksGeneralFailure, "general SOCKS server failure"); break;
                case 2: FailSocks(socksConnectionNotAllowed, "connection not allowed by ruleset"); break;
                case 3: FailSocks(socksNetworkUnreachable, "network unreachable"); break;
                case 4: FailSocks(socksHostUnreachable, "host unreachable"); break;
                case 5: FailSocks(socksConnectionRefused, "connection refused"); break;
                case 6: FailSocks(socksTtlExpired, "time to live expired"); break;
                case 7: FailSocks(socksUnknownCommand, "command not supported"); break;
                case 8: FailSocks(socksUnknownAddressType, "address type not supported"); break;
                default: FailSocks(socksUnassignedError, "unassigned error #" + std::to_string(code)); break;
                }
                return true;
            }
            if (!ReadReply(5)) return true;
            int type = FSocksRcvdBuf[3];
            int total;
            switch (type) {
            case 1: total = 10; break;
            case 3: total = 7 + FSocksRcvdBuf[4]; break;
            case 4: total = 22; break; // an IPv6 bound address: the connection itself works
            default:
                FSocksRcvdCnt = 0;
                FailSocks(socksUnknownAddressType, "address type not supported");
                return true;
            }
            if (!ReadReply(total)) return true;
            ConnectDone();
            return true;
        }
    default:
        FailSocks(socksInternalError, "internal error");
        return true;
    }
}

void TCustomSocksAsyncSocket::FireSessionClosed(std::uint16_t Error)
{
    std::weak_ptr<bool> alive = FAlive;
    if (FSocksState == 2) {
        FireAuthState(socksAuthFailure);
        if (alive.expired()) return;
    }
    if (FSocksState != 0 && !FSocksOwnerTold) {
        FSocksOwnerTold = true;
        // The owner's own close (an abort, a time-out, a transfer the server
        // refused meanwhile) ends the connect as a plain socket's close does:
        // with no connect event, which the owner would take for a failure of
        // the connection and tell instead of its own reason.
        const bool ownClose = FState == wsClosed && Error == 0;
        if (!ownClose) {
            // The server's close before its reply: a failed connect, as a
            // refusal is.
            FireSocksError(socksProtocolError, "socks server closed the connection");
            if (alive.expired()) return;
            TCustomAsyncSocket::FireSessionConnected(socksProtocolError);
            if (alive.expired()) return;
            if (Error == 0) Error = socksProtocolError;
        }
    }
    TCustomAsyncSocket::FireSessionClosed(Error);
}
