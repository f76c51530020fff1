#pragma once
// The FTP browser's client: the one FTP client component, run with the
// browser's variant of its behaviour. It has no write-behind buffer, shows a
// reply by its final line, leaves out the trace lines, refuses a start while
// busy, reaches an FTP proxy at the server's port, and offers neither the
// proxy's own port and login, a passive-mode switch (passive follows the
// connection type), nor the TYPE and QUIT blocking calls.
#include <string>

#include "net/FtpCli.h"

namespace BrFtpCli {

inline constexpr TFtpCliVariant kVariant{
    .RefuseWhenBusy = true,
    .ProxyAtServerPort = true,
    .FinalReplyLineOnly = true,
    .Traces = false,
    .AnnounceAbort = true,
    .WriteThrough = true,
    .AnnounceDataRequest = true,
    .ReportRefusedGet = true,
    .StepDoneEndsWait = false,
};

class TFtpClient : public ::TFtpClient {
public:
    TFtpClient() : ::TFtpClient(kVariant) {}

    void SetPassiveMode(bool) = delete;
    const std::string& ProxyPort() const = delete;
    void SetProxyPort(const std::string&) = delete;
    const std::string& ProxyUser() const = delete;
    void SetProxyUser(const std::string&) = delete;
    const std::string& ProxyPassword() const = delete;
    void SetProxyPassword(const std::string&) = delete;
    bool TypeBinaryBlocking() = delete;
    bool TypeAsciiBlocking() = delete;
    bool QuitBlocking() = delete;
};

} // namespace BrFtpCli
