#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QPushButton>
#include <QTimer>

#include "platform/dialogs/Dialogs.h"
#include "platform/dialogs/EventHandler.h"
#include "platform/dialogs/ExceptionHandler.h"
#include "platform/dialogs/ScriptedDialogs.h"
#include "rtl/Exception.h"

namespace {

class DialogsTest : public ::testing::Test {
protected:
    void SetUp() override { SetApplicationTitle("Tester"); }
    void TearDown() override { SetApplicationTitle(""); }
    TScriptedDialogsScope scripted;
    TScriptedDialogs* dialogs = scripted.get();
};

TEST_F(DialogsTest, UnansweredQuestionsTakeTheSafeAnswer)
{
    struct Case { unsigned flags; int expected; };
    for (Case c : {Case{MB_OK, IDOK}, Case{MB_YESNO, IDNO}, Case{MB_OKCANCEL, IDCANCEL},
                   Case{MB_YESNOCANCEL, IDCANCEL}}) {
        EXPECT_EQ(Dialogs().MessageBox("text", "cap", c.flags), c.expected) << c.flags;
    }
    std::string value = "keep";
    EXPECT_FALSE(Dialogs().InputQuery("c", "p", value));
    EXPECT_EQ(value, "keep");
    EXPECT_EQ(dialogs->Unanswered, 5);
}

TEST_F(DialogsTest, ScriptedRepliesAreConsumedInOrderAndCallsRecorded)
{
    dialogs->ReplyId(IDYES);
    dialogs->ReplyText("2121");
    dialogs->ReplyCancel();
    EXPECT_EQ(Dialogs().MessageBox("Sure?", "Q", MB_YESNO | MB_ICONQUESTION), IDYES);
    EXPECT_EQ(Dialogs().InputBox("Server Port", "Port = ", "21"), "2121");
    // A cancelled input box gives back the default.
    EXPECT_EQ(Dialogs().InputBox("Server Port", "Port = ", "21"), "21");
    ASSERT_EQ(dialogs->Calls.size(), 3u);
    EXPECT_EQ(dialogs->Calls[0].flags, MB_YESNO | MB_ICONQUESTION);
    EXPECT_EQ(dialogs->Calls[1].caption, "Server Port");
    EXPECT_EQ(dialogs->Calls[1].text, "Port = ");
    EXPECT_EQ(dialogs->Calls[1].value, "21");
    EXPECT_EQ(dialogs->Unanswered, 0);
}

TEST_F(DialogsTest, ExceptionTextsByKind)
{
    EXPECT_EQ(ExceptionText(std::make_exception_ptr(rtl::Exception("Port in use"))), "Port in use");
    EXPECT_EQ(ExceptionText(std::make_exception_ptr(std::runtime_error("plain"))), "plain");
    EXPECT_EQ(ExceptionText(std::make_exception_ptr(42)), "Unknown exception");
}

TEST_F(DialogsTest, ExceptionFromAnEventHandlerBecomesTheErrorBoxAndTheLoopGoesOn)
{
    QPushButton button;
    ConnectHandler(&button, &QPushButton::clicked, &button, [] { throw rtl::Exception("Address already in use"); });
    bool later = false;
    QTimer::singleShot(0, &button, EventHandler([&] { button.click(); }));
    QTimer::singleShot(0, &button, EventHandler([] { throw std::runtime_error("from a timer"); }));
    QTimer::singleShot(20, &button, EventHandler([&] { later = true; }));
    const QDeadlineTimer deadline(10000);
    while (!later && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    ASSERT_TRUE(later) << "the loop stopped running handlers after the exceptions";
    std::vector<std::string> errors = dialogs->Texts(TDialogCall::kError);
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0], "Address already in use");
    EXPECT_EQ(errors[1], "from a timer");
    EXPECT_EQ(dialogs->Calls[0].caption, "Tester");
}

TEST_F(DialogsTest, HandlersTakeTheSignalsLeadingArgumentsAndOnlyTheirOwnExceptionsAreCaught)
{
    QPushButton button;
    button.setCheckable(true);
    std::vector<bool> seen;
    ConnectHandler(&button, &QPushButton::toggled, &button, [&](bool on) { seen.push_back(on); });
    int mutableCalls = 0;
    ConnectHandler(&button, &QPushButton::toggled, &button, [n = 0, &mutableCalls]() mutable {
        mutableCalls = ++n;
        if (n == 2)
            throw rtl::Exception("second");
    });
    button.toggle();
    button.toggle();
    button.toggle();
    EXPECT_EQ(seen, (std::vector<bool>{true, false, true}));
    EXPECT_EQ(mutableCalls, 3); // the state of a mutable handler is kept between calls
    EXPECT_EQ(dialogs->Texts(TDialogCall::kError), std::vector<std::string>{"second"});
    // A handler goes with its context object.
    {
        QObject context;
        ConnectHandler(&button, &QPushButton::toggled, &context, [] { throw rtl::Exception("gone"); });
    }
    button.toggle();
    EXPECT_EQ(dialogs->Texts(TDialogCall::kError).size(), 1u);
}

TEST_F(DialogsTest, GuardedReportsAndContinues)
{
    EXPECT_TRUE(Guarded([] {}));
    EXPECT_FALSE(Guarded([] { throw rtl::Exception("boom"); }));
    EXPECT_EQ(dialogs->Texts(TDialogCall::kError), std::vector<std::string>{"boom"});
}

} // namespace
