// The browser's variant of the FTP client: each way it differs from the main
// one, against the scripted server, with the main variant beside it where
// both can be watched.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "net/BrFtpCli.h"
#include "os/MessageLoop.h"
#include "tests/net/ftp/FakeFtpServer.h"
#include "tests/support/TestSupport.h"

using namespace fakeftp;
using Clock = std::chrono::steady_clock;

namespace {

// PORT, then the verb answered 150, the data over the connection the client
// listens on, and the final reply.
Step ActiveGet(const std::string& verb, const std::string& data, const std::string& final = "226 done")
{
    return [verb, data, final](Session& s) {
        s.ActiveFromPort(s.Expect("PORT"));
        s.Reply("200 ok");
        s.Expect(verb);
        s.Reply("150 here");
        s.OpenData();
        s.DataSend(data);
        s.CloseData();
        s.Reply(final);
    };
}

// Either variant, with its display lines, error reports and request ends recorded.
struct Client {
    std::unique_ptr<TFtpClient> ftp;
    std::vector<std::string> lines, errors;
    std::vector<std::pair<TFtpRequest, int>> done;

    Client(bool browser, int port)
    {
        if (browser) ftp = std::make_unique<BrFtpCli::TFtpClient>();
        else ftp = std::make_unique<TFtpClient>();
        ftp->SetHostName("127.0.0.1");
        ftp->SetPort(std::to_string(port));
        ftp->SetUserName("user");
        ftp->SetPassWord("pass");
        ftp->SetTimeout(5);
        ftp->OnDisplay = [this](TObject*, std::string& m) { lines.push_back(m); };
        ftp->OnRequestDone = [this](TObject*, TFtpRequest rq, std::uint16_t e) { done.emplace_back(rq, e); };
    }
    void ReportErrors()
    {
        ftp->SetErrorHandler([this](TObject*, std::string& m) { errors.push_back(m); });
    }
    bool Block(TCustomFtpCli::TAction a) { return ftp->RunAndWait(a); }
    bool Shown(const std::string& text) const
    {
        for (const auto& l : lines)
            if (l.find(text) != std::string::npos) return true;
        return false;
    }
    bool WaitDone(std::size_t n)
    {
        return os::MessageLoop::ForThisThread().WaitUntil([&] { return done.size() >= n; }, 10000);
    }
};

class Variants : public ::testing::TestWithParam<bool> {
protected:
    bool browser() const { return GetParam(); }
};

TEST_P(Variants, AStartWhileBusyIsRefusedWithAReportOnlyByTheBrowserVariant)
{
    FakeFtpServer server({Welcome(), Login(), [](Session& s) {
                              s.Expect("PWD");
                              s.Sleep(200);
                              s.Reply("257 \"/\"");
                          }});
    Client c(browser(), server.Port());
    ASSERT_TRUE(c.Block(&TCustomFtpCli::ChainLogin));
    c.ReportErrors();
    c.ftp->SendPwd();
    c.ftp->SetHostDirName("/x");
    c.ftp->SendCwd();
    c.ftp->StartOpen();
    c.ftp->ChainList();
    if (browser()) EXPECT_EQ(c.errors, std::vector<std::string>(3, "FTP component not ready"));
    else EXPECT_TRUE(c.errors.empty());
    // The running request goes on untouched.
    ASSERT_TRUE(c.ftp->BlockUntilIdle());
    EXPECT_EQ(c.ftp->ReplyCode(), 257);
    server.Join();
    EXPECT_TRUE(server.Errors().empty()) << server.Errors()[0];
}

TEST(BrFtpCli, AStartWhileBusyThrowsWithoutAnErrorHandler)
{
    FakeFtpServer server({Welcome(), Login(), Answer("PWD", "257 \"/\"")});
    Client c(true, server.Port());
    ASSERT_TRUE(c.Block(&TCustomFtpCli::ChainLogin));
    c.ftp->SendPwd();
    EXPECT_THROW(c.ftp->SendCwd(), FtpException);
    EXPECT_TRUE(c.ftp->BlockUntilIdle());
}

TEST_P(Variants, MultiLineReplyShowsOnlyItsFinalLineInTheBrowserVariant)
{
    FakeFtpServer server({Welcome("220-hello\r\n220 ready"), [](Session& s) {
                              s.Expect("USER user");
                              s.Reply("331 password");
                              s.Expect("PASS pass");
                              s.Send("230-Welcome\r\nnot numbered\r\n230-more\r\n230 logged in\r\n");
                          }});
    Client c(browser(), server.Port());
    ASSERT_TRUE(c.Block(&TCustomFtpCli::ChainLogin));
    EXPECT_TRUE(c.Shown("230 logged in"));
    EXPECT_EQ(c.Shown("230-Welcome"), !browser());
    EXPECT_EQ(c.Shown("not numbered"), !browser());
    EXPECT_EQ(c.Shown("230-more"), !browser());
    // The welcome is not a reply to a command: shown whole by both.
    EXPECT_TRUE(c.Shown("220-hello"));
    ASSERT_TRUE(c.WaitDone(1));
    EXPECT_EQ(c.done.back(), std::make_pair(rqLogin, 0));
    server.Join();
}

TEST_P(Variants, TraceLinesOnlyInTheMainVariant)
{
    FakeFtpServer server({Welcome(), Login(), ActiveGet("LIST", "-rw-r--r-- 1 a b 1 Jan 1 2000 f\r\n")});
    Client c(browser(), server.Port());
    ASSERT_TRUE(c.Block(&TCustomFtpCli::ChainLogin));
    TFtpMemoryStream listing;
    c.ftp->AttachStream(&listing);
    ASSERT_TRUE(c.Block(&TCustomFtpCli::ChainList));
    EXPECT_EQ(listing.DataString(), "-rw-r--r-- 1 a b 1 Jan 1 2000 f\r\n");
    EXPECT_EQ(c.Shown("! HighLevelAsync"), !browser());
    EXPECT_EQ(c.Shown("! Next3GetAsync"), !browser());
    // Active mode: the browser variant says the server asked for the data connection.
    EXPECT_EQ(c.Shown("<STATUS>     Data Session requested!"), browser());
    EXPECT_TRUE(c.Shown("<STATUS>     Data Session opened!"));
    server.Join();
}

TEST_P(Variants, AbortIsAnnouncedByTheBrowserVariant)
{
    FakeFtpServer server({Welcome(), Login(), [](Session& s) {
                              s.Expect("PWD");
                              s.WaitControlClosed(5000);
                          }});
    Client c(browser(), server.Port());
    ASSERT_TRUE(c.Block(&TCustomFtpCli::ChainLogin));
    c.ftp->SendPwd();
    c.lines.clear();
    c.ftp->AbortRequest();
    EXPECT_EQ(!c.lines.empty() && c.lines.front() == "<STATUS>     Aborting current command!", browser());
    server.Join();
}

TEST_P(Variants, RefusedFinalReplyOfAListIsReportedByTheBrowserVariant)
{
    FakeFtpServer server({Welcome(), Login(), ActiveGet("LIST", "", "451 local error")});
    Client c(browser(), server.Port());
    ASSERT_TRUE(c.Block(&TCustomFtpCli::ChainLogin));
    TFtpMemoryStream listing;
    c.ftp->AttachStream(&listing);
    EXPECT_FALSE(c.Block(&TCustomFtpCli::ChainList));
    EXPECT_EQ(c.ftp->ReplyCode(), 451);
    EXPECT_EQ(c.Shown("<ERROR>      RETR/LIST/NLST Failed"), browser());
    server.Join();
}

// A stream that records its writes and can refuse them.
class RecordingStream : public TFtpMemoryStream {
public:
    bool Write(const void* Buffer, std::int64_t Count) override
    {
        writes.push_back(Count);
        return !refuse && TFtpMemoryStream::Write(Buffer, Count);
    }
    std::vector<std::int64_t> writes;
    bool refuse = false;
};

TEST(BrFtpCli, DownloadWritesEachBlockAsItComes)
{
    const std::string data = testsupport::PatternBytes(3 << 20, 5);
    FakeFtpServer server({Welcome(), Login(), ActiveGet("RETR", data)});
    Client c(true, server.Port());
    ASSERT_TRUE(c.Block(&TCustomFtpCli::ChainLogin));
    RecordingStream file;
    c.ftp->AttachStream(&file);
    c.ftp->SetHostFileName("f");
    ASSERT_TRUE(c.Block(&TCustomFtpCli::ChainDownload)) << c.ftp->ErrorMessage();
    EXPECT_EQ(file.DataString(), data);
    ASSERT_GT(file.writes.size(), 1u);
    for (auto n : file.writes) EXPECT_LE(n, 65536);
    server.Join();
}

TEST(BrFtpCli, RefusedLocalWriteFailsTheDownload)
{
    FakeFtpServer server({Welcome(), Login(), ActiveGet("RETR", testsupport::PatternBytes(200000, 3))});
    Client c(true, server.Port());
    ASSERT_TRUE(c.Block(&TCustomFtpCli::ChainLogin));
    RecordingStream file;
    file.refuse = true;
    c.ftp->AttachStream(&file);
    c.ftp->SetHostFileName("f");
    EXPECT_FALSE(c.Block(&TCustomFtpCli::ChainDownload));
    EXPECT_EQ(c.ftp->RequestStatus(), 550);
    EXPECT_TRUE(c.Shown("<ERROR>      Error writing local file"));
    EXPECT_EQ(file.writes.size(), 1u);
    server.Join();
}

TEST(BrFtpCli, ProxyIsReachedAtTheServersPortWithTheSitesLogin)
{
    FakeFtpServer server({Welcome(), Answer("USER user@ftp.example.org", "331 password"), Answer("PASS", "230 in")});
    BrFtpCli::TFtpClient ftp;
    ftp.SetConnectionType(ftpProxy);
    EXPECT_TRUE(ftp.PassiveMode());
    ftp.SetProxyServer("127.0.0.1");
    ftp.SetHostName("ftp.example.org");
    ftp.SetPort(std::to_string(server.Port()));
    ftp.SetUserName("user");
    ftp.SetPassWord("pass");
    ftp.SetTimeout(5);
    EXPECT_TRUE(ftp.RunAndWait(&TCustomFtpCli::ChainLogin)) << ftp.ErrorMessage();
    server.Join();
    EXPECT_TRUE(server.Errors().empty()) << server.Errors()[0];
}

TEST_P(Variants, OnlyTheMainVariantsWaitEndsBetweenSteps)
{
    // A server that drops an idle session leaves the component between steps.
    FakeFtpServer server({Welcome(), Login(), [](Session& s) { s.CloseControl(); }});
    Client c(browser(), server.Port());
    ASSERT_TRUE(c.Block(&TCustomFtpCli::ChainLogin));
    server.Join();
    ASSERT_TRUE(os::MessageLoop::ForThisThread().WaitUntil([&] { return !c.ftp->HasSession(); }, 5000));
    ASSERT_EQ(c.ftp->ClientState(), csStepDone);
    c.ftp->SetTimeout(1);
    const auto start = Clock::now();
    EXPECT_EQ(c.ftp->BlockUntilIdle(), !browser());
    EXPECT_EQ(Clock::now() - start >= std::chrono::milliseconds(900), browser());
}

INSTANTIATE_TEST_SUITE_P(MainAndBrowser, Variants, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Browser" : "Main"; });

// What the browser variant leaves out is not there to call.
template <class T>
concept HasPassiveModeSetter = requires(T t) { t.SetPassiveMode(true); };
template <class T>
concept HasProxyPort = requires(T t) { t.SetProxyPort("21"); };
template <class T>
concept HasTypeBlocking = requires(T t) { t.TypeBinaryBlocking(); };
static_assert(HasPassiveModeSetter<TFtpClient> && !HasPassiveModeSetter<BrFtpCli::TFtpClient>);
static_assert(HasProxyPort<TFtpClient> && !HasProxyPort<BrFtpCli::TFtpClient>);
static_assert(HasTypeBlocking<TFtpClient> && !HasTypeBlocking<BrFtpCli::TFtpClient>);

} // namespace
