#include "tests/interop/ftpclient/SocksTestPeers.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "tests/support/FtpServerPeers.h"

namespace ftpsocks {

using namespace testsupport;

SocksPeer::SocksPeer(Kind kind) : kind_(kind)
{
    port_ = FreeTcpPort();
    const std::string work = work_.path();
    ::chmod(work.c_str(), 0755);
    switch (kind) {
    case Dante: {
        if (::access("/usr/sbin/danted", X_OK) != 0) {
            error_ = "danted missing";
            return;
        }
        const std::string conf = work + "/danted.conf";
        WriteFile(conf, FillTemplate(ReadFile(PeerTemplate("danted-ftpclient.conf")),
                                     {{"WORK", work}, {"PORT", std::to_string(port_)}}));
        server_ = ChildProcess({"/usr/sbin/danted", "-f", conf, "-p", work + "/danted.pid", "-N", "1"},
                               work + "/danted.out");
        break;
    }
    case Microsocks:
        user_ = "sockuser";
        password_ = "sockpass";
        server_ = ChildProcess({"microsocks", "-i", "127.0.0.1", "-p", std::to_string(port_), "-u", user_, "-P",
                                password_},
                               work + "/microsocks.out");
        break;
    case SshDynamic: {
        const std::string ssh = work + "/ssh";
        std::filesystem::create_directories(ssh);
        std::filesystem::create_directories("/run/sshd");
        if (RunCommand({"ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f", ssh + "/host_key"}) != 0 ||
            RunCommand({"ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f", ssh + "/client_key"}) != 0) {
            error_ = "ssh-keygen failed";
            return;
        }
        std::filesystem::copy_file(ssh + "/client_key.pub", ssh + "/authorized_keys");
        const int sshPort = FreeTcpPort();
        const std::string conf = ssh + "/sshd_config";
        WriteFile(conf, FillTemplate(ReadFile(PeerTemplate("sshd-ftpclient.conf")),
                                     {{"WORK", work}, {"PORT", std::to_string(sshPort)}}));
        server_ = ChildProcess({"/usr/sbin/sshd", "-D", "-e", "-f", conf}, work + "/sshd.out");
        if (!WaitForTcpPort(sshPort)) {
            error_ = "sshd did not start: " + ReadFile(work + "/sshd.out");
            return;
        }
        tunnel_ = ChildProcess({"ssh", "-N", "-D", "127.0.0.1:" + std::to_string(port_), "-p", std::to_string(sshPort),
                                "-i", ssh + "/client_key", "-o", "BatchMode=yes", "-o", "StrictHostKeyChecking=no",
                                "-o", "UserKnownHostsFile=/dev/null", "root@127.0.0.1"},
                               work + "/ssh.out");
        break;
    }
    }
    if (error_.empty() && !WaitForTcpPort(port_)) error_ = "SOCKS server did not start on its port";
}

int SocksPeer::ConnectionsMade() const
{
    if (kind_ != Dante) return -1;
    const std::string log = ReadFile(work_.path() + "/danted.log");
    int count = 0;
    for (auto at = log.find("tcp/connect ["); at != std::string::npos; at = log.find("tcp/connect [", at + 1)) ++count;
    return count;
}

} // namespace ftpsocks
