#pragma once
#include <string>

// The user's desktop folder: XDG_DESKTOP_DIR of user-dirs.dirs, else ~/Desktop.
std::string GetDesktopDir();

// Writes a desktop entry that starts this program with text (an FTP URL or a
// quick-connect entry) as its argument, in the program folder, saved as
// desktop folder + "/" + name + ".desktop", name being the text before its
// first ":". The text may hold a password: the file is readable by its owner
// only. False when it cannot be written.
bool CreateDesktopShortcut(const std::string& text);
bool CreateDesktopShortcut(const std::string& text, const std::string& desktopDir,
                           const std::string& executable, const std::string& programDir);

// The file name CreateDesktopShortcut uses for text, without the folder.
std::string DesktopShortcutFileName(const std::string& text);
