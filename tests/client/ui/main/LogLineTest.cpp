#include <gtest/gtest.h>

#include "client/ui/main/LogLine.h"
#include "tests/support/TestSupport.h"

namespace {

TEST(LogLine, PassIsMaskedWhateverTheCaseOfTheCommandWord)
{
    EXPECT_EQ(MaskLogLine("<COMMAND>    PASS secret"), "<COMMAND>    PASS ********");
    EXPECT_EQ(MaskLogLine("<COMMAND>    pass secret"), "<COMMAND>    PASS ********");
    EXPECT_EQ(MaskLogLine("<COMMAND>     PaSs  secret"), "<COMMAND>    PASS ********");
    EXPECT_EQ(MaskLogLine("<COMMAND>    PASS"), "<COMMAND>    PASS ********");
    for (const char* kept : {"<COMMAND>    PASV", "<COMMAND>    USER pass", "             230 pass ok",
                             "<STATUS>     PASS secret"})
        EXPECT_EQ(MaskLogLine(kept), kept);
}

TEST(LogLine, KindsAndColours)
{
    EXPECT_TRUE(IsTraceLine("! trace"));
    EXPECT_FALSE(IsTraceLine("!trace"));
    EXPECT_EQ(LogLineColor("<STATUS>     Connecting to h"), TLogColor::Blue);
    EXPECT_EQ(LogLineColor("             220 ready"), TLogColor::Green);
    EXPECT_EQ(LogLineColor("<COMMAND>    USER u"), TLogColor::Red);
    EXPECT_EQ(LogLineColor("<ERROR>      x"), TLogColor::Red);
    EXPECT_EQ(LogLineColor("Connection Lost"), TLogColor::Red);
}

TEST(LogLine, LogFileGetsATimeLineBeforeEachConnectAndReportsAFailure)
{
    testsupport::TempDir dir;
    TLogFile log;
    const std::string file = dir / "ftp.log";
    EXPECT_TRUE(log.Append(file, "<STATUS>     Connecting to 127.0.0.1", "10/12/26 13:00"));
    EXPECT_TRUE(log.Append(file, "<COMMAND>    USER u", "10/12/26 13:00"));
    EXPECT_EQ(testsupport::ReadFile(file),
              "[Log Time] 10/12/26 13:00\r\n<STATUS>     Connecting to 127.0.0.1\r\n<COMMAND>    USER u\r\n");
    EXPECT_FALSE(log.Failed());
    EXPECT_FALSE(log.Append(dir / "no/such/folder.log", "x", "now"));
    EXPECT_TRUE(log.Failed());
    EXPECT_EQ(log.FailedFileName(), dir / "no/such/folder.log");
}

} // namespace
