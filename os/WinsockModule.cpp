// The socket library's entry in the built-in module table, under the names
// the library exports.
#include <arpa/inet.h>

#include "os/Module.h"
#include "os/Winsock.h"
#include "os/WinsockInternal.h"

namespace os::detail {
namespace {

// The host's byte-order helpers may be macros; these give them addresses.
std::uint16_t NtohsEntry(std::uint16_t v) { return ntohs(v); }
std::uint16_t HtonsEntry(std::uint16_t v) { return htons(v); }
std::uint32_t HtonlEntry(std::uint32_t v) { return htonl(v); }
std::uint32_t NtohlEntry(std::uint32_t v) { return ntohl(v); }

template <typename F>
FARPROC Entry(F* f)
{
    return reinterpret_cast<FARPROC>(f);
}

} // namespace

void RegisterWinsockModule()
{
    namespace w = os::winsock;
    RegisterModule("wsock32.dll",
                   {
                       {"WSAStartup", Entry(&w::WSAStartup)},
                       {"WSACleanup", Entry(&w::WSACleanup)},
                       {"WSASetLastError", Entry(&w::WSASetLastError)},
                       {"WSAGetLastError", Entry(&w::WSAGetLastError)},
                       {"WSACancelAsyncRequest", Entry(&w::WSACancelAsyncRequest)},
                       {"WSAAsyncGetHostByName", Entry(&w::WSAAsyncGetHostByName)},
                       {"WSAAsyncGetHostByAddr", Entry(&w::WSAAsyncGetHostByAddr)},
                       {"WSAAsyncSelect", Entry(&w::WSAAsyncSelect)},
                       {"getservbyname", Entry(&w::getservbyname)},
                       {"getprotobyname", Entry(&w::getprotobyname)},
                       {"gethostbyname", Entry(&w::gethostbyname)},
                       {"socket", Entry(&w::socket)},
                       {"shutdown", Entry(&w::shutdown)},
                       {"setsockopt", Entry(&w::setsockopt)},
                       {"getsockopt", Entry(&w::getsockopt)},
                       {"gethostname", Entry(&w::gethostname)},
                       {"sendto", Entry(&w::sendto)},
                       {"ntohs", Entry(&NtohsEntry)},
                       {"ntohl", Entry(&NtohlEntry)},
                       {"listen", Entry(&w::listen)},
                       {"ioctlsocket", Entry(&w::ioctlsocket)},
                       {"inet_ntoa", Entry(&w::inet_ntoa)},
                       {"inet_addr", Entry(&w::inet_addr)},
                       {"htons", Entry(&HtonsEntry)},
                       {"htonl", Entry(&HtonlEntry)},
                       {"getsockname", Entry(&w::getsockname)},
                       {"getpeername", Entry(&w::getpeername)},
                       {"connect", Entry(&w::connect)},
                       {"closesocket", Entry(&w::closesocket)},
                       {"bind", Entry(&w::bind)},
                       {"accept", Entry(&w::accept)},
                       {"recv", Entry(&w::recv)},
                       {"recvfrom", Entry(&w::recvfrom)},
                       {"send", Entry(&w::send)},
                   });
}

} // namespace os::detail
