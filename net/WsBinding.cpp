#include "net/WsBinding.h"

#include <arpa/inet.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>

#include "rtl/Format.h"

namespace {

const char* const WinsockDllName = "wsock32.dll";

std::recursive_mutex libMutex;
os::HMODULE libHandle = 0;
// Bumped by every unload, so cached entries of an older load are looked up again.
std::atomic<std::uint64_t> libGeneration{1};
std::map<std::string, os::FARPROC> procCache;
std::atomic<int> liveComponents{0};

void LoadWinsock()
{
    if (libHandle) return;
    os::HMODULE h = os::LoadLibrary(WinsockDllName);
    if (!h)
        throw ESocketException(std::string("Unable to load ") + WinsockDllName + " Error #" +
                               std::to_string(os::GetLastError()));
    libHandle = h;
    auto startup = reinterpret_cast<decltype(&os::winsock::WSAStartup)>(os::GetProcAddress(h, "WSAStartup"));
    if (!startup) {
        std::uint32_t err = os::GetLastError();
        libHandle = 0;
        os::FreeLibrary(h);
        throw ESocketException(std::string("Procedure WSAStartup not found in ") + WinsockDllName + " Error #" +
                               std::to_string(err));
    }
    os::WSADATA data;
    int rc = startup(0x0101, &data);
    if (rc != 0) {
        libHandle = 0;
        os::FreeLibrary(h);
        throw ESocketException(rtl::Format("%s: WSAStartup error #%d", WinsockDllName, rc));
    }
}

// One cached entry per wrapper; re-bound after an unload.
template <typename Fn>
Fn Bind(const char* name)
{
    return reinterpret_cast<Fn>(GetWinsockProc(name));
}

} // namespace

os::FARPROC GetWinsockProc(const char* ProcName)
{
    std::lock_guard<std::recursive_mutex> lock(libMutex);
    LoadWinsock();
    if (!ProcName || !*ProcName) return nullptr;
    auto it = procCache.find(ProcName);
    if (it != procCache.end()) return it->second;
    os::FARPROC p = os::GetProcAddress(libHandle, ProcName);
    if (!p)
        throw ESocketException(std::string("Procedure ") + ProcName + " not found in " + WinsockDllName +
                               " Error #" + std::to_string(os::GetLastError()));
    procCache[ProcName] = p;
    return p;
}

void UnloadWinsock()
{
    std::lock_guard<std::recursive_mutex> lock(libMutex);
    if (!libHandle) return;
    auto it = procCache.find("WSACleanup");
    os::FARPROC cleanup = it != procCache.end() ? it->second : os::GetProcAddress(libHandle, "WSACleanup");
    if (cleanup) reinterpret_cast<decltype(&os::winsock::WSACleanup)>(cleanup)();
    os::FreeLibrary(libHandle);
    libHandle = 0;
    procCache.clear();
    ++libGeneration;
    liveComponents = 0;
}

bool WinsockLoaded()
{
    std::lock_guard<std::recursive_mutex> lock(libMutex);
    return libHandle != 0;
}

void WinsockComponentCreated() { ++liveComponents; }

void WinsockComponentDestroyed()
{
    if (--liveComponents < 1) UnloadWinsock();
}

int WinsockComponentCount() { return liveComponents; }

// Each wrapper keeps its entry in a thread-local cache keyed by the load
// generation, so the hot paths (send, recv) take no lock.
#define WS_BIND(fn, name) WS_BIND_AS(decltype(&os::winsock::fn), name)
#define WS_BIND_AS(FnType, name)                                                       \
    using Fn = FnType;                                                                 \
    thread_local Fn cached = nullptr;                                                  \
    thread_local std::uint64_t cachedGen = 0;                                          \
    if (!cached || cachedGen != libGeneration.load(std::memory_order_acquire)) {       \
        cachedGen = libGeneration.load(std::memory_order_acquire);                     \
        cached = Bind<Fn>(name);                                                       \
    }

int WsWSAStartup(std::uint16_t wVersionRequired, os::WSADATA* lpWSAData)
{
    WS_BIND(WSAStartup, "WSAStartup");
    return cached(wVersionRequired, lpWSAData);
}
int WsWSACleanup()
{
    WS_BIND(WSACleanup, "WSACleanup");
    return cached();
}
void WsWSASetLastError(int iError)
{
    WS_BIND(WSASetLastError, "WSASetLastError");
    cached(iError);
}
int WsWSAGetLastError()
{
    WS_BIND(WSAGetLastError, "WSAGetLastError");
    return cached();
}
int WsWSACancelAsyncRequest(os::HANDLE hAsyncTaskHandle)
{
    WS_BIND(WSACancelAsyncRequest, "WSACancelAsyncRequest");
    return cached(hAsyncTaskHandle);
}
os::HANDLE WsWSAAsyncGetHostByName(os::HWND HWindow, os::UINT wMsg, const char* name, char* buf, int buflen)
{
    WS_BIND(WSAAsyncGetHostByName, "WSAAsyncGetHostByName");
    return cached(HWindow, wMsg, name, buf, buflen);
}
os::HANDLE WsWSAAsyncGetHostByAddr(os::HWND HWindow, os::UINT wMsg, const char* addr, int len, int type,
                                   char* buf, int buflen)
{
    WS_BIND(WSAAsyncGetHostByAddr, "WSAAsyncGetHostByAddr");
    return cached(HWindow, wMsg, addr, len, type, buf, buflen);
}
int WsWSAAsyncSelect(os::SOCKET s, os::HWND HWindow, os::UINT wMsg, long lEvent)
{
    WS_BIND(WSAAsyncSelect, "WSAAsyncSelect");
    return cached(s, HWindow, wMsg, lEvent);
}
servent* WsGetservbyname(const char* name, const char* proto)
{
    WS_BIND(getservbyname, "getservbyname");
    return cached(name, proto);
}
protoent* WsGetprotobyname(const char* name)
{
    WS_BIND(getprotobyname, "getprotobyname");
    return cached(name);
}
hostent* WsGethostbyname(const char* name)
{
    WS_BIND(gethostbyname, "gethostbyname");
    return cached(name);
}
int WsGethostname(char* name, int len)
{
    WS_BIND(gethostname, "gethostname");
    return cached(name, len);
}
os::SOCKET WsSocket(int af, int type, int protocol)
{
    WS_BIND(socket, "socket");
    return cached(af, type, protocol);
}
int WsShutdown(os::SOCKET s, int how)
{
    WS_BIND(shutdown, "shutdown");
    return cached(s, how);
}
int WsSetsockopt(os::SOCKET s, int level, int optname, const char* optval, int optlen)
{
    WS_BIND(setsockopt, "setsockopt");
    return cached(s, level, optname, optval, optlen);
}
int WsGetsockopt(os::SOCKET s, int level, int optname, char* optval, int* optlen)
{
    WS_BIND(getsockopt, "getsockopt");
    return cached(s, level, optname, optval, optlen);
}
int WsSendto(os::SOCKET s, const char* buf, int len, int flags, const sockaddr* addrto, int tolen)
{
    WS_BIND(sendto, "sendto");
    return cached(s, buf, len, flags, addrto, tolen);
}
int WsSend(os::SOCKET s, const char* buf, int len, int flags)
{
    WS_BIND(send, "send");
    return cached(s, buf, len, flags);
}
int WsRecv(os::SOCKET s, char* buf, int len, int flags)
{
    WS_BIND(recv, "recv");
    return cached(s, buf, len, flags);
}
int WsRecvfrom(os::SOCKET s, char* buf, int len, int flags, sockaddr* from, int* fromlen)
{
    WS_BIND(recvfrom, "recvfrom");
    return cached(s, buf, len, flags, from, fromlen);
}
int WsListen(os::SOCKET s, int backlog)
{
    WS_BIND(listen, "listen");
    return cached(s, backlog);
}
int WsIoctlsocket(os::SOCKET s, long cmd, unsigned long* arg)
{
    WS_BIND(ioctlsocket, "ioctlsocket");
    return cached(s, cmd, arg);
}
char* WsInetNtoa(in_addr inaddr)
{
    WS_BIND(inet_ntoa, "inet_ntoa");
    return cached(inaddr);
}
unsigned long WsInetAddr(const char* cp)
{
    WS_BIND(inet_addr, "inet_addr");
    return cached(cp);
}
int WsGetsockname(os::SOCKET s, sockaddr* name, int* namelen)
{
    WS_BIND(getsockname, "getsockname");
    return cached(s, name, namelen);
}
int WsGetpeername(os::SOCKET s, sockaddr* name, int* namelen)
{
    WS_BIND(getpeername, "getpeername");
    return cached(s, name, namelen);
}
int WsConnect(os::SOCKET s, const sockaddr* name, int namelen)
{
    WS_BIND(connect, "connect");
    return cached(s, name, namelen);
}
int WsClosesocket(os::SOCKET s)
{
    WS_BIND(closesocket, "closesocket");
    return cached(s);
}
int WsBind(os::SOCKET s, const sockaddr* addr, int namelen)
{
    WS_BIND(bind, "bind");
    return cached(s, addr, namelen);
}
os::SOCKET WsAccept(os::SOCKET s, sockaddr* addr, int* addrlen)
{
    WS_BIND(accept, "accept");
    return cached(s, addr, addrlen);
}

// The byte-order entries are bound by name like the others.
std::uint16_t WsNtohs(std::uint16_t netshort)
{
    WS_BIND_AS(std::uint16_t (*)(std::uint16_t), "ntohs");
    return cached(netshort);
}
std::uint16_t WsHtons(std::uint16_t hostshort)
{
    WS_BIND_AS(std::uint16_t (*)(std::uint16_t), "htons");
    return cached(hostshort);
}
std::uint32_t WsHtonl(std::uint32_t hostlong)
{
    WS_BIND_AS(std::uint32_t (*)(std::uint32_t), "htonl");
    return cached(hostlong);
}
std::uint32_t WsNtohl(std::uint32_t netlong)
{
    WS_BIND_AS(std::uint32_t (*)(std::uint32_t), "ntohl");
    return cached(netlong);
}
