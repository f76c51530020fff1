// Rows dragged between the panes, as Qt delivers a drag: a real drag from
// one pane (its source as the drop events report it) with the data the pane
// drags, and the drop events sent to the other pane's view. Remote rows
// dropped on the local pane come down byte-exact, local rows dropped on the
// remote pane go up; a drop from the same pane or from no pane (another
// program, a file manager) does nothing.
#include <QCursor>
#include <QDrag>
#include <QScreen>
#include <QMimeData>
#include <QSignalSpy>
#include <QTimer>
#include <QUrl>
#include <filesystem>

#include "MainServerFixture.h"

namespace fs = std::filesystem;

namespace {

class MainDragDropTest : public MainServerFixture {
protected:
    void Connect()
    {
        win->CommandLineUrl = Url();
        win->move(0, 0);
        win->resize(800, 560);
        win->show();
        ASSERT_TRUE(WaitFor([&] { return win->SessionState() == 2 && PaneShows(false, "down.bin"); })) << PageText(0);
    }
    // The events a drop sends to the view under the mouse; true when the
    // view took both the entry and the drop.
    static bool SendDrop(QWidget* target, const QMimeData* data)
    {
        const QPoint at = target->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        QDragMoveEvent move(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &move);
        QDropEvent drop(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
        return enter.isAccepted() && drop.isAccepted();
    }
    // Drags the selected rows of one pane and drops them on a pane.
    bool Drag(bool fromLocal, bool toLocal)
    {
        TFilePaneView* from = PaneView(fromLocal);
        QWidget* target = PaneView(toLocal)->CurrentView()->viewport();
        QModelIndexList rows;
        for (int i : from->SelectedRowIndexes()) rows << from->Model()->index(i, 0);
        // The pointer away from the window: the drag's own moves must not
        // pick a target in it before the events below do.
        const QRect screen = win->screen()->geometry(), frame = win->frameGeometry();
        QCursor::setPos(frame.right() + 20 < screen.right() ? QPoint(screen.right() - 5, frame.center().y())
                                                             : QPoint(frame.center().x(), screen.bottom() - 5));
        EXPECT_FALSE(frame.contains(QCursor::pos())) << "the pointer is off the window";
        auto* drag = new QDrag(from);
        drag->setMimeData(from->Model()->mimeData(rows));
        bool taken = false, inDrag = false;
        QTimer::singleShot(0, [&] {
            inDrag = true;
            taken = SendDrop(target, drag->mimeData());
            // Ends the drag, as Escape does.
            QTest::keyClick(target, Qt::Key_Escape);
        });
        drag->exec(Qt::CopyAction);
        EXPECT_TRUE(inDrag) << "the drag ran";
        return taken;
    }
};

TEST_P(MainDragDropTest, RowsDroppedOnTheOtherPaneGoDownAndUpAndNothingElseIsTaken)
{
    const std::string down = testsupport::PatternBytes(700 * 1000, 3), up = testsupport::PatternBytes(300 * 1000, 4);
    testsupport::WriteFile(server->Local("down.bin"), down);
    server->Adopt(server->Local("down.bin"));
    testsupport::WriteFile(local / "up.bin", up);
    Open([&](TClientSettings& s) { s.LocalPath = local.path() + "/"; });
    Connect();

    // Not from the same pane, not from outside the window (no source), even
    // with the pane's own data or a file manager's file list.
    // Rows selected in both panes: a drop taken wrongly would move them.
    ASSERT_TRUE(SelectRows(false, {"down.bin"}));
    ASSERT_TRUE(SelectRows(true, {"up.bin"}));
    QSignalSpy droppedLocal(PaneView(true), &TFilePaneView::RowsDropped);
    QSignalSpy droppedRemote(PaneView(false), &TFilePaneView::RowsDropped);
    EXPECT_FALSE(Drag(false, false));
    EXPECT_FALSE(Drag(true, true));
    QMimeData outside;
    outside.setData(TFilePaneModel::MimeType, "down.bin\n");
    outside.setUrls({QUrl::fromLocalFile(QString::fromStdString(local / "up.bin"))});
    EXPECT_FALSE(SendDrop(PaneView(true)->CurrentView()->viewport(), &outside));
    EXPECT_FALSE(SendDrop(PaneView(false)->CurrentView()->viewport(), &outside));
    // A drop taken would have posted the start of its transfer by now.
    ASSERT_TRUE(Drain());
    EXPECT_EQ(droppedLocal.count(), 0);
    EXPECT_EQ(droppedRemote.count(), 0);
    EXPECT_EQ(win->SessionState(), 2);
    EXPECT_FALSE(fs::exists(local / "down.bin"));
    EXPECT_FALSE(fs::exists(server->Local("up.bin")));

    // Remote rows on the local pane: downloaded, byte-exact.
    EXPECT_TRUE(Drag(false, true));
    ASSERT_TRUE(WaitFor([&] { return win->SessionState() != 2; })) << PageText(0);
    ASSERT_TRUE(WaitFor([&] { return win->SessionState() == 2; }, 60000)) << PageText(0);
    EXPECT_EQ(testsupport::ReadFile(local / "down.bin"), down);

    // Local rows on the remote pane, in another view style: uploaded.
    win->SetPaneViewStyle(false, 2);
    win->ListLocalDir(win->LocalPath);
    ASSERT_TRUE(SelectRows(true, {"up.bin"}));
    EXPECT_TRUE(Drag(true, false));
    ASSERT_TRUE(WaitFor([&] { return win->SessionState() != 2; })) << PageText(0);
    ASSERT_TRUE(WaitFor([&] { return win->SessionState() == 2; }, 60000)) << PageText(0);
    EXPECT_EQ(testsupport::ReadFile(server->Local("up.bin")), up);
}

INSTANTIATE_TEST_SUITE_P(Servers, MainDragDropTest, ::testing::Values("portlorn", "vsftpd"),
                         [](const auto& info) { return std::string(info.param); });

} // namespace
