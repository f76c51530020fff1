// The port and start-up helpers the real peers rely on.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <set>

#include "tests/support/TestSupport.h"

using namespace std::chrono_literals;
using testsupport::ChildProcess;

namespace {

// A program that listens on the port, with SO_REUSEADDR as servers do (python3,
// as the FTP peers need it anyway).
std::string ListenerScript(int port)
{
    return "import socket,time; s=socket.socket(); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1); "
           "s.bind(('127.0.0.1'," + std::to_string(port) + ")); s.listen(); time.sleep(30)";
}

} // namespace

// Something accepting on the port is not our peer listening there: another
// process may have taken the port, and our peer failed to bind it.
TEST(ChildListening, OnlyTheChildsOwnListenerCounts)
{
    int port = testsupport::FreeTcpPort();
    const int foreign = testsupport::ListenTcp("127.0.0.1", port, 4);
    ASSERT_GE(foreign, 0);
    ChildProcess idle({"sleep", "30"});
    EXPECT_TRUE(testsupport::TcpPortAccepts(port));
    EXPECT_FALSE(idle.WaitUntilListening(port, 300ms));
    ::close(foreign);

    ChildProcess own({"/usr/bin/python3", "-c", ListenerScript(port)});
    EXPECT_TRUE(own.WaitUntilListening(port));
    // A listener of a grandchild counts too (servers that fork, wrappers).
    const int other = testsupport::FreeTcpPort();
    ChildProcess wrapped({"/bin/sh", "-c", "/usr/bin/python3 -c \"" + ListenerScript(other) + "\"; true"});
    EXPECT_TRUE(wrapped.WaitUntilListening(other));
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
