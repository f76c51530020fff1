#pragma once
// The server's accounts and the rules the server window answers the
// component's checks with.
#include <cstdint>
#include <string>
#include <vector>

namespace rtl { class TIniFile; }

// One account: AcessRight 0 is read only, anything else full access.
struct TUserInfo {
    std::string UserName;
    std::string PassWord; // kept and stored as typed
    std::string HomeDir;  // a local folder as the user picked it
    std::uint8_t AcessRight = 0;
};

using TUserList = std::vector<TUserInfo>;

// The first account whose name matches ignoring case and whose password
// matches exactly; -1 when none does.
int FindUser(const TUserList& users, const std::string& userName, const std::string& passWord);

// The account at index, raising the list's index error for a bad index (an
// account deleted while its user is logged in).
const TUserInfo& UserAt(const TUserList& users, int index);

// Whether folder is the home folder or lies below it, compared by whole path
// components (case-sensitive): "/srv/ftp" admits "/srv/ftp/" and
// "/srv/ftp/pub/", not "/srv/ftp2/" nor "/tmp/srv/ftp/". An empty home admits nothing.
bool InsideHome(const std::string& homeDir, const std::string& folder);

// A [UserInfo] count above this is damage, not a number of accounts.
constexpr std::int64_t MaxUserCount = 100000;

// [UserInfo] of "portlorn.ini": count, then UserNamei, PassWordi, HomeDiri,
// AcessRighti from 1. A count that is no number from 0 to MaxUserCount (or
// missing while accounts are there) loads the accounts the file holds, in
// the order of their numbers, at most MaxUserCount of them; damage then
// says what was wrong, and is left empty otherwise.
TUserList LoadUsers(const rtl::TIniFile& ini, std::string* damage = nullptr);
// Writes count and every account in list order; keys of higher numbers left
// from a longer list stay and are ignored.
void SaveUsers(rtl::TIniFile& ini, const TUserList& users);
