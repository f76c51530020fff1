#include "tests/support/SocksPeers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <filesystem>
#include <utility>
#include <vector>

#ifndef SOCKS_PEER_TEMPLATES
#error "SOCKS_PEER_TEMPLATES must name the folder of the peer templates"
#endif

namespace testsupport {

namespace {

std::string Fill(std::string text, const std::vector<std::pair<std::string, std::string>>& values)
{
    for (const auto& [key, value] : values) {
        const std::string marker = "@" + key + "@";
        for (std::size_t pos = text.find(marker); pos != std::string::npos; pos = text.find(marker, pos + value.size()))
            text.replace(pos, marker.size(), value);
    }
    return text;
}

std::string Template(const std::string& name) { return ReadFile(std::string(SOCKS_PEER_TEMPLATES) + "/" + name); }

} // namespace

namespace {

// Whether the SOCKS 5 server on the port answers a greeting: listening
// is not yet serving.
bool AnswersSocks5(int port)
{
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    timeval tv{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    bool ok = false;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
        const unsigned char hello[] = {5, 1, 0};
        unsigned char reply[2] = {0, 0};
        ok = ::send(fd, hello, sizeof hello, MSG_NOSIGNAL) == 3 && ::recv(fd, reply, 2, MSG_WAITALL) == 2 &&
             reply[0] == 5;
    }
    ::close(fd);
    return ok;
}

} // namespace

SocksPeer::SocksPeer(Kind kind) : kind_(kind)
{
    ::chmod(work_.path().c_str(), 0755);
    for (int attempt = 0; attempt < 3; ++attempt) {
        error_.clear();
        port_ = FreeTcpPort();
        switch (kind) {
        case Dante: StartDante(false); break;
        case DanteUser: StartDante(true); break;
        case Microsocks: StartMicrosocks(); break;
        case SshDynamic: StartSsh(); break;
        }
        if (!error_.empty() && error_.find("not installed") != std::string::npos) return;
        // The port was free when picked; another test process may have
        // taken it before our server bound it.
        ChildProcess& listener = kind == SshDynamic ? tunnel_ : server_;
        if (error_.empty() && !listener.WaitUntilListening(port_))
            error_ = "SOCKS server did not listen on its port: " + Log();
        if (error_.empty() && !AnswersSocks5(port_)) error_ = "SOCKS server does not answer: " + Log();
        if (error_.empty()) return;
        tunnel_ = ChildProcess();
        server_ = ChildProcess();
    }
}

std::string SocksPeer::Log() const { return log_.empty() ? std::string() : ReadFile(log_); }

int SocksPeer::ConnectionsMade() const
{
    if (kind_ != Dante && kind_ != DanteUser) return -1;
    const std::string log = ReadFile(work_.path() + "/danted.log");
    int count = 0;
    for (auto at = log.find("tcp/connect ["); at != std::string::npos; at = log.find("tcp/connect [", at + 1)) ++count;
    return count;
}

void SocksPeer::StartDante(bool withUser)
{
    if (FindProgram("danted").empty() && ::access("/usr/sbin/danted", X_OK) != 0) {
        error_ = "danted is not installed";
        return;
    }
    const std::string work = work_.path();
    const std::string conf = work + "/danted.conf";
    WriteFile(conf, Fill(Template(withUser ? "danted-socks-auth.conf" : "danted-socks-noauth.conf"),
                         {{"WORK", work}, {"PORT", std::to_string(port_)}}));
    log_ = work + "/danted.out";
    std::vector<std::string> argv = {"/usr/sbin/danted", "-f", conf, "-p", work + "/danted.pid", "-N", "1"};
    if (withUser) {
        // The username method checks a system user: one is made up in a
        // private overlay of /etc that only the server sees.
        user_ = "socksuser";
        password_ = "s3cret-pass";
        std::string hash;
        if (RunCommand({"openssl", "passwd", "-6", password_}, &hash) != 0) {
            error_ = "openssl passwd failed";
            return;
        }
        while (!hash.empty() && (hash.back() == '\n' || hash.back() == '\r')) hash.pop_back();
        std::filesystem::remove_all(work + "/ovl"); // a retry starts afresh
        std::filesystem::create_directories(work + "/etc");
        WriteFile(work + "/etc/user.passwd", user_ + ":x:47011:47011::/nonexistent:/usr/sbin/nologin\n");
        WriteFile(work + "/etc/user.shadow", user_ + ":" + hash + ":19000:0:99999:7:::\n");
        WriteFile(work + "/etc/user.group", user_ + ":x:47011:\n");
        std::vector<std::string> wrapped = {std::string(SOCKS_PEER_TEMPLATES) + "/with-test-user.sh", work};
        wrapped.insert(wrapped.end(), argv.begin(), argv.end());
        argv = std::move(wrapped);
    }
    server_ = ChildProcess(argv, log_);
}

void SocksPeer::StartMicrosocks()
{
    if (FindProgram("microsocks").empty()) {
        error_ = "microsocks is not installed";
        return;
    }
    user_ = "sockuser";
    password_ = "sockpass";
    log_ = work_.path() + "/microsocks.out";
    server_ = ChildProcess(
        {"microsocks", "-i", "127.0.0.1", "-p", std::to_string(port_), "-u", user_, "-P", password_}, log_);
}

void SocksPeer::StartSsh()
{
    if (::access("/usr/sbin/sshd", X_OK) != 0 || FindProgram("ssh").empty()) {
        error_ = "sshd or ssh is not installed";
        return;
    }
    const std::string work = work_.path();
    const std::string ssh = work + "/ssh";
    std::filesystem::remove_all(ssh); // a retry starts afresh
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
    WriteFile(conf, Fill(Template("sshd-socks.conf"), {{"WORK", work}, {"PORT", std::to_string(sshPort)}}));
    log_ = work + "/sshd.out";
    server_ = ChildProcess({"/usr/sbin/sshd", "-D", "-e", "-f", conf}, log_);
    if (!server_.WaitUntilListening(sshPort)) {
        error_ = "sshd did not listen on its port: " + Log();
        return;
    }
    log_ = work + "/ssh.out";
    tunnel_ = ChildProcess({"ssh", "-N", "-D", "127.0.0.1:" + std::to_string(port_), "-p", std::to_string(sshPort),
                            "-i", ssh + "/client_key", "-o", "BatchMode=yes", "-o", "StrictHostKeyChecking=no",
                            "-o", "UserKnownHostsFile=/dev/null", "root@127.0.0.1"},
                           log_);
}

} // namespace testsupport
