#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "FindChild.h"
#include "ModalHelper.h"
#include "client/engine/ClientSettings.h"
#include "client/ui/small/About.h"
#include "client/ui/small/CommFail.h"
#include "client/ui/small/CustomCommand.h"
#include "client/ui/small/EditBookmark.h"
#include "client/ui/small/EditDirectoryList.h"
#include "client/ui/small/FileExist.h"
#include "client/ui/small/ServerMessage.h"
#include "client/ui/small/ViewRawDir.h"
#include "platform/dialogs/ScriptedDialogs.h"
#include "widgets/skLabel.h"

namespace {

QStringList ButtonTexts(QWidget* d, std::initializer_list<const char*> names)
{
    QStringList out;
    for (auto n : names) out << Child<QPushButton>(d, n)->text();
    return out;
}

QStringList Rows(QTreeWidget* list, int column)
{
    QStringList out;
    for (int i = 0; i < list->topLevelItemCount(); ++i) out << list->topLevelItem(i)->text(column);
    return out;
}

class SmallDialogsTest : public ::testing::Test {
protected:
    TScriptedDialogsScope scripted;
    TScriptedDialogs* dialogs = scripted.get();
};

TEST_F(SmallDialogsTest, FileExistsAnswersWithTheButtonTagAndCloseBoxMeansSkip)
{
    TfmFileExists d;
    EXPECT_EQ(d.windowTitle(), "FileExists");
    EXPECT_TRUE(d.font().bold());
    EXPECT_EQ(d.Choice, 0);
    EXPECT_EQ(ButtonTexts(&d, {"Button1", "Button2", "Button3", "Button4", "Button5", "Button6"}),
              QStringList({"OverWrite", "OverWrite All", "Skip", "Skip All", "Smart Resume", "Smart Resume All"}));
    struct Case { const char* button; int choice; };
    for (Case c : {Case{"Button1", 0}, {"Button2", 1}, {"Button3", 2}, {"Button4", 3}}) {
        WhenModal([&](QWidget* m) {
            EXPECT_EQ(Child<QLabel>(m, "lbInfo")->text(), "This local file exists!\n/tmp/x.bin");
            EXPECT_FALSE(Child<QPushButton>(m, "Button5")->isVisible());
            EXPECT_FALSE(Child<QPushButton>(m, "Button6")->isVisible());
            Child<QPushButton>(m, c.button)->click();
        });
        EXPECT_EQ(d.Ask("/tmp/x.bin"), c.choice) << c.button;
    }
    // After "OverWrite" the close box must not overwrite again.
    WhenModal([](QWidget* m) { Child<QPushButton>(m, "Button1")->click(); });
    d.Ask("/tmp/a");
    WhenModal([](QWidget* m) { m->close(); });
    EXPECT_EQ(d.Ask("/tmp/b"), 2);
}

TEST_F(SmallDialogsTest, AboutShowsNameVersionAndBuild)
{
    TfmAbout d;
    EXPECT_EQ(d.windowTitle(), "About");
    // Two of the drawing library's labels, no more.
    EXPECT_EQ(d.findChildren<TskLabel*>().size(), 2);
    EXPECT_EQ(Child<TskLabel>(&d, "skLabel1")->Caption(), "Skelwick 1.0.1.1");
    EXPECT_EQ(Child<TskLabel>(&d, "skLabel2")->Caption(), "Version 1.0.1.1    Build 2001-08-01");
    EXPECT_EQ(d.findChildren<QLabel*>().size(), 1); // the picture
    EXPECT_EQ(Child<QPushButton>(&d, "Button1")->text(), "OK");
}

TEST_F(SmallDialogsTest, CommandFailedShowsTheReply)
{
    TfmCommFail d;
    EXPECT_EQ(d.windowTitle(), "Command Failed");
    d.SetResponse("550 No such file");
    EXPECT_EQ(Child<QLabel>(&d, "lbResponse")->text(), "550 No such file");
    QStringList texts;
    for (QLabel* l : d.findChildren<QLabel*>()) texts << l->text();
    EXPECT_TRUE(texts.contains("Command Failed!"));
    EXPECT_TRUE(texts.contains("Server Response:"));
}

TEST_F(SmallDialogsTest, RawTextWordWrapSwitchesTheHorizontalBar)
{
    TfmViewRawDir d;
    EXPECT_EQ(d.windowTitle(), "Raw Directory");
    auto* memo = Child<QPlainTextEdit>(&d, "Memo1");
    auto* wrap = Child<QCheckBox>(&d, "CheckBox1");
    EXPECT_TRUE(memo->isReadOnly());
    EXPECT_EQ(wrap->text(), "Word Wrap");
    d.SetText("drwxr-xr-x 2 a b 4096 Jan 1 2001 pub");
    EXPECT_EQ(memo->toPlainText(), "drwxr-xr-x 2 a b 4096 Jan 1 2001 pub");
    wrap->click();
    EXPECT_EQ(memo->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    EXPECT_EQ(memo->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    wrap->click();
    EXPECT_EQ(memo->lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_EQ(memo->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
}

TEST_F(SmallDialogsTest, ServerMessageOkStoresTheCheckOtherClosesDoNot)
{
    TClientSettings s;
    {
        TfmServerMessage d(s);
        EXPECT_EQ(d.windowTitle(), "Server Message");
        EXPECT_EQ(Child<QCheckBox>(&d, "CheckBox1")->text(), "Don't show this dialog again.");
        Child<QCheckBox>(&d, "CheckBox1")->setChecked(true);
        d.show();
        d.close();
        EXPECT_TRUE(s.ShowLoginMessage);
        Child<QPushButton>(&d, "Button1")->click();
        EXPECT_FALSE(s.ShowLoginMessage);
    }
    TfmServerMessage d(s);
    Child<QPushButton>(&d, "Button1")->click();
    EXPECT_TRUE(s.ShowLoginMessage);
}

TEST_F(SmallDialogsTest, CustomCommandEditsGoToTheRowTheyCameFrom)
{
    std::vector<std::string> names{"list", "site"}, cmds{"LIST -la", "SITE HELP"};
    TfmCustomCmd d(names, cmds);
    d.show();
    EXPECT_EQ(d.windowTitle(), "Define Custom Command");
    auto* list = Child<QTreeWidget>(&d, "ListView1");
    auto* e1 = Child<QLineEdit>(&d, "Edit1");
    auto* e2 = Child<QLineEdit>(&d, "Edit2");
    EXPECT_EQ(list->columnWidth(0), 120);
    EXPECT_EQ(list->columnWidth(1), 200);
    EXPECT_FALSE(e1->isEnabled()); // no row yet
    EXPECT_FALSE(e2->isEnabled());
    e1->setFocus();

    list->setCurrentItem(list->topLevelItem(1));
    EXPECT_EQ(e1->text(), "site");
    EXPECT_EQ(e2->text(), "SITE HELP");
    QTest::keyClicks(e2, " X");
    // The selection moves before the edit is left: the typed text stays with row 1.
    list->setCurrentItem(list->topLevelItem(0));
    EXPECT_EQ(Rows(list, 1), QStringList({"LIST -la", "SITE HELP X"}));
    EXPECT_EQ(e2->text(), "LIST -la");

    Child<QPushButton>(&d, "Button2")->click(); // Remove row 0
    EXPECT_FALSE(e1->isEnabled());
    QTest::keyClicks(e1, "zzz"); // disabled: nothing to write into
    Child<QPushButton>(&d, "Button1")->click(); // Add
    EXPECT_TRUE(e1->isEnabled());
    QTest::keyClicks(e1, "pwd");
    QTest::keyClicks(e2, "PWD");
    Child<QPushButton>(&d, "Button1")->click(); // Add, left empty
    Child<QPushButton>(&d, "Button3")->click(); // Close
    EXPECT_EQ(names, (std::vector<std::string>{"site", "pwd", ""}));
    EXPECT_EQ(cmds, (std::vector<std::string>{"SITE HELP X", "PWD", ""}));

    // Closed any other way: the lists stay.
    TfmCustomCmd other(names, cmds);
    other.show();
    Child<QPushButton>(&other, "Button1")->click();
    other.close();
    EXPECT_EQ(names.size(), 3u);
}

TEST_F(SmallDialogsTest, BookmarksAreEditedInPlace)
{
    std::vector<std::string> list{"pub|/pub", "odd|/a|b"};
    TfmEditBookmark d(list);
    EXPECT_EQ(d.windowTitle(), "Edit Bookmark");
    auto* view = Child<QTreeWidget>(&d, "ListView1");
    EXPECT_EQ(view->headerItem()->text(0), "Name");
    EXPECT_EQ(view->headerItem()->text(1), "Bookmark");
    EXPECT_EQ(ButtonTexts(&d, {"Button1", "Button2", "Button3", "Button4", "Button5"}),
              QStringList({"Add", "Edit Name", "Edit Bookmark", "Delete", "OK"}));
    EXPECT_EQ(Rows(view, 1), QStringList({"/pub", "/a|b"}));

    dialogs->ReplyText("home");
    dialogs->ReplyText("/home/ann");
    Child<QPushButton>(&d, "Button1")->click();
    view->setCurrentItem(view->topLevelItem(1));
    dialogs->ReplyText("odd2");
    Child<QPushButton>(&d, "Button2")->click();
    view->setCurrentItem(view->topLevelItem(0));
    dialogs->ReplyText("/srv/pub");
    Child<QPushButton>(&d, "Button3")->click();
    EXPECT_EQ(list, (std::vector<std::string>{"pub|/srv/pub", "odd2|/a|b", "home|/home/ann"}));
    EXPECT_EQ(dialogs->Calls[2].caption, "Edit Name");
    EXPECT_EQ(dialogs->Calls[2].value, "odd"); // pre-filled
    EXPECT_EQ(dialogs->Calls[3].value, "/pub");

    for (int i = 0; i < 3; ++i) {
        view->setCurrentItem(view->topLevelItem(0));
        Child<QPushButton>(&d, "Button4")->click();
    }
    EXPECT_TRUE(list.empty());
    QMenu menu;
    menu.addAction("Add Bookmark");
    menu.addAction("Edit Bookmarks");
    menu.addSeparator();
    BuildBookmarkMenu(&menu, list, [](int) {});
    ASSERT_EQ(menu.actions().size(), 4);
    EXPECT_EQ(menu.actions()[3]->text(), "<EMPTY>");
    EXPECT_FALSE(menu.actions()[3]->isEnabled());
    int opened = -1;
    BuildBookmarkMenu(&menu, {"a|/x", "b|/y|z"}, [&](int i) { opened = i; });
    ASSERT_EQ(menu.actions().size(), 5);
    EXPECT_EQ(menu.actions()[4]->text(), "b");
    menu.actions()[4]->trigger();
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(BookmarkFolder("b|/y|z"), "/y|z");
}

TEST_F(SmallDialogsTest, DirectoryListKeepsTrailingSeparatorsAndMenuShortcutsStopAtNine)
{
    std::vector<std::string> list{"/home/ann/"};
    TfmEditDirectoryList d(list);
    EXPECT_EQ(d.windowTitle(), "Edit Directory List");
    auto* view = Child<QTreeWidget>(&d, "ListView1");
    EXPECT_EQ(view->headerItem()->text(0), "Directory Name");
    EXPECT_EQ(ButtonTexts(&d, {"Button1", "Button2", "Button3", "Button4"}),
              QStringList({"Add", "Edit", "Delete", "OK"}));
    dialogs->ReplyText("/srv/data");
    Child<QPushButton>(&d, "Button1")->click();
    view->setCurrentItem(view->topLevelItem(0));
    dialogs->ReplyText("/home/bob");
    Child<QPushButton>(&d, "Button2")->click();
    EXPECT_EQ(list, (std::vector<std::string>{"/home/bob/", "/srv/data/"}));
    EXPECT_EQ(dialogs->Calls[1].caption, "Edit");
    EXPECT_EQ(dialogs->Calls[1].text, "Enter New Directory Path:");
    EXPECT_EQ(dialogs->Calls[1].value, "/home/ann/");

    QMenu menu;
    const int kFixed = 5;
    for (int i = 0; i < kFixed; ++i) menu.addAction(QString("fixed %1").arg(i));
    std::vector<std::string> many;
    for (int i = 0; i < 20; ++i) many.push_back("/d" + std::to_string(i) + "/");
    int opened = -1;
    BuildDirectoryMenu(&menu, kFixed, many, [&](int i) { opened = i; });
    const auto items = menu.actions().mid(kFixed);
    ASSERT_EQ(items.size(), 20);
    EXPECT_EQ(items[0]->shortcut(), QKeySequence("Ctrl+1"));
    EXPECT_EQ(items[8]->shortcut(), QKeySequence("Ctrl+9"));
    for (int i = 9; i < 20; ++i) EXPECT_TRUE(items[i]->shortcut().isEmpty()) << i;
    items[16]->trigger();
    EXPECT_EQ(opened, 16);
    BuildDirectoryMenu(&menu, kFixed, {}, [](int) {});
    ASSERT_EQ(menu.actions().size(), kFixed + 1);
    EXPECT_EQ(menu.actions()[kFixed - 1]->text(), "fixed 4");
    EXPECT_EQ(menu.actions().back()->text(), "<EMPTY>");
}

} // namespace
