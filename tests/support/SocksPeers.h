#pragma once
// Real SOCKS servers for the tests, each started on a free loopback port and
// stopped with the object: dante (SOCKS 4 and 5, optionally with the
// username method for a system user made up for the test), microsocks
// (SOCKS 5 with user and password) and an `ssh -D` tunnel (SOCKS 4, 4A, 5).
#include <string>

#include "tests/support/TestSupport.h"

namespace testsupport {

class SocksPeer {
public:
    enum Kind { Dante, DanteUser, Microsocks, SshDynamic };

    explicit SocksPeer(Kind kind);
    SocksPeer(const SocksPeer&) = delete;
    SocksPeer& operator=(const SocksPeer&) = delete;

    // Empty when the server is up; else why it is not.
    const std::string& Error() const { return error_; }
    int Port() const { return port_; }
    // Credentials the server wants (empty when it wants none).
    const std::string& User() const { return user_; }
    const std::string& Password() const { return password_; }
    // The server's own log, for failure messages.
    std::string Log() const;
    // Connections the server made on a client's behalf, as far as its log
    // tells (dante only; -1 for the others).
    int ConnectionsMade() const;

private:
    void StartDante(bool withUser);
    void StartMicrosocks();
    void StartSsh();

    TempDir work_;
    Kind kind_;
    int port_ = 0;
    std::string user_;
    std::string password_;
    std::string error_;
    std::string log_;
    ChildProcess server_;
    ChildProcess tunnel_;
};

} // namespace testsupport
