// The panes' columns, the queue tree's clicks and the connection count as
// the real window shows them.
#include <QAction>
#include <QFontMetrics>
#include <QHeaderView>
#include <QScrollBar>
#include <QTreeView>
#include <QTimer>
#include <QTreeWidget>
#include <filesystem>

#include "MainFixture.h"
#include "ModalHelper.h"
#include "client/engine/FtpManager.h"
#include "client/engine/OldQuene.h"
#include "tests/client/engine/EngineServers.h"

namespace {

using MainPaneColumnsTest = MainFixture;

TEST_F(MainPaneColumnsTest, NamesAndSizesFitTheirColumnsInBothPanes)
{
    const std::string root = dir / "wide";
    std::filesystem::create_directories(root);
    const std::string name = "a-rather-long-file-name-of-a-backup.tar.gz";
    testsupport::WriteFile(root + "/" + name, "");
    std::filesystem::resize_file(root + "/" + name, 524288000);
    Open([&](TClientSettings& s) {
        s.LocalPath = root + "/";
        s.AutoSizeColumn = true;
    });
    win->resize(1600, 700);
    win->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(win.get()));
    Pump(100);
    for (const bool local : {true, false}) {
        QTreeView* tree = PaneView(local)->DetailsView();
        const QFontMetrics m(tree->font());
        int total = 0;
        for (int c = 0; c < tree->header()->count(); ++c) total += tree->columnWidth(c);
        // The name column takes what the others leave, without a scroll bar.
        EXPECT_LE(total, tree->viewport()->width()) << local;
        EXPECT_GE(total, tree->viewport()->width() - 12) << local;
        EXPECT_GE(tree->columnWidth(1), static_cast<QAbstractItemView*>(tree)->sizeHintForColumn(1)) << local;
        EXPECT_GE(tree->columnWidth(2), static_cast<QAbstractItemView*>(tree)->sizeHintForColumn(2)) << local;
        if (local) {
            EXPECT_GT(tree->columnWidth(1), m.horizontalAdvance("524,288,000"));
            EXPECT_GT(tree->columnWidth(0), m.horizontalAdvance(QString::fromStdString(name)) + 30);
        }
    }
    // A wider window gives the names the room.
    const int before = PaneView(true)->DetailsView()->columnWidth(0);
    win->resize(2000, 700);
    EXPECT_TRUE(WaitFor([&] { return PaneView(true)->DetailsView()->columnWidth(0) > before + 100; }, 3000));
}

TEST_F(MainPaneColumnsTest, AGigabyteSizeLeavesTheRemoteNamesReadableAndThePaneScrolls)
{
    auto server = StartEngineServer("portlorn");
    ASSERT_TRUE(server->error.empty()) << server->error;
    testsupport::WriteFile(server->Local("disk-image.iso"), "");
    std::filesystem::resize_file(server->Local("disk-image.iso"), 1073741824);
    testsupport::WriteFile(server->Local("release-notes.txt"), "notes");
    Open([](TClientSettings& s) { s.AutoSizeColumn = true; });
    win->resize(800, 600);
    win->CommandLineUrl = "ftp://" + server->user + ":" + server->pass + "@127.0.0.1:" + std::to_string(server->port) + "/" + server->dir;
    win->show();
    ASSERT_TRUE(WaitFor([&] { return win->SessionState() == 2 && PaneShows(false, "disk-image.iso"); })) << PageText(0);
    QTreeView* tree = PaneView(false)->DetailsView();
    auto* view = static_cast<QAbstractItemView*>(tree);
    const QFontMetrics m(tree->font());
    // Sizes and dates as wide as they need.
    EXPECT_GE(tree->columnWidth(1), view->sizeHintForColumn(1));
    EXPECT_GT(tree->columnWidth(1), m.horizontalAdvance("1,073,741,824"));
    EXPECT_GE(tree->columnWidth(2), view->sizeHintForColumn(2));
    // The names shown whole: none is longer than a useful minimum.
    EXPECT_GE(tree->columnWidth(0), view->sizeHintForColumn(0));
    EXPECT_GT(tree->columnWidth(0), m.horizontalAdvance("release-notes.txt"));
    // The pane is too narrow for all of it at this size: it scrolls sideways.
    int total = 0;
    for (int c = 0; c < tree->header()->count(); ++c) total += tree->columnWidth(c);
    EXPECT_GT(total, tree->viewport()->width());
    EXPECT_TRUE(WaitFor([&] { return tree->horizontalScrollBar()->maximum() > 0; }, 3000));
    win->SetSessionState(0);
}

TEST_F(MainPaneColumnsTest, AClickOnABrokenListShowsItsDetails)
{
    TOldQuene list;
    list.DateTime = "2026-01-02 03:04";
    list.Host = {"ftp.example.org", "21", "user", "pass"};
    list.Items = {{true, "/pub/a.bin", dir / "a.bin", 1000, 200, 1000, false}};
    AppendBrokenList(Program() + "oldquene.ini", list);
    Open();
    win->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(win.get()));
    auto* tree = Find<QTreeWidget>("tvQuene");
    ASSERT_EQ(tree->topLevelItemCount(), 2);
    QString title;
    WhenModal([&](QWidget* d) {
        title = d->windowTitle();
        d->close();
    });
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(tree->topLevelItem(1)).center());
    EXPECT_EQ(title, "2026-01-02 03:04");
    // The current queue's node has no details.
    bool opened = false;
    QTimer watch;
    watch.callOnTimeout([&] {
        if (QWidget* d = QApplication::activeModalWidget()) {
            opened = true;
            d->close();
        }
    });
    watch.start(5);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(tree->topLevelItem(0)).center());
    ASSERT_TRUE(Drain()); // a box opened by the click, at once or posted, has been met
    EXPECT_FALSE(opened);
}

TEST_F(MainPaneColumnsTest, DecreaseStopsAtOneConnectionAsConnectionZeroTransfersToo)
{
    Open([](TClientSettings& s) { s.FtpCliNum = 2; });
    QAction* decrease = Find<QAction>("miDecreaseThread");
    for (const int state : {0, 5}) {
        if (win->Settings().FtpCliNum == 1) win->SetConnectionCount(2);
        win->SetSessionState(state);
        decrease->setEnabled(true);
        decrease->trigger();
        EXPECT_EQ(win->Settings().FtpCliNum, 1) << state;
        EXPECT_EQ(win->LogPageCount(), 1) << state;
        EXPECT_EQ(win->Engine().ClientCount(), 1) << state;
        decrease->trigger();
        EXPECT_EQ(win->Settings().FtpCliNum, 1) << state;
    }
    win->SetSessionState(0);
}

} // namespace
