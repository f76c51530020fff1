#include "client/ui/main/LogLine.h"

#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

namespace {
const std::string kCommand = "<COMMAND>    ";
}

bool IsTraceLine(const std::string& line)
{
    return line.size() >= 2 && line[0] == '!' && line[1] == ' ';
}

TLogColor LogLineColor(const std::string& line)
{
    if (line.compare(0, 8, "<STATUS>") == 0) return TLogColor::Blue;
    if (line.size() >= 8 && line.compare(0, 8, std::string(8, ' ')) == 0) return TLogColor::Green;
    return TLogColor::Red;
}

std::string MaskLogLine(const std::string& line)
{
    if (line.compare(0, kCommand.size(), kCommand) != 0) return line;
    std::size_t p = line.find_first_not_of(' ', kCommand.size());
    if (p == std::string::npos || line.size() < p + 4) return line;
    if (strncasecmp(line.c_str() + p, "PASS", 4) != 0) return line;
    if (line.size() > p + 4 && line[p + 4] != ' ' && line[p + 4] != '\t') return line; // "PASSIVE" and the like
    return kCommand + "PASS ********";
}

bool TLogFile::Append(const std::string& fileName, const std::string& line, const std::string& now)
{
    std::string text;
    if (line.find("Connecting to") != std::string::npos) text += "[Log Time] " + now + "\r\n";
    text += line + "\r\n";
    // Owner-only when made: the log holds user names and hosts.
    const int fd = ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    bool ok = fd >= 0;
    if (ok) {
        std::size_t done = 0;
        while (ok && done < text.size()) {
            const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
            if (n <= 0) ok = false;
            else done += std::size_t(n);
        }
        if (::close(fd) != 0) ok = false;
    }
    if (!ok && FailedFile.empty()) FailedFile = fileName;
    return ok;
}
