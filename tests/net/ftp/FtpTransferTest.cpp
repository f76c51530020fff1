// The data side: passive and active transfers, restart positions, the
// write-behind buffer, and the faults of a server that drops, stalls or
// answers out of order.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <future>
#include <thread>

#include "tests/net/ftp/FakeFtpServer.h"
#include "tests/net/ftp/FtpTestClient.h"
#include "tests/support/TestSupport.h"

using namespace fakeftp;
using testsupport::PatternBytes;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

// A memory stream that remembers the size of every write.
class RecordingStream : public TFtpMemoryStream {
public:
    bool Write(const void* Buffer, std::int64_t Count) override
    {
        writes.push_back(Count);
        return TFtpMemoryStream::Write(Buffer, Count);
    }
    std::vector<std::int64_t> writes;
};

TEST(FtpTransfer, FinalReplyBeforeOrAfterTheDataClose)
{
    const std::string data = PatternBytes(300000, 7);
    for (bool replyFirst : {true, false}) {
        SCOPED_TRACE(replyFirst ? "226 first" : "close first");
        FakeFtpServer server({Welcome(), Login(), [&](Session& s) {
                                  s.Expect("PASV");
                                  s.PassiveReply();
                                  s.Expect("RETR f");
                                  s.Reply("150 here it comes");
                                  s.OpenData();
                                  s.DataSend(data);
                                  if (replyFirst) {
                                      s.Reply("226 done");
                                      s.Sleep(200);
                                      s.CloseData();
                                  } else {
                                      s.CloseData();
                                      s.Sleep(200);
                                      s.Reply("226 done");
                                  }
                              }});
        TempDir dir;
        FtpTestClient client(server.Port());
        ASSERT_TRUE(client.Block(&TCustomFtpCli::ChainLogin));
        client.ftp.SetHostFileName("f");
        client.ftp.SetLocalFileName(dir / "f");
        ASSERT_TRUE(client.Block(&TCustomFtpCli::ChainDownload)) << client.ftp.ErrorMessage();
        EXPECT_EQ(ReadFile(dir / "f"), data);
        ASSERT_TRUE(client.WaitDone(2));
        EXPECT_EQ(client.done[1], std::make_pair(rqRetrieve, 0));
        EXPECT_FALSE(client.doneInsideCall);
        server.Join();
        EXPECT_TRUE(server.Errors().empty());
    }
}

TEST(FtpTransfer, ActiveModeListAndStore)
{
    const std::string listing = "-rw-r--r-- 1 u g 5 Jan 1 2020 a\r\n";
    const std::string upload = PatternBytes(200001, 3);
    FakeFtpServer server({Welcome(), Login(),
                          [&](Session& s) {
                              const std::string port = s.Expect("PORT 127,0,0,1,");
                              s.ActiveFromPort(port);
                              s.Reply("200 PORT ok");
                              s.Expect("LIST");
                              s.Reply("150 listing");
                              s.OpenData();
                              s.DataSend(listing);
                              s.CloseData();
                              s.Reply("226 done");
                          },
                          [&](Session& s) {
                              s.ActiveFromPort(s.Expect("PORT 127,0,0,1,"));
                              s.Reply("200 PORT ok");
                              s.Expect("STOR up");
                              s.Reply("150 send it");
                              s.OpenData();
                              s.DataReceiveAll();
                              s.Reply("226 stored");
                          }});
    TempDir dir;
    FtpTestClient client(server.Port(), false);
    ASSERT_TRUE(client.Block(&TCustomFtpCli::ChainLogin));
    TFtpMemoryStream list;
    client.ftp.AttachStream(&list);
    ASSERT_TRUE(client.Block(&TCustomFtpCli::ChainList)) << client.ftp.ErrorMessage();
    EXPECT_EQ(list.DataString(), listing);
    WriteFile(dir / "up", upload);
    client.ftp.SetLocalFileName(dir / "up");
    client.ftp.SetHostFileName("up");
    ASSERT_TRUE(client.Block(&TCustomFtpCli::ChainUpload)) << client.ftp.ErrorMessage();
    server.Join();
    EXPECT_TRUE(server.Errors().empty());
    EXPECT_EQ(server.Received(), upload);
}

TEST(FtpTransfer, SlowTrickleLongerThanTimeoutStillCompletes)
{
    const std::string data = PatternBytes(4000, 9);
    FakeFtpServer server({Welcome(), Login(), [&](Session& s) {
                              s.Expect("PASV");
                              s.PassiveReply();
                              s.Expect("RETR slow");
                              s.Reply("150 slowly");
                              s.OpenData();
                              for (std::size_t at = 0; at < data.size(); at += 500) {
                                  s.DataSend(data.substr(at, 500));
                                  s.Sleep(350);
                              }
                              s.CloseData();
                              s.Reply("226 done");
                          }});
    TempDir dir;
    FtpTestClient client(server.Port());
    client.ftp.SetTimeout(1);
    ASSERT_TRUE(client.Block(&TCustomFtpCli::ChainLogin));
    client.ftp.SetHostFileName("slow");
    client.ftp.SetLocalFileName(dir / "slow");
    ASSERT_TRUE(client.Block(&TCustomFtpCli::ChainDownload)) << client.ftp.ErrorMessage();
    EXPECT_EQ(ReadFile(dir / "slow"), data);
    server.Join();
}

TEST(FtpTransfer, ControlDroppedMidRetrKeepsExactlyTheBytesReceived)
{
    const std::string part = PatternBytes(200000, 4);
    FakeFtpServer server({Welcome(), Login(), [&](Session& s) {
                              s.Expect("PASV");
                              s.PassiveReply();
                              s.Expect("RETR big");
                              s.Reply("150 big one");
                              s.OpenData();
                              s.DataSend(part);
                              s.Sleep(300);
                              s.CloseControl();
                              s.Sleep(300);
                          }});
    TempDir dir;
    FtpTestClient client(server.Port());
    ASSERT_TRUE(client.Block(&TCustomFtpCli::ChainLogin));
    client.ftp.SetHostFileName("big");
    client.ftp.SetLocalFileName(dir / "big");
    EXPECT_FALSE(client.Block(&TCustomFtpCli::ChainDownload));
    ASSERT_TRUE(client.WaitDone(2));
    EXPECT_EQ(client.done[1], std::make_pair(rqRetrieve, 426));
    EXPECT_EQ(ReadFile(dir / "big"), part);
    server.Join();
}

TEST(FtpTransfer, ControlDroppedMidStorIsAnError)
{
    FakeFtpServer server({Welcome(), Login(), [&](Session& s) {
                              s.BeginPassiveUpload("STOR big");
                              s.Sleep(100);
                              s.CloseControl();
                              s.DataReceiveAll();
                          }});
    TempDir dir;
    WriteFile(dir / "big", PatternBytes(3 * 1048576 + 17, 5));
    FtpTestClient client(server.Port());
    ASSERT_TRUE(client.Block(&TCustomFtpCli::ChainLogin));
    client.ftp.SetHostFileName("big");
    client.ftp.SetLocalFileName(dir / "big");
    EXPECT_FALSE(client.Block(&TCustomFtpCli::ChainUpload));
    ASSERT_TRUE(client.WaitDone(2));
    EXPECT_EQ(client.done[1], std::make_pair(rqStore, 426));
    server.Join();
}

struct RestCase {
    const char* reply;
    bool ok;
    int error;
    bool retrSent;
    std::int64_t writtenAt; // where the data lands in the local file
};

TEST(FtpTransfer, RestartOffsetUsedOnlyAfter350)
{
    const RestCase cases[] = {
        {"350 restarting at 1000", true, 0, true, 1000},
        {"500 REST not understood", false, 500, false, -1},
        {"200 whatever", true, 0, true, 0},
    };
    const std::string old = PatternBytes(5000, 1);
    const std::string fresh = PatternBytes(1500, 2);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply);
        FakeFtpServer server({Welcome(), Login(), [&](Session& s) {
                                  s.Expect("PASV");
                                  s.PassiveReply();
                                  s.Expect("REST 1000");
                                  s.Reply(c.reply);
                                  if (!c.retrSent) return;
                                  s.Expect("RETR r");
                                  s.Reply("150 go");
                                  s.OpenData();
                                  s.DataSend(fresh);
                                  s.CloseData();
                                  s.Reply("226 done");
                              }});
        TempDir dir;
        WriteFile(dir / "r", old);
        FtpTestClient client(server.Port());
        ASSERT_TRUE(client.Block(&TCustomFtpCli::ChainLogin));
        client.ftp.SetHostFileName("r");
        client.ftp.SetLocalFileName(dir / "r");
        client.ftp.SetResumePosition(1000);
        std::int64_t firstCount = -1;
        client.ftp.OnProgress = [&](TObject*, std::int64_t count, bool&) {
            if (firstCount < 0) firstCount = count;
        };
        EXPECT_EQ(client.Block(&TCustomFtpCli::ChainResumeDownload), c.ok);
        ASSERT_TRUE(client.WaitDone(2));
        EXPECT_EQ(client.done[1], std::make_pair(rqResumeDownload, c.error));
        std::string expected = old;
        if (c.writtenAt >= 0) {
            expected.replace(static_cast<std::size_t>(c.writtenAt), fresh.size(), fresh);
            EXPECT_EQ(firstCount, c.writtenAt);
        }
        EXPECT_EQ(ReadFile(dir / "r"), expected);
        if (c.retrSent) {
            EXPECT_EQ(client.ftp.ResumePosition(), 0);
        }
        server.Join();
        bool sawRetr = false;
        for (const auto& cmd : server.Commands()) sawRetr |= cmd.rfind("RETR", 0) == 0;
        EXPECT_EQ(sawRetr, c.retrSent);
    }
}

TEST(FtpTransfer, NoRestSentForANegativePosition)
{
    FakeFtpServer server({Welcome(), Login(), PassiveDownload("RETR n", "abc")});
    TempDir dir;
    FtpTestClient client(server.Port());
    ASSERT_TRUE(client.Block(&TCustomFtpCli::ChainLogin));
    client.ftp.SetHostFileName("n");
    client.ftp.SetLocalFileName(dir / "n");
    client.ftp.SetResumePosition(-1);
    ASSERT_TRUE(client.Block(&TCustomFtpCli::ChainResumeDownload));
    EXPECT_EQ(ReadFile(dir / "n"), "abc");
    server.Join();
    EXPECT_TRUE(server.Errors().empty());
}

TEST(FtpTransfer, BadPassiveRepliesFailAndNeverReuseAnOldPort)
{
    const char* replies[] = {
        "227 Entering Passive Mode (127,0,0,1,300,1)",
        "227 Entering Passive Mode (127,0,0,1,x,1)",
        "227 Entering Passive Mode (127,0,0,1,4)",
        "200 PASV is fine",
    };
    for (const char* reply : replies) {
        SCOPED_TRACE(reply);
        FakeFtpServer server({Welcome(), Login(), PassiveDownload("LIST", "one\r\n"), Answer("PASV", reply)});
        FtpTestClient client(server.Port());
        ASSERT_TRUE(client.Block(&TCustomFtpCli::ChainLogin));
        TFtpMemoryStream list;
        client.ftp.AttachStream(&list);
        ASSERT_TRUE(client.Block(&TCustomFtpCli::ChainList));
        EXPECT_FALSE(client.Block(&TCustomFtpCli::ChainList));
        ASSERT_TRUE(client.WaitDone(3));
        EXPECT_EQ(client.done[2], std::make_pair(rqList, 550));
        EXPECT_EQ(list.DataString(), "one\r\n");
        server.Join();
        EXPECT_EQ(server.Commands().back().substr(0, 4), "PASV");
    }
}

TEST(FtpTransfer, DownloadWritesTheFileInPiecesOfAtMostOneMegabyte)
{
    const std::string data = PatternBytes(3 * 1048576, 11);
    FakeFtpServer server({Welcome(), Login(), PassiveDownload("RETR three", data)});
    FtpTestClient client(server.Port());
    ASSERT_TRUE(client.Block(&TCustomFtpCli::ChainLogin));
    RecordingStream stream;
    client.ftp.AttachStream(&stream);
    client.ftp.SetHostFileName("three");
    ASSERT_TRUE(client.Block(&TCustomFtpCli::ChainDownload));
    EXPECT_EQ(stream.DataString(), data);
    EXPECT_GE(stream.writes.size(), 3u);
    for (auto w : stream.writes) EXPECT_LE(w, 1048576);
    server.Join();
}

TEST(FtpTransfer, FailedLocalWriteFailsTheDownload)
{
    FakeFtpServer server({Welcome(), Login(), [](Session& s) {
                              s.Expect("PASV");
                              s.PassiveReply();
                              s.Expect("RETR full");
                              s.Reply("150 go");
                              s.OpenData();
                              s.DataSend(PatternBytes(100000, 1));
                              s.CloseData();
                              s.Reply("226 done");
                          }});
    FtpTestClient client(server.Port());
    ASSERT_TRUE(client.Block(&TCustomFtpCli::ChainLogin));
    client.ftp.SetHostFileName("full");
    client.ftp.SetShareMode(ftpShareDenyNone);
    client.ftp.SetLocalFileName("/dev/full");
    EXPECT_FALSE(client.Block(&TCustomFtpCli::ChainDownload));
    ASSERT_TRUE(client.WaitDone(2));
    EXPECT_EQ(client.done[1], std::make_pair(rqRetrieve, 550));
    server.Join();
}

TEST(FtpTransfer, FailedLocalReadResetsTheUploadConnection)
{
    FakeFtpServer server({Welcome(), Login(), [](Session& s) {
                              s.Expect("PASV");
                              s.PassiveReply();
                              s.OpenData();
                              s.Expect("STOR u");
                              s.Reply("150 go");
                              s.DataReceiveAll();
                              s.Reply("426 connection reset");
                          }});
    TempDir dir;
    FtpTestClient client(server.Port());
    ASSERT_TRUE(client.Block(&TCustomFtpCli::ChainLogin));
    client.ftp.SetHostFileName("u");
    client.ftp.SetLocalFileName(dir.path()); // a folder opens, but cannot be read
    EXPECT_FALSE(client.Block(&TCustomFtpCli::ChainUpload));
    ASSERT_TRUE(client.WaitDone(2));
    EXPECT_EQ(client.done[1], std::make_pair(rqStore, 550));
    server.Join();
    EXPECT_TRUE(server.DataWasReset());
}

TEST(FtpTransfer, RefusedRetrAndCancelledUpload)
{
    FakeFtpServer server({Welcome(), Login(),
                          [](Session& s) {
                              s.Expect("PASV");
                              s.PassiveReply();
                              s.Expect("RETR missing");
                              s.Reply("550 no such file");
                              s.Expect("PASV");
                              s.PassiveReply();
                          }});
    TempDir dir;
    FtpTestClient client(server.Port());
    ASSERT_TRUE(client.Block(&TCustomFtpCli::ChainLogin));
    client.ftp.SetHostFileName("missing");
    client.ftp.SetLocalFileName(dir / "created");
    client.ftp.SetResumePosition(-1);
    EXPECT_FALSE(client.Block(&TCustomFtpCli::ChainDownload));
    EXPECT_EQ(client.ftp.ErrorMessage(), "550 no such file");
    struct stat st{};
    EXPECT_EQ(::stat((dir / "created").c_str(), &st), 0); // created empty before the open
    client.ftp.OnReadyToTransmit = [](TObject*, bool& cancel) { cancel = true; };
    EXPECT_FALSE(client.Block(&TCustomFtpCli::ChainUpload));
    ASSERT_TRUE(client.WaitDone(3));
    EXPECT_EQ(client.done[1], std::make_pair(rqRetrieve, 550));
    EXPECT_EQ(client.done[2], std::make_pair(rqStore, 426));
    EXPECT_EQ(client.ftp.ErrorMessage(), "426 Transmit cancelled by application");
    server.Join();
    for (const auto& cmd : server.Commands()) EXPECT_NE(cmd.substr(0, 4), "STOR");
}

TEST(FtpTransfer, ProgressAbortFailsTheDownload)
{
    FakeFtpServer server({Welcome(), Login(), PassiveDownload("RETR a", PatternBytes(2000000, 3))});
    TempDir dir;
    FtpTestClient client(server.Port());
    ASSERT_TRUE(client.Block(&TCustomFtpCli::ChainLogin));
    client.ftp.SetHostFileName("a");
    client.ftp.SetLocalFileName(dir / "a");
    client.ftp.OnProgress = [](TObject*, std::int64_t count, bool& abort) { abort = count > 0; };
    EXPECT_FALSE(client.Block(&TCustomFtpCli::ChainDownload));
    ASSERT_TRUE(client.WaitDone(2));
    EXPECT_EQ(client.done[1], std::make_pair(rqRetrieve, 426));
    server.Join();
}

} // namespace

namespace {

// An upload continues from the restart position only when the server
// accepted it; otherwise the whole file goes, as a STOR without REST.
TEST(FtpTransfer, ResumedUploadSendsTheTailOnlyAfter350)
{
    const std::string data = PatternBytes(10000, 6);
    for (const char* reply : {"350 restarting", "200 ok but ignored"}) {
        SCOPED_TRACE(reply);
        FakeFtpServer server({Welcome(), Login(), [&](Session& s) {
                                  s.Expect("PASV");
                                  s.PassiveReply();
                                  s.Expect("REST 4000");
                                  s.Reply(reply);
                                  s.OpenData();
                                  s.Expect("STOR up");
                                  s.Reply("150 go");
                                  s.DataReceiveAll();
                                  s.Reply("226 stored");
                              }});
        TempDir dir;
        WriteFile(dir / "up", data);
        FtpTestClient client(server.Port());
        ASSERT_TRUE(client.Block(&TCustomFtpCli::ChainLogin));
        client.ftp.SetHostFileName("up");
        client.ftp.SetLocalFileName(dir / "up");
        client.ftp.SetResumePosition(4000);
        ASSERT_TRUE(client.Block(&TCustomFtpCli::ChainResumeUpload)) << client.ftp.ErrorMessage();
        server.Join();
        EXPECT_EQ(server.Received(), reply[0] == '3' ? data.substr(4000) : data);
    }
}

TEST(FtpTransfer, ListingToTheDisplayLineByLine)
{
    FakeFtpServer server({Welcome(), Login(), PassiveDownload("LIST", "first line\r\nsecond\r\n\r\nthird")});
    FtpTestClient client(server.Port());
    std::vector<std::string> shown;
    client.ftp.OnDisplayFile = [&](TObject*, std::string& line) { shown.push_back(line); };
    ASSERT_TRUE(client.Block(&TCustomFtpCli::ChainLogin));
    client.ftp.SetDisplayFileFlag(true);
    ASSERT_TRUE(client.Block(&TCustomFtpCli::ChainList));
    EXPECT_EQ(shown, (std::vector<std::string>{"first line", "second", "third"}));
    server.Join();
}

// A component created on a worker thread runs there, on that thread's loop.
TEST(FtpTransfer, MultiThreadedClientOnAWorkerThread)
{
    const std::string data = PatternBytes(500000, 8);
    FakeFtpServer server({Welcome(), Login(), PassiveDownload("RETR w", data)});
    TFtpMemoryStream stream;
    bool ok = false;
    std::thread worker([&] {
        FtpTestClient client(server.Port());
        client.ftp.SetMultiThreaded(true);
        client.ftp.AttachStream(&stream);
        client.ftp.SetHostFileName("w");
        ok = client.Block(&TCustomFtpCli::ChainLogin) && client.Block(&TCustomFtpCli::ChainDownload);
    });
    worker.join();
    EXPECT_TRUE(ok);
    EXPECT_EQ(stream.DataString(), data);
    server.Join();
}

TEST(FtpTransfer, AbortOfASingleRequestIsNotASuccess)
{
    FakeFtpServer server({Welcome(), Login(), [](Session& s) {
                              s.Expect("PWD");
                              s.WaitControlClosed(5000);
                          }});
    FtpTestClient client(server.Port());
    ASSERT_TRUE(client.Block(&TCustomFtpCli::ChainLogin));
    client.Start(&TCustomFtpCli::SendPwd);
    // The PWD is out and its reply awaited.
    ASSERT_TRUE(os::MessageLoop::ForThisThread().WaitUntil(
        [&] { return client.ftp.ClientState() == csAwaitingReply && client.Shown("PWD"); }, 5000));
    client.Start(&TCustomFtpCli::AbortRequest);
    ASSERT_TRUE(client.WaitDone(2));
    EXPECT_EQ(client.done[1], std::make_pair(rqPwd, 426));
    EXPECT_FALSE(client.doneInsideCall);
    server.Join();
}

} // namespace

namespace {

// Whether the caller aborts or the time-out does, the local file keeps
// every byte that had arrived (the write-behind buffer is written first).
TEST(FtpTransfer, AbortAndTimeoutMidDownloadKeepTheBytesReceived)
{
    const std::string part = PatternBytes(300000, 12);
    for (bool byTimeout : {false, true}) {
        SCOPED_TRACE(byTimeout ? "time-out" : "abort");
        FakeFtpServer server({Welcome(), Login(), [&](Session& s) {
                                  s.Expect("PASV");
                                  s.PassiveReply();
                                  s.Expect("RETR stall");
                                  s.Reply("150 go");
                                  s.OpenData();
                                  s.DataSend(part);
                                  s.WaitControlClosed(5000);
                              }});
        TempDir dir;
        FtpTestClient client(server.Port());
        client.ftp.SetTimeout(1);
        ASSERT_TRUE(client.Block(&TCustomFtpCli::ChainLogin));
        client.ftp.SetHostFileName("stall");
        client.ftp.SetLocalFileName(dir / "stall");
        if (byTimeout) {
            EXPECT_FALSE(client.Block(&TCustomFtpCli::ChainDownload));
            EXPECT_EQ(client.ftp.ErrorMessage(), "426 Timeout");
        } else {
            client.Start(&TCustomFtpCli::ChainDownload);
            os::MessageLoop::ForThisThread().WaitUntil(
                [&] { return client.ftp.TransferredBytes() == static_cast<std::int64_t>(part.size()); }, 5000);
            client.Start(&TCustomFtpCli::AbortRequest);
        }
        ASSERT_TRUE(client.WaitDone(2));
        EXPECT_EQ(client.done[1], std::make_pair(rqRetrieve, 426));
        EXPECT_EQ(ReadFile(dir / "stall"), part);
        server.Join();
    }
}

} // namespace

namespace {

// A transfer's failure belongs to that transfer: the requests after it
// report their own outcome, on the same session and on a new one.
TEST(FtpTransfer, RequestsAfterAFailedTransferReportTheirOwnOutcome)
{
    struct Case {
        const char* name;
        Step transfer;
        int error;
        std::function<void(FtpTestClient&, const TempDir&)> setUp;
    };
    const std::string data = PatternBytes(2000000, 3);
    const Case cases[] = {
        {"aborted through progress", PassiveDownload("RETR f", data), 426,
         [](FtpTestClient& c, const TempDir& dir) {
             c.ftp.SetLocalFileName(dir / "f");
             c.ftp.OnProgress = [](TObject*, std::int64_t count, bool& abort) { abort = count > 0; };
         }},
        {"local write failed", PassiveDownload("RETR f", data), 550,
         [](FtpTestClient& c, const TempDir&) {
             c.ftp.SetShareMode(ftpShareDenyNone);
             c.ftp.SetLocalFileName("/dev/full");
         }},
        {"refused by the server",
         [](Session& s) {
             s.Expect("PASV");
             s.PassiveReply();
             s.Expect("RETR f");
             s.Reply("550 no such file");
         },
         550, [](FtpTestClient& c, const TempDir& dir) { c.ftp.SetLocalFileName(dir / "f"); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeFtpServer server({Welcome(), Login(), c.transfer, Answer("PWD", "257 \"/home\" is current"),
                              Answer("CWD sub", "250 ok"), Answer("QUIT", "221 bye")});
        FakeFtpServer second({Welcome(), Login()});
        TempDir dir;
        FtpTestClient client(server.Port());
        ASSERT_TRUE(client.Block(&TCustomFtpCli::ChainLogin));
        client.ftp.SetHostFileName("f");
        c.setUp(client, dir);
        EXPECT_FALSE(client.Block(&TCustomFtpCli::ChainDownload));
        client.ftp.OnProgress = nullptr;
        EXPECT_TRUE(client.Block(&TCustomFtpCli::SendPwd)) << client.ftp.ErrorMessage();
        EXPECT_EQ(client.ftp.ReplyDirectory(), "/home");
        client.ftp.SetHostDirName("sub");
        EXPECT_TRUE(client.Block(&TCustomFtpCli::SendCwd)) << client.ftp.ErrorMessage();
        EXPECT_TRUE(client.Block(&TCustomFtpCli::SendQuit)) << client.ftp.ErrorMessage();
        client.ftp.SetPort(std::to_string(second.Port()));
        EXPECT_TRUE(client.Block(&TCustomFtpCli::ChainLogin)) << client.ftp.ErrorMessage();
        EXPECT_TRUE(client.ftp.ErrorMessage().empty()) << client.ftp.ErrorMessage();
        ASSERT_TRUE(client.WaitDone(6));
        const std::vector<std::pair<int, int>> expected = {
            {rqLogin, 0}, {rqRetrieve, c.error}, {rqPwd, 0}, {rqCwd, 0}, {rqQuit, 0}, {rqLogin, 0}};
        const std::vector<std::pair<int, int>> done(client.done.begin(), client.done.end());
        EXPECT_EQ(done, expected);
        client.ftp.AbortRequest();
        server.Join();
        second.Join();
        EXPECT_TRUE(server.Errors().empty());
    }
}

} // namespace

namespace {

// RETR and LIST go out before the passive data connection stands. When that
// connection then fails, the server's answer to the command still comes: it
// must end the failed transfer, not pass for the reply to the next request.
TEST(FtpTransfer, ServerAnswerAfterAFailedDataConnectionIsNotTheNextReply)
{
    const std::vector<std::string> answers[] = {{"425 Can't open data connection."},
                                                {"150 Here comes the listing.", "226 Transfer complete."}};
    for (const auto& answer : answers) {
        SCOPED_TRACE(answer.front());
        const int closedPort = testsupport::FreeTcpPort();
        std::promise<void> failed;
        auto seen = failed.get_future().share();
        FakeFtpServer server({Welcome(), Login(),
                              [&](Session& s) {
                                  s.Expect("PASV");
                                  s.Reply("227 Entering Passive Mode (127,0,0,1," + std::to_string(closedPort / 256) +
                                          "," + std::to_string(closedPort % 256) + ").");
                                  s.Expect("LIST");
                                  seen.wait_for(std::chrono::seconds(10));
                                  for (const auto& line : answer) s.Reply(line);
                              },
                              Answer("PWD", "257 \"/pub\" is current")});
        FtpTestClient client(server.Port());
        ASSERT_TRUE(client.Block(&TCustomFtpCli::ChainLogin));
        TFtpMemoryStream list;
        client.ftp.AttachStream(&list);
        client.Start(&TCustomFtpCli::ChainList);
        os::MessageLoop::ForThisThread().WaitUntil([&] { return client.Shown("Data Session opened (Get)"); }, 5000);
        failed.set_value();
        ASSERT_TRUE(client.WaitDone(2));
        EXPECT_EQ(client.done[1], std::make_pair(rqList, 550));
        EXPECT_EQ(client.ftp.ErrorMessage().rfind("Unable to establish data connection", 0), 0u)
            << client.ftp.ErrorMessage();
        EXPECT_TRUE(client.Block(&TCustomFtpCli::SendPwd)) << client.ftp.ReplyText();
        EXPECT_EQ(client.ftp.ReplyDirectory(), "/pub");
        client.ftp.AbortRequest();
        server.Join();
        EXPECT_TRUE(server.Errors().empty());
    }
}

} // namespace

namespace {

// A server that refuses the rest of a file (a full disk, a quota) closes the
// data connection and then says why: its reply is the outcome. A close
// followed by a success reply still lost the end of the file.
TEST(FtpTransfer, ServerRefusalAfterItClosedTheUploadConnection)
{
    struct Case {
        const char* reply;
        bool replyFirst;
        int error;
        const char* message;
    };
    const Case cases[] = {
        {"552 Exceeded storage allocation.", false, 552, "552 Exceeded storage allocation."},
        {"552 Exceeded storage allocation.", true, 552, "552 Exceeded storage allocation."},
        {"226 Transfer complete.", false, 426, "426 Data connection closed before the end of the file"},
    };
    TempDir dir;
    WriteFile(dir / "big", PatternBytes(8 * 1048576, 13));
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.reply) + (c.replyFirst ? ", reply first" : ", close first"));
        FakeFtpServer server({Welcome(), Login(), [&](Session& s) {
                                  s.BeginPassiveUpload("STOR big");
                                  s.DataReceive(65536);
                                  if (c.replyFirst) s.Reply(c.reply);
                                  s.CloseData();
                                  if (!c.replyFirst) s.Reply(c.reply);
                              }});
        FtpTestClient client(server.Port());
        ASSERT_TRUE(client.Block(&TCustomFtpCli::ChainLogin));
        client.ftp.SetHostFileName("big");
        client.ftp.SetLocalFileName(dir / "big");
        EXPECT_FALSE(client.Block(&TCustomFtpCli::ChainUpload));
        ASSERT_TRUE(client.WaitDone(2));
        EXPECT_EQ(client.done[1], std::make_pair(rqStore, c.error));
        EXPECT_EQ(client.ftp.ErrorMessage(), c.message);
        client.ftp.AbortRequest();
        server.Join();
        EXPECT_TRUE(server.Errors().empty());
    }
}

} // namespace

namespace {

// Uploads data through a server that reads chunk bytes every pauseMs
// behind a small receive buffer: a slow link. True when the upload
// succeeded and the server got every byte.
bool UploadThroughASlowLink(const std::string& data, std::size_t chunk, int pauseMs, int timeout,
                            TFtpProgress progress = nullptr)
{
    FakeFtpServer server({Welcome(), Login(), [&](Session& s) {
                              s.dataReceiveBuffer = 16384;
                              s.BeginPassiveUpload("STOR slow");
                              s.DataReceiveSlowly(chunk, pauseMs);
                              s.Reply("226 stored");
                          }});
    TempDir dir;
    WriteFile(dir / "slow", data);
    FtpTestClient client(server.Port());
    client.ftp.SetTimeout(timeout);
    if (!client.Block(&TCustomFtpCli::ChainLogin)) return false;
    client.ftp.SetHostFileName("slow");
    client.ftp.SetLocalFileName(dir / "slow");
    client.ftp.OnProgress = std::move(progress);
    const bool ok = client.Block(&TCustomFtpCli::ChainUpload);
    EXPECT_TRUE(ok) << client.ftp.ErrorMessage();
    server.Join();
    return ok && server.Received() == data;
}

// Through a slow link an upload keeps moving: the time-out measures silence,
// also while the socket still holds the file's tail after the last send.
TEST(FtpTransfer, SlowUploadOutlastsTheTimeout)
{
    EXPECT_TRUE(UploadThroughASlowLink(PatternBytes(512 * 1024, 14), 4096, 20, 1));
}

// Progress shows an upload moving while a block is still on its way, not
// only once per block.
TEST(FtpTransfer, UploadProgressMovesWithinABlock)
{
    const std::string data = PatternBytes(3 * 1048576, 15);
    std::vector<std::int64_t> withinBlock;
    EXPECT_TRUE(UploadThroughASlowLink(data, 16384, 10, 15, [&](TObject*, std::int64_t count, bool&) {
        if (count % (256 * 1024) != 0 && count != static_cast<std::int64_t>(data.size())) withinBlock.push_back(count);
    }));
    EXPECT_FALSE(withinBlock.empty());
}

} // namespace

namespace {

// A preliminary reply other than 125 or 150 (a 110 restart marker, a 120)
// is shown and the answer still awaited: nothing goes out on the control
// connection before it, so the next request gets its own reply.
TEST(FtpTransfer, PreliminaryRepliesAreShownAndTheAnswerAwaited)
{
    const std::string data = PatternBytes(70000, 9);
    struct Case {
        const char* name;
        bool upload;
        std::vector<std::string> before; // replies before the data flows
        std::vector<std::string> after;  // replies after the data closed
    };
    const Case cases[] = {
        {"RETR 110 then 150", false, {"110 MARK 0 = 0", "150 here it comes"}, {"226 done"}},
        {"RETR 150, 110, 226", false, {"150 here it comes"}, {"110 MARK 70000 = 70000", "226 done"}},
        {"RETR 120 then 125", false, {"120 wait a moment", "125 going"}, {"226 done"}},
        {"STOR 110 then 150", true, {"110 MARK 0 = 0", "150 send it"}, {"226 stored"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeFtpServer server({Welcome(), Login(),
                              [&](Session& s) {
                                  s.Expect("PASV");
                                  s.PassiveReply();
                                  s.Expect(c.upload ? "STOR f" : "RETR f");
                                  for (const auto& line : c.before) s.Reply(line);
                                  s.OpenData();
                                  if (c.upload) {
                                      s.DataReceiveAll();
                                  } else {
                                      s.DataSend(data);
                                      s.CloseData();
                                  }
                                  s.Sleep(100);
                                  for (const auto& line : c.after) s.Reply(line);
                              },
                              Answer("PWD", "257 \"/pub\" is current")});
        TempDir dir;
        if (c.upload) WriteFile(dir / "f", data);
        FtpTestClient client(server.Port());
        ASSERT_TRUE(client.Block(&TCustomFtpCli::ChainLogin));
        client.ftp.SetHostFileName("f");
        client.ftp.SetLocalFileName(dir / "f");
        EXPECT_TRUE(client.Block(c.upload ? &TCustomFtpCli::ChainUpload : &TCustomFtpCli::ChainDownload))
            << client.ftp.ErrorMessage();
        ASSERT_TRUE(client.WaitDone(2));
        EXPECT_EQ(client.done[1], std::make_pair(c.upload ? rqStore : rqRetrieve, 0));
        EXPECT_TRUE(ReadFile(dir / "f") == data) << "the file differs";
        if (c.upload) {
            EXPECT_TRUE(server.Received() == data) << "the upload differs";
        }
        for (const auto& line : c.before) EXPECT_TRUE(client.Shown(line)) << line;
        EXPECT_TRUE(client.Block(&TCustomFtpCli::SendPwd)) << client.ftp.ReplyText();
        EXPECT_EQ(client.ftp.ReplyDirectory(), "/pub");
        client.ftp.AbortRequest();
        server.Join();
        EXPECT_TRUE(server.Errors().empty());
        // The PWD was sent only after the transfer's final reply.
        const auto cmds = server.Commands();
        EXPECT_EQ(std::count(cmds.begin(), cmds.end(), std::string("PASV")), 1);
    }
}

} // namespace
