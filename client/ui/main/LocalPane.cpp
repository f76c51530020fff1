#include "client/ui/main/LocalPane.h"

#include <sys/stat.h>

#include <ctime>
#include <filesystem>

#include "client/engine/CommFunc.h"

namespace fs = std::filesystem;

namespace {
std::string LocalDateTime(std::time_t t)
{
    std::tm tm{};
    localtime_r(&t, &tm);
    return PadTwoDigits(tm.tm_year % 100) + "-" + PadTwoDigits(tm.tm_mon + 1) + "-" + PadTwoDigits(tm.tm_mday) + " " +
           PadTwoDigits(tm.tm_hour) + ":" + PadTwoDigits(tm.tm_min);
}
} // namespace

std::vector<TlvFileInfo> ListLocalEntries(const std::string& path, bool showHidden)
{
    std::vector<TlvFileInfo> rows;
    std::error_code ec;
    fs::directory_iterator it(path, ec);
    if (ec) return rows;
    const std::string dir = AppendSeparator(path, '/');
    if (StripTrailingSlash(dir) != "") rows.push_back({"..", "", "", "", -1, true});
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) break;
        TlvFileInfo row;
        row.Name = it->path().filename().string();
        if (!showHidden && !row.Name.empty() && row.Name[0] == '.') continue;
        struct stat st{};
        // A link shows what it points at; a dangling one as itself.
        if (::stat((dir + row.Name).c_str(), &st) != 0 && ::lstat((dir + row.Name).c_str(), &st) != 0) continue;
        row.IsDir = S_ISDIR(st.st_mode);
        if (!row.IsDir) row.Size = FormatThousands(std::int64_t(st.st_size));
        row.DateTime = LocalDateTime(st.st_mtime);
        rows.push_back(std::move(row));
    }
    return rows;
}
