#include "client/engine/DesktopShortcut.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <system_error>
#include <filesystem>

#include "client/engine/CommFunc.h"
#include "client/engine/LocalFiles.h"
#include "rtl/FileUtils.h"
#include "rtl/StrUtils.h"

namespace {

std::string HomeDir()
{
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* pw = ::getpwuid(::getuid())) return pw->pw_dir;
    return "/";
}

// A desktop entry string value: backslash and control characters escaped.
std::string EscapeValue(const std::string& s)
{
    std::string out;
    for (char c : s) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default: out.push_back(c);
        }
    }
    return out;
}

// One argument of Exec, quoted so the launcher hands it over unchanged.
std::string QuoteArgument(const std::string& s)
{
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') out.push_back('\\');
        if (c == '%') out.push_back('%');
        out.push_back(c);
    }
    return out + "\"";
}

std::string ProgramExecutable()
{
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.string();
}

} // namespace

std::string GetDesktopDir()
{
    std::string home = HomeDir();
    std::string config;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) config = xdg;
    else config = home + "/.config";
    std::ifstream dirs(config + "/user-dirs.dirs");
    std::string line;
    while (std::getline(dirs, line)) {
        std::string t = rtl::Trim(line);
        if (!rtl::StartsText("XDG_DESKTOP_DIR=", t)) continue;
        std::string value = t.substr(16);
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
        if (value.rfind("$HOME", 0) == 0) value = home + value.substr(5);
        if (!value.empty() && value[0] == '/') return value;
    }
    return home + "/Desktop";
}

std::string DesktopShortcutFileName(const std::string& text)
{
    std::string name = text.substr(0, text.find(':'));
    // The name comes from what the user typed: it must stay one file in the folder.
    for (char& c : name)
        if (c == '/' || static_cast<unsigned char>(c) < ' ') c = '_';
    if (name.empty() || name == "." || name == "..") name = "FTP site";
    return name + ".desktop";
}

bool CreateDesktopShortcut(const std::string& text, const std::string& desktopDir,
                           const std::string& executable, const std::string& programDir)
{
    std::string name = DesktopShortcutFileName(text);
    std::string entry = "[Desktop Entry]\n"
                        "Type=Application\n"
                        "Version=1.0\n"
                        "Name=" + EscapeValue(name.substr(0, name.size() - 8)) + "\n"
                        "Exec=" + EscapeValue(QuoteArgument(executable) + " " + QuoteArgument(text)) + "\n"
                        "Path=" + EscapeValue(programDir) + "\n"
                        "Terminal=false\n";
    if (!ForceLocalDirs(desktopDir)) return false;
    try {
        rtl::WriteFileAtomic(AppendSeparator(desktopDir, '/') + name, entry, 0700);
    } catch (const rtl::EFileWriteError&) {
        return false;
    }
    return true;
}

bool CreateDesktopShortcut(const std::string& text)
{
    std::string exe = ProgramExecutable();
    return CreateDesktopShortcut(text, GetDesktopDir(), exe, ExtractParentDir(exe));
}
