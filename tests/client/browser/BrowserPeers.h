#pragma once
// The real servers the browsing windows are tried against: pyftpdlib,
// vsftpd (anonymous, USER answered 230 at once) and the project's own server.
#include <memory>
#include <string>

#include "tests/support/FtpServerPeers.h"
#include "tests/support/TestSupport.h"

namespace browsertest {

struct RealServer {
    std::unique_ptr<testsupport::FtpServerPeer> peer;
    testsupport::TempDir portlornDir;
    testsupport::ChildProcess portlorn;
    int port = 0;
    std::string user, pass;
    std::string root;     // local path of the folder the tests write in
    std::string writable; // its remote name below the login folder ("" for the login folder)
    std::string error;
    // The project's server only: ends the process (dropping every session)
    // and starts it again on the same port; false when it does not come back.
    bool Restart();
    // Lets the server process reach a file or folder the test made.
    void Adopt(const std::string& localPath) const
    {
        if (peer) peer->Adopt(localPath);
    }
};

// "pyftpdlib", "vsftpd" or "portlorn".
std::unique_ptr<RealServer> StartServer(const std::string& name);

} // namespace browsertest
