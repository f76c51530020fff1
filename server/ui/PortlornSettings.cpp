#include "server/ui/PortlornSettings.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include "net/SocketResolve.h"

std::string SettingsPath(const std::string& programFolder, const std::string& programName)
{
    std::string name = programName;
    std::size_t slash = name.rfind('/');
    if (slash != std::string::npos)
        name.erase(0, slash + 1);
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    std::string folder = programFolder;
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    return folder + name + ".ini";
}

bool CopyDefaultSettings(const std::string& defaultPath, const std::string& settingsPath, std::string* problem)
{
    if (problem)
        problem->clear();
    // Only a missing settings file is made from the defaults: then they matter.
    struct stat existing{};
    if (::lstat(settingsPath.c_str(), &existing) == 0 || errno != ENOENT)
        return false;
    std::string text;
    const std::string why = ReadSettingsText(defaultPath, text);
    if (!why.empty() || text.empty()) {
        // A default file that cannot be read is told; a missing one is not.
        if (problem && !why.empty())
            *problem = "could not be read: " + why;
        return false;
    }
    // O_EXCL: a settings file that appeared meanwhile is never overwritten.
    int out = ::open(settingsPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (out < 0) {
        if (problem && errno != EEXIST)
            *problem = "could not be copied to " + settingsPath + ": " + std::strerror(errno);
        return false;
    }
    int err = 0;
    for (std::size_t done = 0; done < text.size() && err == 0;) {
        ssize_t w = ::write(out, text.data() + done, text.size() - done);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            err = w < 0 ? errno : EIO;
        else
            done += static_cast<std::size_t>(w);
    }
    ::fchmod(out, 0600);
    if (::close(out) != 0 && err == 0)
        err = errno;
    if (err != 0) {
        ::unlink(settingsPath.c_str()); // half a copy would read as settings
        if (problem)
            *problem = "could not be copied to " + settingsPath + ": " + std::strerror(err);
        return false;
    }
    return true;
}

QRect ClampBounds(QRect b, QSize screen)
{
    int left = std::max(0, b.left());
    int top = std::max(0, b.top());
    int width = std::max(310, b.width());
    int height = std::max(250, b.height());
    if (left + width > screen.width())
        left = screen.width() - width;
    if (top + height > screen.height())
        top = screen.height() - height;
    return QRect(left, top, width, height);
}

QRect CentredBounds(QSize size, QSize screen)
{
    return QRect(QPoint((screen.width() - size.width()) / 2, (screen.height() - size.height()) / 2), size);
}

bool IsPortText(const std::string& text)
{
    return std::all_of(text.begin(), text.end(), [](unsigned char c) { return c >= '0' && c <= '9'; });
}

std::string ResolveHome(const std::string& homeDir, const std::string& programFolder)
{
    if (homeDir.empty() || homeDir[0] == '/')
        return homeDir;
    std::string folder = programFolder;
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    return folder + homeDir;
}

int PortNumber(const std::string& text)
{
    if (text.empty())
        return 0;
    if (IsPortText(text)) {
        // Leading zeros are harmless; the value is what counts, and wraps nowhere.
        std::size_t first = text.find_first_not_of('0');
        if (first == std::string::npos || text.size() - first > 5)
            return 0;
        int value = std::stoi(text.substr(first));
        return value <= 65535 ? value : 0;
    }
    // A service name, looked up as the server's socket will look it up.
    if (!std::isalpha(static_cast<unsigned char>(text[0])))
        return 0;
    try {
        return SocketResolvePort(text, "tcp");
    } catch (const rtl::Exception&) {
        return 0;
    }
}

namespace {

// A settings file larger than this is not one this program wrote: about
// 64 bytes per account at the highest count an account list may have.
constexpr off_t kMaxSettingsBytes = 64 << 20;

bool HasSection(const std::string& text, const char* name)
{
    // A line "[name]" (blanks and case aside), as the ini reader takes it.
    std::size_t pos = 0;
    const std::size_t len = std::strlen(name);
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        std::size_t i = text.find_first_not_of(" \t\r", pos);
        if (i < end && text[i] == '[') {
            std::size_t j = text.find_first_not_of(" \t", i + 1);
            if (j < end && end - j >= len && ::strncasecmp(text.c_str() + j, name, len) == 0) {
                std::size_t k = text.find_first_not_of(" \t", j + len);
                if (k < end && text[k] == ']')
                    return true;
            }
        }
        pos = end + 1;
    }
    return false;
}

} // namespace

bool IsOtherThanAFile(const std::string& path)
{
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode);
}

std::string ReadSettingsText(const std::string& path, std::string& text)
{
    text.clear();
    // Opened without waiting: opening a named pipe for reading would wait
    // for a writer for ever. Whether it is a file is asked of what was opened.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return errno == ENOENT ? "" : std::strerror(errno);
    struct stat st{};
    std::string problem;
    if (::fstat(fd, &st) != 0)
        problem = std::strerror(errno);
    else if (S_ISDIR(st.st_mode))
        problem = std::strerror(EISDIR);
    else if (!S_ISREG(st.st_mode))
        problem = "it is not a regular file";
    if (!problem.empty()) {
        ::close(fd);
        return problem;
    }
    if (st.st_size > kMaxSettingsBytes) {
        ::close(fd);
        return "it is larger than " + std::to_string(kMaxSettingsBytes >> 20) + " MiB";
    }
    char buf[8192];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            int err = errno;
            ::close(fd);
            text.clear();
            return std::strerror(err);
        }
        if (n == 0 || text.size() > static_cast<std::size_t>(kMaxSettingsBytes))
            break;
        text.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    if (text.find_first_not_of(" \t\r\n") == std::string::npos)
        problem = "it is empty";
    else if (text.find('\0') != std::string::npos)
        problem = "it is not text (it holds NUL bytes)";
    else if (!HasSection(text, "Window") && !HasSection(text, "Data") && !HasSection(text, "UserInfo"))
        problem = "it holds none of the sections [Window], [Data] and [UserInfo]";
    if (!problem.empty())
        text.clear();
    return problem;
}

std::string SettingsFileProblem(const std::string& path)
{
    std::string text;
    return ReadSettingsText(path, text);
}

std::string KeepAside(const std::string& path)
{
    for (int n = 1; n < 1000; ++n) {
        std::string name = path + ".damaged" + (n == 1 ? std::string() : "-" + std::to_string(n));
        // link fails on an existing name, so no earlier copy is ever replaced.
        if (::link(path.c_str(), name.c_str()) == 0) {
            ::unlink(path.c_str());
            return name;
        }
        if (errno == EPERM || errno == EOPNOTSUPP) {
            // A file system without hard links: a free name is renamed to.
            if (::access(name.c_str(), F_OK) == 0)
                continue;
            return ::rename(path.c_str(), name.c_str()) == 0 ? name : "";
        }
        if (errno != EEXIST)
            return "";
    }
    errno = EEXIST;
    return "";
}
