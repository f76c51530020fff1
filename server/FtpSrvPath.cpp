#include "server/FtpSrvPath.h"

#include <sys/stat.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <vector>

#include "server/FtpSrvExceptions.h"

const char* const PathOutsideHomeText = "Cannot accept path outside home directory";
const char* const PathDotNotationText = "Cannot accept relative path using dot notation";
const char* const PathInvalidCharText = "Cannot accept path with backslash or NUL";
const char* const PathHomeNotAbsoluteText = "Home directory is not an absolute path";
const char* const PathNoSuchDirectoryText = "No such directory";

namespace {

// As many links as the system follows in one name.
constexpr int MaxLinks = 40;

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

// The steps of a path as written, ".." and "." kept.
std::vector<std::string> RawSteps(const std::string& Path)
{
    std::vector<std::string> steps;
    std::size_t i = 0;
    while (i <= Path.size()) {
        std::size_t j = Path.find('/', i);
        if (j == std::string::npos) j = Path.size();
        if (j > i) steps.push_back(Path.substr(i, j - i));
        i = j + 1;
    }
    return steps;
}

// "/a/b" from {"a", "b"}; "" from none.
std::string Joined(const std::vector<std::string>& Steps)
{
    std::string out;
    for (const auto& s : Steps) out += "/" + s;
    return out;
}

// The target of the link at Path; raises with the system's reason when it
// cannot be read (the link was replaced meanwhile, say).
std::string ReadLink(const std::string& Path)
{
    char buf[PATH_MAX];
    ssize_t n = ::readlink(Path.c_str(), buf, sizeof buf);
    if (n < 0) throw PortlornException(std::strerror(errno));
    if (n >= static_cast<ssize_t>(sizeof buf)) throw PortlornException(std::strerror(ENAMETOOLONG));
    return std::string(buf, static_cast<std::size_t>(n));
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

// The steps from the real home to the real location of Path; refused
// when that lies outside.
std::vector<std::string> StepsBelowHome(const std::string& Path, const std::string& HomeDir, std::string& RealHome)
{
    std::string home = NormalisedHome(HomeDir, false);
    RealHome = RealPathOf(home);
    std::string real = RealPathOf(Path);
    if (!IsInsideFolder(NormalisePath(Path), home) || !IsInsideFolder(real, RealHome))
        throw PortlornException(PathOutsideHomeText);
    std::vector<std::string> steps = Steps(real);
    steps.erase(steps.begin(), steps.begin() + static_cast<std::ptrdiff_t>(Steps(RealHome).size()));
    return steps;
}

// Opens RealHome, then each of the first Count steps below it as a folder
// without following a link. -1 with errno when one is missing, no folder
// or a link.
int WalkFolders(const std::string& RealHome, const std::vector<std::string>& Steps, std::size_t Count)
{
    int fd = ::open(RealHome.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    for (std::size_t i = 0; i < Count && fd >= 0; ++i) {
        int next = ::openat(fd, Steps[i].c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        int err = errno;
        ::close(fd);
        errno = err;
        fd = next;
    }
    return fd;
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
    // Walked one step at a time, so that a link is followed also when its
    // target does not exist (yet): creating a file through it would.
    std::deque<std::string> todo;
    for (auto& s : Steps(Path)) todo.push_back(std::move(s));
    std::vector<std::string> real;
    int links = 0;
    bool missing = false;
    while (!todo.empty()) {
        std::string step = std::move(todo.front());
        todo.pop_front();
        if (step.empty() || step == ".") continue;
        if (step == "..") {
            // What is walked so far holds no link: going up is by name.
            if (!real.empty()) real.pop_back();
            continue;
        }
        if (!missing) {
            const std::string candidate = Joined(real) + "/" + step;
            struct stat st {};
            if (::lstat(candidate.c_str(), &st) != 0) {
                // Only a step that is not there yet may still be made. Any
                // other failure (a step below a file, say) ends the path
                // here, and a command through it would fail only after its
                // "150": it is refused now, with the reason.
                if (errno != ENOENT) throw PortlornException(std::strerror(errno));
                missing = true;
            } else if (S_ISLNK(st.st_mode)) {
                // A loop of links never ends anywhere: refused as the system
                // refuses it, not taken for a name still to be made.
                if (++links > MaxLinks) throw PortlornException(std::strerror(ELOOP));
                const std::string target = ReadLink(candidate);
                if (target.empty()) throw PortlornException(std::strerror(ENOENT));
                std::vector<std::string> steps = RawSteps(target);
                todo.insert(todo.begin(), steps.begin(), steps.end());
                if (target[0] == '/') real.clear();
                continue;
            }
        }
        real.push_back(step);
    }
    return real.empty() ? "/" : Joined(real);
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

int OpenConfined(const std::string& Path, const std::string& HomeDir, int Flags, unsigned Mode, std::string* RealPath)
{
    std::string realHome;
    std::vector<std::string> steps = StepsBelowHome(Path, HomeDir, realHome);
    if (RealPath) *RealPath = realHome + Joined(steps);
    if (steps.empty()) return ::open(realHome.c_str(), Flags | O_CLOEXEC, Mode);
    int folder = WalkFolders(realHome, steps, steps.size() - 1);
    if (folder < 0) return -1;
    int fd = ::openat(folder, steps.back().c_str(), Flags | O_NOFOLLOW | O_CLOEXEC, Mode);
    int err = errno;
    ::close(folder);
    errno = err;
    return fd;
}

bool StatConfined(const std::string& Path, const std::string& HomeDir, struct stat& St)
{
    int fd = OpenConfined(Path, HomeDir, O_PATH, 0);
    if (fd < 0) return false;
    const bool ok = ::fstat(fd, &St) == 0;
    const int err = errno;
    ::close(fd);
    errno = err;
    return ok;
}

TConfinedName::TConfinedName(const std::string& Path, const std::string& HomeDir)
{
    const std::string named = NormalisePath(Path);
    const std::size_t slash = named.rfind('/');
    FName = named.substr(slash + 1);
    if (FName.empty()) throw PortlornException(PathOutsideHomeText);
    std::string realHome;
    std::vector<std::string> steps = StepsBelowHome(slash == 0 ? "/" : named.substr(0, slash), HomeDir, realHome);
    FFolder = WalkFolders(realHome, steps, steps.size());
}

TConfinedName::~TConfinedName()
{
    if (FFolder >= 0) ::close(FFolder);
}
