#include "server/FtpSrvPath.h"

#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <vector>

#include "server/FtpSrvExceptions.h"

const char* const PathOutsideHomeText = "Cannot accept path outside home directory";
const char* const PathDotNotationText = "Cannot accept relative path using dot notation";
const char* const PathInvalidCharText = "Cannot accept path with backslash or NUL";
const char* const PathHomeNotAbsoluteText = "Home directory is not an absolute path";
const char* const PathNoSuchDirectoryText = "No such directory";

namespace {

std::vector<std::string> Steps(const std::string& Path)
{
    std::vector<std::string> steps;
    std::size_t i = 0;
    while (i <= Path.size()) {
        std::size_t j = Path.find('/', i);
        if (j == std::string::npos) j = Path.size();
        std::string step = Path.substr(i, j - i);
        if (step.empty() || step == ".") {
        } else if (step == "..") {
            if (!steps.empty()) steps.pop_back();
        } else {
            steps.push_back(step);
        }
        i = j + 1;
    }
    return steps;
}

bool HasInvalidChar(const std::string& s)
{
    return s.find('\\') != std::string::npos || s.find('\0') != std::string::npos;
}

std::string WithSlash(const std::string& s)
{
    return (!s.empty() && s.back() == '/') ? s : s + "/";
}

std::string NormalisedHome(const std::string& HomeDir, bool ForFolder)
{
    if (HomeDir.empty() || HomeDir[0] != '/' || HasInvalidChar(HomeDir)) {
        if (ForFolder) throw EFtpCtrlSocketException(PathHomeNotAbsoluteText);
        throw PortlornException(PathHomeNotAbsoluteText);
    }
    return NormalisePath(HomeDir);
}

// Both the path as named and its real location must stay inside the home.
bool Confined(const std::string& Path, const std::string& Home)
{
    if (!IsInsideFolder(Path, Home)) return false;
    return IsInsideFolder(RealPathOf(Path), RealPathOf(Home));
}

} // namespace

std::string NormalisePath(const std::string& Path)
{
    std::string out;
    for (const auto& s : Steps(Path)) out += "/" + s;
    return out.empty() ? "/" : out;
}

bool IsInsideFolder(const std::string& Path, const std::string& Folder)
{
    auto p = Steps(Path);
    auto f = Steps(Folder);
    if (p.size() < f.size()) return false;
    for (std::size_t i = 0; i < f.size(); ++i)
        if (p[i] != f[i]) return false;
    return true;
}

std::string RealPathOf(const std::string& Path)
{
    std::string path = NormalisePath(Path);
    // Walk back from the full path until a part exists, then resolve that part.
    std::string head = path;
    std::string tail;
    while (true) {
        char buf[PATH_MAX];
        if (::realpath(head.c_str(), buf) != nullptr) {
            std::string real = buf;
            return tail.empty() ? real : NormalisePath(real + "/" + tail);
        }
        if (head == "/") return path;
        std::size_t slash = head.rfind('/');
        std::string last = head.substr(slash + 1);
        tail = tail.empty() ? last : last + "/" + tail;
        head = slash == 0 ? "/" : head.substr(0, slash);
    }
}

bool FolderAllowed(const std::string& Folder, const std::string& HomeDir)
{
    if (HomeDir.empty() || HomeDir[0] != '/' || HasInvalidChar(HomeDir)) return false;
    if (Folder.empty() || Folder[0] != '/') return false;
    std::string home = NormalisePath(HomeDir);
    std::string path = NormalisePath(Folder);
    // Nothing in a waypoint can be listed, read or written.
    bool waypoint = IsInsideFolder(home, path) && path != home;
    return waypoint || Confined(path, home);
}

std::string ResolveFilePath(const std::string& Folder, const std::string& Name, const std::string& HomeDir)
{
    if (HasInvalidChar(Name)) throw PortlornException(PathInvalidCharText);
    std::string home = NormalisedHome(HomeDir, false);
    std::string path = NormalisePath(!Name.empty() && Name[0] == '/' ? Name : WithSlash(Folder) + Name);
    if (!Confined(path, home)) throw PortlornException(PathOutsideHomeText);
    return path;
}

std::string ResolveDirectoryPath(const std::string& Current, const std::string& New, const std::string& HomeDir)
{
    if (HasInvalidChar(New)) throw EFtpCtrlSocketException(PathInvalidCharText);
    std::string home = NormalisedHome(HomeDir, true);
    std::string path;
    if (New.empty() || New == ".") {
        path = Current;
    } else if (New == "..") {
        path = Current + "/..";
    } else {
        if (New.find("./") != std::string::npos) throw EFtpCtrlSocketException(PathDotNotationText);
        path = New[0] == '/' ? New : WithSlash(Current) + New;
    }
    path = NormalisePath(path);
    if (!FolderAllowed(path, home)) throw EFtpCtrlSocketException(PathOutsideHomeText);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        throw EFtpCtrlSocketException(PathNoSuchDirectoryText);
    return WithSlash(path);
}
