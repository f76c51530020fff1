// The panes' view styles in the real window: each style shows the same rows
// with the same selection, the View menu checks the active pane's style, and
// keys reach the pane whatever view shows it.
#include <QAction>
#include <QListView>
#include <QTreeView>

#include "MainFixture.h"

TEST_F(MainFixture, ViewStylesShowTheSameRowsAndKeepTheSelection)
{
    const std::string root = dir / "styles";
    std::filesystem::create_directories(root + "/sub");
    for (const char* f : {"a.txt", "b.dat", "c.png", "d.bin"}) testsupport::WriteFile(root + "/" + f, f);
    Open([&](TClientSettings& s) { s.LocalPath = root + "/"; });
    win->show();
    win->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(win.get()));
    TFilePaneView* pane = PaneView(true);
    // The items serve the pane that has the focus.
    pane->setFocus();
    win->UpdateEnabling();
    ASSERT_TRUE(Find<QAction>("miList")->isEnabled());
    EXPECT_EQ(win->PaneViewStyle(true), 3);
    EXPECT_TRUE(Find<QAction>("miDetails")->isChecked());
    const auto rows = PaneNames(true);
    ASSERT_TRUE(SelectRows(true, {"c.png", "sub", "a.txt"}));
    const auto selected = PaneSelectedNames(true);
    const int current = pane->CurrentRow();

    struct Case { const char* action; int style; bool icons; QListView::Flow flow; };
    for (const Case& c : {Case{"miLargeIcons", 0, true, QListView::LeftToRight},
                          Case{"miSmallIcons", 1, false, QListView::LeftToRight},
                          Case{"miList", 2, false, QListView::TopToBottom}, Case{"miDetails", 3, false, {}}}) {
        Find<QAction>(c.action)->trigger();
        EXPECT_EQ(win->PaneViewStyle(true), c.style);
        EXPECT_TRUE(Find<QAction>(c.action)->isChecked()) << c.action;
        QAbstractItemView* view = pane->CurrentView();
        EXPECT_TRUE(view->isVisible()) << c.action;
        if (c.style == 3) {
            EXPECT_EQ(view, pane->DetailsView());
        } else {
            auto* list = qobject_cast<QListView*>(view);
            ASSERT_NE(list, nullptr) << c.action;
            EXPECT_EQ(list->viewMode() == QListView::IconMode, c.icons) << c.action;
            EXPECT_EQ(list->flow(), c.flow) << c.action;
            EXPECT_TRUE(list->isWrapping()) << c.action;
        }
        EXPECT_EQ(PaneNames(true), rows) << c.action;
        EXPECT_EQ(PaneSelectedNames(true), selected) << c.action;
        EXPECT_EQ(pane->CurrentRow(), current) << c.action;
        EXPECT_TRUE(pane->HasFocusWithin()) << "the focus moves to the style's view";
    }
    EXPECT_EQ(win->PaneViewStyle(false), 3) << "the other pane keeps its style";

    // In the List style the commands and keys work on the same selection.
    win->SetPaneViewStyle(true, 2);
    EXPECT_TRUE(Find<QAction>("miList")->isChecked());
    EXPECT_EQ(win->SelectedNames(true), (std::vector<std::string>{"sub", "a.txt", "c.png"}));
    win->SelectRows(true, true);
    EXPECT_EQ(win->SelectedNames(true), (std::vector<std::string>{"b.dat", "d.bin"}));
    pane->ClearSelection();
    QTest::keyClicks(pane->CurrentView(), "d");
    EXPECT_EQ(PaneSelectedNames(true), (std::vector<std::string>{"d.bin"}));
    QTest::keyClick(pane->CurrentView(), Qt::Key_Backspace);
    EXPECT_EQ(win->LocalPath, (std::filesystem::path(dir.path()) / "").string());
}
