#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "ModalHelper.h"
#include "platform/dialogs/ScriptedDialogs.h"
#include "server/ui/About.h"
#include "widgets/skLabel.h"
#include "server/ui/AddUser.h"
#include "server/ui/LkTFolderLookup.h"
#include "server/ui/Userinfo.h"

namespace {

class AccountDialogsTest : public ::testing::Test {
protected:
    template <class T>
    static T* Child(QWidget* parent, const char* name)
    {
        T* w = parent->findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    static void Fill(QWidget* d, const char* user, const char* pass, const char* confirm, const char* home,
                     int access)
    {
        Child<QLineEdit>(d, "edUserName")->setText(user);
        Child<QLineEdit>(d, "edPassWord")->setText(pass);
        Child<QLineEdit>(d, "edConfirm")->setText(confirm);
        Child<QLineEdit>(d, "edHomeDir")->setText(home);
        Child<QComboBox>(d, "cbAcessRight")->setCurrentIndex(access);
    }

    TScriptedDialogsScope scripted;
    TScriptedDialogs* dialogs = scripted.get();
    int saves = 0;
    std::function<void()> save = [this] { ++saves; };
};

TEST_F(AccountDialogsTest, AddUserFormHasItsComponentsAndDefaults)
{
    TfmAddUser d;
    EXPECT_EQ(d.windowTitle(), "Add User");
    EXPECT_EQ(Child<QComboBox>(&d, "cbAcessRight")->currentText(), "ReadOnly");
    EXPECT_EQ(Child<QComboBox>(&d, "cbAcessRight")->itemText(1), "FullAcess");
    EXPECT_EQ(Child<QLineEdit>(&d, "edPassWord")->echoMode(), QLineEdit::Password);
    EXPECT_EQ(Child<QLineEdit>(&d, "edConfirm")->echoMode(), QLineEdit::Password);
    EXPECT_EQ(Child<QPushButton>(&d, "Button1")->text(), "Add");
    EXPECT_EQ(Child<QPushButton>(&d, "Button2")->text(), "Cancel");
    // The home-folder edit: the user name edit's left and width, 3 pixels under the confirmation.
    QRect user = Child<QLineEdit>(&d, "edUserName")->geometry();
    QRect confirm = Child<QLineEdit>(&d, "edConfirm")->geometry();
    QRect home = d.HomeDirEdit()->geometry();
    EXPECT_EQ(home.left(), user.left());
    EXPECT_EQ(home.width(), user.width());
    EXPECT_EQ(home.top(), confirm.bottom() + 1 + 3);
}

TEST_F(AccountDialogsTest, AddChecksInOrderAndKeepsTheDialogOpen)
{
    struct Case { const char* user; const char* pass; const char* confirm; const char* home; const char* message; };
    for (Case c : {Case{"", "a", "b", "", "Recheck password input!"}, Case{"", "", "", "", "Must input user name!"},
                   Case{"bob", "", "", "/x", "Must input password!"},
                   Case{"bob", "pw", "pw", "", "Must select home directory!"}}) {
        dialogs->Calls.clear();
        TfmAddUser d;
        d.show();
        Fill(&d, c.user, c.pass, c.confirm, c.home, 0);
        Child<QPushButton>(&d, "Button1")->click();
        EXPECT_EQ(dialogs->Texts(TDialogCall::kMessageBox), std::vector<std::string>{c.message});
        EXPECT_TRUE(d.isVisible()) << c.message;
        EXPECT_EQ(d.result(), 0);
    }
}

TEST_F(AccountDialogsTest, AddUserAppendsTheAccountAndSavesOnlyOnAdd)
{
    TUserList users = {{"old", "x", "/o", 0}};
    WhenModal([](QWidget* d) {
        Fill(d, "bob", "pw", "pw", "/srv/bob", 1);
        Child<QPushButton>(d, "Button1")->click();
    });
    EXPECT_TRUE(RunAddUser(nullptr, users, save));
    ASSERT_EQ(users.size(), 2u);
    EXPECT_EQ(users[1].UserName, "bob");
    EXPECT_EQ(users[1].PassWord, "pw");
    EXPECT_EQ(users[1].HomeDir, "/srv/bob");
    EXPECT_EQ(users[1].AcessRight, 1);
    EXPECT_EQ(saves, 1);

    WhenModal([](QWidget* d) {
        Fill(d, "ann", "pw", "pw", "/srv/ann", 0);
        Child<QPushButton>(d, "Button2")->click();
    });
    EXPECT_FALSE(RunAddUser(nullptr, users, save));
    EXPECT_EQ(users.size(), 2u);
    EXPECT_EQ(saves, 1);
}

class UserInfoTest : public AccountDialogsTest {
protected:
    TUserList users = {{"bob", "old", "/srv/bob", 0}, {"ann", "pw", "/srv/ann", 1}};
    void Select(TfmUserInfo& d, int row)
    {
        d.lbUserNameClick(row);
    }
};

TEST_F(UserInfoTest, ListsNamesAndShowsAnAccountOnlyWhenClicked)
{
    TfmUserInfo d(nullptr, users, save);
    EXPECT_EQ(d.windowTitle(), "User Info");
    auto* list = Child<QListWidget>(&d, "lbUserName");
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(1)->text(), "ann");
    EXPECT_EQ(d.EditIndex(), -1);
    EXPECT_TRUE(Child<QLineEdit>(&d, "edUserName")->text().isEmpty());
    EXPECT_EQ(Child<QComboBox>(&d, "cbAcessRight")->itemText(1), "FullAccess");
    Select(d, 1);
    EXPECT_EQ(d.EditIndex(), 1);
    EXPECT_EQ(Child<QLineEdit>(&d, "edUserName")->text(), "ann");
    EXPECT_EQ(Child<QLineEdit>(&d, "edPassword")->text(), "pw");
    EXPECT_EQ(d.HomeDirEdit()->Text(), "/srv/ann");
    EXPECT_EQ(Child<QComboBox>(&d, "cbAcessRight")->currentIndex(), 1);
    QRect pass = Child<QLineEdit>(&d, "edPassword")->geometry();
    EXPECT_EQ(d.HomeDirEdit()->geometry().top(), pass.bottom() + 1 + 10);
    // Nothing selected: Apply does nothing.
    TfmUserInfo fresh(nullptr, users, save);
    EXPECT_FALSE(fresh.btnApplyClick());
    EXPECT_EQ(saves, 0);
}

TEST_F(UserInfoTest, ApplyWithTheSamePasswordAsksNothing)
{
    TfmUserInfo d(nullptr, users, save);
    Select(d, 0);
    Child<QComboBox>(&d, "cbAcessRight")->setCurrentIndex(1);
    d.HomeDirEdit()->SetText("/srv/new");
    EXPECT_TRUE(d.btnApplyClick());
    EXPECT_TRUE(dialogs->Calls.empty());
    EXPECT_EQ(users[0].AcessRight, 1);
    EXPECT_EQ(users[0].HomeDir, "/srv/new");
    EXPECT_EQ(saves, 1);
}

TEST_F(UserInfoTest, ANewPasswordIsAskedForUntilTypedAgainAndCancelAppliesNothing)
{
    {
        TfmUserInfo d(nullptr, users, save);
        Select(d, 0);
        Child<QLineEdit>(&d, "edPassword")->setText("new");
        Child<QLineEdit>(&d, "edUserName")->setText("robert");
        dialogs->ReplyText("wrong");
        dialogs->ReplyText("new");
        EXPECT_TRUE(d.btnApplyClick());
        ASSERT_EQ(dialogs->Calls.size(), 2u);
        EXPECT_EQ(dialogs->Calls[0].caption, "CONFIRM PASSWORD");
        EXPECT_EQ(dialogs->Calls[0].text, "=");
        EXPECT_EQ(users[0].PassWord, "new");
        EXPECT_EQ(users[0].UserName, "robert");
        EXPECT_EQ(Child<QListWidget>(&d, "lbUserName")->item(0)->text(), "robert");
    }
    dialogs->Calls.clear();
    TfmUserInfo d(nullptr, users, save);
    Select(d, 0);
    Child<QLineEdit>(&d, "edPassword")->setText("other");
    Child<QLineEdit>(&d, "edUserName")->setText("changed");
    Child<QComboBox>(&d, "cbAcessRight")->setCurrentIndex(1);
    d.HomeDirEdit()->SetText("/elsewhere");
    dialogs->ReplyText("nope");
    dialogs->ReplyCancel();
    EXPECT_FALSE(d.btnApplyClick());
    EXPECT_EQ(dialogs->Calls.size(), 2u);
    EXPECT_EQ(users[0].UserName, "robert");
    EXPECT_EQ(users[0].PassWord, "new");
    EXPECT_EQ(users[0].HomeDir, "/srv/bob");
    EXPECT_EQ(users[0].AcessRight, 0);
    EXPECT_EQ(saves, 1);
}

TEST_F(UserInfoTest, OkAppliesAndCancelDoesNot)
{
    struct Case { const char* button; bool applied; };
    for (Case c : {Case{"btnOK", true}, Case{"Button1", false}}) {
        TUserList list = users;
        TfmUserInfo d(nullptr, list, save);
        d.show();
        Select(d, 1);
        Child<QComboBox>(&d, "cbAcessRight")->setCurrentIndex(0);
        Child<QPushButton>(&d, c.button)->click();
        EXPECT_FALSE(d.isVisible());
        EXPECT_EQ(list[1].AcessRight, c.applied ? 0 : 1) << c.button;
    }
}

TEST_F(UserInfoTest, DeleteRemovesTheSelectedAccountSavesAndRefills)
{
    TfmUserInfo d(nullptr, users, save);
    Child<QPushButton>(&d, "Button2")->click(); // nothing selected: nothing happens
    EXPECT_EQ(users.size(), 2u);
    Select(d, 0);
    Child<QPushButton>(&d, "Button2")->click();
    ASSERT_EQ(users.size(), 1u);
    EXPECT_EQ(users[0].UserName, "ann");
    EXPECT_EQ(d.EditIndex(), -1);
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(Child<QListWidget>(&d, "lbUserName")->count(), 1);
}

TEST_F(UserInfoTest, AddUserFromTheDialogRefillsTheList)
{
    TfmUserInfo d(nullptr, users, save);
    d.show();
    WhenModal([](QWidget* add) {
        Fill(add, "carl", "c", "c", "/srv/carl", 0);
        Child<QPushButton>(add, "Button1")->click();
    });
    Child<QPushButton>(&d, "btnAddUser")->click();
    ASSERT_EQ(users.size(), 3u);
    EXPECT_EQ(Child<QListWidget>(&d, "lbUserName")->item(2)->text(), "carl");
    EXPECT_EQ(saves, 1);
}

// Pictures of the dialogs for a person to look at, with a check that text was drawn.
TEST_F(UserInfoTest, ScreenshotsOfTheDialogsShowText)
{
    TfmAddUser add;
    Fill(&add, "bob", "secret", "secret", "/srv/ftp/bob", 1);
    TfmUserInfo info(nullptr, users, save);
    Select(info, 1);
    TfmAbout about;
    EXPECT_EQ(about.windowTitle(), "About");
    // The two captions are the library's raised labels.
    for (auto [name, caption] : {std::pair{"Label1", "Quenlow"}, {"Label2", "A small FTP server for your desktop."}}) {
        auto* label = Child<TskLabel>(&about, name);
        EXPECT_EQ(label->Caption(), caption);
        EXPECT_EQ(label->TextOptions().Style(), sklsRaised);
        EXPECT_EQ(label->TextOptions().VAlignment(), vaTop);
        EXPECT_FALSE(label->AutoSize());
    }
    EXPECT_EQ(about.findChildren<TskLabel*>().size(), 2);
    for (auto [widget, name] : {std::pair<QWidget*, const char*>{&add, "add_user"}, {&info, "user_info"},
                                {&about, "about"}}) {
        widget->show();
        Pump(20);
        std::string path = Screenshot(widget, name);
        QImage image(QString::fromStdString(path));
        ASSERT_FALSE(image.isNull()) << path;
        // Dark text pixels on the light dialog.
        EXPECT_GT(DarkPixels(image), 200) << name;
    }
}

} // namespace

namespace {

// The boxes the dialogs service shows a person, as the server asks them.
TEST(QtDialogBoxes, ScreenshotsOfThePortBoxAndTheFirstRunBox)
{
    std::unique_ptr<TDialogs> previous = SetDialogs(nullptr); // the Qt service
    std::string port = "2121";
    WhenModal([](QWidget* box) {
        Pump(20);
        Screenshot(box, "server_port");
        static_cast<QDialog*>(box)->reject();
    });
    EXPECT_FALSE(Dialogs().InputQuery("Server Port", "Port = ", port));
    EXPECT_EQ(port, "2121");
    WhenModal([](QWidget* box) {
        Pump(20);
        Screenshot(box, "first_time_running");
        static_cast<QDialog*>(box)->accept();
    });
    Dialogs().MessageBox("This is the first time running Quenlow\nPlease add a user for acessing this server!",
                         "First Time Running", MB_OK | MB_ICONINFORMATION);
    SetDialogs(std::move(previous));
    for (const char* name : {"server_port", "first_time_running"})
        EXPECT_FALSE(QImage(QString::fromStdString(std::string(SCREENSHOT_DIR) + "/" + name + ".png")).isNull())
            << name;
}

} // namespace
