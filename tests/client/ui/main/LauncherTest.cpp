#include <gtest/gtest.h>

#include <sys/stat.h>

#include "client/ui/main/Launcher.h"
#include "tests/support/TestSupport.h"

namespace {

TEST(Launcher, EditAndViewHandTheFileAsOneArgumentAndNeverRunIt)
{
    testsupport::TempDir dir;
    const std::string text = dir / "my notes (1).txt";
    testsupport::WriteFile(text, "hello");
    EXPECT_EQ(EditViewCommand(text, "/usr/bin/my editor"),
              (std::vector<std::string>{"/usr/bin/my editor", text}));
    EXPECT_FALSE(IsRunnableFile(text));

    const std::string script = dir / "run me.sh";
    testsupport::WriteFile(script, "#!/bin/sh\ntouch " + (dir / "ran") + "\n");
    const std::string desktop = dir / "app.desktop";
    testsupport::WriteFile(desktop, "[Desktop Entry]\nType=Application\nExec=true\n");
    const std::string marked = dir / "data.txt";
    testsupport::WriteFile(marked, "plain");
    ::chmod(marked.c_str(), 0755);
    for (const auto& f : {script, desktop, marked}) {
        EXPECT_TRUE(IsRunnableFile(f)) << f;
        const auto cmd = EditViewCommand(f, "");
        if (!cmd.empty()) {
            EXPECT_EQ(cmd.back(), f);
            EXPECT_EQ(cmd[0].find("xdg-open"), std::string::npos) << f;
        }
    }
}

TEST(Launcher, ExecuteStartsOnlyAFileWithItsExecuteBitDirectly)
{
    testsupport::TempDir dir;
    const std::string file = dir / "tool";
    testsupport::WriteFile(file, "#!/bin/sh\nexit 0\n");
    std::vector<std::vector<std::string>> started;
    auto start = [&](const std::string& p, const std::vector<std::string>& a) {
        std::vector<std::string> v{p};
        v.insert(v.end(), a.begin(), a.end());
        started.push_back(v);
        return true;
    };
    EXPECT_FALSE(ExecuteFile(file, start));
    EXPECT_TRUE(started.empty());
    ::chmod(file.c_str(), 0755);
    EXPECT_TRUE(ExecuteFile(file, start));
    EXPECT_EQ(started, (std::vector<std::vector<std::string>>{{file}}));
    EXPECT_FALSE(ExecuteFile(dir.path(), start)); // a folder is no program
}

} // namespace
