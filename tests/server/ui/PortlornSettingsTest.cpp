#include <gtest/gtest.h>

#include <sys/stat.h>

#include "server/ui/PortlornSettings.h"
#include "tests/support/TestSupport.h"

namespace {

TEST(PortlornSettings, SettingsFileIsNamedAfterTheProgram)
{
    EXPECT_EQ(SettingsPath("/opt/p", "Portlorn"), "/opt/p/portlorn.ini");
    EXPECT_EQ(SettingsPath("/opt/p/", "/opt/p/Portlorn"), "/opt/p/portlorn.ini");
    EXPECT_EQ(SettingsPath("/x", "MyServer"), "/x/myserver.ini");
}

TEST(PortlornSettings, DefaultIsCopiedOnceReadableByTheOwnerOnly)
{
    testsupport::TempDir dir;
    std::string def = dir / "def_portlorn.ini", ini = dir / "portlorn.ini";
    EXPECT_FALSE(CopyDefaultSettings(def, ini)); // no default: nothing
    testsupport::WriteFile(def, "[Data]\nPort=2121\n");
    ::chmod(def.c_str(), 0644);
    EXPECT_TRUE(CopyDefaultSettings(def, ini));
    EXPECT_EQ(testsupport::ReadFile(ini), "[Data]\nPort=2121\n");
    struct stat st{};
    ASSERT_EQ(::stat(ini.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    testsupport::WriteFile(ini, "mine");
    EXPECT_FALSE(CopyDefaultSettings(def, ini)); // never overwrites
    EXPECT_EQ(testsupport::ReadFile(ini), "mine");
}

TEST(PortlornSettings, BoundsAreClampedToTheScreen)
{
    const QSize screen(1024, 768);
    struct Case { QRect in; QRect out; };
    for (const Case& c : {Case{QRect(-50, 10, 200, 300), QRect(0, 10, 310, 300)},
                          Case{QRect(403, 257, 392, 273), QRect(403, 257, 392, 273)},
                          Case{QRect(900, 700, 400, 300), QRect(624, 468, 400, 300)},
                          Case{QRect(10, -5, 320, 100), QRect(10, 0, 320, 250)}}) {
        EXPECT_EQ(ClampBounds(c.in, screen), c.out) << c.in.x() << "," << c.in.y();
    }
}

TEST(PortlornSettings, PortTextIsDigitsOnly)
{
    struct Case { const char* text; bool ok; };
    for (Case c : {Case{"2121", true}, Case{"", true}, Case{"21a", false}, Case{" 21", false}, Case{"-1", false},
                   Case{"ftp", false}}) {
        EXPECT_EQ(IsPortText(c.text), c.ok) << c.text;
    }
}

TEST(PortlornSettings, RelativeHomeFoldersLieInTheProgramFolder)
{
    EXPECT_EQ(ResolveHome("ftproot", "/opt/p"), "/opt/p/ftproot");
    EXPECT_EQ(ResolveHome("/srv/ftp", "/opt/p"), "/srv/ftp");
    EXPECT_EQ(ResolveHome("", "/opt/p"), "");
}

} // namespace
