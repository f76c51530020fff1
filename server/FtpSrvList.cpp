#include "server/FtpSrvList.h"

#include <dirent.h>
#include <fnmatch.h>

#include <algorithm>
#include <ctime>
#include <vector>

#include "rtl/Format.h"
#include "server/FtpSrvPath.h"

namespace {

const char* const MonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

struct TEntry {
    std::string Name;
    struct stat St;
};

// What a listing may show of an entry: links are followed only while their
// target stays inside the home.
bool EntryStat(const std::string& Path, const std::string& RealHome, struct stat& St)
{
    if (::lstat(Path.c_str(), &St) != 0) return false;
    if (S_ISLNK(St.st_mode)) {
        struct stat target {};
        if (IsInsideFolder(RealPathOf(Path), RealHome) && ::stat(Path.c_str(), &target) == 0) St = target;
    }
    return true;
}

bool HasWildCards(const std::string& s)
{
    return s.find_first_of("*?[") != std::string::npos;
}

void AddFolderEntries(const std::string& Folder, const std::string& Pattern, const std::string& RealHome,
                      std::vector<TEntry>& Entries)
{
    DIR* dir = ::opendir(Folder.c_str());
    if (dir == nullptr) return;
    while (dirent* d = ::readdir(dir)) {
        std::string name = d->d_name;
        if (!Pattern.empty() && ::fnmatch(Pattern.c_str(), name.c_str(), FNM_PERIOD) != 0) continue;
        TEntry e {name, {}};
        if (EntryStat((Folder == "/" ? "" : Folder) + "/" + name, RealHome, e.St)) Entries.push_back(e);
    }
    ::closedir(dir);
}

} // namespace

std::string FormatDirLine(const std::string& Name, const struct stat& St, int CurrentYear)
{
    std::string attr = "-rw-rw-rw-";
    bool isDir = S_ISDIR(St.st_mode);
    if (isDir) attr[0] = 'd';
    if ((St.st_mode & S_IWUSR) == 0) attr[2] = attr[5] = attr[8] = '-';
    if (!isDir && (St.st_mode & S_IXUSR) != 0) attr[3] = attr[6] = attr[9] = 'x';
    std::tm tm {};
    std::time_t t = St.st_mtim.tv_sec;
    ::localtime_r(&t, &tm);
    std::string line = attr + "   1 ftp      ftp  " + rtl::Format("%11lld ", static_cast<long long>(St.st_size)) +
                       rtl::Format("%s %2.2d ", MonthNames[tm.tm_mon], tm.tm_mday);
    if (tm.tm_year + 1900 == CurrentYear)
        line += rtl::Format("%2.2d:%2.2d ", tm.tm_hour, tm.tm_min);
    else
        line += rtl::Format("%5d ", tm.tm_year + 1900);
    return line + Name + "\r\n";
}

std::string BuildDirListing(const std::string& Path, bool Detailed, const std::string& HomeDir)
{
    std::time_t now = std::time(nullptr);
    std::tm today {};
    ::localtime_r(&now, &today);
    const int currentYear = today.tm_year + 1900;
    const std::string realHome = RealPathOf(HomeDir);

    std::vector<TEntry> entries;
    bool folderListed = false;
    struct stat st {};
    std::size_t slash = Path.rfind('/');
    std::string folder = slash == 0 ? "/" : Path.substr(0, slash);
    std::string last = Path.substr(slash + 1);
    if (::stat(Path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        AddFolderEntries(Path, "", realHome, entries);
        folderListed = true;
    } else if (HasWildCards(last)) {
        AddFolderEntries(folder, last, realHome, entries);
    } else {
        TEntry e {last, {}};
        if (EntryStat(Path, realHome, e.St)) entries.push_back(e);
    }
    std::sort(entries.begin(), entries.end(), [](const TEntry& a, const TEntry& b) { return a.Name < b.Name; });

    std::string out;
    for (const auto& e : entries) {
        if (!Detailed)
            out += e.Name + "\r\n";
        else if (e.Name.empty() || e.Name[0] != '.')
            out += FormatDirLine(e.Name, e.St, currentYear);
    }
    if (out.empty() && !folderListed) out = Path + " not found\r\n";
    return out;
}
