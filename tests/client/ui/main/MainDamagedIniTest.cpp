// A setting.ini or oldquene.ini damaged on disk, as the real window meets it
// at start: told once, kept in a copy before anything rewrites it, and only
// its whole lists and items read.
#include <gtest/gtest.h>

#include <QTimer>
#include <QTreeWidget>
#include <filesystem>
#include <sys/stat.h>

#include "client/engine/DamagedFile.h"
#include "client/engine/OldQuene.h"
#include "ModalHelper.h"
#include "tests/client/ui/main/MainFixture.h"

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::WriteFile;

namespace {

std::string RandomBytes(std::uint32_t seed)
{
    std::string bytes;
    std::uint32_t x = seed;
    for (int i = 0; i < 4096; ++i) {
        x = x * 1664525u + 1013904223u;
        bytes += char(x >> 24);
    }
    return bytes;
}

TOldQuene List(const std::string& when, const std::string& dir)
{
    TOldQuene q;
    q.DateTime = when;
    q.Host = {"ftp.example.org", "21", "me", "secret"};
    q.Items.push_back({true, "/pub/" + when + ".bin", dir + when + ".bin", 1000, 200, 1000, false});
    q.Items.push_back({true, "/pub/dir", dir + "dir", 0, 0, 0, true});
    return q;
}

// The node texts of the queue tree, depth first.
std::vector<std::string> TreeTexts(QTreeWidget* tv)
{
    std::vector<std::string> out;
    std::function<void(QTreeWidgetItem*)> walk = [&](QTreeWidgetItem* n) {
        out.push_back(n->text(0).toStdString());
        for (int i = 0; i < n->childCount(); ++i) walk(n->child(i));
    };
    for (int i = 1; i < tv->topLevelItemCount(); ++i) walk(tv->topLevelItem(i)); // after the current queue's
    return out;
}

class MainDamagedIniTest : public MainFixture {
protected:
    std::string settings, queues, whole;

    void SetUp() override
    {
        MainFixture::SetUp();
        Open([](TClientSettings&) {});
        win.reset();
        settings = dir / "setting.ini";
        queues = dir / "oldquene.ini";
        std::vector<TOldQuene> lists = {List("first", Program()), List("second", Program())};
        SaveOldQuenes(queues, lists, {});
        whole = ReadFile(queues);
    }
    // Builds and shows the window; true once its start-up messages are done:
    // they are posted in turn after the first show, so a post made after
    // them arrives after them.
    bool Start()
    {
        win = std::make_unique<TfmMain>(Program());
        win->show();
        bool done = false;
        std::function<void(int)> hop = [&](int left) {
            if (left == 0) done = true;
            else QTimer::singleShot(0, win.get(), [&, left] { hop(left - 1); });
        };
        hop(4);
        return WaitFor([&] { return done; }, 20000);
    }
    std::vector<std::string> Told() { return dialogs.get()->Texts(TDialogCall::kMessageBox); }
    std::vector<std::string> BrokenDates()
    {
        std::vector<std::string> dates;
        for (const auto& q : win->BrokenLists()) dates.push_back(q.DateTime);
        return dates;
    }
};

// Each damage: told once at start naming the file, the file's bytes kept in
// FILE.damaged, only whole lists and items shown; the exit writes the file
// sound, the copy stays, and the next start says nothing.
TEST_F(MainDamagedIniTest, EachDamageIsToldOnceKeptAndOnlyWholeItemsRead)
{
    const std::size_t secondList = whole.find("[2]");
    const std::size_t cut = whole.find("2LocalPath=", whole.find("[1]")) + 15;
    std::string junkOverHeader = whole;
    junkOverHeader.replace(secondList - 1, 5, "\x9c\x03\xe1\xb2\x07");
    const auto first = List("first", Program());
    struct Case {
        const char* what;
        std::string file, text;
        std::vector<std::string> dates;
        std::size_t firstItems;
    };
    const Case cases[] = {
        {"random bytes as setting.ini", "setting.ini", RandomBytes(1), {"first", "second"}, 2},
        {"random bytes as oldquene.ini", "oldquene.ini", RandomBytes(2), {}, 0},
        {"oldquene.ini cut inside its second item", "oldquene.ini", whole.substr(0, cut), {"first"}, 1},
        {"a count of 2 with one list there", "oldquene.ini", whole.substr(0, secondList), {"first"}, 2},
        {"junk without line ends over a section header", "oldquene.ini", junkOverHeader, {"first"}, 2},
    };
    const std::string soundSettings = ReadFile(settings);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFile(settings, soundSettings);
        WriteFile(queues, whole);
        const std::string path = dir / c.file;
        WriteFile(path, c.text);
        fs::remove(path + ".damaged");
        dialogs.get()->Calls.clear();

        ASSERT_TRUE(Start());
        const auto told = Told();
        ASSERT_EQ(told.size(), 1u);
        EXPECT_EQ(told[0].rfind(path + " could not be read whole:\n- ", 0), 0u) << told[0];
        EXPECT_NE(told[0].find("A copy of it was kept as " + path + ".damaged."), std::string::npos) << told[0];
        EXPECT_EQ(ReadFile(path + ".damaged"), c.text);
        EXPECT_EQ(BrokenDates(), c.dates);
        if (!c.dates.empty()) {
            // The first list's own whole items, no half one, none of another list's.
            const TOldQuene& shown = win->BrokenLists()[0];
            EXPECT_EQ(shown.Host, first.Host);
            ASSERT_EQ(shown.Items.size(), c.firstItems);
            for (std::size_t i = 0; i < c.firstItems; ++i) EXPECT_EQ(shown.Items[i], first.Items[i]);
            const auto texts = TreeTexts(Find<QTreeWidget>("tvQuene"));
            EXPECT_EQ(std::count(texts.begin(), texts.end(), "/pub/dir"), std::ptrdiff_t(c.dates.size() == 2 ? 2 : c.firstItems - 1));
        }

        win.reset();
        EXPECT_EQ(ReadFile(path + ".damaged"), c.text) << "the copy outlives the exit";
        std::vector<std::string> damage;
        TClientSettings back;
        damage = back.LoadFromFile(settings, Program());
        EXPECT_TRUE(damage.empty()) << damage.front();
        std::vector<TOldQuene> lists;
        LoadOldQuenes(queues, lists, &damage);
        EXPECT_TRUE(damage.empty()) << damage.front();
        EXPECT_EQ(lists.size(), c.dates.size());

        dialogs.get()->Calls.clear();
        ASSERT_TRUE(Start());
        EXPECT_TRUE(Told().empty()) << Told().front();
        win.reset();
    }
}

// A section header holding a control character: told once, the file kept
// as it was; the exit writes it without that section, so the next start
// tells nothing. A later, different damage gets a copy of its own beside
// the first, which keeps the user's file as it was.
TEST_F(MainDamagedIniTest, EveryDamageKeepsItsOwnCopyAndTheExitWritesTheFileSound)
{
    const std::string sound = ReadFile(settings);
    struct Case {
        const char* what;
        std::string text, copy;
    };
    const Case cases[] = {
        {"a header with a control character", sound + "[ab\x01" "cd]\nkey=value\n", settings + ".damaged"},
        {"another one, later", sound + "[ef\x02gh]\n", settings + ".damaged-2"},
        {"a third, with a line overwritten", "\x8e\x91\x02\n" + sound, settings + ".damaged-3"},
    };
    std::vector<std::pair<std::string, std::string>> kept;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFile(settings, c.text);
        dialogs.get()->Calls.clear();
        ASSERT_TRUE(Start());
        auto told = Told();
        ASSERT_EQ(told.size(), 1u) << ::testing::PrintToString(told);
        EXPECT_EQ(told[0].rfind(settings + " could not be read whole:\n- ", 0), 0u) << told[0];
        EXPECT_NE(told[0].find("A copy of it was kept as " + c.copy + "."), std::string::npos) << told[0];
        kept.emplace_back(c.copy, c.text);
        for (const auto& [copy, bytes] : kept) EXPECT_EQ(ReadFile(copy), bytes) << copy;
        win.reset();

        // What the exit wrote is sound: the next start has nothing to tell.
        TClientSettings back;
        const auto damage = back.LoadFromFile(settings, Program());
        EXPECT_TRUE(damage.empty()) << damage.front();
        EXPECT_EQ(ReadFile(settings).find_first_of("\x01\x02"), std::string::npos) << ReadFile(settings);
        dialogs.get()->Calls.clear();
        ASSERT_TRUE(Start());
        told = Told();
        EXPECT_TRUE(told.empty()) << told.front();
        win.reset();
        for (const auto& [copy, bytes] : kept) EXPECT_EQ(ReadFile(copy), bytes) << copy;
    }
    EXPECT_FALSE(fs::exists(settings + ".damaged-4"));
}

// Both files damaged: one message names both.
TEST_F(MainDamagedIniTest, BothFilesAreToldInOneMessage)
{
    WriteFile(settings, RandomBytes(3));
    WriteFile(queues, whole.substr(0, whole.find("[2]")));
    ASSERT_TRUE(Start());
    const auto told = Told();
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].rfind(settings + " could not be read whole:\n", 0), 0u) << told[0];
    EXPECT_NE(told[0].find("\n\n" + queues + " could not be read whole:\n"), std::string::npos) << told[0];
    EXPECT_EQ(BrokenDates(), std::vector<std::string>{"first"});
}

// No copy can be kept (a folder holds its name): the exit leaves the damaged
// files as they are, and says it could not write them.
TEST_F(MainDamagedIniTest, AFileThatCannotBeKeptAsideIsNotOverwritten)
{
    const std::string randomSettings = RandomBytes(4), randomQueues = RandomBytes(5);
    WriteFile(settings, randomSettings);
    WriteFile(queues, randomQueues);
    for (const std::string& f : {settings, queues}) ASSERT_EQ(::mkdir((f + ".damaged").c_str(), 0700), 0);
    ASSERT_TRUE(Start());
    auto told = Told();
    ASSERT_EQ(told.size(), 1u);
    EXPECT_NE(told[0].find("No copy of it could be kept."), std::string::npos) << told[0];
    EXPECT_TRUE(win->BrokenLists().empty());

    win.reset();
    EXPECT_EQ(ReadFile(settings), randomSettings);
    EXPECT_EQ(ReadFile(queues), randomQueues);
    told = Told();
    ASSERT_EQ(told.size(), 2u);
    EXPECT_EQ(told[1], "These files could not be written:\n" + settings + "\n" + queues);
}

// The site book's damage names the file by its one path.
TEST_F(MainDamagedIniTest, TheSiteBookMessageNamesItsFileWithOneSlash)
{
    const std::string book = Program() + "book20.dat";
    WriteFile(book, std::string(100, '\0'));
    ASSERT_TRUE(Start());
    bool shown = false;
    WhenModal([&](QWidget* dialog) {
        shown = true;
        dialog->close();
    });
    Find<QAction>("miSiteManager")->trigger();
    ASSERT_TRUE(shown);
    const auto told = Told();
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].rfind(book + " could not be read whole:\n", 0), 0u) << told[0];
    EXPECT_NE(told[0].find("A copy of it was kept as " + book + ".damaged."), std::string::npos) << told[0];
    EXPECT_EQ(told[0].find("//"), std::string::npos) << told[0];
}

} // namespace
