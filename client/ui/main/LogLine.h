#pragma once
// The lines of the log pages: which are shown, their colour, the password
// mask, and the log file they are copied to.
#include <string>

enum class TLogColor { Red, Blue, Green };

// Trace lines ("! ...") are neither shown nor written.
bool IsTraceLine(const std::string& line);
// Blue for "<STATUS>", green for server replies (8 leading blanks), red else.
TLogColor LogLineColor(const std::string& line);
// A sent PASS command, whatever the case of the command word, shows as
// "<COMMAND>    PASS ********".
std::string MaskLogLine(const std::string& line);

// Appends the shown lines to a file, a "[Log Time] ..." line before each
// "Connecting to". The file is opened per line, so it may be moved or deleted
// between lines. Remembers the first failure so it can be reported.
class TLogFile {
public:
    // False when the line could not be written.
    bool Append(const std::string& fileName, const std::string& line, const std::string& now);
    bool Failed() const { return !FailedFile.empty(); }
    // The first file that could not be written.
    const std::string& FailedFileName() const { return FailedFile; }

private:
    std::string FailedFile;
};
