#include "net/SocketResolve.h"

#include <arpa/inet.h>

#include <cstring>

#include "net/WsBinding.h"
#include "rtl/Format.h"
#include "rtl/StrUtils.h"

bool IsDecimalDigit(char Ch) { return Ch >= '0' && Ch <= '9'; }

int ParseDecimal(std::string_view Text)
{
    std::size_t i = 0;
    while (i < Text.size() && Text[i] == ' ') ++i;
    unsigned int value = 0;
    while (i < Text.size() && IsDecimalDigit(Text[i])) value = value * 10 + static_cast<unsigned>(Text[i++] - '0');
    return static_cast<int>(value);
}

bool IsDottedAddress(std::string_view Text)
{
    std::size_t i = 0;
    while (i < Text.size() && Text[i] == ' ') ++i;
    if (i < Text.size() && Text[i] == '.') return false;
    int dots = 0;
    unsigned int group = 0;
    bool digits = false;
    for (; i < Text.size(); ++i) {
        char c = Text[i];
        if (IsDecimalDigit(c)) {
            // Saturate so a long run of digits cannot wrap back below 256.
            group = group > 1000 ? group : group * 10 + static_cast<unsigned>(c - '0');
            digits = true;
        } else if (c == '.') {
            ++dots;
            if (dots > 3 || group > 255 || i + 1 >= Text.size() || !IsDecimalDigit(Text[i + 1])) return false;
            group = 0;
            digits = false;
        } else {
            while (i < Text.size() && Text[i] == ' ') ++i;
            if (i < Text.size()) return false;
            break;
        }
    }
    return dots == 3 && digits && group <= 255;
}

std::uint32_t SocketResolveHost(const std::string& InAddr)
{
    if (InAddr.empty() || InAddr.size() > 256)
        throw ESocketException("SocketResolveHost: '" + InAddr + "' Invalid Hostname.");
    std::string host = rtl::Trim(InAddr);
    if (IsDottedAddress(InAddr)) {
        unsigned long a = WsInetAddr(host.c_str());
        if (a == INADDR_NONE && host != "255.255.255.255")
            throw ESocketException("SocketResolveHost: '" + InAddr + "' Invalid IP address.");
        return static_cast<std::uint32_t>(a);
    }
    hostent* he = WsGethostbyname(host.c_str());
    if (!he || !he->h_addr_list || !he->h_addr_list[0] || he->h_length < 4)
        throw ESocketException(rtl::Format("SocketResolveHost: Cannot convert host address '%s', Error #%d",
                                           InAddr.c_str(), WsWSAGetLastError()));
    std::uint32_t a;
    std::memcpy(&a, he->h_addr_list[0], 4);
    return a;
}

std::uint16_t SocketResolvePort(const std::string& Port, const std::string& Proto)
{
    if (Port.empty() || Port.size() >= 32) throw ESocketException("SocketResolvePort: Invalid Port.");
    if (IsDecimalDigit(Port[0])) return static_cast<std::uint16_t>(ParseDecimal(Port));
    std::string name = rtl::Trim(Port);
    std::string proto = rtl::Trim(Proto);
    servent* se = WsGetservbyname(name.c_str(), proto.empty() ? nullptr : proto.c_str());
    if (!se)
        throw ESocketException(rtl::Format("SocketResolvePort: Cannot convert port '%s', Error #%d", Port.c_str(),
                                           WsWSAGetLastError()));
    return WsNtohs(static_cast<std::uint16_t>(se->s_port));
}

int SocketResolveProto(const std::string& Proto)
{
    if (Proto.empty() || Proto.size() >= 32) throw ESocketException("SocketResolveProto: Invalid Protocol.");
    std::string name = rtl::Trim(Proto);
    if (!name.empty() && IsDecimalDigit(name[0])) return ParseDecimal(name);
    protoent* pe = WsGetprotobyname(name.c_str());
    if (!pe)
        throw ESocketException(rtl::Format("SocketResolveProto: Cannot convert protocol '%s', Error #%d",
                                           Proto.c_str(), WsWSAGetLastError()));
    return pe->p_proto;
}

std::string SocketErrorText(int ErrCode)
{
    switch (ErrCode) {
    case 0: return "No Error";
    case 10004: return "Interrupted system call";
    case 10009: return "Bad file number";
    case 10013: return "Permission denied";
    case 10014: return "Bad address";
    case 10022: return "Invalid argument";
    case 10024: return "Too many open files";
    case 10035: return "Operation would block";
    case 10036: return "Operation now in progress";
    case 10037: return "Operation already in progress";
    case 10038: return "Socket operation on non-socket";
    case 10039: return "Destination address required";
    case 10040: return "Message too long";
    case 10041: return "Protocol wrong type for socket";
    case 10042: return "Protocol not available";
    case 10043: return "Protocol not supported";
    case 10044: return "Socket type not supported";
    case 10045: return "Operation not supported on socket";
    case 10046: return "Protocol family not supported";
    case 10047: return "Address family not supported by protocol family";
    case 10048: return "Address already in use";
    case 10049: return "Address not available";
    case 10050: return "Network is down";
    case 10051: return "Network is unreachable";
    case 10052: return "Network dropped connection on reset";
    case 10053: return "Connection aborted";
    case 10054: return "Connection reset by peer";
    case 10055: return "No buffer space available";
    case 10056: return "Socket is already connected";
    case 10057: return "Socket is not connected";
    case 10058: return "Can't send after socket shutdown";
    case 10059: return "Too many references: can't splice";
    case 10060: return "Connection timed out";
    case 10061: return "Connection refused";
    case 10062: return "Too many levels of symbolic links";
    case 10063: return "File name too long";
    case 10064: return "Host is down";
    case 10065: return "No route to host";
    case 10066: return "Directory not empty";
    case 10067: return "Too many processes";
    case 10068: return "Too many users";
    case 10069: return "Disc quota exceeded";
    case 10070: return "Stale NFS file handle";
    case 10071: return "Too many levels of remote in path";
    case 10091: return "Network sub-system is unusable";
    case 10092: return "WinSock DLL cannot support this application";
    case 10093: return "WinSock not initialized";
    case 11001: return "Host not found";
    case 11002: return "Non-authoritative host not found";
    case 11003: return "Non-recoverable error";
    case 11004: return "No Data";
    default: return "Not a WinSock error";
    }
}
