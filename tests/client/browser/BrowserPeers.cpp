#include "tests/client/browser/BrowserPeers.h"

#include <sys/stat.h>


namespace browsertest {

bool RealServer::Restart()
{
    portlorn.kill();
    portlorn.wait();
    portlorn = testsupport::ChildProcess({PORTLORN_RUNNER, "--root", root, "--port", std::to_string(port)},
                                         portlornDir / "log");
    return portlorn.WaitUntilListening(port);
}

std::unique_ptr<RealServer> StartServer(const std::string& name)
{
    auto s = std::make_unique<RealServer>();
    if (name == "portlorn") {
        s->root = s->portlornDir / "root";
        ::mkdir(s->root.c_str(), 0755);
        s->port = testsupport::FreeTcpPort();
        if (!s->Restart()) s->error = testsupport::ReadFile(s->portlornDir / "log");
        s->user = "user";
        s->pass = "pass";
        return s;
    }
    if (name == "vsftpd") s->peer = std::make_unique<testsupport::VsftpdPeer>();
    else s->peer = std::make_unique<testsupport::PyFtpdPeer>();
    s->error = s->peer->Error();
    s->port = s->peer->Port();
    s->user = s->peer->User();
    s->pass = s->peer->Password();
    s->writable = s->peer->WritableDir();
    s->root = s->writable.empty() ? s->peer->Root() : s->peer->LocalPath(s->writable);
    return s;
}

} // namespace browsertest
