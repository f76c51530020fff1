// The path rules: every folder and file a client names stays in its home.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "server/FtpSrvExceptions.h"
#include "server/FtpSrvPath.h"
#include "tests/support/TestSupport.h"

namespace {

TEST(ServerPathRules, NormaliseAndCompareByComponents)
{
    EXPECT_EQ(NormalisePath("/a//b/./c/"), "/a/b/c");
    EXPECT_EQ(NormalisePath("/a/b/../../.."), "/");
    EXPECT_EQ(NormalisePath("//"), "/");
    EXPECT_TRUE(IsInsideFolder("/srv/ftp/x", "/srv/ftp"));
    EXPECT_TRUE(IsInsideFolder("/srv/ftp", "/srv/ftp/"));
    EXPECT_FALSE(IsInsideFolder("/srv/ftp2", "/srv/ftp"));
    EXPECT_FALSE(IsInsideFolder("/srv", "/srv/ftp"));
    EXPECT_TRUE(IsInsideFolder("/anything", "/"));
}

class ServerPathHome : public ::testing::Test {
protected:
    void SetUp() override
    {
        home = dir / "home";
        ::mkdir(home.c_str(), 0755);
        ::mkdir((home + "/sub").c_str(), 0755);
        ::mkdir((dir / "home2").c_str(), 0755);
        testsupport::WriteFile(dir / "secret", "outside");
        testsupport::WriteFile(home + "/a.txt", "inside");
        ::symlink((dir / "secret").c_str(), (home + "/out").c_str());
        ::symlink(dir.path().c_str(), (home + "/outdir").c_str());
        ::symlink((home + "/sub").c_str(), (home + "/insub").c_str());
    }
    testsupport::TempDir dir;
    std::string home;
};

TEST_F(ServerPathHome, FilePathRuleResolvesInsideTheHome)
{
    const std::string cwd = home + "/sub/";
    struct Case { std::string name, expected; };
    for (const Case& c : std::vector<Case>{
             {"a.txt", home + "/sub/a.txt"},
             {"../a.txt", home + "/a.txt"},
             {"./x/../y", home + "/sub/y"},
             {home + "/a.txt", home + "/a.txt"},
             {"//" + home.substr(1) + "//sub//f", home + "/sub/f"},
             {"%2e%2e", home + "/sub/%2e%2e"},
             {"insub/../a", home + "/sub/a"},
         }) {
        EXPECT_EQ(ResolveFilePath(cwd, c.name, home), c.expected) << c.name;
    }
    // A link whose target stays inside the home may be used.
    EXPECT_EQ(ResolveFilePath(home + "/", "insub/f", home), home + "/insub/f");
}

TEST_F(ServerPathHome, FilePathRuleRefusesEveryEscape)
{
    const std::string cwd = home + "/sub/";
    for (const std::string& name : {
             std::string("../.."), std::string("../../etc/passwd"), std::string("/etc/passwd"),
             std::string("//etc"), std::string("a/../../../x"), std::string("..\\..\\etc\\passwd"),
             std::string("a\\b"), std::string("x\0/../../../etc", 15), dir / "home2/f", dir / "home2",
             dir / "secret", std::string("../out"), std::string("../outdir/secret"), std::string("/"),
             std::string(4000, 'a') + "/../../../..", std::string("../../") + std::string(300, 'x'),
         }) {
        EXPECT_THROW(ResolveFilePath(cwd, name, home), PortlornException) << name;
    }
    // ".." of the home itself is the parent.
    EXPECT_THROW(ResolveFilePath(home + "/", "..", home), PortlornException);
    // A relative home is no confinement at all: refused.
    EXPECT_THROW(ResolveFilePath("sub/", "a", "relative/home"), PortlornException);
}

TEST_F(ServerPathHome, FolderRuleMovesAndRefuses)
{
    struct Case { std::string current, requested, expected; };
    for (const Case& c : std::vector<Case>{
             {home + "/", "sub", home + "/sub/"},
             {home + "/", "sub/", home + "/sub/"},
             {home + "/sub/", "..", home + "/"},
             {home + "/sub/", ".", home + "/sub/"},
             {home + "/sub/", "", home + "/sub/"},
             {home + "/", home + "//sub", home + "/sub/"},
             {home + "/", "insub", home + "/insub/"},
             {dir / "elsewhere/", home, home + "/"},
             // The steps above the home are waypoints towards it.
             {home + "/", "..", dir.path() + "/"},
             {home + "/", "/", "/"},
             {dir.path() + "/", "home", home + "/"},
         }) {
        EXPECT_EQ(ResolveDirectoryPath(c.current, c.requested, home), c.expected) << c.requested;
    }
    struct Refusal { std::string current, requested, message; };
    for (const Refusal& r : std::vector<Refusal>{
             {dir.path() + "/", "home2", PathOutsideHomeText},
             {"/", "etc", PathOutsideHomeText},
             {home + "/sub/", "../..", PathDotNotationText},
             {home + "/sub/", "../sub", PathDotNotationText},
             {home + "/", "/etc", PathOutsideHomeText},
             {home + "/", "//etc", PathOutsideHomeText},
             {home + "/", dir / "home2", PathOutsideHomeText},
             {home + "/", "outdir", PathOutsideHomeText},
             {home + "/", "missing", PathNoSuchDirectoryText},
             {home + "/", "a.txt", PathNoSuchDirectoryText},
             {home + "/", "a\\b", PathInvalidCharText},
             {home + "/", "%2e%2e", PathNoSuchDirectoryText},
         }) {
        try {
            ResolveDirectoryPath(r.current, r.requested, home);
            ADD_FAILURE() << r.requested << " was accepted";
        } catch (const EFtpCtrlSocketException& e) {
            EXPECT_EQ(e.Message(), r.message) << r.requested;
        }
    }
}

TEST_F(ServerPathHome, RealPathFollowsLinksOfTheExistingPart)
{
    EXPECT_EQ(RealPathOf(home + "/outdir/secret"), RealPathOf(dir / "secret"));
    EXPECT_EQ(RealPathOf(home + "/insub/new/file"), RealPathOf(home + "/sub") + "/new/file");
}

TEST_F(ServerPathHome, DanglingLinksAreFollowedToWhereTheyPoint)
{
    ::symlink("../outside/newfile", (home + "/dang").c_str());
    ::symlink("/nowhere/at/all", (home + "/dangabs").c_str());
    ::symlink("dang", (home + "/chain").c_str());
    ::symlink("sub/new", (home + "/dangin").c_str());
    const std::string realDir = RealPathOf(dir.path());
    EXPECT_EQ(RealPathOf(home + "/dang"), realDir + "/outside/newfile");
    EXPECT_EQ(RealPathOf(home + "/chain/x"), realDir + "/outside/newfile/x");
    EXPECT_EQ(RealPathOf(home + "/dangabs"), "/nowhere/at/all");
    EXPECT_EQ(RealPathOf(home + "/dangin"), realDir + "/home/sub/new");
    for (const char* name : {"dang", "dangabs", "chain", "sub/../dang", "chain/x"})
        EXPECT_THROW(ResolveFilePath(home + "/", name, home), PortlornException) << name;
    EXPECT_EQ(ResolveFilePath(home + "/", "dangin", home), home + "/dangin");
}

TEST_F(ServerPathHome, APathThatCannotBeResolvedIsRefusedWithTheReason)
{
    // Nothing can ever be made or opened through these: refused at the
    // check, not taken for names still to be made.
    ::symlink("loop2", (home + "/loop1").c_str());
    ::symlink("loop1", (home + "/loop2").c_str());
    ::symlink("self", (home + "/self").c_str());
    ::symlink("loop1/x", (home + "/intoloop").c_str());
    struct Case { std::string name; int error; };
    for (const Case& c : std::vector<Case>{
             {"loop1", ELOOP}, {"loop1/zz.txt", ELOOP}, {"sub/../loop2/a/b", ELOOP}, {"self", ELOOP},
             {"intoloop", ELOOP}, {"a.txt/x", ENOTDIR}, {"a.txt/x/y", ENOTDIR},
         }) {
        try {
            ResolveFilePath(home + "/", c.name, home);
            ADD_FAILURE() << c.name << " was accepted";
        } catch (const PortlornException& e) {
            EXPECT_EQ(e.Message(), std::strerror(c.error)) << c.name;
        }
        EXPECT_THROW(OpenConfined(home + "/" + c.name, home, O_WRONLY | O_CREAT, 0644), PortlornException) << c.name;
    }
    for (const char* folder : {"loop1", "self/x"})
        EXPECT_THROW(ResolveDirectoryPath(home + "/", folder, home), rtl::Exception) << folder;
    // A name not there yet is still one that may be made.
    EXPECT_EQ(ResolveFilePath(home + "/", "sub/new/deeper", home), home + "/sub/new/deeper");
}

TEST_F(ServerPathHome, OpeningFollowsNoLinkThatCameAfterTheCheck)
{
    const std::string outside = dir / "outside";
    ::mkdir(outside.c_str(), 0755);
    // Through a link that stays inside: the file is made where it points.
    int fd = OpenConfined(home + "/insub/new", home, O_WRONLY | O_CREAT | O_EXCL, 0644);
    EXPECT_GE(fd, 0);
    ::close(fd);
    EXPECT_TRUE(std::filesystem::exists(home + "/sub/new"));

    // Checked while fine, then the name or a folder on the way became a link out.
    ASSERT_EQ(ResolveFilePath(home + "/", "later", home), home + "/later");
    ASSERT_EQ(ResolveFilePath(home + "/", "sub/f", home), home + "/sub/f");
    ::symlink((outside + "/later").c_str(), (home + "/later").c_str());
    std::filesystem::rename(home + "/sub", home + "/sub.old");
    ::symlink(outside.c_str(), (home + "/sub").c_str());
    for (const char* name : {"later", "sub/f"})
        EXPECT_THROW(OpenConfined(home + "/" + name, home, O_WRONLY | O_CREAT, 0644), PortlornException) << name;
    EXPECT_THROW(TConfinedName(home + "/sub/f", home), PortlornException);
    EXPECT_TRUE(std::filesystem::is_empty(outside));

    // A name is acted on itself: the folder holding it, and its last step as named.
    TConfinedName link(home + "/out", home);
    ASSERT_GE(link.Folder(), 0);
    EXPECT_EQ(link.Name(), "out");
    EXPECT_EQ(::unlinkat(link.Folder(), link.Name().c_str(), 0), 0);
    EXPECT_EQ(testsupport::ReadFile(dir / "secret"), "outside");
    EXPECT_THROW(TConfinedName(home, home), PortlornException);
}

} // namespace
