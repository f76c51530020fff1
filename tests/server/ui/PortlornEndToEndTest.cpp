// The built program, copied with prepared settings into a folder of its own,
// serves real FTP clients (curl and Python's ftplib) and saves its settings
// when it is told to close.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "rtl/IniFile.h"
#include "tests/server/FtpScriptClient.h"
#include "tests/support/TestSupport.h"

namespace {

using testsupport::ChildProcess;
using testsupport::RunCommand;

class PortlornEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The set-up script installs both: a missing one is a failure, not a skip.
        ASSERT_FALSE(testsupport::FindProgram("curl").empty()) << "curl missing";
        ASSERT_EQ(::access("/usr/bin/python3", X_OK), 0) << "/usr/bin/python3 missing";
        port = testsupport::FreeTcpPort();
        program = dir / "Portlorn";
        ASSERT_EQ(RunCommand({"cp", PORTLORN_PROGRAM, program}), 0);
        for (const char* sub : {"home", "home2", "homes"})
            ::mkdir((dir / sub).c_str(), 0755);
        testsupport::WriteFile(dir / "home2/only-in-home2.txt", "2");
        testsupport::WriteFile(dir / "portlorn.ini",
                               "[Window]\nLeft=10\nTop=10\nWidth=400\nHeight=300\nRunMinimized=0\n"
                               "[Data]\nPort=" + std::to_string(port) + "\n"
                               "[UserInfo]\ncount=3\n"
                               "UserName1=bob\nPassWord1=pw\nHomeDir1=" + dir / "home" + "\nAcessRight1=1\n"
                               "UserName2=BOB\nPassWord2=other\nHomeDir2=" + dir / "home2" + "\nAcessRight2=1\n"
                               "UserName3=reader\nPassWord3=r\nHomeDir3=" + dir / "home" + "\nAcessRight3=0\n");
    }

    void WriteSettings(const std::string& port, const std::string& count)
    {
        testsupport::WriteFile(dir / "portlorn.ini", "[Data]\nPort=" + port + "\n[UserInfo]\ncount=" + count +
                                                         "\nUserName1=bob\nPassWord1=pw\nHomeDir1=" + dir / "home" +
                                                         "\nAcessRight1=1\n");
    }

    ChildProcess StartProgram(const std::string& log)
    {
        return ChildProcess({program}, log, {"QT_QPA_PLATFORM=offscreen"}, dir.path());
    }

    std::string Url(const std::string& path) { return "ftp://127.0.0.1:" + std::to_string(port) + "/" + path; }

    testsupport::TempDir dir;
    testsupport::TempDir work;
    std::string program;
    int port = 0;
};

TEST_F(PortlornEndToEnd, ServesCurlAndFtplibAndSavesItsSettingsOnClose)
{
    ChildProcess server = StartProgram(work / "server.log");
    ASSERT_TRUE(server.WaitUntilListening(port)) << testsupport::ReadFile(work / "server.log");

    // A second copy in the same folder ends at once and leaves the first one serving.
    ChildProcess second = StartProgram(work / "second.log");
    EXPECT_EQ(second.wait(std::chrono::seconds(20)), 0);
    EXPECT_TRUE(server.running());

    const std::string data = testsupport::PatternBytes(5 * 1024 * 1024 + 3, 7);
    testsupport::WriteFile(work / "up.bin", data);
    std::string out;
    EXPECT_EQ(RunCommand({"curl", "-sS", "--user", "bob:pw", "-T", work / "up.bin", Url("up.bin")}, &out), 0) << out;
    EXPECT_EQ(testsupport::ReadFile(dir / "home/up.bin"), data);
    EXPECT_EQ(RunCommand({"curl", "-sS", "--user", "bob:pw", "-o", work / "down.bin", Url("up.bin")}, &out), 0)
        << out;
    EXPECT_EQ(testsupport::ReadFile(work / "down.bin"), data);
    EXPECT_EQ(RunCommand({"curl", "-sS", "--user", "bob:pw", "--disable-epsv", Url("")}, &out), 0) << out;
    EXPECT_NE(out.find("up.bin"), std::string::npos) << out;
    // Active mode as well.
    EXPECT_EQ(RunCommand({"curl", "-sS", "--user", "bob:pw", "-P", "127.0.0.1", "-o", work / "active.bin",
                          Url("up.bin")}, &out), 0) << out;
    EXPECT_EQ(testsupport::ReadFile(work / "active.bin"), data);

    EXPECT_EQ(RunCommand({"/usr/bin/python3", FTPLIB_SCRIPT, "127.0.0.1", std::to_string(port), dir.path()}, &out),
              0) << out;

    ::kill(server.pid(), SIGTERM);
    EXPECT_EQ(server.wait(std::chrono::seconds(20)), 0) << testsupport::ReadFile(work / "server.log");

    struct stat st{};
    ASSERT_EQ(::stat((dir / "portlorn.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0077, 0u) << "settings readable by others";
    rtl::TIniFile saved(dir / "portlorn.ini");
    EXPECT_EQ(saved.ReadString("Data", "Port", ""), std::to_string(port));
    EXPECT_EQ(saved.ReadInteger("Window", "Width", 0), 400);
    EXPECT_EQ(saved.ReadInteger("Window", "Height", 0), 300);
    EXPECT_EQ(saved.ReadInteger("Window", "RunMinimized", -1), 0);
    EXPECT_EQ(saved.ReadInteger("UserInfo", "count", 0), 3);
}

TEST_F(PortlornEndToEnd, DataConnectionClosedBeforeRetrNeverEndsTheProgram)
{
    testsupport::WriteFile(dir / "home/big", testsupport::PatternBytes(4 << 20, 9));
    ChildProcess server;
    {
        servertest::DefaultSigpipeForChildren shellLike;
        server = StartProgram(work / "server.log");
    }
    ASSERT_TRUE(server.WaitUntilListening(port)) << testsupport::ReadFile(work / "server.log");
    for (int round = 0; round < 10; ++round) {
        servertest::ScriptClient c(port);
        ASSERT_TRUE(c.Login("bob", "pw")) << "round " << round;
        for (int i = 0; i < 3; ++i)
            EXPECT_NE(servertest::RetrIntoClosedDataConnection(c, "big").code, 0) << "round " << round;
        EXPECT_EQ(c.Cmd("NOOP").code, 200) << "round " << round;
        ASSERT_TRUE(server.running()) << "the program ended in round " << round;
    }
}

TEST_F(PortlornEndToEnd, CopiesInDifferentFoldersRunSideBySide)
{
    testsupport::TempDir otherDir;
    int otherPort = testsupport::FreeTcpPort();
    ASSERT_EQ(RunCommand({"cp", PORTLORN_PROGRAM, otherDir / "Portlorn"}), 0);
    testsupport::WriteFile(otherDir / "portlorn.ini", "[Data]\nPort=" + std::to_string(otherPort) +
                                                          "\n[UserInfo]\ncount=1\nUserName1=a\nPassWord1=b\n"
                                                          "HomeDir1=/tmp\nAcessRight1=0\n");
    ChildProcess first = StartProgram(work / "first.log");
    ChildProcess other({otherDir / "Portlorn"}, work / "other.log", {"QT_QPA_PLATFORM=offscreen"}, otherDir.path());
    EXPECT_TRUE(first.WaitUntilListening(port));
    EXPECT_TRUE(other.WaitUntilListening(otherPort));
    EXPECT_TRUE(first.running());
    EXPECT_TRUE(other.running());
}

TEST_F(PortlornEndToEnd, ADamagedAccountCountStillListensAndServesTheAccountsInTheFile)
{
    for (const char* count : {"2147483647", "100000000000000000000", "-4"}) {
        WriteSettings(std::to_string(port), count);
        ChildProcess server = StartProgram(work / "server.log");
        ASSERT_TRUE(server.WaitUntilListening(port)) << count << testsupport::ReadFile(work / "server.log");
        std::string out;
        EXPECT_EQ(RunCommand({"curl", "-sS", "--user", "bob:pw", Url("")}, &out), 0) << count << out;
        ::kill(server.pid(), SIGTERM);
        EXPECT_EQ(server.wait(std::chrono::seconds(20)), 0) << count;
        // Kept as it was; the accounts read were saved anew.
        EXPECT_NE(testsupport::ReadFile(dir / "portlorn.ini.damaged").find(std::string("count=") + count),
                  std::string::npos);
        rtl::TIniFile saved(dir / "portlorn.ini");
        EXPECT_EQ(saved.ReadInteger("UserInfo", "count", -1), 1) << count;
        ::unlink((dir / "portlorn.ini.damaged").c_str());
    }
}

TEST_F(PortlornEndToEnd, APortOutsideTheRangeStartsNoListenerAnywhere)
{
    // 99999 would be taken as 34463, 0 as a port the system picks.
    for (const char* setting : {"99999", "0"}) {
        WriteSettings(setting, "1");
        ChildProcess server = StartProgram(work / "server.log");
        for (int i = 0; i < 30; ++i) {
            ASSERT_TRUE(server.running()) << setting;
            ASSERT_FALSE(server.ListensAnywhere()) << setting;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        ::kill(server.pid(), SIGTERM);
        EXPECT_EQ(server.wait(std::chrono::seconds(20)), 0) << setting;
    }
}

TEST_F(PortlornEndToEnd, AnUnreadableSettingsFileIsKeptAndTheDefaultsTakeItsPlace)
{
    // Saved by another editor as UTF-16: nothing in it can be read.
    std::string utf16 = "\xff\xfe";
    for (char ch : std::string("[UserInfo]\r\ncount=1\r\nUserName1=carl\r\n")) {
        utf16 += ch;
        utf16 += '\0';
    }
    testsupport::WriteFile(dir / "portlorn.ini", utf16);
    testsupport::WriteFile(dir / "def_portlorn.ini", "[Data]\nPort=" + std::to_string(port) +
                                                         "\n[UserInfo]\ncount=1\nUserName1=bob\nPassWord1=pw\n"
                                                         "HomeDir1=" + dir / "home" + "\nAcessRight1=0\n");
    ChildProcess server = StartProgram(work / "server.log");
    ASSERT_TRUE(server.WaitUntilListening(port)) << testsupport::ReadFile(work / "server.log");
    EXPECT_EQ(testsupport::ReadFile(dir / "portlorn.ini.damaged"), utf16);
    ::kill(server.pid(), SIGTERM);
    EXPECT_EQ(server.wait(std::chrono::seconds(20)), 0);
    EXPECT_EQ(testsupport::ReadFile(dir / "portlorn.ini.damaged"), utf16) << "written over";
    rtl::TIniFile saved(dir / "portlorn.ini");
    EXPECT_EQ(saved.ReadString("UserInfo", "UserName1", ""), "bob");
    EXPECT_TRUE(saved.SectionExists("Window")); // saved at close, beside the kept file
}

TEST_F(PortlornEndToEnd, APipeInPlaceOfTheSettingsFileIsKeptAsideAndTheProgramStarts)
{
    ::unlink((dir / "portlorn.ini").c_str());
    ASSERT_EQ(::mkfifo((dir / "portlorn.ini").c_str(), 0600), 0);
    testsupport::WriteFile(dir / "def_portlorn.ini", "[Data]\nPort=" + std::to_string(port) +
                                                         "\n[UserInfo]\ncount=1\nUserName1=bob\nPassWord1=pw\n"
                                                         "HomeDir1=" + dir / "home" + "\nAcessRight1=0\n");
    ChildProcess server = StartProgram(work / "server.log");
    ASSERT_TRUE(server.WaitUntilListening(port)) << "no start: " << testsupport::ReadFile(work / "server.log");
    struct stat st{};
    ASSERT_EQ(::lstat((dir / "portlorn.ini.damaged").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    std::string out;
    EXPECT_EQ(RunCommand({"curl", "-sS", "--user", "bob:pw", Url("")}, &out), 0) << out;
    ::kill(server.pid(), SIGTERM);
    EXPECT_EQ(server.wait(std::chrono::seconds(20)), 0);
    ASSERT_EQ(::lstat((dir / "portlorn.ini").c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(rtl::TIniFile(dir / "portlorn.ini").ReadString("UserInfo", "UserName1", ""), "bob");
}

TEST_F(PortlornEndToEnd, ALinkInTheHomeLeadsNoUploadOutside)
{
    const std::string outside = dir / "outside";
    ::mkdir(outside.c_str(), 0755);
    // Links whose targets do not exist yet, as curl would meet them.
    ::symlink("../outside/newfile", (dir / "home/dang").c_str());
    ::symlink("../outside/appended", (dir / "home/dang2").c_str());
    testsupport::WriteFile(work / "up.bin", "uploaded");
    ChildProcess server = StartProgram(work / "server.log");
    ASSERT_TRUE(server.WaitUntilListening(port)) << testsupport::ReadFile(work / "server.log");
    std::string out;
    EXPECT_NE(RunCommand({"curl", "-sS", "--user", "bob:pw", "-T", work / "up.bin", Url("dang")}, &out), 0) << out;
    EXPECT_NE(RunCommand({"curl", "-sS", "--user", "bob:pw", "-a", "-T", work / "up.bin", Url("dang2")}, &out), 0)
        << out;

    // A link put in place after STOR was checked, before its data connection came.
    servertest::ScriptClient c(port);
    ASSERT_TRUE(c.Login("bob", "pw"));
    servertest::Reply pasv = c.Cmd("PASV");
    unsigned n[6] = {};
    ASSERT_EQ(std::sscanf(pasv.text().c_str() + pasv.text().find('('), "(%u,%u,%u,%u,%u,%u)", &n[0], &n[1], &n[2],
                          &n[3], &n[4], &n[5]), 6) << pasv.text();
    ASSERT_EQ(c.Cmd("STOR late").code, 150);
    ::symlink("../outside/late", (dir / "home/late").c_str());
    int data = servertest::ConnectTo("127.0.0.1", static_cast<int>(n[4] * 256 + n[5]));
    ASSERT_GE(data, 0);
    servertest::SendAll(data, "uploaded");
    ::shutdown(data, SHUT_WR);
    servertest::ReadToEnd(data);
    ::close(data);
    EXPECT_NE(c.Read().code, 226);
    EXPECT_EQ(c.Cmd("NOOP").code, 200);
    EXPECT_TRUE(std::filesystem::is_empty(outside));
    EXPECT_TRUE(server.running());
}

TEST_F(PortlornEndToEnd, RepliesQuoteNoControlCharacters)
{
    ChildProcess server = StartProgram(work / "server.log");
    ASSERT_TRUE(server.WaitUntilListening(port)) << testsupport::ReadFile(work / "server.log");
    servertest::ScriptClient c(port);
    ASSERT_TRUE(c.Login("bob", "pw"));
    for (const std::string& line : {std::string("REST 12\rX-Injected: 1"), std::string("NOOP \r226 fake"),
                                    std::string("TYPE \x1b\r200 fake"), std::string("DELE x\ry")}) {
        servertest::Reply r = c.Cmd(line);
        ASSERT_EQ(r.lines.size(), 1u) << line;
        EXPECT_EQ(r.text().find_first_of(std::string("\r\x1b\x7f", 3)), std::string::npos) << r.text();
        EXPECT_EQ(c.Cmd("NOOP").text(), "200 Ok. Parameter was ''.") << line;
    }
    EXPECT_EQ(c.Cmd("REST 12\rX").text(), "501 Syntax error in parameter: '12?X' is not a valid integer value.");
}

TEST_F(PortlornEndToEnd, PortToAPrivilegedPortIsRefused)
{
    ChildProcess server = StartProgram(work / "server.log");
    ASSERT_TRUE(server.WaitUntilListening(port)) << testsupport::ReadFile(work / "server.log");
    servertest::ScriptClient c(port);
    ASSERT_TRUE(c.Login("bob", "pw"));
    for (const char* arg : {"127,0,0,1,0,22", "127,0,0,1,3,255", "127,0,0,1,0,21"})
        EXPECT_EQ(c.Cmd(std::string("PORT ") + arg).text(), "501 Invalid PORT command.") << arg;
    // Nothing given: the data port would be the client's port 20.
    EXPECT_EQ(c.Cmd("RETR x").text(), "501 Cannot RETR. No data port: send PORT or PASV first");
    int listenPort = 0;
    int listener = servertest::ListenOn("127.0.0.1", listenPort);
    ASSERT_GE(listener, 0);
    EXPECT_EQ(c.Cmd("PORT 127,0,0,1," + std::to_string(listenPort / 256) + "," + std::to_string(listenPort % 256))
                  .code, 200);
    ::close(listener);
}

TEST_F(PortlornEndToEnd, TheBuildLeavesTheDefaultSettingsBesideTheProgram)
{
    std::string bin = PORTLORN_PROGRAM;
    bin.erase(bin.rfind('/'));
    rtl::TIniFile def(bin + "/def_portlorn.ini");
    std::int64_t defPort = def.ReadInteger("Data", "Port", 0);
    EXPECT_GT(defPort, 1023) << "an ordinary user may not open ports below 1024";
    EXPECT_EQ(def.ReadInteger("UserInfo", "count", 0), 1);
    struct stat st{};
    EXPECT_EQ(::stat((bin + "/" + def.ReadString("UserInfo", "HomeDir1", "")).c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
}

} // namespace
