// Dialling before a connect, as the real window does it: the scripted remote
// access service answers the window's dialer, the dial-up dialog opens from
// the connect button, and the connect to a real server goes on only when
// the line came up; the hang-up at exit finds the line.
#include <QPushButton>
#include <QRadioButton>
#include <QComboBox>

#include "MainServerFixture.h"
#include "ModalHelper.h"
#include "client/ui/preference/Preference.h"
#include "tests/platform/dialup/RasSimulation.h"

namespace {

class MainDialUpTest : public MainServerFixture {
protected:
    TRasSimulation* ras = nullptr;
    std::unique_ptr<TRasService> previous;

    void SetUp() override
    {
        MainServerFixture::SetUp();
        auto sim = std::make_unique<TRasSimulation>();
        ras = sim.get();
        TRasSimulation::TEntry work;
        work.Name = "Work";
        work.Saved.PhoneNumber = "5551234";
        work.Saved.UserName = "jo";
        ras->Phonebook = {{"Home", {}, false}, work};
        ras->ErrorTexts[676] = "Line busy";
        previous = SetRasService(std::move(sim));
    }
    void TearDown() override
    {
        MainServerFixture::TearDown();
        SetRasService(std::move(previous));
    }
    void OpenModem(bool hangUpAtExit)
    {
        Open([&](TClientSettings& s) {
            s.DialUPType = 1;
            s.DialUPIndex = 1;
            s.DialUPShowAuth = false;
            s.DialUPShowError = true;
            s.DialUPRetrySpan = 0;
            s.DialUPDisconnect = hangUpAtExit;
        });
        win->findChild<QComboBox*>("cbHostName")->setEditText(QString::fromStdString(Url()));
    }
    // Connect with the dialog answered by pressing "Dial".
    void ConnectDialling()
    {
        WhenModal([&](QWidget* d) {
            EXPECT_EQ(d->windowTitle(), "Dial-UP Dialog");
            d->findChild<QPushButton*>("Button1")->click();
        });
        win->sbConnectClick();
    }
};

TEST_P(MainDialUpTest, ALineThatComesUpLetsTheConnectGoOnAndIsHungUpAtExit)
{
    OpenModem(true);
    ras->Dials.push_back({0, {{RASCS_ConnectDevice, 0}, {RASCS_Connected, 0}}});
    ConnectDialling();
    ASSERT_EQ(ras->Dialled.size(), 1u);
    EXPECT_EQ(ras->Dialled[0].EntryName, "Work");
    ASSERT_TRUE(WaitState(2)) << PageText(0);
    const HRASCONN line = ras->Current();
    ASSERT_TRUE(ras->IsUp(line));
    // Another connect finds the line up and does not dial again.
    dialogs.get()->ReplyId(IDYES);
    win->sbDisconnectClick();
    win->sbConnectClick();
    ASSERT_TRUE(WaitState(2)) << PageText(0);
    EXPECT_EQ(ras->Dialled.size(), 1u);
    EXPECT_TRUE(ras->IsUp(line)) << "the window's dialer keeps the line while it lives";
    dialogs.get()->ReplyId(IDYES);
    win->sbDisconnectClick();
    win.reset();
    EXPECT_FALSE(ras->IsUp(line));
    EXPECT_EQ(ras->HungUp, std::vector<HRASCONN>{line});
}

TEST_P(MainDialUpTest, ADialThatFailsAndIsNotRetriedConnectsNothing)
{
    OpenModem(false);
    ras->Dials.push_back({0, {{RASCS_ConnectDevice, 0}, {0, 676}}});
    dialogs.get()->ReplyId(IDNO); // "Retry?"
    ConnectDialling();
    ASSERT_EQ(dialogs.get()->Calls.size(), 1u);
    EXPECT_EQ(dialogs.get()->Calls[0].caption, "Dial Error");
    EXPECT_EQ(dialogs.get()->Calls[0].text, "Error : Line busy\nRetry?");
    EXPECT_EQ(win->SessionState(), 0);
    EXPECT_EQ(PageText(0), "") << "no connect was started";
    EXPECT_FALSE(ras->IsUp(ras->Current()));
}

TEST_P(MainDialUpTest, ALineUpBeforeTheConnectIsUsedAndLeftToItsOwner)
{
    const HRASCONN other = ras->AddForeignConnection("Work");
    OpenModem(true);
    win->sbConnectClick();
    ASSERT_TRUE(WaitState(2)) << PageText(0);
    EXPECT_TRUE(ras->Dialled.empty()) << "a line is up: no dial";
    dialogs.get()->ReplyId(IDYES);
    win->sbDisconnectClick();
    win.reset();
    EXPECT_TRUE(ras->IsUp(other));
    EXPECT_TRUE(ras->HungUp.empty());
}

TEST_P(MainDialUpTest, ThePreferencesListThePhonebookAndKeepTheModemChoice)
{
    OpenModem(false);
    int entries = -1;
    bool modem = false;
    WhenModal([&](QWidget* d) {
        entries = d->findChild<QComboBox*>("cbDialUP")->count();
        modem = d->findChild<QRadioButton*>("ConnectUseMOdem")->isChecked();
        d->findChild<QPushButton*>("Button1")->click();
    });
    QAction* item = win->findChild<QAction*>("miPreference");
    item->setEnabled(true);
    item->trigger();
    EXPECT_EQ(entries, 2);
    EXPECT_TRUE(modem);
    EXPECT_EQ(win->Settings().DialUPType, 1);
    // Without the service the stored choice stays as it was.
    auto missing = std::make_unique<TRasSimulation>();
    missing->Present = false;
    auto sim = SetRasService(std::move(missing));
    WhenModal([&](QWidget* d) { d->findChild<QPushButton*>("Button1")->click(); });
    item->trigger();
    EXPECT_EQ(win->Settings().DialUPType, 1);
    SetRasService(std::move(sim));
}

// Without the remote access service a stored modem choice shows as it is
// (the modem cannot be chosen anew), and the LAN chosen instead is stored:
// the warning at each connect ends.
TEST_P(MainDialUpTest, WithoutTheServiceTheStoredModemShowsAndTheLanChosenIsStored)
{
    OpenModem(false);
    auto missing = std::make_unique<TRasSimulation>();
    missing->Present = false;
    auto sim = SetRasService(std::move(missing));
    const auto warnings = [&] {
        int n = 0;
        for (const auto& t : dialogs.get()->Texts(TDialogCall::kMessageBox))
            n += t.find("Failed to find/load") != std::string::npos;
        return n;
    };
    win->sbConnectClick();
    ASSERT_TRUE(WaitState(2)) << PageText(0);
    EXPECT_EQ(warnings(), 1);

    bool modemChecked = false, modemEnabled = true, lanChecked = true;
    WhenModal([&](QWidget* d) {
        auto* modem = d->findChild<QRadioButton*>("ConnectUseMOdem");
        auto* lan = d->findChild<QRadioButton*>("ConnectUseLan");
        modemChecked = modem->isChecked();
        modemEnabled = modem->isEnabled();
        lanChecked = lan->isChecked();
        lan->click();
        d->findChild<QPushButton*>("Button1")->click();
    });
    QAction* item = win->findChild<QAction*>("miPreference");
    item->setEnabled(true);
    item->trigger();
    EXPECT_TRUE(modemChecked) << "the stored choice is shown";
    EXPECT_FALSE(modemEnabled);
    EXPECT_FALSE(lanChecked);
    EXPECT_EQ(win->Settings().DialUPType, 0) << "the choice made is stored";

    dialogs.get()->ReplyId(IDYES);
    win->sbDisconnectClick();
    win->sbConnectClick();
    ASSERT_TRUE(WaitState(2)) << PageText(0);
    EXPECT_EQ(warnings(), 1) << "no warning once the LAN is chosen";
    SetRasService(std::move(sim));
}

INSTANTIATE_TEST_SUITE_P(Servers, MainDialUpTest, ::testing::Values("portlorn"),
                         [](const auto& info) { return std::string(info.param); });

} // namespace
