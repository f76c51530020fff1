#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <string>
#include <vector>

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

TEST(PortlornSettings, APortSettingNamesAPortFrom1To65535OrNone)
{
    struct Case { const char* text; int port; };
    for (Case c : {Case{"21", 21}, Case{"2121", 2121}, Case{"65535", 65535}, Case{"1", 1}, Case{"0021", 21},
                   Case{"0", 0}, Case{"00", 0}, Case{"65536", 0}, Case{"99999", 0}, Case{"4294967317", 0},
                   Case{"", 0}, Case{"21a", 0}, Case{"-21", 0}, Case{"ftp", 21}, Case{"no-such-service", 0}}) {
        EXPECT_EQ(PortNumber(c.text), c.port) << c.text;
    }
}

TEST(PortlornSettings, AFileThatHoldsNoSettingsIsToldApartFromAGoodOrMissingOne)
{
    testsupport::TempDir dir;
    struct Case { std::string text; std::string problem; };
    for (const Case& c : std::vector<Case>{
             {"[Data]\nPort=21\n", ""},
             {"; made by hand\r\n  [ userinfo ]\r\ncount=0\r\n", ""},
             {"", "it is empty"},
             {" \r\n\n\t", "it is empty"},
             {std::string("\xff\xfe[\0D\0a\0t\0a\0]\0", 14), "it is not text (it holds NUL bytes)"},
             {"garbage\x01\x02 = [x\n", "it holds none of the sections [Window], [Data] and [UserInfo]"},
             {"[Datax]\nPort=21\n", "it holds none of the sections [Window], [Data] and [UserInfo]"},
         }) {
        testsupport::WriteFile(dir / "portlorn.ini", c.text);
        EXPECT_EQ(SettingsFileProblem(dir / "portlorn.ini"), c.problem) << c.text;
    }
    EXPECT_EQ(SettingsFileProblem(dir / "missing.ini"), "");
    ::mkdir((dir / "folder.ini").c_str(), 0700);
    EXPECT_EQ(SettingsFileProblem(dir / "folder.ini"), "Is a directory");
}

TEST(PortlornSettings, APipeOrADeviceInPlaceOfAFileIsToldWithoutWaiting)
{
    testsupport::TempDir dir;
    const std::string fifo = dir / "portlorn.ini";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Every call must return at once. One that waits for a writer in open
    // is set free by opening the pipe for writing, so a failure ends too.
    auto bounded = [&](auto fn) {
        auto result = std::async(std::launch::async, fn);
        if (result.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            ADD_FAILURE() << "waited on the pipe";
            while (result.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready) {
                int w = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
                if (w >= 0)
                    ::close(w);
            }
        }
        return result.get();
    };
    EXPECT_EQ(bounded([&] { return SettingsFileProblem(fifo); }), "it is not a regular file");
    EXPECT_FALSE(bounded([&] { return CopyDefaultSettings(fifo, dir / "copy.ini"); }));
    EXPECT_NE(::access((dir / "copy.ini").c_str(), F_OK), 0);
    EXPECT_EQ(SettingsFileProblem("/dev/null"), "it is not a regular file");

    testsupport::WriteFile(dir / "file.ini", "[Data]\n");
    ::mkdir((dir / "folder.ini").c_str(), 0700);
    struct Case { std::string path; bool other; };
    for (const Case& c : std::vector<Case>{
             {fifo, true}, {"/dev/null", true}, {dir / "folder.ini", true}, {dir / "file.ini", false},
             {dir / "missing.ini", false}}) {
        EXPECT_EQ(IsOtherThanAFile(c.path), c.other) << c.path;
    }
}

TEST(PortlornSettings, KeepingAsideNeverReplacesAnEarlierCopy)
{
    testsupport::TempDir dir;
    const std::string ini = dir / "portlorn.ini";
    testsupport::WriteFile(ini, "first");
    EXPECT_EQ(KeepAside(ini), ini + ".damaged");
    testsupport::WriteFile(ini, "second");
    EXPECT_EQ(KeepAside(ini), ini + ".damaged-2");
    EXPECT_NE(::access(ini.c_str(), F_OK), 0);
    EXPECT_EQ(testsupport::ReadFile(ini + ".damaged"), "first");
    EXPECT_EQ(testsupport::ReadFile(ini + ".damaged-2"), "second");
    EXPECT_EQ(KeepAside(ini), ""); // nothing there to keep
}

TEST(PortlornSettings, RelativeHomeFoldersLieInTheProgramFolder)
{
    EXPECT_EQ(ResolveHome("ftproot", "/opt/p"), "/opt/p/ftproot");
    EXPECT_EQ(ResolveHome("/srv/ftp", "/opt/p"), "/srv/ftp");
    EXPECT_EQ(ResolveHome("", "/opt/p"), "");
}

} // namespace
