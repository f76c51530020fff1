#pragma once
// Launchers for the real FTP peers the interop tests and benchmarks run on
// loopback: pyftpdlib, vsftpd (anonymous, with a writable pub/) and
// ftp-proxy. Each peer gets its own temporary folder and free ports and is
// stopped (by its own pid) when the object goes.
#include <memory>
#include <string>

#include "tests/support/TestSupport.h"

namespace testsupport {

class FtpServerPeer {
public:
    virtual ~FtpServerPeer() = default;
    // False (with the reason in Error()) when the peer could not be started.
    bool Ok() const { return error_.empty(); }
    const std::string& Error() const { return error_; }
    int Port() const { return port_; }
    const std::string& User() const { return user_; }
    const std::string& Password() const { return password_; }
    // Local folder that the server shows as its login folder.
    const std::string& Root() const { return root_; }
    // The remote name of the login folder's writable place ("" or "pub").
    const std::string& WritableDir() const { return writable_; }
    // Local path of a file at a remote name below the login folder.
    std::string LocalPath(const std::string& remote) const { return root_ + "/" + remote; }
    // Makes a server-side file readable and writable by the server process.
    virtual void Adopt(const std::string& localPath) const {}
    const std::string& Work() const { return work_->path(); }

protected:
    FtpServerPeer() : work_(std::make_unique<TempDir>()) {}
    std::unique_ptr<TempDir> work_;
    ChildProcess process_;
    std::string error_;
    int port_ = 0;
    std::string user_, password_, root_, writable_;
};

// /usr/bin/python3 -m pyftpdlib with one user, with write access unless
// writable is false (then it may only list and read).
class PyFtpdPeer : public FtpServerPeer {
public:
    explicit PyFtpdPeer(bool writable = true);
};

// vsftpd, anonymous login (USER answered 230 at once), root not writable,
// pub/ owned by the ftp user. extraConfig lines are added to its
// configuration (a rate cap for benchmarks).
class VsftpdPeer : public FtpServerPeer {
public:
    explicit VsftpdPeer(const std::string& extraConfig = "");
    void Adopt(const std::string& localPath) const override;
};

// Configuration lines for a VsftpdPeer that holds each session's data
// transfers to bytesPerSecond, with passivePorts free passive ports: a run
// on it lasts long enough for a test to act while connections are part-way
// through their files, however fast the machine.
std::string RateCapConfig(int bytesPerSecond, int passivePorts = 40);

// ftp-proxy in front of a server on destPort; log in with
// USER user@127.0.0.1:destPort.
class FtpProxyPeer {
public:
    explicit FtpProxyPeer(int destPort);
    bool Ok() const { return error_.empty(); }
    const std::string& Error() const { return error_; }
    int Port() const { return port_; }

private:
    TempDir work_;
    ChildProcess process_;
    std::string error_;
    int port_ = 0;
};

// Fills a template: every @KEY@ replaced by its value.
std::string FillTemplate(std::string text, const std::vector<std::pair<std::string, std::string>>& values);
// Path of a template in tests/interop/peers.
std::string PeerTemplate(const std::string& name);

} // namespace testsupport
