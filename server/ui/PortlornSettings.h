#pragma once
// Where the server keeps its settings and how it reads them: "portlorn.ini"
// beside the program, made from "def_portlorn.ini" the first time, readable by
// its owner only (it holds passwords in plain text).
#include <QRect>
#include <string>

// The settings file of a program: its folder, then the program's file name in
// lower case with ".ini" (there is no ".exe" to replace on this system).
std::string SettingsPath(const std::string& programFolder, const std::string& programName);

// Copies the default settings file to the settings file when the latter is
// missing; never overwrites. The copy is made readable by its owner only.
// Returns whether a copy was made. When one was needed and the default file
// is there but cannot be read as settings (SettingsFileProblem) or cannot
// be copied, problem says so ("could not be read: it is empty"); a missing
// default file leaves it empty.
bool CopyDefaultSettings(const std::string& defaultPath, const std::string& settingsPath,
                         std::string* problem = nullptr);

// Window bounds kept on the screen: left and top at least 0, width at least
// 310, height at least 250, and pulled back when they run past the screen.
QRect ClampBounds(QRect bounds, QSize screen);

// Bounds of the given size centred on the screen.
QRect CentredBounds(QSize size, QSize screen);

// A port answer the dialog considers at all: digits only (the empty answer passes).
bool IsPortText(const std::string& text);

// The port a port setting names: a decimal number from 1 to 65535 or the
// name of a TCP service; 0 when it names none (0, 99999, "", "x1"), so that
// the server never listens on a port the setting does not name.
int PortNumber(const std::string& text);

// Why the settings file cannot be read as settings ("it is empty", the
// system's message, ...); "" when it can or when it is missing (defaults
// apply then). A file with none of the server's sections counts as unreadable.
std::string SettingsFileProblem(const std::string& path);
// The same, keeping what was read in text (empty unless it can be read).
std::string ReadSettingsText(const std::string& path, std::string& text);

// Whether something other than a regular file (a folder, a pipe, a device)
// stands at path, links followed. Such a thing is never read as settings:
// reading a pipe would wait for a writer for ever.
bool IsOtherThanAFile(const std::string& path);

// Moves the file to a name of its own beside it, never over another file:
// path + ".damaged", else ".damaged-2", ".damaged-3"... Returns the new name,
// or "" with errno set when the file could not be moved.
std::string KeepAside(const std::string& path);

// A home folder as stored, made absolute against the program folder when it is relative.
std::string ResolveHome(const std::string& homeDir, const std::string& programFolder);
