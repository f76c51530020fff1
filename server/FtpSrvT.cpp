#include "server/FtpSrvT.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "rtl/Exception.h"
#include "rtl/Format.h"
#include "server/FtpSrvPath.h"

std::string UTCTimeString(std::time_t Seconds, int Milliseconds)
{
    std::tm tm {};
    ::gmtime_r(&Seconds, &tm);
    return rtl::Format("%04d%02d%02d%02d%02d%02d.%03d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
                       tm.tm_min, tm.tm_sec, Milliseconds);
}

std::string FileUTCTimeString(const std::string& Path, const std::string& HomeDir)
{
    std::string path = Path;
    if (!path.empty() && path.back() == '/') path += ".";
    struct stat st {};
    if (!StatConfined(path, HomeDir, st)) throw rtl::Exception(std::strerror(errno));
    return UTCTimeString(st.st_mtim.tv_sec, static_cast<int>(st.st_mtim.tv_nsec / 1000000));
}
