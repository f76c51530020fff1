// A connection of a run that loses its session or cannot log in: the run
// goes on over the others and every file arrives; the failure is told on
// that connection's row and page, and a failure box quotes what really
// ended the step, never a greeting or a 150 left from before.
#include <QAction>
#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <QTreeWidget>
#include <set>

#include "MainServerFixture.h"
#include "ModalHelper.h"
#include "tests/net/ftp/FakeFtpServer.h"

namespace {

// Notes the connections whose status row was marked failed.
struct FailedRowMain : TfmMain {
    using TfmMain::TfmMain;
    std::set<int> failedRows;
    void ShowSlotFailed(int Slot) override
    {
        failedRows.insert(Slot);
        TfmMain::ShowSlotFailed(Slot);
    }
};

// Closes every modal window as it comes and notes it: "Command Failed"
// boxes by the reply they quote.
class ModalRecorder {
public:
    std::vector<std::string> failures, others;
    ModalRecorder()
    {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal || modal == last_.data()) return;
            last_ = modal;
            if (auto* reply = modal->findChild<QLabel*>("lbResponse")) failures.push_back(reply->text().toStdString());
            else others.push_back(modal->windowTitle().toStdString());
            modal->close();
        });
        timer_.start();
    }

private:
    QTimer timer_;
    QPointer<QWidget> last_;
};

// The captions of the message boxes asked so far.
std::vector<std::string> CaptionsOf(const TScriptedDialogs& d)
{
    std::vector<std::string> c;
    for (const auto& call : d.Calls) c.push_back(call.caption);
    return c;
}

// A run over three connections, each given three tries to log in, into
// localDir; its end is told with the "Completed" box.
void RunOverThreeConnections(TClientSettings& s, const std::string& localDir, int timeout, bool passive)
{
    s.FtpCliNum = 3;
    s.ConnectionRetryTimes = 3;
    s.Timeout = timeout;
    s.PasvMode = passive;
    s.EnableSplitDownload = false;
    s.LocalPath = localDir + "/";
    s.ConfirmFlags.TransferOver = true;
}

class SlotLoginFixture : public MainFixture {
protected:
    std::vector<std::string> Captions() { return CaptionsOf(*dialogs.get()); }
    testsupport::TempDir local;
    FailedRowMain* rec = nullptr;
    void SetUp() override
    {
        MainFixture::SetUp();
        BuildAs(rec);
    }
    void OpenFor(int timeout, bool passive)
    {
        Open([&](TClientSettings& s) { RunOverThreeConnections(s, local.path(), timeout, passive); });
    }
};

using fakeftp::Files;
using fakeftp::Session;
using fakeftp::Step;

Files SomeFiles()
{
    Files files;
    for (int i = 0; i < 6; ++i)
        files["/f" + std::to_string(i) + ".bin"] = testsupport::PatternBytes(5000 + i, std::uint32_t(i + 1));
    return files;
}

// A connection greeted and then never answered: its USER stays unread.
const Step kUnreadUser = [](Session& s) {
    s.Reply("220 fake ready");
    s.Expect("USER ");
    fakeftp::HoldSilently(s);
};

// The browsing connection sends the bytes of the first file it carries and
// then falls silent, so it times out and loses its session; its new login
// is greeted and left unanswered. The run ends over the other connections.
TEST_F(SlotLoginFixture, TheBrowsingConnectionLostInARunIsToldByWhatEndedIt)
{
    using namespace fakeftp;
    const Files files = SomeFiles();
    const Intercept stall = [files](Session& s, const std::string& line) {
        if (line.rfind("RETR ", 0) != 0) return false;
        s.Reply("150 Opening BINARY mode data connection");
        s.OpenData();
        s.DataSend(files.at(line.substr(5)));
        s.CloseData();
        HoldSilently(s);
        return true;
    };
    // Connections in the order they come: browsing, two for the run, then
    // the browsing connection's new login (a spare in case a run
    // connection comes later).
    FakeFtpServer server(std::vector<std::vector<Step>>{
        {Welcome(), Serve(files, stall)}, {Welcome(), Serve(files)}, {Welcome(), Serve(files)}, {kUnreadUser}, {kUnreadUser}});
    OpenFor(2, true);
    ConnectTo("ftp://u:p@127.0.0.1:" + std::to_string(server.Port()) + "/", "f0.bin");
    ModalRecorder boxes;
    StartDownloadAll();
    ASSERT_TRUE(WaitFor([&] { return win->SessionState() == 0 || win->SessionState() == 2; }, 60000)) << PageText(0);
    ASSERT_TRUE(WaitFor([&] { return !boxes.failures.empty(); })) << PageText(0);

    for (const auto& [path, data] : files) EXPECT_EQ(testsupport::ReadFile(local.path() + path), data) << path;
    ASSERT_EQ(boxes.failures.size(), 1u);
    EXPECT_EQ(boxes.failures[0], "426 Timeout") << "what ended the browsing connection";
    EXPECT_EQ(Captions(), std::vector<std::string>{"Completed"});
    // The browsing connection is gone, and says so where it belongs.
    EXPECT_EQ(win->SessionState(), 0);
    const std::string page0 = PageText(0);
    EXPECT_NE(page0.find("Server Connection Failed."), std::string::npos) << page0;
    EXPECT_NE(page0.find("Connection Lost"), std::string::npos) << page0;
    EXPECT_TRUE(rec->failedRows.count(0)) << "row 0 showed its failed login";
    for (int page : {1, 2}) EXPECT_EQ(PageText(page).find("Server Connection Failed."), std::string::npos) << PageText(page);
}

// A run connection whose USER is never read: it fails on its own row and
// page, the others carry every file, and the browsing session stays.
TEST_F(SlotLoginFixture, ARunConnectionThatCannotLogInFailsAlone)
{
    using namespace fakeftp;
    const Files files = SomeFiles();
    // Each file takes a while: the run outlasts the unread login's time-out.
    const Intercept slow = [](Session& s, const std::string& line) {
        if (line.rfind("RETR ", 0) == 0) s.Sleep(700);
        return false;
    };
    FakeFtpServer server(std::vector<std::vector<Step>>{
        {Welcome(), Serve(files, slow)}, {Welcome(), Serve(files, slow)}, {kUnreadUser}, {kUnreadUser}, {kUnreadUser}});
    OpenFor(1, true);
    ConnectTo("ftp://u:p@127.0.0.1:" + std::to_string(server.Port()) + "/", "f0.bin");
    ModalRecorder boxes;
    StartDownloadAll();
    ASSERT_TRUE(WaitFor([&] { return win->SessionState() == 2; }, 60000)) << PageText(0);
    ASSERT_TRUE(WaitFor([&] { return !Captions().empty(); })) << PageText(0);

    for (const auto& [path, data] : files) EXPECT_EQ(testsupport::ReadFile(local.path() + path), data) << path;
    EXPECT_TRUE(boxes.failures.empty()) << boxes.failures.front();
    EXPECT_EQ(Captions(), std::vector<std::string>{"Completed"});
    EXPECT_EQ(rec->failedRows, std::set<int>{2});
    EXPECT_NE(PageText(2).find("Server Connection Failed."), std::string::npos) << PageText(2);
    EXPECT_EQ(PageText(0).find("Connection Lost"), std::string::npos) << PageText(0);
    // The browsing session goes on.
    ASSERT_TRUE(WaitFor([&] { return PaneShows(false, "f5.bin"); }));
    EXPECT_EQ(Find<QTreeWidget>("lvStatus")->topLevelItem(0)->text(1), "Connected");
}

// The real peer of the report, in active mode: every file arrives, and a
// failure box, if a connection of the run times out, never quotes a
// greeting or another reply that ended nothing.
class MainSlotLoginServerTest : public MainServerFixture {
protected:
    std::vector<std::string> Captions() { return CaptionsOf(*dialogs.get()); }
};

TEST_P(MainSlotLoginServerTest, SelectAllAndDownloadInActiveModeOverThreeConnections)
{
    std::map<std::string, std::string> files;
    for (int i = 0; i < 12; ++i) {
        const std::string name = "f" + std::to_string(i) + ".bin";
        files[name] = testsupport::PatternBytes(20000 + i * 1000, std::uint32_t(i + 3));
        testsupport::WriteFile(server->Local(name), files[name]);
        server->Adopt(server->Local(name));
    }
    Open([&](TClientSettings& s) { RunOverThreeConnections(s, local.path(), 5, false); });
    ConnectTo(Url(), "f0.bin");
    ModalRecorder boxes;
    StartDownloadAll();
    ASSERT_TRUE(WaitFor([&] { return win->SessionState() != 5 && !Captions().empty(); }, 120000)) << PageText(0);
    for (const auto& [name, data] : files) EXPECT_EQ(testsupport::ReadFile(local.path() + "/" + name), data) << name;
    EXPECT_EQ(Captions(), std::vector<std::string>{"Completed"});
    // pyftpdlib at times leaves a command unread (seen waiting in its socket):
    // the step ends with the client's own time-out, and that is all a box may
    // quote, never a greeting or another reply that ended nothing.
    for (const auto& f : boxes.failures) EXPECT_EQ(f, "426 Timeout") << PageText(0);
}

INSTANTIATE_TEST_SUITE_P(Servers, MainSlotLoginServerTest, ::testing::Values("pyftpdlib", "vsftpd"),
                         [](const auto& info) { return std::string(info.param); });

} // namespace
