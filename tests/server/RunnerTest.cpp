// The one-folder runner as a process of its own, started as from a shell:
// no client can end it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/server/FtpScriptClient.h"
#include "tests/support/TestSupport.h"

using namespace servertest;

namespace {

TEST(Runner, DataConnectionClosedBeforeRetrNeverEndsTheProcess)
{
    testsupport::TempDir dir;
    const std::string root = dir / "root";
    ::mkdir(root.c_str(), 0755);
    testsupport::WriteFile(root + "/big", testsupport::PatternBytes(4 << 20, 9));
    const int port = testsupport::FreeTcpPort();
    testsupport::ChildProcess runner;
    {
        DefaultSigpipeForChildren shellLike;
        runner = testsupport::ChildProcess({PORTLORN_RUNNER, "--root", root, "--port", std::to_string(port)},
                                           dir / "runner.log");
    }
    ASSERT_TRUE(runner.WaitUntilListening(port)) << testsupport::ReadFile(dir / "runner.log");
    for (int round = 0; round < 10; ++round) {
        ScriptClient c(port);
        ASSERT_TRUE(c.Login()) << "round " << round;
        for (int i = 0; i < 3; ++i) EXPECT_NE(RetrIntoClosedDataConnection(c, "big").code, 0) << "round " << round;
        EXPECT_EQ(c.Cmd("NOOP").code, 200) << "round " << round;
        ASSERT_TRUE(runner.running()) << "the runner ended in round " << round;
    }
}

} // namespace
