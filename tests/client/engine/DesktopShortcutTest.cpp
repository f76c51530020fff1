#include "client/engine/DesktopShortcut.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

#include "rtl/IniFile.h"
#include "tests/support/TestSupport.h"

using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

TEST(DesktopShortcut, FileNames)
{
    struct Case { const char* text; const char* name; };
    const Case cases[] = {
        {"myhost", "myhost.desktop"},
        {"ftp.example.org:21:user:pw", "ftp.example.org.desktop"},
        {"../../etc/cron.d/x:21", ".._.._etc_cron.d_x.desktop"},
        {"..:21", "FTP site.desktop"},
        {":21:u:p", "FTP site.desktop"},
    };
    for (const auto& c : cases) EXPECT_EQ(DesktopShortcutFileName(c.text), c.name) << c.text;
}

TEST(DesktopShortcut, WritesAnOwnerOnlyEntryThatStartsTheProgram)
{
    TempDir dir;
    const std::string desktop = dir / "Desk top";
    const std::string text = "myhost:21:me:p\"a$s%w\\d";
    ASSERT_TRUE(CreateDesktopShortcut(text, desktop, "/opt/my prog/skelwick", "/opt/my prog/"));
    const std::string file = desktop + "/myhost.desktop";
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    rtl::TIniFile entry(file);
    EXPECT_EQ(entry.ReadString("Desktop Entry", "Type", ""), "Application");
    EXPECT_EQ(entry.ReadString("Desktop Entry", "Name", ""), "myhost");
    EXPECT_EQ(entry.ReadString("Desktop Entry", "Path", ""), "/opt/my prog/");
    // Quoted for the launcher, then with backslashes doubled as entry values
    // are. Read raw: a profile reader would take the enclosing quotes off.
    EXPECT_NE(ReadFile(file).find("\nExec=\"/opt/my prog/skelwick\" \"myhost:21:me:p\\\\\"a\\\\$s%%w\\\\\\\\d\"\n"),
              std::string::npos);

    // The default folder comes from the user's folder settings.
    TempDir home;
    WriteFile(home / "user-dirs.dirs", "# comment\nXDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n");
    const char* oldHome = std::getenv("HOME");
    const char* oldConfig = std::getenv("XDG_CONFIG_HOME");
    std::string savedHome = oldHome ? oldHome : "", savedConfig = oldConfig ? oldConfig : "";
    ::setenv("HOME", home.path().c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", home.path().c_str(), 1);
    EXPECT_EQ(GetDesktopDir(), home / "Schreibtisch");
    EXPECT_TRUE(CreateDesktopShortcut("other"));
    EXPECT_TRUE(std::filesystem::exists(home / "Schreibtisch/other.desktop"));
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(GetDesktopDir(), home / "Desktop");
    if (oldHome) ::setenv("HOME", savedHome.c_str(), 1);
    if (oldConfig) ::setenv("XDG_CONFIG_HOME", savedConfig.c_str(), 1);
}
