#include "client/engine/LocalFiles.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>

#include "client/engine/CommFunc.h"

std::int64_t GetLocalFileSize(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return -1;
    return S_ISREG(st.st_mode) ? std::int64_t(st.st_size) : 0;
}

std::optional<std::int64_t> TryGetDiskFree(const std::string& path)
{
    std::string probe = path.empty() ? "." : path;
    for (;;) {
        struct statvfs vfs {};
        if (::statvfs(probe.c_str(), &vfs) == 0) return std::int64_t(vfs.f_bavail) * std::int64_t(vfs.f_frsize);
        // A file in the way: no folder can be made there. A name too long
        // for the system is one that will not be made either; its folder
        // is still asked.
        if (errno != ENOENT && errno != ENAMETOOLONG) return std::nullopt;
        std::string parent = ExtractParentDir(probe);
        if (parent == probe || parent.empty()) return std::nullopt;
        probe = parent;
    }
}

std::int64_t GetDiskFree(const std::string& path) { return TryGetDiskFree(path).value_or(0); }

std::string DriveCaption(const std::string& text)
{
    if (text.size() < 3 || text[0] != '1' || text[1] != ':') return {};
    auto free = TryGetDiskFree(text.substr(2));
    if (!free) return {};
    return "  [" + FormatThousands(*free) + " bytes free]";
}

namespace {

void Walk(const std::string& folder, std::vector<TGetFileInfo>& list)
{
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (dirent* e = ::readdir(dir)) {
            std::string name = e->d_name;
            if (name != "." && name != "..") names.push_back(std::move(name));
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    for (const auto& name : names) {
        std::string path = folder + name;
        struct stat link {};
        if (::lstat(path.c_str(), &link) != 0) continue;
        if (S_ISDIR(link.st_mode)) {
            Walk(path + "/", list);
            continue;
        }
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            list.push_back({path, std::int64_t(st.st_size)});
    }
}

} // namespace

void ListLocalFilesRecursive(const std::string& folder, std::vector<TGetFileInfo>& list)
{
    list.clear();
    Walk(AppendSeparator(folder, '/'), list);
}

bool ForceLocalDirs(const std::string& path)
{
    if (path.empty()) return false;
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    return std::filesystem::is_directory(path, ec);
}

void CopyDefaultFile(const std::string& folder, const std::string& name)
{
    std::string dir = AppendSeparator(folder, '/');
    std::error_code ec;
    if (std::filesystem::exists(dir + name, ec)) return;
    std::filesystem::copy_file(dir + "def_" + name, dir + name, std::filesystem::copy_options::skip_existing, ec);
}
