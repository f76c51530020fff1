// Host, service and protocol look-ups of the socket library.
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <strings.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>
#include <vector>

#include "os/LoopCore.h"
#include "os/TargetRegistry.h"
#include "os/Winsock.h"
#include "os/WinsockInternal.h"

namespace os {
namespace {
std::atomic<bool> noNameDatabases{false};
} // namespace

void testing::SetNameDatabasesMissing(bool missing) { noNameDatabases = missing; }
} // namespace os

namespace os::winsock {
namespace {

using detail::SetWsaError;

int WsaFromHerrno(int h)
{
    switch (h) {
    case 0: return 0;
    case HOST_NOT_FOUND: return WSAHOST_NOT_FOUND;
    case TRY_AGAIN: return WSATRY_AGAIN;
    case NO_RECOVERY: return WSANO_RECOVERY;
    case NO_DATA: return WSANO_DATA;
    default: return WSANO_RECOVERY;
    }
}

struct HostAnswer {
    int error = 0;
    std::string name;
    std::vector<std::string> aliases;
    int addrType = AF_INET;
    int addrLength = 4;
    std::vector<std::string> addrs; // raw address bytes
};

HostAnswer FromHostent(const hostent* h)
{
    HostAnswer a;
    a.name = h->h_name ? h->h_name : "";
    for (char** p = h->h_aliases; p && *p; ++p)
        a.aliases.emplace_back(*p);
    a.addrType = h->h_addrtype;
    a.addrLength = h->h_length;
    for (char** p = h->h_addr_list; p && *p; ++p)
        a.addrs.emplace_back(*p, static_cast<size_t>(h->h_length));
    return a;
}

// gethostbyname_r / gethostbyaddr_r with a buffer that grows as needed.
template <typename Call>
HostAnswer HostCall(Call call)
{
    std::vector<char> buf(4096);
    for (;;) {
        hostent he{};
        hostent* result = nullptr;
        int herr = 0;
        int rc = call(&he, buf.data(), buf.size(), &result, &herr);
        if (rc == ERANGE && buf.size() < (1u << 20)) {
            buf.resize(buf.size() * 2);
            continue;
        }
        if (rc != 0 || !result) {
            HostAnswer a;
            a.error = WsaFromHerrno(herr ? herr : HOST_NOT_FOUND);
            return a;
        }
        return FromHostent(result);
    }
}

HostAnswer LookUpName(const std::string& name)
{
    return HostCall([&](hostent* he, char* b, size_t n, hostent** r, int* e) {
        return ::gethostbyname_r(name.c_str(), he, b, n, r, e);
    });
}

HostAnswer LookUpAddr(const std::string& addr, int type)
{
    return HostCall([&](hostent* he, char* b, size_t n, hostent** r, int* e) {
        return ::gethostbyaddr_r(addr.data(), static_cast<socklen_t>(addr.size()), type, he, b, n, r, e);
    });
}

bool DottedAnswer(const char* name, HostAnswer& a)
{
    in_addr in{};
    if (!name || ::inet_pton(AF_INET, name, &in) != 1)
        return false;
    a = HostAnswer{};
    a.name = name;
    a.addrs.emplace_back(reinterpret_cast<const char*>(&in), 4);
    return true;
}

// Lays a hostent and everything it points to into buf. Returns the size
// needed; writes nothing when buf is too small.
int PackHostent(const HostAnswer& a, char* buf, int buflen)
{
    const size_t ptr = sizeof(char*);
    size_t need = sizeof(hostent) + ptr * (a.aliases.size() + 1) + ptr * (a.addrs.size() + 1);
    for (auto& ad : a.addrs)
        need += ad.size();
    need += a.name.size() + 1;
    for (auto& al : a.aliases)
        need += al.size() + 1;
    if (buflen < 0 || need > static_cast<size_t>(buflen) || !buf)
        return static_cast<int>(need);
    char* p = buf;
    auto* he = reinterpret_cast<hostent*>(p);
    p += sizeof(hostent);
    auto** aliasList = reinterpret_cast<char**>(p);
    p += ptr * (a.aliases.size() + 1);
    auto** addrList = reinterpret_cast<char**>(p);
    p += ptr * (a.addrs.size() + 1);
    for (size_t i = 0; i < a.addrs.size(); ++i) {
        std::memcpy(p, a.addrs[i].data(), a.addrs[i].size());
        addrList[i] = p;
        p += a.addrs[i].size();
    }
    addrList[a.addrs.size()] = nullptr;
    std::memcpy(p, a.name.c_str(), a.name.size() + 1);
    he->h_name = p;
    p += a.name.size() + 1;
    for (size_t i = 0; i < a.aliases.size(); ++i) {
        std::memcpy(p, a.aliases[i].c_str(), a.aliases[i].size() + 1);
        aliasList[i] = p;
        p += a.aliases[i].size() + 1;
    }
    aliasList[a.aliases.size()] = nullptr;
    he->h_aliases = aliasList;
    he->h_addrtype = a.addrType;
    he->h_length = a.addrLength;
    he->h_addr_list = addrList;
    return static_cast<int>(need);
}

// A few threads for look-ups that may take long; never torn down, since a
// look-up may still run while the process exits.
class LookupPool {
public:
    static LookupPool& Get()
    {
        static LookupPool* pool = new LookupPool(3);
        return *pool;
    }
    void Run(std::function<void()> job)
    {
        {
            std::lock_guard lock(mu_);
            jobs_.push_back(std::move(job));
        }
        cv_.notify_one();
    }

private:
    explicit LookupPool(int threads)
    {
        for (int i = 0; i < threads; ++i)
            std::thread([this] { Work(); }).detach();
    }
    void Work()
    {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock lock(mu_);
                cv_.wait(lock, [this] { return !jobs_.empty(); });
                job = std::move(jobs_.front());
                jobs_.pop_front();
            }
            job();
        }
    }
    std::mutex mu_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> jobs_;
};

struct Request {
    HWND target = 0;
    UINT message = 0;
    char* buf = nullptr;
    int buflen = 0;
};

struct Requests {
    std::mutex mu;
    std::unordered_map<HANDLE, Request> pending;
    std::atomic<HANDLE> next{1};
};

Requests& Reqs()
{
    static Requests* r = new Requests;
    return *r;
}

// Runs on the loop thread of the request's owner: writes the answer and
// posts, unless the request was cancelled meanwhile.
void Complete(HANDLE handle, const HostAnswer& a)
{
    Requests& r = Reqs();
    std::lock_guard lock(r.mu);
    auto it = r.pending.find(handle);
    if (it == r.pending.end())
        return;
    Request req = it->second;
    r.pending.erase(it);
    int length = 0;
    int error = a.error;
    if (error == 0) {
        length = PackHostent(a, req.buf, req.buflen);
        if (length > req.buflen)
            error = WSAENOBUFS; // length then tells the size that was needed
    }
    PostMessage(req.target, req.message, static_cast<WPARAM>(handle),
                WSAMAKEASYNCREPLY(static_cast<std::uint16_t>(length), static_cast<std::uint16_t>(error)));
}

HANDLE Start(HWND target, UINT message, char* buf, int buflen, std::function<HostAnswer()> work,
             const HostAnswer* immediate)
{
    if (!detail::WinsockStarted())
        return 0;
    if (!detail::TargetOwnedByThisThread(target) || !buf || buflen < 0) {
        SetWsaError(WSAEINVAL);
        return 0;
    }
    Requests& r = Reqs();
    HANDLE handle = r.next.fetch_add(1);
    {
        std::lock_guard lock(r.mu);
        r.pending[handle] = Request{target, message, buf, buflen};
    }
    std::weak_ptr<detail::PostCore> core = detail::CoreOfThisThread();
    if (immediate) {
        HostAnswer a = *immediate;
        core.lock()->PushTask([handle, a] { Complete(handle, a); });
        return handle;
    }
    LookupPool::Get().Run([handle, core, work = std::move(work)] {
        HostAnswer a = work();
        auto c = core.lock();
        if (c)
            c->PushTask([handle, a = std::move(a)] { Complete(handle, a); });
        if (!c) {
            std::lock_guard lock(Reqs().mu);
            Reqs().pending.erase(handle);
        }
    });
    return handle;
}

// Thread-local answers of the blocking calls.
struct HostSlot {
    std::vector<char> buf;
};

} // namespace

HANDLE WSAAsyncGetHostByName(HWND target, UINT message, const char* name, char* buf, int buflen)
{
    if (!name) {
        SetWsaError(WSAEFAULT);
        return 0;
    }
    HostAnswer dotted;
    if (DottedAnswer(name, dotted))
        return Start(target, message, buf, buflen, nullptr, &dotted);
    std::string n = name;
    return Start(target, message, buf, buflen, [n] { return LookUpName(n); }, nullptr);
}

HANDLE WSAAsyncGetHostByAddr(HWND target, UINT message, const char* addr, int len, int type, char* buf, int buflen)
{
    if (!addr || len <= 0) {
        SetWsaError(WSAEFAULT);
        return 0;
    }
    std::string a(addr, static_cast<size_t>(len));
    return Start(target, message, buf, buflen, [a, type] { return LookUpAddr(a, type); }, nullptr);
}

int WSACancelAsyncRequest(HANDLE request)
{
    if (!detail::WinsockStarted())
        return SOCKET_ERROR;
    Requests& r = Reqs();
    std::lock_guard lock(r.mu);
    if (r.pending.erase(request) == 0) {
        // Issued once and finished (or cancelled) already, or never issued.
        SetWsaError(request != 0 && request < r.next.load() ? WSAEALREADY : WSAEINVAL);
        return SOCKET_ERROR;
    }
    return 0;
}

hostent* gethostbyname(const char* name)
{
    if (!detail::WinsockStarted())
        return nullptr;
    if (!name) {
        SetWsaError(WSAEFAULT);
        return nullptr;
    }
    HostAnswer a;
    if (!DottedAnswer(name, a))
        a = LookUpName(name);
    if (a.error) {
        SetWsaError(a.error);
        return nullptr;
    }
    thread_local HostSlot slot;
    int need = PackHostent(a, nullptr, -1);
    slot.buf.assign(static_cast<size_t>(need), 0);
    PackHostent(a, slot.buf.data(), need);
    return reinterpret_cast<hostent*>(slot.buf.data());
}

int gethostname(char* name, int namelen)
{
    if (!detail::WinsockStarted())
        return SOCKET_ERROR;
    char buf[256] = {};
    if (!name || namelen <= 0 || ::gethostname(buf, sizeof buf - 1) != 0 ||
        std::strlen(buf) + 1 > static_cast<size_t>(namelen)) {
        SetWsaError(WSAEFAULT);
        return SOCKET_ERROR;
    }
    std::memcpy(name, buf, std::strlen(buf) + 1);
    return 0;
}

servent* getservbyname(const char* name, const char* proto)
{
    if (!detail::WinsockStarted())
        return nullptr;
    if (!name) {
        SetWsaError(WSAEFAULT);
        return nullptr;
    }
    thread_local servent se;
    thread_local char buf[4096];
    thread_local std::string nameCopy, protoCopy;
    thread_local char* noAliases[1] = {nullptr};
    servent* result = nullptr;
    if (!noNameDatabases && ::getservbyname_r(name, proto, &se, buf, sizeof buf, &result) == 0 && result)
        return result;
    // The FTP ports answer even on a system without a services database.
    struct Known {
        const char* name;
        int port;
    };
    static const Known known[] = {{"ftp", 21}, {"ftp-data", 20}};
    for (const Known& k : known) {
        if (strcasecmp(name, k.name) == 0 && (!proto || strcasecmp(proto, "tcp") == 0)) {
            nameCopy = k.name;
            protoCopy = "tcp";
            se = servent{};
            se.s_name = nameCopy.data();
            se.s_aliases = noAliases;
            se.s_port = htons(static_cast<std::uint16_t>(k.port));
            se.s_proto = protoCopy.data();
            return &se;
        }
    }
    SetWsaError(WSANO_DATA);
    return nullptr;
}

protoent* getprotobyname(const char* name)
{
    if (!detail::WinsockStarted())
        return nullptr;
    if (!name) {
        SetWsaError(WSAEFAULT);
        return nullptr;
    }
    thread_local protoent pe;
    thread_local char buf[4096];
    thread_local std::string nameCopy;
    thread_local char* noAliases[1] = {nullptr};
    protoent* result = nullptr;
    if (!noNameDatabases && ::getprotobyname_r(name, &pe, buf, sizeof buf, &result) == 0 && result)
        return result;
    struct Known {
        const char* name;
        int number;
    };
    static const Known known[] = {{"tcp", IPPROTO_TCP}, {"udp", IPPROTO_UDP}};
    for (const Known& k : known) {
        if (strcasecmp(name, k.name) == 0) {
            nameCopy = k.name;
            pe = protoent{};
            pe.p_name = nameCopy.data();
            pe.p_aliases = noAliases;
            pe.p_proto = k.number;
            return &pe;
        }
    }
    SetWsaError(WSANO_DATA);
    return nullptr;
}

} // namespace os::winsock
