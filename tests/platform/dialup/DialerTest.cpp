#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RasTestScope.h"
#include "platform/dialup/DuExcept.h"
#include "platform/dialup/DuRas.h"

namespace {

// A status window that only records what the dialer asks of it.
class TRecordingStatus : public TAbstractRasStatus {
public:
    std::vector<std::string> Log;
    void SetStatusText(const std::string& text) override { Log.push_back("text " + text); }
    void ShowStatus(const std::string& entryName) override { Log.push_back("show " + entryName); }
    void HideStatus() override { Log.push_back("hide"); }
};

struct DialerTest : ::testing::Test {
    void SetUp() override
    {
        scope.SetUpPhonebook();
        dialer.OnConnected = [this](TObject*) { events.push_back("connected"); };
        dialer.OnDisconnected = [this](TObject*) { events.push_back("disconnected"); };
        dialer.OnDialStatus = [this](TObject*, int s) { events.push_back("status " + std::to_string(s)); };
        dialer.OnDialError = [this](TObject*, int e) { events.push_back("error " + std::to_string(e)); };
    }

    TRasTestScope scope;
    TRasDialer dialer;
    std::vector<std::string> events;
};

using Strings = std::vector<std::string>;

TEST(DialerWithoutService, EveryServiceCallRaisesERasAndNothingIsLeftShown)
{
    TRasDialer dialer;
    TRecordingStatus status;
    dialer.SetStatusDisplay(&status);
    std::vector<std::string> names;
    for (auto call : std::vector<std::function<void()>>{[&] { dialer.ReadPhonebookEntries(&names); },
                                                        [&] { dialer.Dial(); },
                                                        [&] { dialer.QueryConnectState(); },
                                                        [&] { dialer.SetEntryName("Work"); }}) {
        try {
            call();
            ADD_FAILURE() << "no exception";
        } catch (const ERas& e) {
            EXPECT_EQ(e.ErrorCode(), -13980);
            EXPECT_STREQ(e.what(), "Failed to find/load RASAPI32.DLL");
        }
    }
    EXPECT_EQ(status.Log.back(), "hide"); // the failed dial took its status window down
    EXPECT_FALSE(dialer.DiscTimerEnabled());
    EXPECT_THROW(dialer.ReadPhonebookEntries(nullptr), EBadArgument);
    dialer.HangUpConnection(); // no line of ours: nothing to ask the service
}

TEST_F(DialerTest, EntryNameLoadsTheSavedParametersAndAnEmptyNameKeepsThem)
{
    std::vector<std::string> names{"stale"};
    EXPECT_EQ(dialer.ReadPhonebookEntries(&names), 0);
    EXPECT_EQ(names, (Strings{"Home", "Work"}));
    dialer.SetEntryName("Work");
    EXPECT_EQ(dialer.PhoneNumber, "5551234");
    EXPECT_EQ(dialer.UserName, "jo");
    EXPECT_EQ(dialer.Password, "secret");
    EXPECT_EQ(dialer.Domain, "office");
    dialer.SetEntryName("");
    EXPECT_EQ(dialer.LoadDialParams(), ERROR_CANNOT_FIND_PHONEBOOK_ENTRY);
    EXPECT_EQ(dialer.PhoneNumber, "5551234");
    dialer.SetEntryName("Home"); // no password saved
    EXPECT_EQ(dialer.Password, "");
}

TEST_F(DialerTest, DialWalksThroughStatesToConnectedAndHangsUpOnlyItsOwnLine)
{
    TRecordingStatus status;
    status.SetRasDialer(&dialer);
    ASSERT_EQ(dialer.StatusDisplay(), &status);
    dialer.SetEntryName("Work");
    dialer.DialOptions = (1u << doPausedStates) | (1u << doNoUser);
    dialer.SpeakerMode = smSpeakerOn;
    dialer.CompressionMode = cmCompressionOff;
    HRASCONN foreign = scope.ras->AddForeignConnection("Work");

    ASSERT_EQ(dialer.Dial(), 0);
    EXPECT_EQ(events, (Strings{"disconnected"})); // every dial first hangs up, line or not
    EXPECT_TRUE(dialer.DiscTimerEnabled());
    ASSERT_EQ(scope.ras->Dialled.size(), 1u);
    EXPECT_EQ(scope.ras->Dialled[0].PhoneNumber, "5551234");
    EXPECT_EQ(scope.ras->DialledExtensions[0].dwfOptions, 0x2u | 0x200u | 0x4u | 0x8u | 0x10u);

    for (int state : {0, 2, 5, 14})
        scope.ras->Notify(state);
    TRasTestScope::Pump();
    scope.ras->Notify(RASCS_Connected);
    TRasTestScope::Pump();
    EXPECT_EQ(events, (Strings{"disconnected", "status 0", "status 2", "status 5", "status 14", "connected"}));
    EXPECT_EQ(status.Log, (Strings{"hide", "show Work", "text OpenPort", "text Dialing 5551234", "text Authenticate",
                                   "text Authenticated", "hide"}));
    EXPECT_EQ(dialer.QueryConnectState(), RASCS_Connected);

    HRASCONN own = dialer.Connection();
    dialer.HangUpConnection();
    EXPECT_EQ(scope.ras->HungUp, (std::vector<HRASCONN>{own}));
    EXPECT_FALSE(scope.ras->IsUp(own));
    EXPECT_TRUE(scope.ras->IsUp(foreign));
    EXPECT_FALSE(dialer.DiscTimerEnabled());
    EXPECT_EQ(events.back(), "disconnected");
}

TEST_F(DialerTest, DialErrorShowsTheServiceTextReportsAndHangsUp)
{
    TRecordingStatus status;
    dialer.SetStatusDisplay(&status);
    dialer.SetEntryName("Work");
    scope.ras->Dials.push_back({0, {{0, 0}, {2, 676}, {3, 0}}}); // nothing after the error arrives
    ASSERT_EQ(dialer.Dial(), 0);
    HRASCONN line = dialer.Connection();
    TRasTestScope::Pump();
    EXPECT_EQ(events, (Strings{"disconnected", "status 0", "error 676", "disconnected"}));
    EXPECT_EQ(status.Log, (Strings{"hide", "show Work", "text OpenPort", "text Line busy", "hide"}));
    EXPECT_EQ(scope.ras->HungUp, (std::vector<HRASCONN>{line}));
    EXPECT_EQ(dialer.Connection(), 0u);
    EXPECT_EQ(dialer.DialErrorText(-1), "Function not Supported");
    scope.ras->MissingEntryPoints.insert("RasGetErrorString");
    EXPECT_EQ(dialer.DialErrorText(676), "Function not Supported");
}

TEST_F(DialerTest, RefusedDialReportsItsResultAloneAndLeavesThePollOff)
{
    dialer.SetEntryName("Work");
    scope.ras->Dials.push_back({633, {}});
    EXPECT_EQ(dialer.Dial(), 633);
    TRasTestScope::Pump();
    EXPECT_EQ(events, (Strings{"disconnected", "disconnected"}));
    EXPECT_FALSE(dialer.DiscTimerEnabled());
    EXPECT_EQ(scope.ras->HungUp.size(), 1u);
}

TEST_F(DialerTest, FindConnectionNeverPicksAnotherProgramsLineForHangUp)
{
    EXPECT_EQ(dialer.QueryConnectState(), 0); // no line at all
    HRASCONN other = scope.ras->AddForeignConnection("Elsewhere");
    EXPECT_EQ(dialer.FindConnection(), other); // empty entry name: any line is up
    EXPECT_EQ(dialer.QueryConnectState(), RASCS_Connected);
    dialer.HangUpConnection();
    EXPECT_EQ(scope.ras->HangUpCalls, 0);
    EXPECT_TRUE(scope.ras->IsUp(other));
}

TEST_F(DialerTest, HangUpGivesUpOnAServiceThatNeverLetsGo)
{
    dialer.SetEntryName("Work");
    scope.ras->HangUpCallsToEnd = -1;
    dialer.HangUpWaitMs = 50;
    ASSERT_EQ(dialer.Dial(), 0);
    dialer.HangUpConnection();
    EXPECT_GT(scope.ras->HangUpCalls, 1);
    EXPECT_EQ(dialer.Connection(), 0u);
    EXPECT_EQ(events.back(), "disconnected");
}

TEST_F(DialerTest, PollNoticesALineThatDropped)
{
    dialer.SetEntryName("Work");
    ASSERT_EQ(dialer.Dial(), 0);
    scope.ras->Notify(RASCS_Connected);
    ASSERT_TRUE(TRasTestScope::WaitFor([&] { return events.back() == "connected"; }));
    scope.ras->DropLine(dialer.Connection());
    EXPECT_TRUE(TRasTestScope::WaitFor([&] { return events.back() == "disconnected"; }));
    EXPECT_EQ(dialer.Connection(), 0u);
    EXPECT_FALSE(dialer.DiscTimerEnabled());
}

TEST_F(DialerTest, AnEventHandlerThatThrowsEndsInTheErrorBoxAndTheHangUpStillRuns)
{
    dialer.OnDialError = [](TObject*, int) { throw ERas(-13980); };
    dialer.SetEntryName("Work");
    scope.ras->Dials.push_back({0, {{0, 678}}});
    ASSERT_EQ(dialer.Dial(), 0);
    HRASCONN line = dialer.Connection();
    TRasTestScope::Pump();
    EXPECT_EQ(scope.dialogs.get()->Texts(TDialogCall::kError), (Strings{"Failed to find/load RASAPI32.DLL"}));
    EXPECT_EQ(scope.ras->HungUp, (std::vector<HRASCONN>{line}));
}

TEST_F(DialerTest, HangupOnDestroyDecidesWhetherTheLineOutlivesTheDialer)
{
    for (bool hangUp : {true, false}) {
        HRASCONN line;
        {
            TRasDialer exiting;
            exiting.HangupOnDestroy = hangUp;
            exiting.SetEntryName("Work");
            ASSERT_EQ(exiting.Dial(), 0);
            line = exiting.Connection();
            scope.ras->Notify(RASCS_Connected);
            TRasTestScope::Pump();
        }
        EXPECT_EQ(scope.ras->IsUp(line), !hangUp) << hangUp;
    }
}

TEST(DialStatusText, NamedStatesOnly)
{
    TRasDialer dialer;
    EXPECT_EQ(dialer.DialStatusText(0), "OpenPort");
    EXPECT_EQ(dialer.DialStatusText(23), "SubEntryDisconnected");
    for (int state : {-1, 24, RASCS_PAUSED, RASCS_Connected, RASCS_Disconnected})
        EXPECT_EQ(dialer.DialStatusText(state), "") << state;
}

} // namespace
