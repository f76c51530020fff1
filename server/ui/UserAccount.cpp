#include "server/ui/UserAccount.h"

#include <strings.h>

#include <charconv>
#include <set>

#include "rtl/Exception.h"
#include "rtl/Format.h"
#include "rtl/IniFile.h"
#include "server/FtpSrvPath.h"

namespace {

bool SameText(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

const char* const kAccountKeys[] = {"UserName", "PassWord", "HomeDir", "AcessRight"};

TUserInfo ReadUser(const rtl::TIniFile& ini, std::uint64_t number)
{
    const std::string n = std::to_string(number);
    TUserInfo user;
    user.UserName = ini.ReadString("UserInfo", "UserName" + n, "");
    user.PassWord = ini.ReadString("UserInfo", "PassWord" + n, "");
    user.HomeDir = ini.ReadString("UserInfo", "HomeDir" + n, "");
    user.AcessRight = static_cast<std::uint8_t>(ini.ReadInteger("UserInfo", "AcessRight" + n, 0));
    return user;
}

// The account numbers that [UserInfo] has keys for, lowest first.
std::set<std::uint64_t> AccountNumbers(const rtl::TIniFile& ini)
{
    std::set<std::uint64_t> numbers;
    for (const std::string& key : ini.ReadSection("UserInfo")) {
        for (const char* name : kAccountKeys) {
            const std::size_t len = std::char_traits<char>::length(name);
            if (key.size() <= len || strncasecmp(key.c_str(), name, len) != 0)
                continue;
            std::uint64_t number = 0;
            const char* end = key.data() + key.size();
            auto [stop, ec] = std::from_chars(key.data() + len, end, number);
            if (ec == std::errc() && stop == end && number > 0)
                numbers.insert(number);
        }
    }
    return numbers;
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

TUserList LoadUsers(const rtl::TIniFile& ini, std::string* damage)
{
    TUserList users;
    const bool given = ini.ValueExists("UserInfo", "count");
    // -1 also for text that is no number or too large for one.
    const std::int64_t count = ini.ReadInteger("UserInfo", "count", -1);
    if (given && count >= 0 && count <= MaxUserCount) {
        for (std::int64_t i = 1; i <= count; ++i)
            users.push_back(ReadUser(ini, static_cast<std::uint64_t>(i)));
        return users;
    }
    // The count cannot be trusted: what the file holds is read instead.
    const std::set<std::uint64_t> numbers = AccountNumbers(ini);
    if (!given && numbers.empty())
        return users; // no accounts at all: nothing is damaged
    for (std::uint64_t number : numbers) {
        if (users.size() >= static_cast<std::size_t>(MaxUserCount))
            break;
        users.push_back(ReadUser(ini, number));
    }
    if (damage) {
        std::string raw = ini.ReadString("UserInfo", "count", "");
        if (raw.size() > 40)
            raw = raw.substr(0, 40) + "...";
        const std::string what = given ? "[UserInfo] count=" + raw +
                                             " is not a number of accounts from 0 to " +
                                             std::to_string(MaxUserCount)
                                       : std::string("[UserInfo] count is missing");
        *damage = what + "; the " + std::to_string(users.size()) + " accounts found in the file were loaded";
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
