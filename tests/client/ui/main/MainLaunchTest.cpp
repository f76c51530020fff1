// What the window starts for the user: a new session, and a program or file
// picked with Run Program, which either runs, opens with the desktop's opener,
// or says why it cannot.
#include <QCoreApplication>
#include <sys/stat.h>

#include "MainFixture.h"

namespace {

using MainLaunchTest = MainFixture;

TEST_F(MainLaunchTest, NewSessionStartsTheProgramAgainMaximised)
{
    Open();
    Find<QAction>("miNewSession")->trigger();
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0], (std::vector<std::string>{QCoreApplication::applicationFilePath().toStdString(),
                                                    TfmMain::NewSessionArgument}));
}

TEST_F(MainLaunchTest, RunProgramRunsAProgramAndOpensAnyOtherFile)
{
    const std::string program = dir / "tool.sh", text = dir / "notes.txt";
    testsupport::WriteFile(program, "#!/bin/sh\n");
    ::chmod(program.c_str(), 0755);
    testsupport::WriteFile(text, "notes\n");
    Open();
    dialogs.get()->ReplyText(program);
    Find<QAction>("miRunProgram")->trigger();
    dialogs.get()->ReplyText(text);
    Find<QAction>("miRunProgram")->trigger();
    ASSERT_EQ(started.size(), 2u);
    EXPECT_EQ(started[0], std::vector<std::string>{program});
    ASSERT_EQ(started[1].size(), 2u);
    EXPECT_NE(started[1][0].find("xdg-open"), std::string::npos) << started[1][0];
    EXPECT_EQ(started[1][1], text);
    for (const auto& call : dialogs.get()->Calls) EXPECT_NE(call.kind, TDialogCall::kMessageBox) << call.text;
}

TEST_F(MainLaunchTest, AFileThatCannotBeOpenedIsToldWhy)
{
    const std::string text = dir / "notes.txt";
    testsupport::WriteFile(text, "notes\n");
    Open();
    win->StartProgram = [](const std::string&, const std::vector<std::string>&) { return false; };
    dialogs.get()->ReplyText(text);
    dialogs.get()->ReplyId(IDOK);
    Find<QAction>("miRunProgram")->trigger();
    ASSERT_EQ(dialogs.get()->Calls.size(), 2u);
    EXPECT_EQ(dialogs.get()->Calls[1].kind, TDialogCall::kMessageBox);
    EXPECT_EQ(dialogs.get()->Calls[1].text, "Cannot open " + text);
}

} // namespace
