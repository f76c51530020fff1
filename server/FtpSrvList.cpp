#include "server/FtpSrvList.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <vector>

#include "rtl/Exception.h"
#include "rtl/Format.h"
#include "server/FtpSrvPath.h"

namespace {

const char* const MonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

struct TEntry {
    std::string Name;
    struct stat St;
};

// What a listing may show of an entry that is a link: its target, reached
// from the real home as opens reach it, while that stays inside the home;
// else (a target outside, a loop) the link itself.
void FollowLinkInside(const std::string& Path, const std::string& HomeDir, struct stat& St)
{
    struct stat target {};
    try {
        if (StatConfined(Path, HomeDir, target)) St = target;
    } catch (const rtl::Exception&) {
    }
}

bool HasWildCards(const std::string& s)
{
    return s.find_first_of("*?[") != std::string::npos;
}

// The entries of the folder open at Folder (its real location RealFolder),
// matching Pattern when one is given. Every entry is looked at from that
// descriptor, so a link put in place of the folder after it was opened
// shows nothing of where it points.
void AddFolderEntries(int Folder, const std::string& RealFolder, const std::string& Pattern,
                      const std::string& HomeDir, std::vector<TEntry>& Entries)
{
    int fd = ::openat(Folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        ::close(fd);
        return;
    }
    while (dirent* d = ::readdir(dir)) {
        std::string name = d->d_name;
        if (!Pattern.empty() && ::fnmatch(Pattern.c_str(), name.c_str(), FNM_PERIOD) != 0) continue;
        TEntry e {name, {}};
        if (::fstatat(::dirfd(dir), name.c_str(), &e.St, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (S_ISLNK(e.St.st_mode)) FollowLinkInside((RealFolder == "/" ? "" : RealFolder) + "/" + name, HomeDir, e.St);
        Entries.push_back(e);
    }
    ::closedir(dir);
}

// A descriptor closed when it goes out of scope.
class TFd {
public:
    explicit TFd(int Fd) : FFd(Fd) {}
    ~TFd()
    {
        if (FFd >= 0) ::close(FFd);
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int Get() const { return FFd; }

private:
    int FFd;
};

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

    std::vector<TEntry> entries;
    bool folderListed = false;
    std::size_t slash = Path.rfind('/');
    std::string folder = slash == 0 ? "/" : Path.substr(0, slash);
    std::string last = Path.substr(slash + 1);
    // Everything is reached from the real home without following a link
    // put in place after the path was checked.
    std::string realPath;
    TFd target(OpenConfined(Path, HomeDir, O_PATH, 0, &realPath));
    struct stat st {};
    const bool found = target.Get() >= 0 && ::fstat(target.Get(), &st) == 0;
    if (found && S_ISDIR(st.st_mode)) {
        AddFolderEntries(target.Get(), realPath, "", HomeDir, entries);
        folderListed = true;
    } else if (HasWildCards(last)) {
        std::string realFolder;
        TFd parent(OpenConfined(folder, HomeDir, O_PATH | O_DIRECTORY, 0, &realFolder));
        if (parent.Get() >= 0) AddFolderEntries(parent.Get(), realFolder, last, HomeDir, entries);
    } else if (found) {
        entries.push_back({last, st});
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
