#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QDialog>
#include <QElapsedTimer>
#include <QImage>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>
#include <QTest>
#include <arpa/inet.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>

#include "ModalHelper.h"
#include "os/MessageTarget.h"
#include "platform/dialogs/ScriptedDialogs.h"
#include "platform/tray/Trayicon.h"
#include "rtl/IniFile.h"
#include "server/FtpSrv.h"
#include "server/ui/FtpServ1.h"
#include "server/ui/MessagePump.h"
#include "tests/platform/TrayAvailableScope.h"
#include "tests/support/TestSupport.h"

namespace {

bool Listening(int port) { return testsupport::TcpPortAccepts(port); }

// Waits until the window's thread has delivered what was posted to it before
// the call: the server's messages first, then Qt's queued calls.
bool Drain()
{
    auto reached = std::make_shared<bool>(false);
    os::HWND marker = os::CreateMessageTarget([reached](os::UINT, os::WPARAM, os::LPARAM) {
        QMetaObject::invokeMethod(qApp, [reached] { *reached = true; }, Qt::QueuedConnection);
        return os::LRESULT(0);
    });
    os::PostMessage(marker, os::WM_USER, 0, 0);
    const bool done = WaitFor([reached] { return *reached; });
    os::DestroyMessageTarget(marker);
    return done;
}

std::size_t Occurrences(const std::string& text, const std::string& part)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++n;
    return n;
}

// A control connection spoken by hand, read while the window's loop runs.
class RawClient {
public:
    explicit RawClient(int port) : fd_(testsupport::ConnectTcpPort(port)) {}
    ~RawClient()
    {
        if (fd_ >= 0) ::close(fd_);
    }
    bool Connected() const { return fd_ >= 0; }
    // The next reply line (without CR LF), or "" after about 5 s.
    std::string Line()
    {
        for (int waited = 0; waited < 5000; waited += 10) {
            std::size_t eol = buffer_.find("\r\n");
            if (eol != std::string::npos) {
                std::string line = buffer_.substr(0, eol);
                buffer_.erase(0, eol + 2);
                return line;
            }
            char chunk[4096];
            ssize_t n = ::recv(fd_, chunk, sizeof chunk, MSG_DONTWAIT);
            if (n > 0)
                buffer_.append(chunk, static_cast<std::size_t>(n));
            else
                Pump(10);
        }
        return "";
    }
    std::string Ask(const std::string& command)
    {
        std::string line = command + "\r\n";
        ::send(fd_, line.data(), line.size(), MSG_NOSIGNAL);
        return Line();
    }

private:
    int fd_ = -1;
    std::string buffer_;
};

class ServerWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        port = testsupport::FreeTcpPort();
        ::mkdir((dir / "home").c_str(), 0755);
    }
    void TearDown() override { form.reset(); }

    void WriteSettings(const std::string& file, const std::string& extra = "", bool withUser = true)
    {
        std::string text = "[Data]\nPort=" + std::to_string(port) + "\n" + extra;
        if (withUser)
            text += "[UserInfo]\ncount=1\nUserName1=bob\nPassWord1=pw\nHomeDir1=" + dir / "home" +
                    "\nAcessRight1=1\n";
        testsupport::WriteFile(dir / file, text);
    }
    // Makes and shows the window and waits until its start-up message has run.
    void Start()
    {
        form = std::make_unique<TPortlornForm>(dir.path());
        form->show();
        ASSERT_TRUE(WaitFor([&] { return form->windowTitle().toStdString() == form->TitleLine(); }))
            << "the start-up message never ran: " << form->windowTitle().toStdString();
    }
    // The first-run box is answered, and the Add User dialog that follows it adds "ann".
    void ReplyFirstRunAddingAnn()
    {
        TDialogReply ok;
        ok.during = [this](const TDialogCall&) {
            // The Add User dialog opens when this box has been answered.
            WhenModal([this](QWidget* d) {
                d->findChild<QLineEdit*>("edUserName")->setText("ann");
                d->findChild<QLineEdit*>("edPassWord")->setText("a1");
                d->findChild<QLineEdit*>("edConfirm")->setText("a1");
                d->findChild<QLineEdit*>("edHomeDir")->setText(QString::fromStdString(dir / "home"));
                d->findChild<QPushButton*>("Button1")->click();
            });
        };
        dialogs->Reply(ok);
    }
    template <class T>
    T* Child(const char* name)
    {
        T* w = form->findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    void Trigger(const char* action) { Child<QAction>(action)->trigger(); }
    std::string Log()
    {
        form->FlushLog();
        return Child<QPlainTextEdit>("InfoMemo")->toPlainText().toStdString();
    }
    bool Green() { return Child<QLabel>("GreenImage")->isVisibleTo(form.get()); }
    bool Red() { return Child<QLabel>("RedImage")->isVisibleTo(form.get()); }

    testsupport::TempDir dir;
    TMessagePump pump;
    TScriptedDialogsScope scripted;
    TScriptedDialogs* dialogs = scripted.get();
    std::unique_ptr<TPortlornForm> form;
    int port = 0;
};

TEST_F(ServerWindowTest, WithNeitherFileAllDefaultsApplyAndNothingIsWrittenBeforeShowing)
{
    form = std::make_unique<TPortlornForm>(dir.path());
    EXPECT_EQ(form->SettingsFile(), dir / "portlorn.ini");
    EXPECT_TRUE(form->Users().empty());
    EXPECT_EQ(form->PortSetting(), "21");
    EXPECT_EQ(form->windowTitle().toStdString(), "Quenlow - " + form->LocalAddress());
    EXPECT_TRUE(Red());
    EXPECT_FALSE(Green());
    form.reset();
    EXPECT_NE(::access((dir / "portlorn.ini").c_str(), F_OK), 0);
}

TEST_F(ServerWindowTest, DefaultSettingsAreCopiedOwnerOnlyAndTheServerStarts)
{
    WriteSettings("def_portlorn.ini");
    Start();
    struct stat st{};
    ASSERT_EQ(::stat((dir / "portlorn.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_TRUE(WaitFor([&] { return Green(); }));
    EXPECT_FALSE(Red());
    EXPECT_TRUE(Listening(port));
    std::string log = Log();
    EXPECT_NE(log.find("Local IP = " + form->LocalAddress()), std::string::npos);
    EXPECT_NE(log.find("! Server started on port " + std::to_string(port)), std::string::npos);
    EXPECT_EQ(Child<QLabel>("ClientCountLabel")->text(), "No user");
    EXPECT_TRUE(dialogs->Calls.empty()); // an account exists: no first-run prompt
    ASSERT_EQ(form->Users().size(), 1u);
}

TEST_F(ServerWindowTest, FirstRunAsksForAnAccountAndSavesIt)
{
    WriteSettings("portlorn.ini", "", false);
    ReplyFirstRunAddingAnn();
    Start();
    WaitFor([&] { return !form->Users().empty(); });
    ASSERT_EQ(dialogs->Calls.size(), 1u);
    EXPECT_EQ(dialogs->Calls[0].caption, "First Time Running");
    EXPECT_EQ(dialogs->Calls[0].text,
              "This is the first time running Quenlow\nPlease add a user for acessing this server!");
    EXPECT_EQ(dialogs->Calls[0].flags, MB_OK | MB_ICONINFORMATION);
    EXPECT_EQ(dialogs->Calls[0].parent, form.get()); // centred on the window, not left loose
    ASSERT_EQ(form->Users().size(), 1u);
    rtl::TIniFile saved(dir / "portlorn.ini");
    EXPECT_EQ(saved.ReadInteger("UserInfo", "count", 0), 1);
    EXPECT_EQ(saved.ReadString("UserInfo", "UserName1", ""), "ann");
    EXPECT_EQ(saved.ReadString("UserInfo", "HomeDir1", ""), dir / "home");
}

TEST_F(ServerWindowTest, AccountsChangedThroughTheMenusReachTheFile)
{
    WriteSettings("portlorn.ini");
    Start();
    WhenModal([this](QWidget* d) {
        d->findChild<QLineEdit*>("edUserName")->setText("carl");
        d->findChild<QLineEdit*>("edPassWord")->setText("c");
        d->findChild<QLineEdit*>("edConfirm")->setText("x");
        d->findChild<QPushButton*>("Button1")->click(); // refused: passwords differ
        d->findChild<QLineEdit*>("edConfirm")->setText("c");
        d->findChild<QPushButton*>("Button1")->click(); // refused: no home folder
        d->findChild<QLineEdit*>("edHomeDir")->setText(QString::fromStdString(dir / "home"));
        d->findChild<QPushButton*>("Button1")->click();
    });
    Trigger("AddUser1");
    EXPECT_EQ(dialogs->Texts(TDialogCall::kMessageBox),
              (std::vector<std::string>{"Recheck password input!", "Must select home directory!"}));
    ASSERT_EQ(form->Users().size(), 2u);
    {
        rtl::TIniFile saved(dir / "portlorn.ini");
        EXPECT_EQ(saved.ReadInteger("UserInfo", "count", 0), 2);
        EXPECT_EQ(saved.ReadString("UserInfo", "UserName2", ""), "carl");
    }
    // User Info: delete the first account.
    WhenModal([](QWidget* d) {
        auto* info = static_cast<QDialog*>(d);
        QMetaObject::invokeMethod(info, [info] {
            auto* list = info->findChild<QListWidget*>("lbUserName");
            emit list->itemClicked(list->item(0));
            info->findChild<QPushButton*>("Button2")->click();
            info->findChild<QPushButton*>("Button1")->click();
        });
    });
    Trigger("UserInfo1");
    ASSERT_EQ(form->Users().size(), 1u);
    EXPECT_EQ(form->Users()[0].UserName, "carl");
    rtl::TIniFile saved(dir / "portlorn.ini");
    EXPECT_EQ(saved.ReadInteger("UserInfo", "count", 0), 1);
    EXPECT_EQ(saved.ReadString("UserInfo", "UserName1", ""), "carl");
}

TEST_F(ServerWindowTest, PortDialogTakesDigitsOnlyAndRestartsOnTheNewPort)
{
    WriteSettings("portlorn.ini");
    Start();
    ASSERT_TRUE(WaitFor([&] { return Listening(port); }));
    int newPort = testsupport::FreeTcpPort();
    dialogs->ReplyText(std::to_string(newPort) + "x");
    Trigger("ServerPort1");
    ASSERT_EQ(dialogs->Calls.size(), 1u);
    EXPECT_EQ(dialogs->Calls[0].caption, "Server Port");
    EXPECT_EQ(dialogs->Calls[0].text, "Port = ");
    EXPECT_EQ(dialogs->Calls[0].value, std::to_string(port));
    EXPECT_EQ(form->PortSetting(), std::to_string(port));
    EXPECT_TRUE(Listening(port));
    dialogs->ReplyCancel();
    Trigger("ServerPort1");
    EXPECT_EQ(form->PortSetting(), std::to_string(port));

    dialogs->ReplyText(std::to_string(newPort));
    Trigger("ServerPort1");
    EXPECT_EQ(form->PortSetting(), std::to_string(newPort));
    EXPECT_TRUE(WaitFor([&] { return Listening(newPort) && !Listening(port); }));
    EXPECT_TRUE(Green());
    form->close();
    rtl::TIniFile saved(dir / "portlorn.ini");
    EXPECT_EQ(saved.ReadString("Data", "Port", ""), std::to_string(newPort));
}

TEST_F(ServerWindowTest, PortDialogRefusesPortsOutsideTheRangeWithAMessage)
{
    WriteSettings("portlorn.ini");
    Start();
    ASSERT_TRUE(WaitFor([&] { return Listening(port); }));
    for (const char* answer : {"99999", "0", "65536", ""}) {
        dialogs->Calls.clear();
        dialogs->ReplyText(answer);
        dialogs->ReplyId(IDOK);
        Trigger("ServerPort1");
        ASSERT_EQ(dialogs->Calls.size(), 2u) << answer;
        EXPECT_EQ(dialogs->Calls[1].kind, TDialogCall::kMessageBox);
        EXPECT_EQ(dialogs->Calls[1].caption, "Server Port");
        EXPECT_EQ(dialogs->Calls[1].text, "Port \"" + std::string(answer) + "\" is not a port from 1 to 65535.");
        EXPECT_EQ(form->PortSetting(), std::to_string(port)) << answer;
        EXPECT_TRUE(Listening(port)) << answer; // the server goes on where it was
        EXPECT_TRUE(Green());
    }
}

TEST_F(ServerWindowTest, APortOutsideTheRangeInTheFileStartsNoListenerAndSaysSo)
{
    for (const char* setting : {"99999", "0", "65536", ""}) {
        testsupport::WriteFile(dir / "portlorn.ini", std::string("[Data]\nPort=") + setting +
                                                         "\n[UserInfo]\ncount=1\nUserName1=bob\nPassWord1=pw\n");
        Start();
        const std::string refused =
            "! Port \"" + std::string(setting) + "\" is not a port from 1 to 65535: the server is not started";
        ASSERT_TRUE(WaitFor([&] { return Log().find(refused) != std::string::npos; })) << Log();
        ASSERT_TRUE(Drain()); // what the refused start set going has come through
        EXPECT_FALSE(form->Portlorn1()->Active()) << setting;
        EXPECT_TRUE(Red());
        EXPECT_FALSE(Green());
        EXPECT_EQ(Log().find("Server started"), std::string::npos) << Log();
        EXPECT_TRUE(dialogs->Texts(TDialogCall::kError).empty()); // said in the log, not in a box
        form.reset();
    }
}

TEST_F(ServerWindowTest, ADamagedAccountCountLoadsTheAccountsThereKeepsTheFileAndSaysSoOnce)
{
    for (const char* count : {"2147483647", "100000000000000000000", "-4"}) {
        const std::string text = "[Data]\nPort=" + std::to_string(port) + "\n[UserInfo]\ncount=" + count +
                                 "\nUserName1=bob\nPassWord1=pw\nHomeDir1=" + dir / "home" +
                                 "\nAcessRight1=1\nUserName2=ann\nPassWord2=a\nHomeDir2=" + dir / "home" + "\n";
        testsupport::WriteFile(dir / "portlorn.ini", text);
        Start();
        ASSERT_EQ(form->Users().size(), 2u) << count;
        EXPECT_EQ(form->Users()[1].UserName, "ann");
        EXPECT_TRUE(dialogs->Calls.empty()) << "no first-run prompt: the accounts are there";
        const std::string log = Log();
        const std::string said = dir / "portlorn.ini" + " could not be read as it is: [UserInfo] count=" + count;
        EXPECT_EQ(Occurrences(log, said), 1u) << log;
        EXPECT_NE(log.find("kept as " + dir / "portlorn.ini.damaged"), std::string::npos) << log;
        EXPECT_EQ(testsupport::ReadFile(dir / "portlorn.ini.damaged"), text);
        {
            rtl::TIniFile repaired(dir / "portlorn.ini");
            EXPECT_EQ(repaired.ReadInteger("UserInfo", "count", -1), 2);
        }
        ASSERT_TRUE(WaitFor([&] { return Listening(port); }));
        RawClient c(port);
        EXPECT_EQ(c.Line(), "220 Quenlow ready");
        EXPECT_EQ(c.Ask("USER ann").substr(0, 3), "331");
        EXPECT_EQ(c.Ask("PASS a").substr(0, 3), "230") << count;
        form.reset();
        ::unlink((dir / "portlorn.ini.damaged").c_str());
    }
}

TEST_F(ServerWindowTest, AnAccountTheCountNamesButTheFileLacksLogsNobodyIn)
{
    // count=2, one account written: the second is loaded empty, as the count says.
    testsupport::WriteFile(dir / "portlorn.ini", "[Data]\nPort=" + std::to_string(port) +
                                                     "\n[UserInfo]\ncount=2\nUserName1=bob\nPassWord1=pw\nHomeDir1=" +
                                                     dir / "home" + "\nAcessRight1=1\n");
    Start();
    ASSERT_EQ(form->Users().size(), 2u);
    ASSERT_TRUE(WaitFor([&] { return Listening(port); }));
    RawClient c(port);
    EXPECT_EQ(c.Line(), "220 Quenlow ready");
    EXPECT_EQ(c.Ask("USER").substr(0, 3), "331");
    EXPECT_EQ(c.Ask("PASS"), "501 Home directory is not an absolute path");
    EXPECT_EQ(c.Ask("PWD"), "530 Please login with USER and PASS.");
    EXPECT_EQ(c.Ask("PASV"), "530 Please login with USER and PASS.");
}

TEST_F(ServerWindowTest, AnUnreadableSettingsFileIsToldOnceAndKeptBeforeAnythingIsWrittenOverIt)
{
    struct Case { std::string text; std::string why; };
    for (const Case& c : std::vector<Case>{
             {"", "it is empty"},
             {std::string("\xff\xfe[\0U\0s\0e\0r\0I\0n\0f\0o\0]\0", 22), "it is not text (it holds NUL bytes)"},
             {"\x8b\x1f garbage UserName1=bob", "it holds none of the sections [Window], [Data] and [UserInfo]"},
         }) {
        testsupport::WriteFile(dir / "portlorn.ini", c.text);
        // The first-run prompt follows (no account could be read); the account added is saved.
        ReplyFirstRunAddingAnn();
        Start();
        ASSERT_TRUE(WaitFor([&] { return !form->Users().empty(); })) << c.why;
        const std::string log = Log();
        EXPECT_EQ(Occurrences(log, dir / "portlorn.ini" + " could not be read: " + c.why), 1u) << log;
        EXPECT_EQ(Occurrences(log, "could not be read"), 1u) << log;
        EXPECT_EQ(testsupport::ReadFile(dir / "portlorn.ini.damaged"), c.text);
        form->close();
        form.reset();
        EXPECT_EQ(testsupport::ReadFile(dir / "portlorn.ini.damaged"), c.text) << "written over";
        rtl::TIniFile saved(dir / "portlorn.ini");
        EXPECT_EQ(saved.ReadString("UserInfo", "UserName1", ""), "ann");
        ::unlink((dir / "portlorn.ini.damaged").c_str());
        dialogs->Calls.clear();
    }
}

// Lowers, for the calling thread only, what lets root read any file, so a
// file without read permission is unreadable here too (tests run as root).
class WithoutReadOverride {
public:
    WithoutReadOverride()
    {
        header_.version = _LINUX_CAPABILITY_VERSION_3;
        if (::syscall(SYS_capget, &header_, saved_) != 0)
            return;
        __user_cap_data_struct lowered[2] = {saved_[0], saved_[1]};
        lowered[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        lowered_ = ::syscall(SYS_capset, &header_, lowered) == 0;
    }
    ~WithoutReadOverride()
    {
        if (lowered_)
            ::syscall(SYS_capset, &header_, saved_);
    }
    WithoutReadOverride(const WithoutReadOverride&) = delete;
    WithoutReadOverride& operator=(const WithoutReadOverride&) = delete;

private:
    __user_cap_header_struct header_{};
    __user_cap_data_struct saved_[2]{};
    bool lowered_ = false;
};

TEST_F(ServerWindowTest, ADefaultSettingsFileThatCannotBeReadIsToldAndTheBuiltInDefaultsApply)
{
    // No portlorn.ini: the defaults file is what the start depends on.
    const std::string def = dir / "def_portlorn.ini";
    struct Case { std::string what; std::function<void()> make; std::string why; };
    for (const Case& c : std::vector<Case>{
             {"a pipe", [&] { ::mkfifo(def.c_str(), 0600); }, "it is not a regular file"},
             {"a folder", [&] { ::mkdir(def.c_str(), 0700); }, std::strerror(EISDIR)},
             {"a link to a device", [&] { ::symlink("/dev/zero", def.c_str()); }, "it is not a regular file"},
             {"unreadable", [&] { WriteSettings("def_portlorn.ini"); ::chmod(def.c_str(), 0); }, std::strerror(EACCES)},
             {"a loop of links", [&] { ::symlink("def_portlorn.ini", def.c_str()); }, std::strerror(ELOOP)},
             {"empty", [&] { testsupport::WriteFile(def, ""); }, "it is empty"},
         }) {
        c.make();
        {
            WithoutReadOverride notAsRoot;
            form = std::make_unique<TPortlornForm>(dir.path());
        }
        const std::string log = Log();
        EXPECT_EQ(Occurrences(log, def + " could not be read: " + c.why + "; the built-in defaults apply"), 1u)
            << c.what << ":\n" << log;
        EXPECT_TRUE(form->Users().empty()) << c.what;
        form.reset();
        EXPECT_NE(::access((dir / "portlorn.ini").c_str(), F_OK), 0) << c.what;
        std::filesystem::remove_all(def);
    }
    // Readable again: copied, and nothing is told.
    WriteSettings("def_portlorn.ini");
    form = std::make_unique<TPortlornForm>(dir.path());
    EXPECT_EQ(Occurrences(Log(), "could not be"), 0u) << Log();
    EXPECT_EQ(form->Users().size(), 1u);
}

TEST_F(ServerWindowTest, StopAndStartTurnTheLampAndClientsAreCounted)
{
    WriteSettings("portlorn.ini");
    Start();
    ASSERT_TRUE(WaitFor([&] { return Green(); }));
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    EXPECT_TRUE(WaitFor([&] { return Child<QLabel>("ClientCountLabel")->text() == "1 users"; }));
    EXPECT_NE(Log().find("! 127.0.0.1 connected"), std::string::npos);

    Trigger("Stop1"); // stops listening and disconnects everyone
    EXPECT_TRUE(WaitFor([&] { return Red() && !Green(); }));
    EXPECT_TRUE(WaitFor([&] { return Child<QLabel>("ClientCountLabel")->text() == "No user"; }));
    EXPECT_FALSE(Listening(port));
    EXPECT_NE(Log().find("! Server stopped"), std::string::npos);
    ::close(fd);

    Trigger("Start1");
    EXPECT_TRUE(WaitFor([&] { return Green() && Listening(port); }));
    // A double click on the lamp stops a listening server and starts a stopped one.
    QTest::mouseDClick(Child<QLabel>("GreenImage"), Qt::LeftButton);
    EXPECT_TRUE(WaitFor([&] { return Red() && !Listening(port); }));
    QTest::mouseDClick(Child<QLabel>("RedImage"), Qt::LeftButton);
    EXPECT_TRUE(WaitFor([&] { return Green() && Listening(port); }));
    Trigger("Cleardisplay1");
    EXPECT_EQ(Log(), "");
}

TEST_F(ServerWindowTest, CloseSavesTheWindowAndThePort)
{
    WriteSettings("portlorn.ini", "[Window]\nLeft=-50\nTop=20\nWidth=200\nHeight=260\n");
    Start();
    // Bounds come back clamped: left -50 and width 200 become 0 and 310.
    EXPECT_EQ(form->x(), 0);
    EXPECT_EQ(form->width(), 310);
    Child<QCheckBox>("StartMinimizedCheckBox")->setChecked(true);
    form->resize(400, 300);
    form->move(30, 40);
    int closed = 0;
    form->OnClose = [&] { ++closed; };
    form->close();
    EXPECT_EQ(closed, 1);
    EXPECT_FALSE(Listening(port));
    rtl::TIniFile saved(dir / "portlorn.ini");
    EXPECT_EQ(saved.ReadInteger("Window", "Left", 0), 30);
    EXPECT_EQ(saved.ReadInteger("Window", "Top", 0), 40);
    EXPECT_EQ(saved.ReadInteger("Window", "Width", 0), 400);
    EXPECT_EQ(saved.ReadInteger("Window", "Height", 0), 300);
    EXPECT_EQ(saved.ReadInteger("Window", "RunMinimized", 0), 1);
    EXPECT_EQ(saved.ReadString("Data", "Port", ""), std::to_string(port));
    EXPECT_EQ(saved.ReadString("UserInfo", "UserName1", ""), "bob"); // accounts kept
}

TEST_F(ServerWindowTest, HideToTrayKeepsTheWindowReachableWithoutANotificationArea)
{
    WriteSettings("portlorn.ini", "[Window]\nRunMinimized=1\n");
    TrayAvailableScope area(false);
    Start();
    EXPECT_TRUE(Child<QCheckBox>("StartMinimizedCheckBox")->isChecked());
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(form->isMinimized());
    EXPECT_FALSE(form->TrayIcon1()->Active());

    area.Set(true);
    form->showNormal();
    Trigger("HidetoTray1");
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(form->TrayIcon1()->Active());
    form->TrayIcon1()->LeftButtonDblClick();
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->TrayIcon1()->Active());
}

TEST_F(ServerWindowTest, ASecondWindowOnTheSameFolderStandsDownAndOtherFoldersAreIndependent)
{
    WriteSettings("portlorn.ini");
    Start();
    TPortlornForm second(dir.path());
    EXPECT_TRUE(second.AlreadyRunning());
    testsupport::TempDir other;
    TPortlornForm third(other.path());
    EXPECT_FALSE(third.AlreadyRunning());
}

TEST_F(ServerWindowTest, ListeningErrorShowsTheErrorBoxAndTheLampStaysRed)
{
    // Something else holds the port.
    int holder = ::socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    ::setsockopt(holder, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(holder, 4), 0);
    WriteSettings("portlorn.ini");
    form = std::make_unique<TPortlornForm>(dir.path());
    form->show();
    EXPECT_TRUE(WaitFor([&] { return !dialogs->Texts(TDialogCall::kError).empty(); }));
    EXPECT_TRUE(Red());
    EXPECT_FALSE(Green());
    EXPECT_TRUE(form->isVisible());
    ::close(holder);
}

TEST_F(ServerWindowTest, ChecksFollowAccountEditsWhileTheUserIsLoggedIn)
{
    WriteSettings("portlorn.ini");
    ::mkdir((dir / "home/sub").c_str(), 0755);
    Start();
    ASSERT_TRUE(WaitFor([&] { return Green(); }));
    RawClient c(port);
    ASSERT_TRUE(c.Connected());
    EXPECT_EQ(c.Line(), "220 Quenlow ready");
    EXPECT_EQ(c.Ask("USER bob").substr(0, 3), "331");
    EXPECT_EQ(c.Ask("PASS pw").substr(0, 3), "230");
    EXPECT_EQ(c.Ask("MKD made").substr(0, 3), "257");
    // Made read-only meanwhile: the next write is refused at once.
    form->Users()[0].AcessRight = 0;
    EXPECT_EQ(c.Ask("MKD other"), "550 '" + dir / "home/other" + "': can't create directory.");
    EXPECT_EQ(c.Ask("CWD sub").substr(0, 3), "250");
    // Deleted meanwhile: folder changes fail with the list's index error.
    form->Users().clear();
    EXPECT_EQ(c.Ask("CWD .."), "501 CWD failed. List index out of bounds (-1)");
    EXPECT_EQ(c.Ask("DELE x"), "501 List index out of bounds (-1)");
    std::string log = Log();
    EXPECT_NE(log.find("< 127.0.0.1 PASS pw"), std::string::npos);
    EXPECT_NE(log.find("> 127.0.0.1 230"), std::string::npos);
}

TEST_F(ServerWindowTest, LogLinesReachTheMemoOnceEachInBatchesAndTheNewestAreKept)
{
    WriteSettings("portlorn.ini");
    Start();
    ASSERT_TRUE(WaitFor([&] { return Green(); }));
    Trigger("Cleardisplay1");
    auto* memo = Child<QPlainTextEdit>("InfoMemo");
    RawClient c(port);
    EXPECT_EQ(c.Line(), "220 Quenlow ready");
    EXPECT_EQ(c.Ask("NOOP x").substr(0, 3), "200");
    ASSERT_TRUE(WaitFor([&] { return memo->toPlainText().contains("NOOP"); }));
    const QString text = memo->toPlainText();
    EXPECT_EQ(text.count("< 127.0.0.1 NOOP x"), 1) << text.toStdString();
    EXPECT_EQ(text.count("> 127.0.0.1 200 "), 1) << text.toStdString();

    // Nothing is appended line by line; the batch follows shortly.
    Trigger("Cleardisplay1");
    form->AddLog("first");
    form->AddLog("second");
    EXPECT_EQ(memo->toPlainText(), "");
    ASSERT_TRUE(WaitFor([&] { return !memo->toPlainText().isEmpty(); }));
    EXPECT_EQ(memo->toPlainText(), "first\nsecond");

    Trigger("Cleardisplay1");
    const int lines = TPortlornForm::MaxLogLines + 500;
    for (int i = 0; i < lines; ++i)
        form->AddLog("line " + std::to_string(i));
    form->FlushLog();
    EXPECT_EQ(memo->blockCount(), TPortlornForm::MaxLogLines);
    EXPECT_EQ(memo->document()->firstBlock().text().toStdString(), "line 500");
    EXPECT_EQ(memo->document()->lastBlock().text().toStdString(), "line " + std::to_string(lines - 1));
}

TEST_F(ServerWindowTest, LogLinesWaitWhileDataFlowsAndComeOutWhenItEnds)
{
    // Drawing the memo in the middle of a transfer would pause the data:
    // the lines wait for the end of the transfer, or LogHoldMs at most,
    // also while transfers follow one another.
    WriteSettings("portlorn.ini");
    Start();
    ASSERT_TRUE(WaitFor([&] { return Listening(port); }));
    RawClient c(port);
    ASSERT_EQ(c.Line().substr(0, 3), "220");
    ASSERT_EQ(c.Ask("USER bob").substr(0, 3), "331");
    ASSERT_EQ(c.Ask("PASS pw").substr(0, 3), "230");
    const std::string pasv = c.Ask("PASV");
    unsigned n[6] = {};
    ASSERT_EQ(std::sscanf(pasv.c_str() + pasv.find('('), "(%u,%u,%u,%u,%u,%u)", &n[0], &n[1], &n[2], &n[3], &n[4],
                          &n[5]), 6) << pasv;
    const int data = testsupport::ConnectTcpPort(static_cast<int>(n[4] * 256 + n[5]));
    ASSERT_GE(data, 0);
    auto memo = [&] { return Child<QPlainTextEdit>("InfoMemo")->toPlainText().toStdString(); };
    form->FlushLog();
    QElapsedTimer sinceStor;
    sinceStor.start();
    ASSERT_EQ(c.Ask("STOR up.bin"), "150 Opening data connection for up.bin.");
    ASSERT_EQ(::send(data, "some", 4, MSG_NOSIGNAL), 4);
    // The data connection stays open: the lines come out once they waited LogHoldMs.
    ASSERT_TRUE(WaitFor([&] { return memo().find("150 Opening data connection for up.bin.") != std::string::npos; }));
    EXPECT_GE(sinceStor.elapsed(), TPortlornForm::LogHoldMs);
    // The end of the transfer lets the lines out at once.
    ASSERT_EQ(::send(data, "more", 4, MSG_NOSIGNAL), 4);
    ::close(data);
    ASSERT_EQ(c.Line(), "226 File received ok");
    QElapsedTimer sinceEnd;
    sinceEnd.start();
    ASSERT_TRUE(WaitFor([&] { return memo().find("226 File received ok") != std::string::npos; }));
    EXPECT_LT(sinceEnd.elapsed(), TPortlornForm::LogHoldMs);
    EXPECT_EQ(testsupport::ReadFile(dir / "home/up.bin"), "somemore");

    // Each end lets the lines out sooner, never later: a client listing
    // again and again still sees the log within LogHoldMs.
    form->FlushLog();
    // Reads a data connection to its end while the window's loop runs.
    auto readAll = [](int fd) {
        char chunk[4096];
        for (int waited = 0; waited < 5000; waited += 10) {
            ssize_t n = ::recv(fd, chunk, sizeof chunk, MSG_DONTWAIT);
            if (n == 0)
                return true;
            if (n < 0)
                Pump(10);
        }
        return false;
    };
    QElapsedTimer listing;
    listing.start();
    int transfers = 0;
    while (memo().find("150 Opening data connection for directory list.") == std::string::npos &&
           listing.elapsed() < 10000) {
        const std::string reply = c.Ask("PASV");
        unsigned p[6] = {};
        ASSERT_EQ(std::sscanf(reply.c_str() + reply.find('('), "(%u,%u,%u,%u,%u,%u)", &p[0], &p[1], &p[2], &p[3],
                              &p[4], &p[5]), 6) << reply;
        const int list = testsupport::ConnectTcpPort(static_cast<int>(p[4] * 256 + p[5]));
        ASSERT_GE(list, 0);
        ASSERT_EQ(c.Ask("NLST"), "150 Opening data connection for directory list.");
        ASSERT_TRUE(readAll(list));
        ::close(list);
        ASSERT_EQ(c.Line(), "226 File sent ok");
        ++transfers;
    }
    EXPECT_LT(listing.elapsed(), 10000) << "the log waited through " << transfers << " listings";
}

TEST_F(ServerWindowTest, ScreenshotOfTheMainWindowShowsText)
{
    WriteSettings("portlorn.ini");
    Start();
    ASSERT_TRUE(WaitFor([&] { return Green(); }));
    // The log's text area in the picture: blank once cleared, text once written.
    QWidget* logArea = Child<QPlainTextEdit>("InfoMemo")->viewport();
    const QRect area(logArea->mapTo(form.get(), QPoint(0, 0)), logArea->size());
    form->FlushLog();
    Trigger("Cleardisplay1");
    const QImage blank = form->grab().toImage();
    ASSERT_TRUE(blank.rect().contains(area));
    EXPECT_EQ(DarkPixels(blank.copy(area)), 0);
    form->AddLog("< 127.0.0.1 USER bob");
    form->AddLog("> 127.0.0.1 331 User name okay, need password.");
    form->FlushLog();
    std::string path = Screenshot(form.get(), "portlorn_main_offscreen");
    QImage image(QString::fromStdString(path));
    ASSERT_FALSE(image.isNull());
    ASSERT_EQ(image.size(), blank.size());
    EXPECT_GT(DarkPixels(image.copy(area)), 300);
}

} // namespace
