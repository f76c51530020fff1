#include <gtest/gtest.h>

#include "rtl/Exception.h"
#include "rtl/IniFile.h"
#include "server/ui/UserAccount.h"
#include "tests/support/TestSupport.h"

namespace {

TEST(UserAccount, FindUserMatchesNameIgnoringCaseAndPasswordExactly)
{
    TUserList users = {{"bob", "one", "/srv/bob", 0}, {"BOB", "two", "/srv/BOB", 1}, {"ann", "Pw", "/a", 1}};
    struct Case { const char* name; const char* pass; int expected; };
    for (Case c : {Case{"bob", "one", 0}, Case{"Bob", "one", 0}, Case{"bob", "two", 1}, Case{"BOB", "one", 0},
                   Case{"ann", "pw", -1}, Case{"ann", "Pw", 2}, Case{"an", "Pw", -1}, Case{"", "", -1}}) {
        EXPECT_EQ(FindUser(users, c.name, c.pass), c.expected) << c.name << "/" << c.pass;
    }
}

TEST(UserAccount, UserAtRaisesTheListIndexErrorForAGoneAccount)
{
    TUserList users = {{"bob", "one", "/srv/bob", 0}};
    EXPECT_EQ(UserAt(users, 0).UserName, "bob");
    try {
        UserAt(users, -1);
        FAIL();
    } catch (const rtl::Exception& e) {
        EXPECT_EQ(e.Message(), "List index out of bounds (-1)");
    }
}

TEST(UserAccount, HomeFolderConfinesByWholePathComponents)
{
    struct Case { const char* home; const char* folder; bool inside; };
    for (Case c : {Case{"/srv/ftp", "/srv/ftp/", true}, Case{"/srv/ftp", "/srv/ftp", true},
                   Case{"/srv/ftp/", "/srv/ftp/pub/", true}, Case{"/srv/ftp", "/srv/ftp/a/b/", true},
                   Case{"/srv/ftp", "/srv/ftp2/", false}, Case{"/srv/ftp", "/tmp/srv/ftp/", false},
                   Case{"/srv/ftp", "/srv/", false}, Case{"/srv/ftp", "/", false},
                   Case{"/srv/ftp", "/srv/ftp/../other/", false}, Case{"/srv/ftp", "/srv//ftp/x/", true},
                   Case{"/srv/Ftp", "/srv/ftp/", false}, Case{"", "/srv/ftp/", false},
                   Case{"/", "/anything/", true}, Case{"/srv/ftp", "", false}}) {
        EXPECT_EQ(InsideHome(c.home, c.folder), c.inside) << c.home << " " << c.folder;
    }
}

TEST(UserAccount, SaveAndLoadKeepOrderAndIgnoreKeysOfALongerList)
{
    testsupport::TempDir dir;
    std::string path = dir / "portlorn.ini";
    {
        rtl::TIniFile ini(path);
        SaveUsers(ini, {{"a", "1", "/x", 0}, {"b", "2", "/y", 1}, {"c", "3", "/z", 1}});
        SaveUsers(ini, {{"b", "2", "/y", 1}});
        ini.UpdateFile();
    }
    rtl::TIniFile ini(path);
    EXPECT_EQ(ini.ReadInteger("UserInfo", "count", -1), 1);
    EXPECT_EQ(ini.ReadString("UserInfo", "UserName3", ""), "c"); // left over, ignored
    TUserList users = LoadUsers(ini);
    ASSERT_EQ(users.size(), 1u);
    EXPECT_EQ(users[0].UserName, "b");
    EXPECT_EQ(users[0].PassWord, "2");
    EXPECT_EQ(users[0].HomeDir, "/y");
    EXPECT_EQ(users[0].AcessRight, 1);
}

TEST(UserAccount, LoadReadsMissingKeysAsEmpty)
{
    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "portlorn.ini", "[UserInfo]\ncount=2\nUserName1=bob\nPassWord1=x\n");
    rtl::TIniFile ini(dir / "portlorn.ini");
    TUserList users = LoadUsers(ini);
    ASSERT_EQ(users.size(), 2u);
    EXPECT_EQ(users[0].HomeDir, "");
    EXPECT_EQ(users[0].AcessRight, 0);
    EXPECT_EQ(users[1].UserName, "");
}

TEST(UserAccount, ADamagedCountLoadsTheAccountsThatAreThereAndSaysWhy)
{
    const std::string accounts = "UserName1=bob\nPassWord1=pw\nHomeDir1=/b\nAcessRight1=1\n"
                                 "username7=ann\nPassWord7=a\n"
                                 "UserNameX=not-an-account\nHomeDir99999999999999999999999=/x\n";
    struct Case { const char* count; bool damaged; std::size_t loaded; };
    for (Case c : {Case{"count=2147483647\n", true, 2}, Case{"count=100000000000000000000\n", true, 2},
                   Case{"count=-4\n", true, 2}, Case{"count=lots\n", true, 2}, Case{"", true, 2},
                   Case{"count=100001\n", true, 2}, Case{"count=1\n", false, 1}, Case{"count=0\n", false, 0}}) {
        testsupport::TempDir dir;
        testsupport::WriteFile(dir / "portlorn.ini", std::string("[UserInfo]\n") + c.count + accounts);
        rtl::TIniFile ini(dir / "portlorn.ini");
        std::string damage;
        TUserList users = LoadUsers(ini, &damage);
        ASSERT_EQ(users.size(), c.loaded) << c.count;
        EXPECT_EQ(!damage.empty(), c.damaged) << c.count << damage;
        if (c.loaded >= 1) {
            EXPECT_EQ(users[0].UserName, "bob");
            EXPECT_EQ(users[0].AcessRight, 1);
        }
        if (c.loaded == 2) {
            EXPECT_EQ(users[1].UserName, "ann"); // numbered 7: the numbers' order, gaps closed
            EXPECT_EQ(users[1].PassWord, "a");
            EXPECT_NE(damage.find("the 2 accounts found in the file were loaded"), std::string::npos) << damage;
        }
    }
}

TEST(UserAccount, AHugeCountWithNoAccountsEndsAtOnceWithNone)
{
    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "portlorn.ini", "[UserInfo]\ncount=2147483647\n");
    rtl::TIniFile ini(dir / "portlorn.ini");
    std::string damage;
    EXPECT_TRUE(LoadUsers(ini, &damage).empty());
    EXPECT_EQ(damage, "[UserInfo] count=2147483647 is not a number of accounts from 0 to 100000; "
                      "the 0 accounts found in the file were loaded");
}

} // namespace
