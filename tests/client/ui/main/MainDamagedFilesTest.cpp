// Files of the program folder that could not be read whole, as the real
// window meets them at start, and the program's exit by a signal when its
// folder has gone.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <QTreeWidget>
#include <csignal>
#include <filesystem>

#include "client/engine/DamagedFile.h"
#include "rtl/IniFile.h"
#include "tests/client/ui/main/MainFixture.h"

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::WriteFile;

namespace {

TEST_F(MainFixture, DamagedFilesAreToldOnceKeptInACopyAndTheirListsSurvive)
{
    Open([](TClientSettings&) {});
    win.reset();
    const std::string settings = dir / "setting.ini", queues = dir / "oldquene.ini";
    {
        rtl::TIniFile ini(settings);
        ini.WriteString("Setting", "TransferType", "9");
        ini.UpdateFile();
    }
    const std::string settingsText = ReadFile(settings);
    const std::string list = "HostName=h\nHostPort=21\nUserName=u\nPassWord=p\nOldQueneCount=1\n";
    const std::string item = "1LocalPath=/l\n1FileSize=1\n1BeginPos=0\n1EndPos=1\n1IsDir=0\n";
    const std::string queuesText = "[Count]\nCount=-3\n"
                                   "[1]\nDateTime=first\n" + list + "1IsDownload=1\n1HostPath=/a\n" + item +
                                   "[2]\nDateTime=second\n" + list + "1IsDownload=0\n1HostPath=/b\n" + item;
    WriteFile(settings, settingsText);
    WriteFile(queues, queuesText);

    win = std::make_unique<TfmMain>(Program());
    win->show();
    ASSERT_TRUE(WaitFor([&] { return !dialogs.get()->Calls.empty(); }, 5000));
    const auto told = dialogs.get()->Texts(TDialogCall::kMessageBox);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0], settings + " could not be read whole:\n- [Setting] TransferType = 9 is out of range; 2 is used\n"
                                  "A copy of it was kept as " + settings + ".damaged.\n\n" +
                           queues + " could not be read whole:\n"
                                    "- [Count] Count = -3 is out of range; the lists the file holds are read\n"
                                    "A copy of it was kept as " + queues + ".damaged.");
    EXPECT_EQ(ReadFile(settings + ".damaged"), settingsText);
    EXPECT_EQ(ReadFile(queues + ".damaged"), queuesText);
    // Both lists are there, in the queue tree, and the exit writes them back.
    auto* tree = Find<QTreeWidget>("tvQuene");
    ASSERT_EQ(tree->topLevelItemCount(), 3);
    EXPECT_EQ(tree->topLevelItem(1)->text(0), "first - Broken");
    EXPECT_EQ(tree->topLevelItem(2)->text(0), "second - Broken");
    win.reset();
    std::vector<TOldQuene> saved;
    LoadOldQuenes(queues, saved);
    EXPECT_EQ(saved.size(), 2u);

    // The files are sound again: the next start says nothing. That start
    // opens the site manager right after the moment the box would be told:
    // once it shows, that moment has passed.
    {
        rtl::TIniFile ini(settings);
        ini.WriteString("General", "ShowSiteManager", "1");
        ini.UpdateFile();
    }
    dialogs.get()->Calls.clear();
    bool siteManager = false;
    QTimer watch;
    watch.callOnTimeout([&] {
        QWidget* box = QApplication::activeModalWidget();
        if (!box || box->objectName() != "TfmConnBook") return;
        siteManager = true;
        EXPECT_TRUE(dialogs.get()->Calls.empty()) << ::testing::PrintToString(dialogs.get()->Texts(TDialogCall::kMessageBox));
        box->close();
    });
    watch.start(5);
    win = std::make_unique<TfmMain>(Program());
    win->show();
    ASSERT_TRUE(WaitFor([&] { return siteManager; }));
    EXPECT_TRUE(dialogs.get()->Calls.empty());
}

// The real program, copied into a folder of its own that goes away while it
// runs: a signal still ends it, the files it could not write named on
// standard error.
TEST(SkelwickProgram, SignalEndsItWhenItsFolderHasGone)
{
    for (int sig : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(sig);
        testsupport::TempDir top;
        const std::string folder = top / "program", moved = top / "moved", log = top / "out.log";
        fs::create_directories(folder);
        for (const char* f : {"Skelwick", "def_setting.ini", "def_book20.dat", "def_oldquene.ini", "Logo.bmp"})
            fs::copy(std::string(CLIENT_FILES_DIR) + "/" + f, folder + "/" + f);
        testsupport::ChildProcess program({folder + "/Skelwick"}, log, {"QT_QPA_PLATFORM=offscreen"}, folder);
        // Its files and temporary folder are made; a signal from its start on
        // waits until the window can close and save.
        ASSERT_TRUE(QTest::qWaitFor([&] { return fs::exists(folder + "/oldquene.ini") && fs::exists(folder + "/tmp"); },
                                    20000));
        ASSERT_TRUE(program.running()) << ReadFile(log);
        fs::rename(folder, moved);
        ::kill(program.pid(), sig);
        EXPECT_EQ(program.wait(std::chrono::seconds(15)), 0) << ReadFile(log);
        const std::string out = ReadFile(log);
        EXPECT_NE(out.find("These files could not be written:"), std::string::npos) << out;
        EXPECT_NE(out.find(folder + "/setting.ini"), std::string::npos) << out;
    }
}

} // namespace
