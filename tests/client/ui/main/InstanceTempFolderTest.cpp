#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "client/ui/main/InstanceTempFolder.h"
#include "tests/support/TestSupport.h"

namespace {

bool Exists(const std::string& p) { return std::filesystem::exists(p); }

TEST(InstanceTempFolder, EachCopyKeepsItsFilesAndGoneCopiesAreCleaned)
{
    testsupport::TempDir dir;
    const std::string root = dir / "tmp";
    // A copy that is gone: its lock is free.
    ::mkdir(root.c_str(), 0700);
    ::mkdir((root + "/run-gone").c_str(), 0700);
    testsupport::WriteFile(root + "/run-gone/.lock", "");
    testsupport::WriteFile(root + "/run-gone/old.txt", "x");
    // A copy that runs: another process would hold the lock; a second open
    // file description stands in for it.
    ::mkdir((root + "/run-live").c_str(), 0700);
    testsupport::WriteFile(root + "/run-live/.lock", "");
    const int live = ::open((root + "/run-live/.lock").c_str(), O_RDWR);
    ASSERT_EQ(::flock(live, LOCK_EX | LOCK_NB), 0);
    // A file of the old layout and a folder being made (no lock yet) stay.
    testsupport::WriteFile(root + "/loose.txt", "x");
    ::mkdir((root + "/run-new").c_str(), 0700);

    std::string firstPath;
    {
        TInstanceTempFolder first(root);
        firstPath = first.Path();
        ASSERT_FALSE(firstPath.empty());
        testsupport::WriteFile(firstPath + "edit.txt", "mine");
        EXPECT_FALSE(Exists(root + "/run-gone"));
        EXPECT_TRUE(Exists(root + "/run-live"));
        EXPECT_TRUE(Exists(root + "/loose.txt"));
        EXPECT_TRUE(Exists(root + "/run-new"));

        TInstanceTempFolder second(root); // "New Session"
        EXPECT_NE(second.Path(), firstPath);
        EXPECT_EQ(testsupport::ReadFile(firstPath + "edit.txt"), "mine");
    }
    EXPECT_FALSE(Exists(firstPath));
    ::close(live);
    EXPECT_EQ(TInstanceTempFolder::RemoveStale(root), 1); // run-live, now gone
}

} // namespace
