// The server component over real sockets, driven by a scripted client:
// replies, login, navigation, file commands, transfers and path attacks.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>

#include "net/WsBinding.h"
#include "server/FtpSrv.h"
#include "tests/server/FtpScriptClient.h"
#include "tests/server/LinkSwapper.h"
#include "tests/support/TestSupport.h"

using namespace servertest;
using testsupport::PatternBytes;
using testsupport::ReadFile;
using testsupport::WriteFile;

namespace {

class ServerSession : public ::testing::Test {
protected:
    void SetUp() override
    {
        home = dir / "home";
        ::mkdir(home.c_str(), 0755);
        ::mkdir((home + "/sub").c_str(), 0755);
        WriteFile(home + "/a.txt", "hello");
        server = std::make_unique<ServerThread>(home, setup);
        ASSERT_TRUE(client.Open(server->Port()));
    }
    // Downloads Name over a passive connection; Final gets the closing reply.
    std::string Retr(const std::string& Name, Reply* Final = nullptr)
    {
        int data = client.Pasv();
        if (data < 0) return "<no data connection>";
        Reply r = client.Cmd("RETR " + Name);
        std::string got = r.code == 150 ? ReadToEnd(data) : "";
        ::close(data);
        Reply end = r.code == 150 ? client.Read() : r;
        if (Final) *Final = end;
        return got;
    }
    Reply Stor(const std::string& Verb, const std::string& Name, const std::string& Bytes)
    {
        int data = client.Pasv();
        if (data < 0) return {};
        Reply r = client.Cmd(Verb + " " + Name);
        if (r.code != 150) {
            ::close(data);
            return r;
        }
        SendAll(data, Bytes);
        ::close(data);
        return client.Read();
    }
    std::string List(const std::string& Verb)
    {
        int data = client.Pasv();
        Reply r = client.Cmd(Verb);
        std::string got = r.code == 150 ? ReadToEnd(data) : "";
        ::close(data);
        if (r.code == 150) client.Read();
        return got;
    }

    testsupport::TempDir dir;
    std::string home;
    ServerThread::Setup setup;
    std::unique_ptr<ServerThread> server;
    ScriptClient client;
};

TEST_F(ServerSession, RepliesBeforeAndAfterLogin)
{
    EXPECT_EQ(client.LastBanner(), "220 Portlorn FTP Server ready.");
    struct Step { std::string line, reply; };
    for (const Step& s : std::vector<Step>{
             {"PASS x", "503 Login with USER first."},
             {"SIZE a.txt", "530 Please login with USER and PASS."},
             // File times need a login like the other file commands.
             {"MDTM a.txt", "530 Please login with USER and PASS."},
             {"RETR a.txt", "530 Please login with USER and PASS."},
             {"NOOP", "200 Ok. Parameter was ''."},
             {"  noop  word ", "200 Ok. Parameter was 'word '."},
             {"STRU F", "200 Ok. STRU parameter 'F' ignored."},
             {"USER user", "331 Password required for user."},
             {"PASS wrong", "530 Login incorrect."},
             {"USER  user ", "331 Password required for user."},
             {"PASS pass", "230 User user logged in."},
             {"SYST", "215 UNIX Type: L8 Quenlow"},
             {"TYPE i", "200 Type set to i."},
             {"TYPE E", "500 'TYPE E': command not understood."},
             {"FOO bar", "500 'FOO': command not understood."},
             {"#x y", "500 '#x y': command not understood."},
             {"REST -1", "501 Required byte offset parameter bad or missing."},
             {"REST abc", "501 Syntax error in parameter: 'abc' is not a valid integer value."},
             {"REST 5000000000", "350 REST supported. Ready to resume at byte offset 5000000000."},
             {"SIZE a.txt", "213 5"},
             {"SIZE nothing", "550 Command failed: File not found."},
             {"ABOR", "225 ABOR command successful."},
             {"XPWD", "257 \"" + home + "\" is current directory."},
         }) {
        EXPECT_EQ(client.Cmd(s.line).text(), s.reply) << s.line;
    }
    // Telnet IAC IP inside a line is dropped; IAC IAC reaches the parser as one byte.
    EXPECT_EQ(client.Cmd("NO\xff\xf4OP x").text(), "200 Ok. Parameter was 'x'.");
    EXPECT_EQ(client.Cmd("NOOP \xff\xff").text(), "200 Ok. Parameter was '\xff'.");
    // ABOR as some clients send it: its last byte as urgent data.
    ASSERT_TRUE(client.Send("ABOR\r"));
    ASSERT_EQ(::send(client.fd(), "\n", 1, MSG_OOB), 1);
    EXPECT_EQ(client.Read().text(), "225 ABOR command successful.");
    EXPECT_EQ(client.Cmd("QUIT").text(), "221 Goodbye.");
    EXPECT_EQ(client.Read().code, 0); // closed after the reply
}

TEST_F(ServerSession, NavigationStaysInsideTheHome)
{
    ASSERT_TRUE(client.Login());
    struct Step { std::string line, reply; };
    const std::string h = home + "/";
    for (const Step& s : std::vector<Step>{
             {"CWD sub", "250 CWD command successful. \"" + h + "sub\" is current directory."},
             {"PWD", "257 \"" + h + "sub\" is current directory."},
             {"CDUP", "250 CWD command successful. \"" + home + "\" is current directory."},
             // Above the home: a waypoint where nothing can be named.
             {"CDUP", "250 CWD command successful. \"" + dir.path() + "\" is current directory."},
             {"CWD home2", "501 CWD failed. Cannot accept path outside home directory"},
             {"NLST", "451 Failed: Cannot accept path outside home directory."},
             {"LIST home/..", "451 Failed: Cannot accept path outside home directory."},
             {"MKD x", "550 'Cannot accept path outside home directory': can't create directory."},
             {"SIZE home/a.txt", "213 5"},
             {"CWD home", "250 CWD command successful. \"" + home + "\" is current directory."},
             {"CWD " + h + "sub/..", "250 CWD command successful. \"" + home + "\" is current directory."},
             {"CWD missing", "501 CWD failed. No such directory"},
             {"CWD ../sub", "501 CWD failed. Cannot accept relative path using dot notation"},
             {"CWD /etc", "501 CWD failed. Cannot accept path outside home directory"},
             {"PWD", "257 \"" + home + "\" is current directory."},
         }) {
        EXPECT_EQ(client.Cmd(s.line).text(), s.reply) << s.line;
    }
}

TEST_F(ServerSession, FileCommands)
{
    ASSERT_TRUE(client.Login());
    const std::string h = home + "/";
    struct Step { std::string line, reply; };
    for (const Step& s : std::vector<Step>{
             {"MKD new", "257 '" + h + "new': directory created."},
             {"MKD new", "550 '" + h + "new': can't create directory."},
             {"MKD a.txt", "550 '" + h + "a.txt': file or directory already exists."},
             {"MKD", "501 Syntax error in parameter."},
             {"RMD new", "250 '" + h + "new': directory removed."},
             {"RMD new", "550 '" + h + "new': no such directory."},
             {"RNFR nothing", "550 '" + h + "nothing': no such file or directory."},
             {"RNFR", "501 Syntax error is parameter."},
             {"RNFR a.txt", "350 File exists, ready for destination name."},
             {"RNTO sub/b.txt", "250 File '" + h + "a.txt' renamed to '" + h + "sub/b.txt'."},
             {"RNFR sub/b.txt", "350 File exists, ready for destination name."},
             {"RNTO sub/b.txt", "553 '" + h + "sub/b.txt': file already exists."},
             {"DELE sub/b.txt", "250 File '" + h + "sub/b.txt' deleted."},
             {"DELE sub/b.txt", "550 '" + h + "sub/b.txt': no such file or directory."},
             {"DELE sub", "550 '" + h + "sub': no such file or directory."},
             {"MDTM", "501 Syntax error in MDTM parameter."},
             {"MDTM sub", "550 '" + h + "sub': no such file or directory."},
         }) {
        EXPECT_EQ(client.Cmd(s.line).text(), s.reply) << s.line;
    }
    WriteFile(home + "/t", "x");
    timeval times[2] = {{984579726, 0}, {984579726, 0}};
    ::utimes((home + "/t").c_str(), times);
    EXPECT_EQ(client.Cmd("MDTM t").text(), "213 20010314142206.000");
}

TEST_F(ServerSession, ReadOnlyAccountCannotWrite)
{
    client.Close();
    server.reset();
    setup = [](TPortlorn& s) {
        auto refuse = [](TObject*, TFtpCtrlSocket*, TFtpString&, bool& allowed) { allowed = false; };
        s.OnValidatePut = refuse;
        s.OnValidateDele = refuse;
        s.OnValidateRnFr = refuse;
        s.OnValidateRnTo = refuse;
        s.OnMakeDirectory = [](TObject*, TFtpCtrlSocket*, const TFtpString&, bool& allowed) { allowed = false; };
    };
    server = std::make_unique<ServerThread>(home, setup);
    ASSERT_TRUE(client.Open(server->Port()));
    ASSERT_TRUE(client.Login());
    EXPECT_EQ(Stor("STOR", "n", "x").text(), "501 Permission Denied");
    EXPECT_EQ(Stor("APPE", "a.txt", "x").text(), "500 Cannot APPE.");
    EXPECT_EQ(client.Cmd("DELE a.txt").text(), "500 Cannot DELE.");
    EXPECT_EQ(client.Cmd("RNFR a.txt").text(), "500 Cannot RNFR.");
    EXPECT_EQ(client.Cmd("RNTO x").text(), "500 Cannot RNTO.");
    EXPECT_EQ(client.Cmd("MKD d").text(), "550 '" + home + "/d': can't create directory.");
    // Removing a folder is a write too.
    EXPECT_EQ(client.Cmd("RMD sub").text(), "550 '" + home + "/sub': can't remove directory.");
    EXPECT_TRUE(std::filesystem::exists(home + "/sub"));
    EXPECT_EQ(ReadFile(home + "/a.txt"), "hello");
    EXPECT_EQ(Retr("a.txt"), "hello");
}

TEST_F(ServerSession, TransfersAreByteExactWithRestartAndAppend)
{
    ASSERT_TRUE(client.Login());
    const std::string big = PatternBytes(5'000'000, 7);
    Reply end;
    EXPECT_EQ(Stor("STOR", "big", big).text(), "226 File received ok");
    EXPECT_EQ(ReadFile(home + "/big"), big);
    EXPECT_EQ(Retr("big", &end), big);
    EXPECT_EQ(end.text(), "226 File sent ok");

    // Restarted download and upload: the upload keeps the first n bytes.
    EXPECT_EQ(client.Cmd("REST 1000000").code, 350);
    EXPECT_EQ(Retr("big"), big.substr(1000000));
    WriteFile(home + "/part", big.substr(0, 3000000) + "garbage that must go");
    EXPECT_EQ(client.Cmd("REST 3000000").code, 350);
    EXPECT_EQ(Stor("STOR", "part", big.substr(3000000)).text(), "226 File received ok");
    EXPECT_EQ(ReadFile(home + "/part"), big);

    // APPE answers the offset it appends at.
    int data = client.Pasv();
    EXPECT_EQ(client.Cmd("APPE a.txt").text(), "150 APPE supported.  Ready to append file \"a.txt\" at offset 5.");
    SendAll(data, " world");
    ::close(data);
    EXPECT_EQ(client.Read().text(), "226 File received ok");
    EXPECT_EQ(ReadFile(home + "/a.txt"), "hello world");
    EXPECT_EQ(Stor("APPE", "fresh", "new").code, 226);
    EXPECT_EQ(ReadFile(home + "/fresh"), "new");

    // An upload of no bytes still empties the file.
    EXPECT_EQ(Stor("STOR", "a.txt", "").text(), "226 File received ok");
    EXPECT_EQ(ReadFile(home + "/a.txt"), "");
    // A missing file answers 150 first, then the failure.
    Retr("missing", &end);
    EXPECT_EQ(end.text(), "501 Cannot RETR. No such file or directory");
}

TEST_F(ServerSession, ListingsOverTheDataConnection)
{
    ASSERT_TRUE(client.Login());
    std::string list = List("LIST");
    EXPECT_NE(list.find(" a.txt\r\n"), std::string::npos) << list;
    EXPECT_NE(list.find("drw-rw-rw-   1 ftp      ftp  "), std::string::npos) << list;
    // Options are taken as options, not as names.
    EXPECT_EQ(List("LIST -la"), list);
    EXPECT_EQ(List("NLST"), ".\r\n..\r\na.txt\r\nsub\r\n");
    EXPECT_EQ(List("LIST sub"), "");
    EXPECT_EQ(List("NLST *.txt"), "a.txt\r\n");
}

TEST_F(ServerSession, ActiveModeConnectsBackOnlyToTheClient)
{
    ASSERT_TRUE(client.Login());
    int port = 0;
    int listener = ListenOn("127.0.0.1", port);
    ASSERT_GE(listener, 0);
    const std::string arg = "127,0,0,1," + std::to_string(port / 256) + "," + std::to_string(port % 256);
    struct Step { std::string line, reply; };
    for (const Step& s : std::vector<Step>{
             {"PORT 127,0,0,1,256,1", "501 Invalid PORT command."},
             {"PORT 127,0,0,1,0,0", "501 Invalid PORT command."},
             {"PORT 127,0,0,2,4,1", "501 Invalid PORT command."},
             {"PORT 10,0,0,1,4,1", "501 Invalid PORT command."},
             {"PORT 127,0,0,1,4", "501 Invalid PORT command."},
             {"PORT 127,0,0,1,4,1x", "501 Invalid PORT command."},
             // The client's own address, but a port of the system's services.
             {"PORT 127,0,0,1,0,22", "501 Invalid PORT command."},
             {"PORT 127,0,0,1,0,20", "501 Invalid PORT command."},
             {"PORT 127,0,0,1,3,255", "501 Invalid PORT command."},
             {"PORT 127,0,0,1,4,0", "200 Port command successful."},
             {"PORT 127,0,0,1,4,1", "200 Port command successful."},
         }) {
        EXPECT_EQ(client.Cmd(s.line).text(), s.reply) << s.line;
    }
    ASSERT_EQ(client.Cmd("PORT " + arg).code, 200);
    ASSERT_EQ(client.Cmd("RETR a.txt").code, 150);
    int data = AcceptOne(listener, 10000);
    ASSERT_GE(data, 0);
    EXPECT_EQ(ReadToEnd(data), "hello");
    ::close(data);
    EXPECT_EQ(client.Read().text(), "226 File sent ok");
    // Each transfer needs its PORT: the port left after one is the client's port 20.
    EXPECT_EQ(client.Cmd("RETR a.txt").text(), "501 Cannot RETR. No data port: send PORT or PASV first");
    EXPECT_EQ(client.Cmd("STOR up").text(), "501 Cannot STOR. No data port: send PORT or PASV first");
    EXPECT_EQ(client.Cmd("LIST").text(), "451 Failed: No data port: send PORT or PASV first.");
    EXPECT_EQ(AcceptOne(listener, 200), -1);

    ASSERT_EQ(client.Cmd("PORT " + arg).code, 200);
    ASSERT_EQ(client.Cmd("STOR up").code, 150);
    data = AcceptOne(listener, 10000);
    ASSERT_GE(data, 0);
    SendAll(data, "uploaded");
    ::close(data);
    EXPECT_EQ(client.Read().text(), "226 File received ok");
    EXPECT_EQ(ReadFile(home + "/up"), "uploaded");
    ::close(listener);

    // A refused connection is a failure, never "226".
    ASSERT_EQ(client.Cmd("PORT " + arg).code, 200);
    EXPECT_EQ(client.Cmd("RETR a.txt").code, 150);
    EXPECT_EQ(client.Read().text(), "501 Cannot RETR. Error #10061");
    ASSERT_EQ(client.Cmd("PORT " + arg).code, 200);
    EXPECT_EQ(client.Cmd("STOR up").code, 150);
    EXPECT_EQ(client.Read().text(), "426 Connection closed; transfer aborted. Error #10061");
    EXPECT_EQ(ReadFile(home + "/up"), "uploaded");
}

TEST_F(ServerSession, PassiveListenerTakesOnlyTheClient)
{
    ASSERT_TRUE(client.Login());
    Reply r = client.Cmd("PASV");
    ASSERT_EQ(r.code, 227);
    unsigned h1, h2, h3, h4, p1, p2;
    ASSERT_EQ(std::sscanf(r.text().c_str() + r.text().find('('), "(%u,%u,%u,%u,%u,%u)", &h1, &h2, &h3, &h4, &p1, &p2), 6);
    // A connection from another address (127.0.0.2 is loopback too) is
    // closed at once; the client's own one still gets the file.
    int thief = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in from {};
    from.sin_family = AF_INET;
    ::inet_pton(AF_INET, "127.0.0.2", &from.sin_addr);
    ASSERT_EQ(::bind(thief, reinterpret_cast<sockaddr*>(&from), sizeof from), 0);
    sockaddr_in to {};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<std::uint16_t>(p1 * 256 + p2));
    ::inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
    ASSERT_EQ(::connect(thief, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
    EXPECT_EQ(ReadToEnd(thief, 5000), "");
    ::close(thief);
    int data = ConnectTo("127.0.0.1", static_cast<int>(p1 * 256 + p2));
    ASSERT_GE(data, 0);
    ASSERT_EQ(client.Cmd("RETR a.txt").code, 150);
    EXPECT_EQ(ReadToEnd(data), "hello");
    ::close(data);
    EXPECT_EQ(client.Read().text(), "226 File sent ok");
}

TEST_F(ServerSession, CommandsSentWithPasvAreAnsweredAfterItsReplyInOrder)
{
    // The 227 is held back a moment; what came with it waits its turn.
    ASSERT_TRUE(client.Login());
    ASSERT_TRUE(client.Send("PASV\r\nNOOP\r\nPASV\r\nPWD\r\nSYST\r\n"));
    for (int code : {227, 200, 227, 257, 215})
        EXPECT_EQ(client.Read().code, code);
    // The last PASV stands: its listener takes the transfer.
    ASSERT_TRUE(client.Send("PASV\r\nRETR a.txt\r\n"));
    Reply r = client.Read();
    ASSERT_EQ(r.code, 227);
    unsigned h1, h2, h3, h4, p1, p2;
    ASSERT_EQ(std::sscanf(r.text().c_str() + r.text().find('('), "(%u,%u,%u,%u,%u,%u)", &h1, &h2, &h3, &h4, &p1, &p2), 6);
    int data = ConnectTo("127.0.0.1", static_cast<int>(p1 * 256 + p2));
    ASSERT_GE(data, 0);
    EXPECT_EQ(client.Read().code, 150);
    EXPECT_EQ(ReadToEnd(data), "hello");
    ::close(data);
    EXPECT_EQ(client.Read().text(), "226 File sent ok");
}

TEST_F(ServerSession, PathAttacksAreRefusedAndTouchNothingOutside)
{
    // Outside the home: a file, a folder whose name extends the home's, and
    // links from inside the home pointing out.
    WriteFile(dir / "secret", "outside");
    ::mkdir((dir / "home2").c_str(), 0755);
    WriteFile(dir / "home2/f", "other home");
    ::symlink((dir / "secret").c_str(), (home + "/link").c_str());
    ::symlink(dir.path().c_str(), (home + "/linkdir").c_str());
    ASSERT_TRUE(client.Login());

    const std::vector<std::string> attacks = {
        "..", "../..", "../secret", "../../etc/passwd", "/etc/passwd", "//etc", "a/../../x", "..\\secret",
        "sub\\..\\..\\secret", "../home2/f", dir / "home2/f", dir / "home2", dir / "secret", "link",
        "linkdir/secret", "linkdir", std::string(200, 'a') + "/../../secret", "../" + std::string(230, 'x'),
        "sub/" + std::string(300, 'y'),
    };
    // Every command that names a path, with the replies that refuse it (500:
    // a line too long to act on).
    struct Cmd { std::string verb; std::vector<int> refusals; };
    const std::vector<Cmd> commands = {
        {"RETR", {501}}, {"SIZE", {550}}, {"MDTM", {550}}, {"DELE", {501}}, {"RNFR", {501}},
        {"CWD", {501}}, {"MKD", {550}}, {"RMD", {501}}, {"LIST", {451}}, {"NLST", {451}},
        {"STOR", {501}}, {"APPE", {550}}, {"RNTO", {501}},
    };
    ASSERT_EQ(client.Cmd("RNFR a.txt").code, 350);
    for (const auto& c : commands) {
        for (const auto& a : attacks) {
            Reply r = client.Cmd(c.verb + " " + a);
            if (c.verb == "CWD" && r.code == 250) {
                // Only a waypoint above the home may be entered.
                std::string shown = r.text().substr(r.text().find('"') + 1);
                shown = shown.substr(0, shown.find('"'));
                EXPECT_TRUE(home.rfind(shown, 0) == 0) << a << " -> " << r.text();
                ASSERT_EQ(client.Cmd("CWD " + home).code, 250);
                continue;
            }
            bool refused = r.code == 500 ||
                           std::find(c.refusals.begin(), c.refusals.end(), r.code) != c.refusals.end();
            EXPECT_TRUE(refused) << c.verb << " " << a << " -> " << r.text();
        }
    }
    // "%2e%2e" is a name like any other: never decoded to "..".
    EXPECT_EQ(client.Cmd("MKD %2e%2e").code, 257);
    EXPECT_EQ(client.Cmd("CWD %2e%2e").text(),
              "250 CWD command successful. \"" + home + "/%2e%2e\" is current directory.");
    EXPECT_EQ(client.Cmd("CDUP").code, 250);
    EXPECT_EQ(ReadFile(dir / "secret"), "outside");
    EXPECT_EQ(ReadFile(dir / "home2/f"), "other home");
    EXPECT_TRUE(std::filesystem::exists(home + "/a.txt"));
    EXPECT_EQ(client.Cmd("PWD").text(), "257 \"" + home + "\" is current directory.");
    // Nothing new appeared next to the home.
    std::vector<std::string> names;
    for (auto& e : std::filesystem::directory_iterator(dir.path())) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"home", "home2", "secret"}));
}

// PASV without connecting: the port its reply names, -1 when none.
int PassivePort(ScriptClient& c)
{
    Reply r = c.Cmd("PASV");
    unsigned n[6] = {};
    std::size_t open = r.text().find('(');
    if (r.code != 227 || open == std::string::npos ||
        std::sscanf(r.text().c_str() + open, "(%u,%u,%u,%u,%u,%u)", &n[0], &n[1], &n[2], &n[3], &n[4], &n[5]) != 6)
        return -1;
    return static_cast<int>(n[4] * 256 + n[5]);
}

std::vector<std::string> NamesIn(const std::string& Folder)
{
    std::vector<std::string> names;
    for (auto& e : std::filesystem::directory_iterator(Folder)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(ServerSession, DanglingLinksInTheHomeCreateNothingOutside)
{
    const std::string outside = dir / "outside";
    ::mkdir(outside.c_str(), 0755);
    // Their targets do not exist: the system would create them on open.
    ::symlink("../outside/newfile", (home + "/dang").c_str());
    ::symlink("../outside/appended", (home + "/dang2").c_str());
    ::symlink((outside + "/absolute").c_str(), (home + "/dang3").c_str());
    ::symlink("dang", (home + "/chain").c_str());
    ::symlink("../outside/newdir", (home + "/dangdir").c_str());
    ::symlink("../../outside/deep", (home + "/sub/dang").c_str());
    // One that stays inside may be used.
    ::symlink("sub/created", (home + "/dangin").c_str());
    ASSERT_TRUE(client.Login());

    struct Case { std::string verb, name; int code; };
    for (const Case& c : std::vector<Case>{
             {"STOR", "dang", 501}, {"APPE", "dang2", 550}, {"STOR", "dang3", 501}, {"APPE", "dang3", 550},
             {"STOR", "chain", 501}, {"STOR", "sub/../dang", 501}, {"STOR", "sub/dang", 501},
             {"STOR", home + "/dang2", 501},
         }) {
        Reply r = Stor(c.verb, c.name, "uploaded");
        EXPECT_EQ(r.code, c.code) << c.verb << " " << c.name << " -> " << r.text();
    }
    EXPECT_EQ(client.Cmd("MKD dangdir").code, 550);
    EXPECT_EQ(client.Cmd("MKD dangdir/x").code, 550);
    ASSERT_EQ(client.Cmd("RNFR a.txt").code, 350);
    EXPECT_NE(client.Cmd("RNTO dang").code, 250);
    EXPECT_NE(client.Cmd("RNTO dangdir/x").code, 250);
    Reply end;
    EXPECT_EQ(Retr("dang", &end), "");
    EXPECT_EQ(end.code, 501) << end.text();

    EXPECT_EQ(Stor("STOR", "dangin", "inside").text(), "226 File received ok");
    EXPECT_EQ(ReadFile(home + "/sub/created"), "inside");
    EXPECT_EQ(ReadFile(home + "/a.txt"), "hello");
    EXPECT_EQ(NamesIn(outside), std::vector<std::string>{});
    EXPECT_EQ(NamesIn(dir.path()), (std::vector<std::string>{"home", "outside"}));
}

TEST_F(ServerSession, ALinkPutInPlaceAfterTheCheckIsNotFollowed)
{
    // The file is opened when the data connection comes, some time after
    // the command was checked: a link may have taken the name by then, or
    // the place of a folder on the way.
    const std::string outside = dir / "outside";
    ::mkdir(outside.c_str(), 0755);
    WriteFile(dir / "secret", "outside");
    WriteFile(home + "/sub/kept", "k");
    WriteFile(home + "/old.txt", "old");
    ASSERT_TRUE(client.Login());
    struct Case {
        std::string command;
        std::function<void()> swap;
    };
    auto link = [](const std::string& target, const std::string& name) {
        return [=] { ::symlink(target.c_str(), name.c_str()); };
    };
    auto replace = [](const std::string& target, const std::string& name) {
        return [=] {
            std::filesystem::rename(name, name + ".moved");
            ::symlink(target.c_str(), name.c_str());
        };
    };
    for (const Case& c : std::vector<Case>{
             {"STOR late", link("../outside/late", home + "/late")},
             {"APPE late2", link(outside + "/late2", home + "/late2")},
             {"STOR old.txt", replace("../outside/old", home + "/old.txt")},
             {"STOR sub/f", replace(outside, home + "/sub")},
             {"RETR a.txt", replace(dir / "secret", home + "/a.txt")},
         }) {
        int port = PassivePort(client);
        ASSERT_GT(port, 0);
        Reply r = client.Cmd(c.command);
        ASSERT_EQ(r.code, 150) << c.command << " -> " << r.text();
        c.swap();
        int data = ConnectTo("127.0.0.1", port);
        ASSERT_GE(data, 0) << c.command;
        std::string got;
        if (c.command.rfind("RETR", 0) == 0) {
            got = ReadToEnd(data);
        } else {
            SendAll(data, "uploaded");
            ::shutdown(data, SHUT_WR);
            ReadToEnd(data);
        }
        ::close(data);
        Reply end = client.Read();
        EXPECT_NE(end.code, 226) << c.command << " -> " << end.text();
        EXPECT_EQ(got, "") << c.command;
        // The folder swapped back, so the next case starts from a clean home.
        if (std::filesystem::exists(home + "/sub.moved")) {
            ::unlink((home + "/sub").c_str());
            std::filesystem::rename(home + "/sub.moved", home + "/sub");
        }
    }
    EXPECT_EQ(NamesIn(outside), std::vector<std::string>{});
    EXPECT_EQ(ReadFile(dir / "secret"), "outside");
    EXPECT_EQ(ReadFile(home + "/old.txt.moved"), "old");
}

TEST_F(ServerSession, APathThatCannotBeResolvedIsRefusedBeforeAnyTransferStarts)
{
    // A loop of links, and a step below a file: nothing can be made or read
    // there, so no command may answer "150" and fail only afterwards.
    ::symlink("loop2", (home + "/loop1").c_str());
    ::symlink("loop1", (home + "/loop2").c_str());
    const std::string loop = std::strerror(ELOOP), notDir = std::strerror(ENOTDIR);
    ASSERT_TRUE(client.Login());
    ASSERT_EQ(client.Cmd("RNFR a.txt").code, 350);
    struct Case { std::string line, reply; };
    for (const Case& c : std::vector<Case>{
             {"STOR loop1/zz.txt", "501 Cannot STOR. " + loop},
             {"STOR a.txt/zz.txt", "501 Cannot STOR. " + notDir},
             {"APPE loop1/zz.txt", "550 APPE failed."},
             {"RETR loop1", "501 Cannot RETR. " + loop},
             {"RETR a.txt/x", "501 Cannot RETR. " + notDir},
             {"LIST loop1", "451 Failed: " + loop + "."},
             {"NLST loop2/x", "451 Failed: " + loop + "."},
             {"SIZE loop1", "550 Command failed: " + loop + "."},
             {"MDTM loop1", "550 Command failed: " + loop + "."},
             {"MKD loop1/d", "550 '" + loop + "': can't create directory."},
             {"CWD loop1", "501 CWD failed. " + loop},
             {"DELE loop1/zz.txt", "501 " + loop},
             {"RNTO loop1/zz.txt", "501 " + loop},
         }) {
        int data = client.Pasv();
        ASSERT_GE(data, 0) << c.line;
        Reply r = client.Cmd(c.line);
        EXPECT_EQ(r.text(), c.reply) << c.line;
        ::close(data);
        if (r.code == 150) client.Read(); // the failure that followed
    }
    // The loop itself is still shown in its folder, as a link.
    std::string list = List("LIST");
    EXPECT_NE(list.find(" loop1\r\n"), std::string::npos) << list;
    EXPECT_EQ(client.Cmd("NOOP").code, 200);
}

TEST_F(ServerSession, ALinkSwappedInATightLoopNeverShowsWhatLiesOutside)
{
    OutsideBait outside(dir.path());
    WriteFile(home + "/sub/inside-name", "y");
    ::symlink("sub", (home + "/swap").c_str());
    ::symlink("a.txt", (home + "/fswap").c_str());
    ASSERT_TRUE(client.Login());
    int listenPort = 0;
    int listener = ListenOn("127.0.0.1", listenPort);
    ASSERT_GE(listener, 0);
    const std::string port =
        "PORT 127,0,0,1," + std::to_string(listenPort / 256) + "," + std::to_string(listenPort % 256);
    // One command's whole answer: its replies and, for listings, the data.
    auto ask = [&](const std::string& line) {
        const bool listing = line.rfind("LIST", 0) == 0 || line.rfind("NLST", 0) == 0;
        if (listing && client.Cmd(port).code != 200) return std::string("PORT failed");
        Reply r = client.Cmd(line);
        std::string answer = r.text();
        if (listing && r.code == 150) {
            int data = AcceptOne(listener, 10000);
            answer += "\n" + (data >= 0 ? ReadToEnd(data) : std::string("no data connection"));
            if (data >= 0) ::close(data);
            answer += "\n" + client.Read().text();
        }
        return answer;
    };
    LinkSwapper swapper({{home + "/swap", "sub", outside.Folder}, {home + "/fswap", "a.txt", outside.File}});
    // The folder's own listing shows the links too.
    for (const std::string line : {"LIST swap", "NLST swap", "SIZE fswap", "MDTM fswap", "LIST"}) {
        // Bounded in count and in time; a busy machine gets fewer tries.
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        int tries = 0;
        std::string leaked;
        for (; tries < 3000 && std::chrono::steady_clock::now() < end && leaked.empty(); ++tries) {
            const std::string answer = ask(line);
            ASSERT_NE(answer.find_first_of("0123456789"), std::string::npos) << line << ": no reply";
            for (const std::string& mark : OutsideBait::Marks())
                if (answer.find(mark) != std::string::npos) leaked = answer;
        }
        EXPECT_EQ(leaked, "") << line << " showed what lies outside, after " << tries << " tries";
    }
    EXPECT_GT(swapper.Swaps(), 0);
    ::close(listener);
}

TEST_F(ServerSession, RepliesQuoteNoControlCharacters)
{
    // Each line holds a bare CR (and other control bytes) inside its
    // parameter; the reply must stay one line, and the next reply must be
    // the NOOP's: nothing of the parameter may read as a reply of its own.
    ASSERT_TRUE(client.Login());
    EXPECT_EQ(client.Cmd("REST 12\rX").text(), "501 Syntax error in parameter: '12?X' is not a valid integer value.");
    ASSERT_EQ(client.Cmd("MKD d\rX-Injected: 1").code, 257);
    for (const std::string& line : {
             std::string("REST 12\rX-Injected: 1"), std::string("NOOP a\rX-Injected: 1"),
             std::string("STRU F\r200 fake"), std::string("TYPE I\r\x1b[2J"), std::string("\x01\r200 fake"),
             std::string("DELE no\rX-Injected: 1"), std::string("RNFR no\rX-Injected: 1"),
             std::string("MDTM no\rX-Injected: 1"), std::string("RMD no\rX-Injected: 1"),
             std::string("MKD d\rX-Injected: 1"), std::string("CWD d\rX-Injected: 1"), std::string("PWD"),
             std::string("CDUP"), std::string("RETR no\rX-Injected: 1"), std::string("STOR \x7f\r1"),
             std::string("APPE sub/\x02\r1"), std::string("USER u\rX-Injected: 1"),
         }) {
        // The transfers wait for a passive connection that never comes.
        const bool transfer = line.rfind("RETR", 0) == 0 || line.rfind("STOR", 0) == 0 || line.rfind("APPE", 0) == 0;
        if (transfer) {
            ASSERT_GT(PassivePort(client), 0);
        }
        Reply r = client.Cmd(line);
        ASSERT_EQ(r.lines.size(), 1u) << line;
        for (char ch : r.text())
            EXPECT_FALSE(static_cast<unsigned char>(ch) < 0x20 || ch == 0x7f) << line << " -> " << r.text();
        if (transfer) {
            EXPECT_EQ(r.code, 150) << line;
            // ABOR ends it: its final reply, then the 225.
            EXPECT_NE(client.Cmd("ABOR").code, 0);
            EXPECT_EQ(client.Read().code, 225) << line;
        }
        EXPECT_EQ(client.Cmd("NOOP").text(), "200 Ok. Parameter was ''.") << line;
    }
}

TEST_F(ServerSession, RepliesLeaveWithoutWaitingForTheClientsAck)
{
    ASSERT_TRUE(client.Login());
    int noDelay = 0;
    server->Run([&](TPortlorn& s) {
        int len = sizeof noDelay;
        WsGetsockopt(s.Client(0)->HSocket(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<char*>(&noDelay), &len);
    });
    EXPECT_NE(noDelay, 0);
}

TEST_F(ServerSession, MaxClientsRefusesTheNextOne)
{
    client.Close();
    server.reset();
    std::atomic<int> connects {0}, disconnects {0};
    setup = [&](TPortlorn& s) {
        s.SetMaxClients(2);
        s.OnClientConnect = [&](TObject*, TFtpCtrlSocket*, std::uint16_t) { ++connects; };
        s.OnClientDisconnect = [&](TObject*, TFtpCtrlSocket*, std::uint16_t) { ++disconnects; };
    };
    server = std::make_unique<ServerThread>(home, setup);
    ScriptClient a(server->Port()), b(server->Port()), c(server->Port());
    EXPECT_EQ(a.LastBanner(), "220 Portlorn FTP Server ready.");
    EXPECT_EQ(b.LastBanner(), "220 Portlorn FTP Server ready.");
    EXPECT_EQ(c.LastBanner(), "421 Too many users connected.");
    EXPECT_EQ(c.Read().code, 0);
    EXPECT_TRUE(a.Login());
    EXPECT_EQ(server->ClientCount(), 2);
    EXPECT_EQ(connects.load(), 3);
    EXPECT_EQ(disconnects.load(), 1);
}

} // namespace
