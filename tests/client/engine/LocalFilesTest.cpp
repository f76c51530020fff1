#include "client/engine/LocalFiles.h"

#include <sys/statvfs.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;
namespace fs = std::filesystem;

TEST(LocalFiles, SizesAreSixtyFourBit)
{
    TempDir dir;
    WriteFile(dir / "small", "12345");
    WriteFile(dir / "big", "");
    fs::resize_file(dir / "big", 5000000000ULL); // sparse
    fs::create_directory(dir / "folder");
    EXPECT_EQ(GetLocalFileSize(dir / "small"), 5);
    EXPECT_EQ(GetLocalFileSize(dir / "big"), 5000000000LL);
    EXPECT_EQ(GetLocalFileSize(dir / "folder"), 0);
    EXPECT_EQ(GetLocalFileSize(dir / "missing"), -1);
}

TEST(LocalFiles, FreeSpaceOfTheFileSystemThatHoldsTheTarget)
{
    TempDir dir;
    struct statvfs vfs {};
    ASSERT_EQ(::statvfs(dir.path().c_str(), &vfs), 0);
    const std::int64_t expected = std::int64_t(vfs.f_bavail) * std::int64_t(vfs.f_frsize);
    // A folder still to be made is asked through its nearest existing parent.
    for (const std::string& path : {dir.path(), dir / "not/yet/made/file.bin"}) {
        std::int64_t free = GetDiskFree(path);
        EXPECT_GT(free, 0) << path;
        EXPECT_NEAR(double(free), double(expected), 64.0 * 1024 * 1024) << path;
    }
    WriteFile(dir / "file", "x");
    EXPECT_EQ(GetDiskFree(dir / "file/below"), 0); // a file is in the way

    const std::string caption = DriveCaption("1:" + dir.path());
    EXPECT_EQ(caption.rfind("  [", 0), 0u) << caption;
    EXPECT_NE(caption.find(" bytes free]"), std::string::npos) << caption;
    EXPECT_NE(caption.find(','), std::string::npos) << caption;
    EXPECT_EQ(DriveCaption("2:" + dir.path()), "");
    EXPECT_EQ(DriveCaption("1:" + (dir / "file/below")), "");
}

TEST(LocalFiles, RecursiveListing)
{
    TempDir dir;
    fs::create_directories(dir / "b/deep");
    WriteFile(dir / "a.txt", "a");
    WriteFile(dir / "b/deep/x", "xx");
    WriteFile(dir / "b/y", "yyy");
    WriteFile(dir / "c", "");
    fs::resize_file(dir / "c", 3000000000ULL);
    fs::create_directory_symlink(dir.path(), dir / "b/loop");
    fs::create_symlink(dir / "a.txt", dir / "link.txt");

    std::vector<TGetFileInfo> list = {{"stale", 1}};
    ListLocalFilesRecursive(dir.path(), list); // no trailing "/"
    const std::vector<TGetFileInfo> want = {
        {dir / "a.txt", 1}, {dir / "b/deep/x", 2}, {dir / "b/y", 3},
        {dir / "c", 3000000000LL}, {dir / "link.txt", 1},
    };
    EXPECT_EQ(list, want);
    ListLocalFilesRecursive(dir / "missing", list);
    EXPECT_TRUE(list.empty());
}

TEST(LocalFiles, FoldersAndDefaultFiles)
{
    TempDir dir;
    EXPECT_TRUE(ForceLocalDirs(dir / "x/y/z"));
    EXPECT_TRUE(fs::is_directory(dir / "x/y/z"));
    EXPECT_TRUE(ForceLocalDirs(dir / "x/y/z"));
    WriteFile(dir / "f", "");
    EXPECT_FALSE(ForceLocalDirs(dir / "f/sub"));

    WriteFile(dir / "def_setting.ini", "[shipped]\n");
    CopyDefaultFile(dir.path(), "setting.ini");
    EXPECT_EQ(ReadFile(dir / "setting.ini"), "[shipped]\n");
    WriteFile(dir / "setting.ini", "[mine]\n");
    CopyDefaultFile(dir.path(), "setting.ini"); // never overwrites
    EXPECT_EQ(ReadFile(dir / "setting.ini"), "[mine]\n");
    CopyDefaultFile(dir.path(), "oldquene.ini"); // no template: nothing happens
    EXPECT_FALSE(fs::exists(dir / "oldquene.ini"));
}
