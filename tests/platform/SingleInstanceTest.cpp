#include <gtest/gtest.h>

#include <QLocalServer>
#include <QDir>
#include <fstream>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "platform/tray/SingleInstance.h"

namespace {

std::string UniqueName(const char* what)
{
    return TSingleInstance::NameFor(what, std::to_string(getpid()) + "-" + what);
}

TEST(SingleInstance, OneHolderPerNameAndDifferentNamesAreIndependent)
{
    TSingleInstance a, b, c;
    std::string n1 = UniqueName("one"), n2 = UniqueName("two");
    EXPECT_TRUE(a.Claim(n1));
    EXPECT_FALSE(b.Claim(n1));
    EXPECT_TRUE(c.Claim(n2));
    a.Release();
    EXPECT_TRUE(b.Claim(n1));
}

TEST(SingleInstance, ASocketLeftByADeadCopyIsTakenOver)
{
    std::string name = UniqueName("stale");
    std::string path = (QDir::tempPath() + "/").toStdString() + name;
    // A bound socket file that nobody listens on, as a killed copy leaves it.
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ::close(fd);
    TSingleInstance instance;
    EXPECT_TRUE(instance.Claim(name));
    EXPECT_TRUE(instance.Claimed());
}

TEST(SingleInstance, NamesForKeysAreShortAndDistinct)
{
    std::string a = TSingleInstance::NameFor("portlorn", "/tmp/x/a");
    std::string b = TSingleInstance::NameFor("portlorn", "/tmp/x/b");
    EXPECT_NE(a, b);
    EXPECT_EQ(a, TSingleInstance::NameFor("portlorn", "/tmp/x/a"));
    EXPECT_LT(a.size(), 40u);
}

} // namespace
