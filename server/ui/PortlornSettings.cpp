#include "server/ui/PortlornSettings.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

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

bool CopyDefaultSettings(const std::string& defaultPath, const std::string& settingsPath)
{
    int in = ::open(defaultPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return false;
    // O_EXCL: a settings file that appeared meanwhile is never overwritten.
    int out = ::open(settingsPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (out < 0) {
        ::close(in);
        return false;
    }
    bool ok = true;
    char buf[8192];
    for (;;) {
        ssize_t n = ::read(in, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        for (ssize_t done = 0; done < n;) {
            ssize_t w = ::write(out, buf + done, static_cast<std::size_t>(n - done));
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0) {
                ok = false;
                break;
            }
            done += w;
        }
        if (!ok)
            break;
    }
    ::fchmod(out, 0600);
    ok = ::close(out) == 0 && ok;
    ::close(in);
    if (!ok)
        ::unlink(settingsPath.c_str()); // half a copy would read as settings
    return ok;
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
