#include "tests/support/FtpServerPeers.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <pwd.h>

#ifndef FTP_PEER_TEMPLATES
#error FTP_PEER_TEMPLATES must name tests/interop/peers
#endif

namespace testsupport {

std::string FillTemplate(std::string text, const std::vector<std::pair<std::string, std::string>>& values)
{
    for (const auto& [key, value] : values) {
        const std::string mark = "@" + key + "@";
        for (auto at = text.find(mark); at != std::string::npos; at = text.find(mark, at + value.size()))
            text.replace(at, mark.size(), value);
    }
    return text;
}

std::string PeerTemplate(const std::string& name) { return std::string(FTP_PEER_TEMPLATES) + "/" + name; }

namespace {
bool Installed(const char* path) { return ::access(path, X_OK) == 0; }

// Starts a server on a port picked free (with a passive range of 20), and
// again on other ports when it does not come to listen there: a peer of
// another test process may have taken the port first.
bool StartOnFreePort(ChildProcess& process, int& port, const std::function<ChildProcess(int pasv)>& start)
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        port = FreeTcpPort();
        const int pasv = FreeTcpPortRange(20);
        process = start(pasv);
        if (process.WaitUntilListening(port)) return true;
        process = ChildProcess();
    }
    return false;
}

bool FtpUser(uid_t* uid, gid_t* gid)
{
    passwd* pw = ::getpwnam("ftp");
    if (!pw) return false;
    *uid = pw->pw_uid;
    *gid = pw->pw_gid;
    return true;
}
} // namespace

PyFtpdPeer::PyFtpdPeer(bool writable)
{
    user_ = "tester";
    password_ = "secret";
    root_ = work_->path() + "/root";
    std::filesystem::create_directories(root_);
    if (!Installed("/usr/bin/python3")) {
        error_ = "python3 missing";
        return;
    }
    const bool started = StartOnFreePort(process_, port_, [&](int pasv) {
        std::vector<std::string> argv = {"/usr/bin/python3", "-m", "pyftpdlib", "-i", "127.0.0.1", "-p", std::to_string(port_),
                                         "-d", root_, "-u", user_, "-P", password_, "-r",
                                         std::to_string(pasv) + "-" + std::to_string(pasv + 19)};
        if (writable) argv.push_back("-w");
        return ChildProcess(argv, work_->path() + "/pyftpdlib.log");
    });
    if (!started) error_ = "pyftpdlib did not start: " + ReadFile(work_->path() + "/pyftpdlib.log");
}

VsftpdPeer::VsftpdPeer(const std::string& extraConfig)
{
    user_ = "anonymous";
    password_ = "guest@example.org";
    root_ = work_->path() + "/srv/vsftpd";
    writable_ = "pub";
    uid_t uid;
    gid_t gid;
    if (!Installed("/usr/sbin/vsftpd") || !FtpUser(&uid, &gid)) {
        error_ = "vsftpd or the ftp user missing";
        return;
    }
    std::filesystem::create_directories(root_ + "/pub");
    ::chmod(work_->path().c_str(), 0755);
    ::chmod(root_.c_str(), 0555);
    if (::chown((root_ + "/pub").c_str(), uid, gid) != 0) {
        error_ = "chown pub failed";
        return;
    }
    const std::string conf = work_->path() + "/vsftpd.conf";
    const bool started = StartOnFreePort(process_, port_, [&](int pasv) {
        WriteFile(conf, FillTemplate(ReadFile(PeerTemplate("vsftpd-anon.conf")),
                                     {{"PORT", std::to_string(port_)},
                                      {"WORK", work_->path()},
                                      {"PASV_MIN", std::to_string(pasv)},
                                      {"PASV_MAX", std::to_string(pasv + 19)}}) +
                            extraConfig);
        return ChildProcess({"/usr/sbin/vsftpd", conf}, work_->path() + "/vsftpd.out");
    });
    if (!started) error_ = "vsftpd did not start: " + ReadFile(work_->path() + "/vsftpd.out");
}

std::string RateCapConfig(int bytesPerSecond, int passivePorts)
{
    const int pasv = FreeTcpPortRange(passivePorts);
    return "\nanon_max_rate=" + std::to_string(bytesPerSecond) + "\npasv_min_port=" + std::to_string(pasv) +
           "\npasv_max_port=" + std::to_string(pasv + passivePorts - 1) + "\n";
}

void VsftpdPeer::Adopt(const std::string& localPath) const
{
    uid_t uid;
    gid_t gid;
    if (FtpUser(&uid, &gid)) {
        if (::chown(localPath.c_str(), uid, gid) != 0) {}
    }
}

FtpProxyPeer::FtpProxyPeer(int destPort)
{
    if (!Installed("/usr/sbin/ftp-proxy")) {
        error_ = "ftp-proxy missing";
        return;
    }
    ::chmod(work_.path().c_str(), 0755);
    std::filesystem::create_directories(work_.path() + "/fplog");
    passwd* pw = ::getpwnam("nobody");
    if (pw && ::chown((work_.path() + "/fplog").c_str(), pw->pw_uid, pw->pw_gid) != 0) {}
    const std::string conf = work_.path() + "/ftp-proxy.conf";
    const bool started = StartOnFreePort(process_, port_, [&](int pasv) {
        WriteFile(conf, FillTemplate(ReadFile(PeerTemplate("ftp-proxy.conf")),
                                     {{"PORT", std::to_string(port_)},
                                      {"DEST_PORT", std::to_string(destPort)},
                                      {"WORK", work_.path()},
                                      {"PASV_MIN", std::to_string(pasv)},
                                      {"PASV_MAX", std::to_string(pasv + 19)}}));
        return ChildProcess({"/usr/sbin/ftp-proxy", "-d", "-n", "-f", conf}, work_.path() + "/ftp-proxy.out");
    });
    if (!started) error_ = "ftp-proxy did not start: " + ReadFile(work_.path() + "/ftp-proxy.out");
}

} // namespace testsupport
