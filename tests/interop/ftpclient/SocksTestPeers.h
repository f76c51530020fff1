#pragma once
// SOCKS servers for the FTP client's SOCKS connection types: dante (4 and 5),
// microsocks (5 with user and password) and ssh -D (4, 4A and 5). Each runs
// on a free loopback port in a folder of its own and stops with the object.
#include <string>

#include "tests/support/TestSupport.h"

namespace ftpsocks {

class SocksPeer {
public:
    enum Kind { Dante, Microsocks, SshDynamic };
    explicit SocksPeer(Kind kind);
    bool Ok() const { return error_.empty(); }
    const std::string& Error() const { return error_; }
    int Port() const { return port_; }
    // Credentials that the server asks for (empty when it asks for none).
    const std::string& User() const { return user_; }
    const std::string& Password() const { return password_; }
    // Connections the server made on a client's behalf, as far as its log
    // tells (dante only; -1 for the others).
    int ConnectionsMade() const;

private:
    testsupport::TempDir work_;
    testsupport::ChildProcess server_, tunnel_;
    std::string error_, user_, password_;
    int port_ = 0;
    Kind kind_;
};

} // namespace ftpsocks
