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

} // namespace
