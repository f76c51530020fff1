#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include "platform/dialogs/ScriptedDialogs.h"
#include "server/ui/LkTFolderLookup.h"
#include "server/ui/LkTLookupEdit.h"
#include "tests/support/TestSupport.h"

namespace {

class LookupEditTest : public ::testing::Test {
protected:
    TScriptedDialogsScope scripted;
    TScriptedDialogs* dialogs = scripted.get();
};

TEST_F(LookupEditTest, ButtonsAreSquaresAtTheRightEndAndHiddenOnesAreParked)
{
    TLkLookupEdit edit;
    edit.resize(200, 30);
    edit.show();
    QToolButton* b2 = edit.EditButton2()->Button();
    QToolButton* b1 = edit.EditButton1()->Button();
    const int side = 30 - 4;
    EXPECT_EQ(b2->geometry(), QRect(200 - 2 - side, 2, side, side));
    EXPECT_EQ(b1->geometry(), QRect(200 - 2 - 2 * side, 2, side, side));
    EXPECT_EQ(edit.textMargins().right(), 2 * side);

    edit.EditButton2()->SetVisible(false);
    EXPECT_EQ(b2->geometry(), QRect(201, 0, 0, 0));
    EXPECT_EQ(b1->geometry(), QRect(200 - 2 - side, 2, side, side));
    EXPECT_EQ(edit.textMargins().right(), side);
}

TEST_F(LookupEditTest, HeightNeverFallsBelowTheMinimum)
{
    TLkLookupEdit edit;
    edit.resize(150, 3);
    EXPECT_EQ(edit.height(), edit.MinimumHeight());
    EXPECT_GT(edit.MinimumHeight(), edit.fontMetrics().height());
}

TEST_F(LookupEditTest, ButtonClicksFireTheirEventsAndDisablingReachesTheButtons)
{
    TLkLookupEdit edit;
    edit.resize(200, 30);
    std::vector<int> clicks;
    edit.OnButton1Click = [&](TObject* s) { EXPECT_EQ(s, &edit); clicks.push_back(1); };
    edit.OnButton2Click = [&](TObject*) { clicks.push_back(2); };
    edit.show();
    edit.EditButton2()->Button()->click();
    edit.EditButton1()->Button()->click();
    EXPECT_EQ(clicks, (std::vector<int>{2, 1}));
    edit.setEnabled(false);
    EXPECT_FALSE(edit.EditButton1()->Button()->isEnabled());
    EXPECT_FALSE(edit.EditButton2()->Button()->isEnabled());
}

TEST_F(LookupEditTest, ShortCutKeyActsAsTheClickAndTypesNothing)
{
    QDialog dialog;
    TLkFolderLookup edit(&dialog);
    edit.resize(200, 30);
    edit.EditButton1()->SetShortCutKey(QKeyCombination(Qt::ControlModifier, Qt::Key_F));
    dialog.show();
    edit.setFocus();
    dialogs->ReplyText("/tmp");
    QTest::keyClick(&edit, Qt::Key_F, Qt::ControlModifier);
    ASSERT_EQ(dialogs->Calls.size(), 1u);
    EXPECT_EQ(dialogs->Calls[0].kind, TDialogCall::kSelectDirectory);
    EXPECT_EQ(edit.Text(), "/tmp");
    QTest::keyClick(&edit, Qt::Key_G, Qt::ControlModifier); // no shortcut: an ordinary key
    EXPECT_EQ(dialogs->Calls.size(), 1u);
    QTest::keyClicks(&edit, "x");
    EXPECT_EQ(edit.Text(), "/tmpx");
}

TEST_F(LookupEditTest, EnterReachesTheDialogsDefaultButton)
{
    QDialog dialog;
    TLkLookupEdit edit(&dialog);
    QPushButton ok("OK", &dialog);
    ok.setDefault(true);
    ok.move(0, 40);
    int pressed = 0;
    QObject::connect(&ok, &QPushButton::clicked, [&] { ++pressed; });
    dialog.show();
    edit.setFocus();
    QTest::keyClick(&edit, Qt::Key_Return);
    EXPECT_EQ(pressed, 1);
}

TEST_F(LookupEditTest, FolderLookupOpensAtTheEditsFolderOrTheRoot)
{
    testsupport::TempDir dir;
    struct Case { std::string text; std::string opensAt; };
    for (const Case& c : {Case{dir.path(), dir.path()}, Case{dir / "missing", "/"}, Case{"", "/"}}) {
        dialogs->Calls.clear();
        TLkFolderLookup edit;
        edit.SetLookupCaption("HomeDir:");
        edit.SetText(c.text);
        dialogs->ReplyCancel();
        EXPECT_FALSE(edit.Execute());
        ASSERT_EQ(dialogs->Calls.size(), 1u);
        EXPECT_EQ(dialogs->Calls[0].value, c.opensAt) << c.text;
        EXPECT_EQ(dialogs->Calls[0].caption, "HomeDir:");
        EXPECT_EQ(edit.Text(), c.text); // cancelled: unchanged
    }
}

TEST_F(LookupEditTest, PathChangedFiresOnlyForAnotherFolderAndAfterLookupAlways)
{
    testsupport::TempDir dir;
    TLkFolderLookup edit;
    EXPECT_FALSE(edit.EditButton2()->Visible());
    EXPECT_EQ(edit.LookupFlags(), FileSystemDirsOnly | StatusText);
    EXPECT_EQ(edit.LookupRoot(), csidlDesktopExpanded);
    std::vector<std::string> events;
    edit.BeforeLookup = [&](TObject*) { events.push_back("before"); };
    edit.AfterLookup = [&](TObject*) { events.push_back("after"); };
    edit.OnPathChanged = [&](TObject*, const std::string& o, const std::string& n) {
        events.push_back("changed " + o + " > " + n);
    };
    edit.SetText(dir.path());
    dialogs->ReplyText(dir.path()); // the same folder again
    EXPECT_TRUE(edit.Execute());
    dialogs->ReplyText("/tmp");
    EXPECT_TRUE(edit.Execute());
    dialogs->ReplyCancel();
    EXPECT_FALSE(edit.Execute());
    EXPECT_EQ(events, (std::vector<std::string>{"before", "after", "before", "changed " + dir.path() + " > /tmp",
                                                "after", "before", "after"}));
    EXPECT_EQ(edit.Text(), "/tmp");
}

} // namespace
