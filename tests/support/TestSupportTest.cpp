// The port and start-up helpers the real peers rely on.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <set>
#include <string>
#include <thread>

#include "tests/support/TestSupport.h"

using namespace std::chrono_literals;
using testsupport::ChildProcess;

namespace {

// A program that listens on a port the kernel picks (so no other process can
// hold it) and tells the port on its output.
const char* listenerScript = "import socket,sys,time; s=socket.socket(); s.bind(('127.0.0.1',0)); s.listen(); "
                             "print(s.getsockname()[1], flush=True); time.sleep(30)";

// The port a listener started with its output in log told.
int ToldPort(const std::string& log)
{
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < end) {
        const std::string text = testsupport::ReadFile(log);
        if (text.find('\n') != std::string::npos) return std::stoi(text);
        std::this_thread::sleep_for(20ms);
    }
    return 0;
}

} // namespace

// Something accepting on the port is not our peer listening there: another
// process may have taken the port, and our peer failed to bind it.
TEST(ChildListening, OnlyTheChildsOwnListenerCounts)
{
    int port = 0;
    const int foreign = testsupport::ListenTcp("127.0.0.1", port, 4);
    ASSERT_GE(foreign, 0);
    ChildProcess idle({"sleep", "30"});
    EXPECT_TRUE(testsupport::TcpPortAccepts(port));
    EXPECT_FALSE(idle.WaitUntilListening(port, 300ms));
    ::close(foreign);

    testsupport::TempDir dir;
    ChildProcess own({"/usr/bin/python3", "-c", listenerScript}, dir / "own");
    const int ownPort = ToldPort(dir / "own");
    ASSERT_NE(ownPort, 0) << testsupport::ReadFile(dir / "own");
    EXPECT_TRUE(own.WaitUntilListening(ownPort));
    // A listener of a grandchild counts too (servers that fork, wrappers).
    ChildProcess wrapped({"/bin/sh", "-c", std::string("/usr/bin/python3 -c \"") + listenerScript + "\"; true"},
                         dir / "wrapped");
    const int wrappedPort = ToldPort(dir / "wrapped");
    ASSERT_NE(wrappedPort, 0) << testsupport::ReadFile(dir / "wrapped");
    EXPECT_TRUE(wrapped.WaitUntilListening(wrappedPort));
}

TEST(ChildListening, AChildThatEndsIsNotWaitedFor)
{
    ChildProcess gone({"true"});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(gone.WaitUntilListening(testsupport::FreeTcpPort(), 10s));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}

// A process that starts peers by the thousand (a repeated test) does not
// run out of ports, and a recent port is not handed out again.
TEST(FreePorts, ManyRangesInOneProcess)
{
    std::set<int> recent;
    for (int i = 0; i < 3000; ++i) {
        const int first = testsupport::FreeTcpPortRange(20);
        if (i >= 2900) {
            for (int p = first; p < first + 20; ++p) EXPECT_TRUE(recent.insert(p).second) << p;
        }
    }
}
