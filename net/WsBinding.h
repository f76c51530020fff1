#pragma once
// The socket library bound by name at run time: "wsock32.dll" is loaded and
// started on the first call of any wrapper, each entry point is looked up on
// its own first call, and the library is unloaded when the last socket
// component goes. Every wrapper takes and returns what the library function
// does. Loader failures raise ESocketException.
#include <cstdint>

#include "net/SocketException.h"
#include "os/Module.h"
#include "os/Winsock.h"

// Loads and starts the library when needed, then looks the entry up; an empty
// name gives nullptr without a look-up.
os::FARPROC GetWinsockProc(const char* ProcName);
// Cleans up and frees the library and forgets every bound entry.
void UnloadWinsock();
bool WinsockLoaded();

// The process-wide count of live socket components; the library is unloaded
// when it falls below 1.
void WinsockComponentCreated();
void WinsockComponentDestroyed();
int WinsockComponentCount();

int WsWSAStartup(std::uint16_t wVersionRequired, os::WSADATA* lpWSAData);
int WsWSACleanup();
void WsWSASetLastError(int iError);
int WsWSAGetLastError();
int WsWSACancelAsyncRequest(os::HANDLE hAsyncTaskHandle);
os::HANDLE WsWSAAsyncGetHostByName(os::HWND HWindow, os::UINT wMsg, const char* name, char* buf, int buflen);
os::HANDLE WsWSAAsyncGetHostByAddr(os::HWND HWindow, os::UINT wMsg, const char* addr, int len, int type,
                                   char* buf, int buflen);
int WsWSAAsyncSelect(os::SOCKET s, os::HWND HWindow, os::UINT wMsg, long lEvent);
servent* WsGetservbyname(const char* name, const char* proto);
protoent* WsGetprotobyname(const char* name);
hostent* WsGethostbyname(const char* name);
int WsGethostname(char* name, int len);
os::SOCKET WsSocket(int af, int type, int protocol);
int WsShutdown(os::SOCKET s, int how);
int WsSetsockopt(os::SOCKET s, int level, int optname, const char* optval, int optlen);
int WsGetsockopt(os::SOCKET s, int level, int optname, char* optval, int* optlen);
int WsSendto(os::SOCKET s, const char* buf, int len, int flags, const sockaddr* addrto, int tolen);
int WsSend(os::SOCKET s, const char* buf, int len, int flags);
int WsRecv(os::SOCKET s, char* buf, int len, int flags);
int WsRecvfrom(os::SOCKET s, char* buf, int len, int flags, sockaddr* from, int* fromlen);
int WsListen(os::SOCKET s, int backlog);
int WsIoctlsocket(os::SOCKET s, long cmd, unsigned long* arg);
char* WsInetNtoa(in_addr inaddr);
unsigned long WsInetAddr(const char* cp);
int WsGetsockname(os::SOCKET s, sockaddr* name, int* namelen);
int WsGetpeername(os::SOCKET s, sockaddr* name, int* namelen);
int WsConnect(os::SOCKET s, const sockaddr* name, int namelen);
int WsClosesocket(os::SOCKET s);
int WsBind(os::SOCKET s, const sockaddr* addr, int namelen);
os::SOCKET WsAccept(os::SOCKET s, sockaddr* addr, int* addrlen);
// Byte order needs no library: these are computed here.
std::uint16_t WsNtohs(std::uint16_t netshort);
std::uint16_t WsHtons(std::uint16_t hostshort);
std::uint32_t WsHtonl(std::uint32_t hostlong);
std::uint32_t WsNtohl(std::uint32_t netlong);
