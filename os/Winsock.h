#pragma once
// Our own socket library with the interface of WinSock 1.1: its names, its
// error numbers and its asynchronous event rules, on top of POSIX sockets and
// the thread's message loop. Structures (sockaddr, hostent, servent,
// protoent, linger) and option constants (SOL_SOCKET, SO_*, FIONREAD,
// FIONBIO) are the host's own.
#include <cstdint>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include "os/MessageTarget.h"

namespace os {

// Socket handles are ids that are never reused (never the descriptor number,
// which Linux hands out again at once), so a message that names a closed
// socket can never be taken for a newer one.
using SOCKET = std::int64_t;
constexpr SOCKET INVALID_SOCKET = -1;
constexpr int SOCKET_ERROR = -1;
// Asynchronous request handles; 0 means failure.
using HANDLE = std::uint64_t;

constexpr int MAXGETHOSTSTRUCT = 1024;

struct WSADATA {
    std::uint16_t wVersion = 0;
    std::uint16_t wHighVersion = 0;
    char szDescription[257] = {};
    char szSystemStatus[129] = {};
    std::uint16_t iMaxSockets = 0;
    std::uint16_t iMaxUdpDg = 0;
    char* lpVendorInfo = nullptr;
};

// Event bits of WSAAsyncSelect.
constexpr long FD_READ = 0x01;
constexpr long FD_WRITE = 0x02;
constexpr long FD_OOB = 0x04;
constexpr long FD_ACCEPT = 0x08;
constexpr long FD_CONNECT = 0x10;
constexpr long FD_CLOSE = 0x20;

inline std::uint16_t WSAGETSELECTEVENT(LPARAM l) { return LOWORD(l); }
inline std::uint16_t WSAGETSELECTERROR(LPARAM l) { return HIWORD(l); }
inline LPARAM WSAMAKESELECTREPLY(std::uint16_t event, std::uint16_t error) { return MAKELONG(event, error); }
inline std::uint16_t WSAGETASYNCBUFLEN(LPARAM l) { return LOWORD(l); }
inline std::uint16_t WSAGETASYNCERROR(LPARAM l) { return HIWORD(l); }
inline LPARAM WSAMAKEASYNCREPLY(std::uint16_t buflen, std::uint16_t error) { return MAKELONG(buflen, error); }

// Error numbers: 10000 + the BSD number (not the Linux errno).
constexpr int WSABASEERR = 10000;
constexpr int WSAEINTR = 10004;
constexpr int WSAEBADF = 10009;
constexpr int WSAEACCES = 10013;
constexpr int WSAEFAULT = 10014;
constexpr int WSAEINVAL = 10022;
constexpr int WSAEMFILE = 10024;
constexpr int WSAEWOULDBLOCK = 10035;
constexpr int WSAEINPROGRESS = 10036;
constexpr int WSAEALREADY = 10037;
constexpr int WSAENOTSOCK = 10038;
constexpr int WSAEDESTADDRREQ = 10039;
constexpr int WSAEMSGSIZE = 10040;
constexpr int WSAEPROTOTYPE = 10041;
constexpr int WSAENOPROTOOPT = 10042;
constexpr int WSAEPROTONOSUPPORT = 10043;
constexpr int WSAESOCKTNOSUPPORT = 10044;
constexpr int WSAEOPNOTSUPP = 10045;
constexpr int WSAEPFNOSUPPORT = 10046;
constexpr int WSAEAFNOSUPPORT = 10047;
constexpr int WSAEADDRINUSE = 10048;
constexpr int WSAEADDRNOTAVAIL = 10049;
constexpr int WSAENETDOWN = 10050;
constexpr int WSAENETUNREACH = 10051;
constexpr int WSAENETRESET = 10052;
constexpr int WSAECONNABORTED = 10053;
constexpr int WSAECONNRESET = 10054;
constexpr int WSAENOBUFS = 10055;
constexpr int WSAEISCONN = 10056;
constexpr int WSAENOTCONN = 10057;
constexpr int WSAESHUTDOWN = 10058;
constexpr int WSAETOOMANYREFS = 10059;
constexpr int WSAETIMEDOUT = 10060;
constexpr int WSAECONNREFUSED = 10061;
constexpr int WSAELOOP = 10062;
constexpr int WSAENAMETOOLONG = 10063;
constexpr int WSAEHOSTDOWN = 10064;
constexpr int WSAEHOSTUNREACH = 10065;
constexpr int WSAENOTEMPTY = 10066;
constexpr int WSAEPROCLIM = 10067;
constexpr int WSAEUSERS = 10068;
constexpr int WSAEDQUOT = 10069;
constexpr int WSAESTALE = 10070;
constexpr int WSAEREMOTE = 10071;
constexpr int WSASYSNOTREADY = 10091;
constexpr int WSAVERNOTSUPPORTED = 10092;
constexpr int WSANOTINITIALISED = 10093;
constexpr int WSAHOST_NOT_FOUND = 11001;
constexpr int WSATRY_AGAIN = 11002;
constexpr int WSANO_RECOVERY = 11003;
constexpr int WSANO_DATA = 11004;

// The Winsock error number for a Linux errno value (through a table; an errno
// with no Winsock counterpart maps to WSAEINVAL).
int WsaErrorFromErrno(int err);

// The library's entry points. They are also registered by these names (the
// library's own function names) in the built-in module "wsock32.dll", where
// the socket component binds them at run time. Every call but WSAStartup
// fails with WSANOTINITIALISED until WSAStartup succeeded; failures set the
// calling thread's WSAGetLastError().
namespace winsock {

int WSAStartup(std::uint16_t versionRequested, WSADATA* data);
int WSACleanup();
void WSASetLastError(int error);
int WSAGetLastError();

// Event rules, per socket (the socket is made non-blocking):
// - FD_READ is posted when data (or the end of the stream) is waiting, and
//   then not again until recv/recvfrom was called; a recv that leaves data
//   behind posts the next one.
// - FD_WRITE is posted once when a connect completes (or at once when the
//   socket is already connected), then only after a send that failed with
//   WSAEWOULDBLOCK or took less than offered, when room is there again.
// - FD_ACCEPT when a connection waits, re-armed by accept.
// - FD_CONNECT once when a non-blocking connect ends (error in the high word).
// - FD_CLOSE once when the peer closed or reset, after the data still waiting
//   was read (FD_READ comes first while data waits).
// Messages go to the target's loop, which must be the calling thread's.
// A mask of 0 stops all events.
int WSAAsyncSelect(SOCKET s, HWND target, UINT message, long events);

// Host look-ups on a small thread pool. The answer (a hostent with all its
// pointers into buf) is written and the message (wParam = handle, lParam =
// WSAMAKEASYNCREPLY(length, error)) posted from the calling thread's loop, so
// a cancelled request never writes buf and never posts. A dotted address is
// answered without the pool (still by a posted message).
HANDLE WSAAsyncGetHostByName(HWND target, UINT message, const char* name, char* buf, int buflen);
HANDLE WSAAsyncGetHostByAddr(HWND target, UINT message, const char* addr, int len, int type, char* buf,
                             int buflen);
int WSACancelAsyncRequest(HANDLE request);

// Blocking look-ups. Results live in thread-local storage until the next
// call of the same function on the thread. "ftp", "ftp-data" (tcp) and
// "tcp", "udp" answer even without a services or protocols database.
servent* getservbyname(const char* name, const char* proto);
protoent* getprotobyname(const char* name);
hostent* gethostbyname(const char* name);
int gethostname(char* name, int namelen);

SOCKET socket(int af, int type, int protocol);
int bind(SOCKET s, const sockaddr* addr, int namelen);
int listen(SOCKET s, int backlog);   // sets SO_REUSEADDR first (bind of a stream socket too)
SOCKET accept(SOCKET s, sockaddr* addr, int* addrlen);
int connect(SOCKET s, const sockaddr* name, int namelen); // non-blocking: WSAEWOULDBLOCK
int shutdown(SOCKET s, int how);
// A linger with a time-out never blocks the thread: closesocket returns at
// once and the connection ends in the background.
int closesocket(SOCKET s);
int send(SOCKET s, const char* buf, int len, int flags);   // never raises SIGPIPE
int sendto(SOCKET s, const char* buf, int len, int flags, const sockaddr* to, int tolen);
int recv(SOCKET s, char* buf, int len, int flags);
int recvfrom(SOCKET s, char* buf, int len, int flags, sockaddr* from, int* fromlen);
int setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen);
int getsockopt(SOCKET s, int level, int optname, char* optval, int* optlen);
int ioctlsocket(SOCKET s, long cmd, unsigned long* argp); // FIONREAD, FIONBIO
int getsockname(SOCKET s, sockaddr* name, int* namelen);
int getpeername(SOCKET s, sockaddr* name, int* namelen);
unsigned long inet_addr(const char* cp);   // INADDR_NONE on failure
char* inet_ntoa(in_addr in);               // thread-local buffer

// The descriptor behind a handle (-1 when none); for code that must hand a
// descriptor to the host, such as a file-to-socket copy.
int DescriptorOf(SOCKET s);

} // namespace winsock

namespace testing {
// Makes getservbyname and getprotobyname ignore the system's databases, so
// the built-in answers can be seen.
void SetNameDatabasesMissing(bool missing);
} // namespace testing
} // namespace os
