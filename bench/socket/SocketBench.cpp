// Moves 1 GiB over loopback between two TAsyncSockets on one loop, and the
// same through a plain blocking socket pair on two threads; prints MB/s of
// both and their ratio. Usage: bench_socket [MiB] [runs]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "net/AsyncSocket.h"
#include "os/MessageLoop.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// Blocking send/recv with 64 KiB buffers on two threads.
double PlainPair(std::int64_t total)
{
    int lfd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(lfd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(lfd, 1);
    socklen_t len = sizeof a;
    ::getsockname(lfd, reinterpret_cast<sockaddr*>(&a), &len);
    int c = ::socket(AF_INET, SOCK_STREAM, 0);
    ::connect(c, reinterpret_cast<sockaddr*>(&a), sizeof a);
    int s = ::accept(lfd, nullptr, nullptr);
    ::close(lfd);
    std::int64_t got = 0;
    auto start = Clock::now();
    std::thread reader([&] {
        std::vector<char> buf(65536);
        for (;;) {
            ssize_t n = ::recv(s, buf.data(), buf.size(), 0);
            if (n <= 0) break;
            got += n;
        }
    });
    std::vector<char> block(65536, 'x');
    std::int64_t left = total;
    while (left > 0) {
        ssize_t n = ::send(c, block.data(), static_cast<std::size_t>(std::min<std::int64_t>(left, 65536)), 0);
        if (n <= 0) break;
        left -= n;
    }
    ::shutdown(c, SHUT_WR);
    reader.join();
    auto end = Clock::now();
    ::close(c);
    ::close(s);
    if (got != total) std::fprintf(stderr, "plain pair moved %lld of %lld bytes\n", (long long)got, (long long)total);
    return Seconds(start, end);
}

// Two components on this thread's loop: the sender refills its queue each
// time OnDataSent says it is empty; the receiver reads in OnDataAvailable.
double ComponentPair(std::int64_t total, int block)
{
    TAsyncSocket listener;
    std::unique_ptr<TAsyncSocket> server;
    TAsyncSocket client;
    listener.SetAddr("127.0.0.1");
    listener.SetPort("0");
    listener.OnSessionAvailable = [&](TObject*, std::uint16_t) {
        server = std::make_unique<TAsyncSocket>();
        server->Dup(listener.Accept());
    };
    listener.Listen();

    std::vector<char> data(static_cast<std::size_t>(block), 'x');
    std::vector<char> in(1 << 20);
    std::int64_t queued = 0, received = 0;
    bool connected = false, closed = false;
    auto refill = [&] {
        while (queued < total && client.AllSent()) {
            int n = static_cast<int>(std::min<std::int64_t>(total - queued, block));
            client.SendBuffer(data.data(), n);
            queued += n;
        }
    };
    client.OnSessionConnected = [&](TObject*, std::uint16_t e) { connected = e == 0; };
    client.OnDataSent = [&](TObject*, std::uint16_t) {
        if (connected) refill();
    };
    client.SetAddr("127.0.0.1");
    client.SetPort(listener.GetBoundPort());
    client.Connect();
    auto& loop = os::MessageLoop::ForThisThread();
    loop.WaitUntil([&] { return connected && server; }, 10000);
    server->OnDataAvailable = [&](TObject*, std::uint16_t) {
        int n = server->ReadBytes(in.data(), static_cast<int>(in.size()));
        if (n > 0) received += n;
    };
    server->OnSessionClosed = [&](TObject*, std::uint16_t) { closed = true; };
    auto start = Clock::now();
    refill();
    loop.WaitUntil([&] { return received >= total; }, 600000);
    auto end = Clock::now();
    client.CloseSession();
    loop.WaitUntil([&] { return closed; }, 10000);
    if (received != total)
        std::fprintf(stderr, "components moved %lld of %lld bytes\n", (long long)received, (long long)total);
    return Seconds(start, end);
}

} // namespace

int main(int argc, char** argv)
{
    std::int64_t mib = argc > 1 ? std::atoll(argv[1]) : 1024;
    int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    const std::int64_t total = mib * 1024 * 1024;
    const double mb = static_cast<double>(total) / 1e6;
    std::printf("moving %lld MiB over loopback, %d runs each\n", (long long)mib, runs);
    double bestPlain = 1e9, bestComp = 1e9, bestSmall = 1e9;
    for (int r = 0; r < runs; ++r) {
        double p = PlainPair(total);
        double c = ComponentPair(total, 256 * 1024);
        // The same with 64 KiB SendBuffer calls, as the plain pair's blocks.
        double k = ComponentPair(total, 64 * 1024);
        bestPlain = std::min(bestPlain, p);
        bestComp = std::min(bestComp, c);
        bestSmall = std::min(bestSmall, k);
        std::printf("run %d: plain pair %8.1f MB/s   TAsyncSocket pair %8.1f MB/s (256 KiB sends, ratio %.2f)"
                    " %8.1f MB/s (64 KiB sends, ratio %.2f)\n",
                    r + 1, mb / p, mb / c, p / c, mb / k, p / k);
    }
    std::printf("best:  plain pair %8.1f MB/s   TAsyncSocket pair %8.1f MB/s (ratio %.2f) %8.1f MB/s (ratio %.2f)\n",
                mb / bestPlain, mb / bestComp, bestPlain / bestComp, mb / bestSmall, bestPlain / bestSmall);
    return 0;
}
