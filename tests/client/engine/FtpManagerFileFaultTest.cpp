// Faults of one file against faults of a connection, over scripted servers:
// a file the server refuses or never confirms fails alone and the run goes
// on; a split part is finished once its bytes are on disk; a folder whose
// listing stalls is listed again on a new login.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <memory>
#include <mutex>
#include <set>

#include "tests/client/engine/EngineScripts.h"
#include "tests/client/engine/ScriptedEngineTest.h"

using namespace testsupport;
using namespace fakeftp;

namespace {

// Paths fetched so far, shared by every session of one server.
struct Seen {
    std::mutex mu;
    std::map<std::string, int> count;
    int Next(const std::string& path)
    {
        std::lock_guard lock(mu);
        return ++count[path];
    }
};

class EngineFileFaults : public ScriptedEngineTest {};

// Files a, b and c fail on their own, d and e are good. Each bad file is
// asked for twice (on two connections in turn, or twice on the only one),
// then fails alone with its reply in the run's report; the good ones are
// fetched byte-exact, and the slots that met the bad files are not retired.
TEST_F(EngineFileFaults, AFileThatFailsOnItsOwnFailsAloneAndTheRunGoesOn)
{
    struct Case {
        const char* name;
        bool refused;       // 550 to the RETR; else every byte and no 226
        const char* reason; // in the report of each bad file
    };
    const Case cases[] = {
        {"refused", true, "550 No such file"},
        {"never confirmed", false, "426 Timeout"},
    };
    for (const auto& c : cases) {
        for (int connections : {1, 3}) {
            SCOPED_TRACE(std::string(c.name) + ", connections " + std::to_string(connections));
            w.log.clear();
            w.completed.clear();
            Files files;
            for (const char* n : {"a", "b", "c", "d", "e"}) files[std::string("/") + n] = PatternBytes(3000, n[0]);
            Files served = files;
            const std::set<std::string> bad = {"/a", "/b", "/c"};
            if (c.refused)
                for (const auto& b : bad) served.erase(b);
            const auto withoutEnd = [&](Session& s, const std::string& line) {
                if (c.refused || line.rfind("RETR ", 0) != 0 || !bad.count(line.substr(5))) return false;
                s.Reply("150 Opening BINARY mode data connection");
                s.OpenData();
                s.DataSend(files.at(line.substr(5)));
                s.CloseData();
                HoldSilently(s);
                return true;
            };
            FakeFtpServer server(std::vector<std::vector<Step>>(16, {Welcome(), Serve(served, withoutEnd)}));
            TFtpManager m(w);
            ASSERT_TRUE(Connect(m, server.Port(), connections));
            EXPECT_FALSE(RunQueue(m, Downloads(files))) << "three files failed";
            for (const char* good : {"d", "e"}) EXPECT_EQ(ReadFile(dir / good), files.at(std::string("/") + good)) << good;
            EXPECT_EQ(w.completed.size(), 2u);
            const auto commands = server.Commands();
            std::set<std::string> failed;
            for (const auto& f : m.GetFailedItems()) {
                failed.insert(f.Item.HostPath);
                EXPECT_NE(f.Reason.find(c.reason), std::string::npos) << f.Reason;
                EXPECT_NE(f.Reason.find(f.Item.HostPath), std::string::npos) << f.Reason;
            }
            EXPECT_EQ(failed, bad);
            for (const auto& b : bad) EXPECT_EQ(CountOf(commands, "RETR " + b), 2) << b;
            // They may be mended and resumed: the broken list keeps them.
            const auto broken = BrokenOnDisk();
            EXPECT_EQ(broken.size(), 3u);
        }
    }
}

// A refusal is told apart from the client's own endings by who ended the
// request, never by its words: a server that answers the RETR of /a with
// the texts the client uses for its own time-out or abort has refused /a,
// which fails alone after its second try, and the connection goes on with
// /b (were it taken for a time-out, the one try allowed would retire the
// only connection with /b not fetched).
TEST_F(EngineFileFaults, AServersReplyIsItsRefusalWhateverItsWords)
{
    w.settings.ConnectionRetryTimes = 1;
    const Files files = {{"/a", PatternBytes(2000, 1)}, {"/b", PatternBytes(3000, 2)}};
    for (const char* reply : {"426 Timeout", "426 Operation aborted."}) {
        SCOPED_TRACE(reply);
        w.log.clear();
        w.completed.clear();
        const auto refuse = [reply](Session& s, const std::string& line) {
            if (line != "RETR /a") return false;
            s.Reply(reply);
            return true;
        };
        FakeFtpServer server(std::vector<std::vector<Step>>(4, {Welcome(), Serve(files, refuse)}));
        TFtpManager m(w);
        ASSERT_TRUE(Connect(m, server.Port(), 1));
        EXPECT_FALSE(RunQueue(m, Downloads(files)));
        EXPECT_EQ(ReadFile(dir / "b"), files.at("/b"));
        ASSERT_EQ(m.GetFailedItems().size(), 1u);
        EXPECT_EQ(m.GetFailedItems()[0].Item.HostPath, "/a");
        EXPECT_EQ(m.GetFailedItems()[0].Reason, std::string("Transfer of /a failed: ") + reply);
        EXPECT_EQ(CountOf(server.Commands(), "RETR /a"), 2);
        EXPECT_EQ(server.Sessions(), 1) << "the connection was never taken for the fault";
    }
}

// A server whose first RETR of each file sends every byte but no final
// reply: each file is fetched again and the run ends byte-exact, over one
// connection as over four.
TEST_F(EngineFileFaults, AnEndNeverConfirmedOnceCostsOnlyASecondTry)
{
    Files files;
    for (int i = 1; i <= 6; ++i) files["/f" + std::to_string(i)] = PatternBytes(4000 + i, i);
    for (int connections : {1, 4}) {
        SCOPED_TRACE(connections);
        w.completed.clear();
        for (const auto& [path, content] : files) ::unlink((dir / path.substr(1)).c_str());
        auto seen = std::make_shared<Seen>();
        const auto firstWithoutEnd = [&files, seen](Session& s, const std::string& line) {
            if (line.rfind("RETR ", 0) != 0 || seen->Next(line.substr(5)) != 1) return false;
            s.Reply("150 Opening BINARY mode data connection");
            s.OpenData();
            s.DataSend(files.at(line.substr(5)));
            s.CloseData();
            HoldSilently(s);
            return true;
        };
        FakeFtpServer server(std::vector<std::vector<Step>>(24, {Welcome(), Serve(files, firstWithoutEnd)}));
        TFtpManager m(w);
        ASSERT_TRUE(Connect(m, server.Port(), connections));
        EXPECT_TRUE(RunQueue(m, Downloads(files)));
        EXPECT_EQ(w.completed.size(), files.size());
        EXPECT_TRUE(m.GetFailedItems().empty());
        for (const auto& [path, content] : files) EXPECT_EQ(ReadFile(dir / path.substr(1)), content) << path;
    }
}

// An upload the server refuses: the STOR goes out once, every item goes
// back, and the run ends with its broken list.
TEST_F(EngineFileFaults, ARefusedStoreIsSentOnceAndEndsTheRunWithEveryItem)
{
    w.settings.ConnectionRetryTimes = 3;
    const auto refuse = [](Session& s, const std::string& line) {
        if (line.rfind("STOR ", 0) != 0) return false;
        s.Reply("501 Permission Denied");
        return true;
    };
    FakeFtpServer server(std::vector<std::vector<Step>>(4, {Welcome(), Serve({}, refuse)}));
    TFtpManager m(w);
    ASSERT_TRUE(Connect(m, server.Port(), 1));
    EXPECT_FALSE(RunQueue(m, Uploads({"u1", "u2"})));
    EXPECT_TRUE(w.completed.empty());
    const auto commands = server.Commands();
    EXPECT_EQ(std::count_if(commands.begin(), commands.end(), [](const std::string& l) { return l.rfind("STOR ", 0) == 0; }), 1);
    const auto broken = BrokenOnDisk();
    ASSERT_EQ(broken.size(), 2u);
    EXPECT_FALSE(broken[0].IsDownload);
}

// Two uploads over two connections: the second connection's STOR is
// refused while the first's ends well (its 226 goes out right after the
// refusal). The run fails with u2 left, and the reply it quotes is the
// refusal that failed it, not the last reply the browsing connection heard
// (its own 226, or its abort), until that connection starts anything else.
TEST_F(EngineFileFaults, AFailedRunQuotesTheReplyThatFailedIt)
{
    // u1's end waits until the other connection has u2, so neither takes both.
    auto refused = std::make_shared<std::promise<void>>();
    const std::shared_future<void> told = refused->get_future().share();
    const auto stores = [refused, told](Session& s, const std::string& line) {
        if (line == "STOR /u1") {
            s.Reply("150 Ok to send data");
            s.OpenData();
            s.DataReceiveAll();
            if (told.wait_for(std::chrono::seconds(10)) != std::future_status::ready)
                s.Fail("STOR /u2 never came");
            s.Reply("226 Transfer complete");
            return true;
        }
        if (line != "STOR /u2") return false;
        s.Reply("553 Could not create file.");
        refused->set_value();
        return true;
    };
    FakeFtpServer server(std::vector<std::vector<Step>>(4, {Welcome(), Serve({}, stores)}));
    TFtpManager m(w);
    ASSERT_TRUE(Connect(m, server.Port(), 2));
    EXPECT_FALSE(RunQueue(m, Uploads({"u1", "u2"})));
    const auto broken = BrokenOnDisk();
    EXPECT_TRUE(std::any_of(broken.begin(), broken.end(), [](const TTransferFileInfo& t) { return t.HostPath == "/u2"; }));
    EXPECT_TRUE(m.RunEndedWithItemsLeft());
    EXPECT_EQ(m.GetLastReply(), "553 Could not create file.");
    // Slot 0 starts again: its own replies are told again.
    w.state = 1;
    ASSERT_TRUE(w.Run([&] { m.ConnectHost({"127.0.0.1", std::to_string(server.Port()), "user", "pass"}); }));
    EXPECT_EQ(m.GetLastReply(), "226 Transfer complete") << "the end of the login's listing";
}

// A 200,000-byte file split in four from a server that sends 64 KiB of
// each RETR and then stalls (the rest of the file, when that is less, it
// sends whole and confirms). A part whose bytes on disk reach its end is
// finished at once: no part is given back or fetched again. (Over one
// connection the stalled RETR still costs that session a time-out before
// the next part goes out on a new one.)
TEST_F(EngineFileFaults, ASplitPartPastItsEndIsFinishedAtOnceWhateverTheDataDoesNext)
{
    w.settings.EnableSplitDownload = true;
    w.settings.SplitNum = 4;
    w.settings.Timeout = 2;
    const std::string big = PatternBytes(200000, 5);
    const Files files = {{"/big", big}};
    for (int connections : {4, 1}) {
        SCOPED_TRACE(connections);
        w.log.clear();
        w.completed.clear();
        ::unlink((dir / "big").c_str());
        const auto stallAfter64k = [big](Session& s, const std::string& line) {
            static thread_local std::int64_t rest = 0;
            if (line.rfind("REST ", 0) == 0) {
                rest = std::atoll(line.c_str() + 5);
                s.Reply("350 Restarting at " + line.substr(5));
                return true;
            }
            if (line != "RETR /big") return false;
            const std::string tail = big.substr(static_cast<std::size_t>(rest));
            rest = 0;
            s.Reply("150 Opening BINARY mode data connection");
            s.OpenData();
            if (tail.size() <= 65536) {
                s.DataSend(tail);
                s.CloseData();
                s.Reply("226 Transfer complete");
                return true;
            }
            s.DataSend(tail.substr(0, 65536));
            HoldSilently(s);
            return true;
        };
        FakeFtpServer server(std::vector<std::vector<Step>>(12, {Welcome(), Serve(files, stallAfter64k)}));
        TFtpManager m(w);
        m.SetSplitFileSize(100000);
        ASSERT_TRUE(Connect(m, server.Port(), connections));
        EXPECT_TRUE(RunQueue(m, Downloads(files)));
        EXPECT_EQ(w.completed.size(), 4u) << "four parts";
        EXPECT_EQ(ReadFile(dir / "big"), big);
        EXPECT_FALSE(Shown("Transfer of /big stopped")) << "a part waited for a time-out";
        EXPECT_EQ(CountOf(server.Commands(), "RETR /big"), 4) << "a part was fetched again";
    }
}

// A tree whose folder /sub/ answers its first LIST with 150 and then
// nothing: after the time-out (which takes the session) the LIST is asked
// for again on a new login, and every file is found. A folder whose LIST
// always stalls is tried 1 + ConnectionRetryTimes times, then left out and
// named with why, and the expansion ends with the files beside it.
TEST_F(EngineFileFaults, AFolderListingThatStallsIsListedAgainOnANewLogin)
{
    struct Case {
        const char* name;
        int stalls; // LISTs of /sub/ that stall
        int lists;  // LISTs of /sub/ asked for
        std::vector<std::string> found;
        std::vector<std::string> unlisted; // the reasons told
    };
    const Case cases[] = {
        {"stalls once", 1, 2, {"/sub/inner", "/top"}, {}},
        {"stalls always", 100, 3, {"/top"}, {"Not listed: /sub/: 426 Timeout"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        w.log.clear();
        w.settings.ConnectionRetryTimes = 2;
        auto subLists = std::make_shared<std::atomic<int>>(0);
        const auto stall = [c, subLists](Session& s, const std::string& folder) {
            if (folder != "/sub/" || ++*subLists > c.stalls) return false;
            s.Reply("150 Here comes the listing");
            s.OpenData();
            HoldSilently(s);
            return true;
        };
        const Files files = {{"/top", "abc"}, {"/sub/inner", "12345"}};
        FakeFtpServer server(std::vector<std::vector<Step>>(8, {Welcome(), Serve({}, FolderTree(files, stall))}));
        TFtpManager m(w);
        ASSERT_TRUE(Connect(m, server.Port(), 1));
        std::vector<TGetFileInfo> found;
        w.state = 4;
        EXPECT_TRUE(w.Run([&] { m.ExpandRemoteDir("/", found); }, 30000));
        ASSERT_TRUE(w.lastEnded) << "the expansion hangs";
        w.state = 2;
        EXPECT_EQ(subLists->load(), c.lists);
        std::vector<std::string> names;
        for (const auto& f : found) names.push_back(f.FileName);
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, c.found);
        std::vector<std::string> unlisted;
        for (const auto& d : m.GetUnlistedDirs()) {
            unlisted.push_back(d.Reason);
            EXPECT_TRUE(d.Item.IsDir);
            EXPECT_EQ(d.Item.HostPath, "/sub/");
        }
        EXPECT_EQ(unlisted, c.unlisted);
        for (const auto& why : c.unlisted) EXPECT_TRUE(Shown(why)) << "the folder is named on the log page";
    }
}

} // namespace
