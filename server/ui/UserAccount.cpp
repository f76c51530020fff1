#include "server/ui/UserAccount.h"

#include <strings.h>

#include "rtl/Exception.h"
#include "rtl/Format.h"
#include "rtl/IniFile.h"
#include "server/FtpSrvPath.h"

namespace {

bool SameText(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

} // namespace

int FindUser(const TUserList& users, const std::string& userName, const std::string& passWord)
{
    for (std::size_t i = 0; i < users.size(); ++i)
        if (SameText(users[i].UserName, userName) && users[i].PassWord == passWord)
            return static_cast<int>(i);
    return -1;
}

const TUserInfo& UserAt(const TUserList& users, int index)
{
    if (index < 0 || static_cast<std::size_t>(index) >= users.size())
        throw rtl::Exception(rtl::Format("List index out of bounds (%d)", index));
    return users[static_cast<std::size_t>(index)];
}

bool InsideHome(const std::string& homeDir, const std::string& folder)
{
    if (homeDir.empty() || folder.empty() || folder[0] != '/')
        return false;
    return IsInsideFolder(folder, homeDir);
}

TUserList LoadUsers(const rtl::TIniFile& ini)
{
    TUserList users;
    std::int64_t count = ini.ReadInteger("UserInfo", "count", 0);
    for (std::int64_t i = 1; i <= count; ++i) {
        std::string n = std::to_string(i);
        TUserInfo user;
        user.UserName = ini.ReadString("UserInfo", "UserName" + n, "");
        user.PassWord = ini.ReadString("UserInfo", "PassWord" + n, "");
        user.HomeDir = ini.ReadString("UserInfo", "HomeDir" + n, "");
        user.AcessRight = static_cast<std::uint8_t>(ini.ReadInteger("UserInfo", "AcessRight" + n, 0));
        users.push_back(std::move(user));
    }
    return users;
}

void SaveUsers(rtl::TIniFile& ini, const TUserList& users)
{
    ini.WriteInteger("UserInfo", "count", static_cast<std::int64_t>(users.size()));
    for (std::size_t i = 0; i < users.size(); ++i) {
        std::string n = std::to_string(i + 1);
        ini.WriteString("UserInfo", "UserName" + n, users[i].UserName);
        ini.WriteString("UserInfo", "PassWord" + n, users[i].PassWord);
        ini.WriteString("UserInfo", "HomeDir" + n, users[i].HomeDir);
        ini.WriteInteger("UserInfo", "AcessRight" + n, users[i].AcessRight);
    }
}
