#pragma once
// Starting other programs from the client. Always with an argument vector
// and never through a shell, so a path with blanks or quotes stays one
// argument and a downloaded file is never run by opening it.
#include <functional>
#include <string>
#include <vector>

using TStartProgram = std::function<bool(const std::string& program, const std::vector<std::string>& args)>;

// Starts program with args, detached; false when it could not start.
bool StartDetached(const std::string& program, const std::vector<std::string>& args);

// True for files the desktop's "open" would run instead of showing:
// executables, scripts, desktop entries, and anything with an execute bit.
bool IsRunnableFile(const std::string& file);

// The program that shows file for Edit and View: editor when set; otherwise
// the desktop's default application, unless the file is runnable; then a
// plain text editor found on the system. Empty when there is none.
std::vector<std::string> EditViewCommand(const std::string& file, const std::string& editor);

// Opens file for editing or viewing (see EditViewCommand); false when nothing could.
bool OpenForEditOrView(const std::string& file, const std::string& editor, const TStartProgram& start);

// Execute: only a file with its execute bit, started directly.
bool ExecuteFile(const std::string& file, const TStartProgram& start);

// The desktop's "open" of a file or folder: a program (a regular file with
// its execute bit) runs itself; anything else goes to the desktop's opener.
std::vector<std::string> DesktopOpenCommand(const std::string& path);
// Starts DesktopOpenCommand(path); false when it could not start.
bool OpenWithDesktop(const std::string& path, const TStartProgram& start);

// The file's bytes (at most maxBytes), for showing in a text view.
std::string ReadTextFile(const std::string& file, std::size_t maxBytes = 4 << 20);
