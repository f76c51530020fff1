// The real window on a server that falls silent after the login: the request
// ends after the Timeout of setting.ini, its connection's log page says
// "426 Timeout", and the window is ready for the next connect.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLineEdit>

#include "MainFixture.h"
#include "tests/net/ftp/FakeFtpServer.h"

namespace {

TEST_F(MainFixture, ASilentServerEndsTheConnectWithATimeoutOnItsLogPage)
{
    using namespace fakeftp;
    Open([](TClientSettings& s) { s.Timeout = 1; });
    win->show();
    FakeFtpServer server({Welcome(), Login(), Answer("SYST", "215 UNIX Type: L8"), Answer("TYPE I", "200 Type set to I"),
                          Answer("REST 100", "350 Restarting at 100"), Answer("REST 0", "350 Restarting at 0"),
                          [](Session& s) {
                              s.Expect("PWD");
                              HoldSilently(s);
                          }});
    Find<QComboBox>("cbHostName")->setEditText("127.0.0.1");
    Find<QLineEdit>("edPort")->setText(QString::number(server.Port()));
    Find<QLineEdit>("edUser")->setText("u");
    Find<QLineEdit>("edPass")->setText("x");
    win->sbConnectClick();
    EXPECT_EQ(win->SessionState(), 1);
    ASSERT_TRUE(WaitFor([&] { return PageText(0).find("426 Timeout") != std::string::npos; }, 8000)) << PageText(0);
    EXPECT_TRUE(WaitState(0, 5000)) << "the window waits for ever";
    EXPECT_TRUE(Find<QAction>("tbConnect")->isEnabled());
    EXPECT_TRUE(server.Join(5000)) << "the silent connection was dropped";
}

} // namespace
