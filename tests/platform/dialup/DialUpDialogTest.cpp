#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "RasTestScope.h"
#include "os/qt/QtLoopBridge.h"
#include "platform/dialup/DialUP.h"
#include "platform/dialup/DuExcept.h"

namespace {

using Strings = std::vector<std::string>;

struct DialUpDialogTest : ::testing::Test {
    void SetUp() override
    {
        scope.SetUpPhonebook();
        options.Index = 1;
        options.RetrySpan = 0;
        options.DrawAttention = [this] { ++attention; };
        // What the main window does while the dialog exists.
        dialer.HangupOnDestroy = false;
        dialer.OnConnected = [this](TObject*) { if (dialog) dialog->RasConnected(); };
        dialer.OnDisconnected = [this](TObject*) { if (dialog) dialog->RasDisconnected(); };
        dialer.OnDialStatus = [this](TObject*, int s) { if (dialog) dialog->RasDialStatus(s); };
        dialer.OnDialError = [this](TObject*, int e) { if (dialog) dialog->RasDialError(e); };
    }

    // Opens the dialog as the main window does (modal), without blocking the test.
    void Open()
    {
        dialog = std::make_unique<TfmDialUP>(dialer, options);
        dialog->open();
    }
    template <class T>
    T* Find(const char* name) const { return dialog->findChild<T*>(name); }
    std::string Panel() const { return Find<QLabel>("Panel1")->text().toStdString(); }
    void Click(const char* button) { QTest::mouseClick(Find<QPushButton>(button), Qt::LeftButton); }
    bool Closed() const { return dialog->isHidden(); }
    std::string StatusPanel() const
    {
        TRasStatusDisplay* form = dialog->RasStatus()->Form();
        return form ? form->findChild<QLabel*>("Panel1")->text().toStdString() : "(none)";
    }
    TScriptedDialogs& Boxes() { return *scope.dialogs.get(); }

    TRasTestScope scope;
    os::QtLoopBridge bridge; // the service's notifications run under Qt's loop
    TRasDialer dialer;
    TDialUpOptions options;
    std::unique_ptr<TfmDialUP> dialog;
    int attention = 0;
};

TEST_F(DialUpDialogTest, FormShowsTheConfiguredEntryWithItsSavedParameters)
{
    Open();
    EXPECT_EQ(dialog->windowTitle().toStdString(), "Dial-UP Dialog");
    EXPECT_EQ(dialog->size(), QSize(447, 181));
    EXPECT_EQ(Find<QLineEdit>("EntrySelect")->text().toStdString(), "Work");
    EXPECT_FALSE(Find<QLineEdit>("EntrySelect")->isEnabled());
    EXPECT_EQ(Find<QLineEdit>("edUser")->text().toStdString(), "jo");
    EXPECT_EQ(Find<QLineEdit>("edPass")->text().toStdString(), "secret");
    EXPECT_EQ(Find<QLineEdit>("edPhone")->text().toStdString(), "5551234");
    EXPECT_EQ(Find<QLineEdit>("edPass")->echoMode(), QLineEdit::Password);
    EXPECT_EQ(Find<QLineEdit>("edPhone")->echoMode(), QLineEdit::Password);
    EXPECT_EQ(Find<QListWidget>("ListBox1")->count(), 2);
    EXPECT_TRUE(Find<QListWidget>("ListBox1")->isHidden());
    EXPECT_EQ(dialer.EntryName(), "Work");
    EXPECT_NE(dialog->RasStatus(), nullptr);
    EXPECT_EQ(dialer.StatusDisplay(), dialog->RasStatus());
    dialog.reset();
    EXPECT_EQ(dialer.StatusDisplay(), nullptr); // the status window went with the dialog
}

TEST_F(DialUpDialogTest, NoEntryAtTheConfiguredPositionLeavesNothingToDial)
{
    for (int index : {0, 2, -1}) {
        scope.ras->Phonebook.resize(index == 0 ? 0 : 2);
        options.Index = index;
        Open();
        EXPECT_EQ(Find<QLineEdit>("EntrySelect")->text().toStdString(), "") << index;
        EXPECT_FALSE(Find<QPushButton>("Button1")->isEnabled()) << index;
        EXPECT_EQ(Panel(), "No Dial-UP entry to dial");
        EXPECT_TRUE(scope.ras->Dialled.empty());
    }
}

TEST_F(DialUpDialogTest, WithoutTheServiceTheDialogRaisesERas)
{
    scope.ras->Present = false;
    try {
        TfmDialUP form(dialer, options);
        FAIL() << "no exception";
    } catch (const ERas& e) {
        EXPECT_EQ(e.ErrorCode(), -13980);
        EXPECT_STREQ(e.what(), "Failed to find/load RASAPI32.DLL");
    }
}

TEST_F(DialUpDialogTest, DialShowsEveryStatusAndClosesConnected)
{
    Open();
    Find<QLineEdit>("edUser")->setText("jane");
    Click("Button1");
    ASSERT_EQ(scope.ras->Dialled.size(), 1u);
    EXPECT_EQ(scope.ras->Dialled[0].UserName, "jane");
    TRasStatusDisplay* form = dialog->RasStatus()->Form();
    ASSERT_NE(form, nullptr);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->windowTitle().toStdString(), "Connecting to Work...");
    EXPECT_EQ(form->size(), QSize(250, 79));
    for (int state = 0; state <= 23; ++state) {
        scope.ras->Notify(state);
        std::string expected = dialer.DialStatusText(state);
        ASSERT_TRUE(QTest::qWaitFor([&] { return Panel() == expected; })) << state;
        EXPECT_EQ(StatusPanel(), state == 2 ? "Dialing 5551234" : expected);
    }
    scope.ras->Notify(RASCS_Connected);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Closed(); }));
    EXPECT_TRUE(dialog->Connected());
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(dialog->RasStatus()->Form(), nullptr);
    EXPECT_TRUE(scope.ras->IsUp(dialer.Connection()));
    EXPECT_EQ(attention, 0);
}

TEST_F(DialUpDialogTest, DialErrorAsksAndRetryRedialsAfterTheSpan)
{
    scope.ras->Dials.push_back({0, {{0, 0}, {2, 676}}});
    scope.ras->Dials.push_back({0, {{0, 0}, {RASCS_Connected, 0}}});
    TDialogReply yes;
    yes.id = IDYES;
    std::string panelWhileAsked;
    yes.during = [&](const TDialogCall&) { panelWhileAsked = Panel(); };
    Boxes().Reply(yes);
    Open();
    Click("Button1");
    ASSERT_TRUE(QTest::qWaitFor([&] { return Closed(); }));
    EXPECT_EQ(Boxes().Texts(TDialogCall::kMessageBox), (Strings{"Error : Line busy\nRetry?"}));
    EXPECT_EQ(Boxes().Calls[0].caption, "Dial Error");
    EXPECT_EQ(Boxes().Calls[0].flags & 0x0F, MB_YESNO);
    EXPECT_EQ(panelWhileAsked, "Line busy");
    EXPECT_EQ(attention, 1);
    EXPECT_EQ(scope.ras->Dialled.size(), 2u);
    EXPECT_TRUE(dialog->Connected());
}

TEST_F(DialUpDialogTest, AnsweringNoClosesWithoutConnecting)
{
    scope.ras->Dials.push_back({0, {{2, 676}}});
    Boxes().ReplyId(IDNO);
    Open();
    Click("Button1");
    ASSERT_TRUE(QTest::qWaitFor([&] { return Closed(); }));
    EXPECT_FALSE(dialog->Connected());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_EQ(scope.ras->Dialled.size(), 1u);
}

TEST_F(DialUpDialogTest, RedialsAtMostRetryTimesThenGivesUp)
{
    struct Case { bool showError; int retryTimes; int dials; };
    for (Case c : {Case{false, 2, 3}, Case{false, 0, 1}, Case{true, 1, 2}}) {
        SCOPED_TRACE(testing::Message() << "ShowError " << c.showError << " RetryTimes " << c.retryTimes);
        scope.ras->Dialled.clear();
        scope.ras->Dials.clear();
        for (int i = 0; i < 5; ++i)
            scope.ras->Dials.push_back({0, {{0, 0}, {2, 676}}});
        options.ShowError = c.showError;
        options.RetryTimes = c.retryTimes;
        std::vector<std::string> panels;
        if (c.showError) {
            Boxes().Calls.clear();
            Boxes().ReplyId(IDYES);
            Boxes().ReplyId(IDOK);
        }
        Open();
        Click("Button1");
        ASSERT_TRUE(QTest::qWaitFor([&] { return Closed(); }));
        EXPECT_EQ(static_cast<int>(scope.ras->Dialled.size()), c.dials);
        EXPECT_EQ(dialog->Redials(), c.retryTimes);
        EXPECT_FALSE(dialog->Connected());
        EXPECT_EQ(Panel(), "Line busy");
        if (c.showError) {
            EXPECT_EQ(Boxes().Texts(TDialogCall::kMessageBox),
                      (Strings{"Error : Line busy\nRetry?", "Error : Line busy"}));
        }
    }
}

TEST_F(DialUpDialogTest, WithoutErrorPromptsTheDialogWaitsBetweenAttempts)
{
    options.ShowError = false;
    options.RetrySpan = 60;
    scope.ras->Dials.push_back({633, {}}); // refused at once: no event, still a dial error
    Open();
    Click("Button1");
    EXPECT_EQ(Panel(), "Wait for next Dial-UP");
    QTimer* timer = dialog->findChild<QTimer*>("Timer1");
    ASSERT_NE(timer, nullptr);
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(timer->interval(), 60000);
    EXPECT_TRUE(Boxes().Calls.empty());
    // Cancel while waiting: no redial follows.
    Click("Button2");
    EXPECT_TRUE(Closed());
    EXPECT_FALSE(timer->isActive());
    EXPECT_EQ(scope.ras->Dialled.size(), 1u);
}

TEST_F(DialUpDialogTest, CancelInTheStatusWindowHangsUpAndStopsTheDialling)
{
    options.ShowError = false;
    Open();
    Click("Button1");
    HRASCONN line = scope.ras->Current();
    TRasStatusDisplay* form = dialog->RasStatus()->Form();
    ASSERT_NE(form, nullptr);
    QTest::mouseClick(form->findChild<QPushButton*>("CancelBtn"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Closed(); }));
    EXPECT_FALSE(scope.ras->IsUp(line));
    EXPECT_EQ(dialog->RasStatus()->Form(), nullptr);
    dialog->RasDialError(631); // the failure the service may still report for the line
    EXPECT_FALSE(dialog->findChild<QTimer*>("Timer1")->isActive());
    EXPECT_EQ(scope.ras->Dialled.size(), 1u);
    EXPECT_FALSE(dialog->Connected());
}

TEST_F(DialUpDialogTest, ClosingTheDialogDuringADialCancelsIt)
{
    options.ShowAuth = false;
    Open();
    EXPECT_EQ(dialog->RasStatus(), nullptr);
    Click("Button1");
    HRASCONN line = scope.ras->Current();
    scope.ras->Notify(0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Panel() == "OpenPort"; }));
    dialog->close();
    EXPECT_TRUE(Closed());
    EXPECT_FALSE(scope.ras->IsUp(line));
    EXPECT_FALSE(dialog->Connected());
}

} // namespace
