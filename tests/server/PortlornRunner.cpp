// portlorn_runner: serves one folder for one account with the server
// component, for tests and benchmarks.
//
//   portlorn_runner --root DIR [--port N] [--addr A] [--user U] [--pass P]
//                   [--readonly] [--max-clients N] [--log]
//
// With --log every command and answer is written to standard output.
//
// Port 0 (the default) lets the system pick; the port listened on is
// printed as "listening on N" once the server listens. Runs until killed.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "os/MessageLoop.h"
#include "rtl/StrUtils.h"
#include "server/FtpSrv.h"

int main(int argc, char** argv)
{
    std::string root, port = "0", addr = "127.0.0.1", user = "user", pass = "pass";
    bool readOnly = false, log = false;
    int maxClients = 0;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto next = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "%s needs a value\n", a.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--root") root = next();
        else if (a == "--port") port = next();
        else if (a == "--addr") addr = next();
        else if (a == "--user") user = next();
        else if (a == "--pass") pass = next();
        else if (a == "--readonly") readOnly = true;
        else if (a == "--log") log = true;
        else if (a == "--max-clients") maxClients = std::atoi(next().c_str());
        else {
            std::fprintf(stderr, "unknown argument %s\n", a.c_str());
            return 2;
        }
    }
    if (root.empty() || root[0] != '/') {
        std::fprintf(stderr, "--root needs an absolute folder\n");
        return 2;
    }

    TPortlorn server;
    server.SetAddr(addr);
    server.SetPort(port);
    server.SetMaxClients(maxClients);
    server.OnAuthenticate = [&](TObject*, TFtpCtrlSocket* client, const TFtpString& u, const TFtpString& p,
                                bool& authenticated) {
        authenticated = rtl::SameText(u, user) && p == pass;
        if (authenticated) client->SetHomeDir(root);
    };
    auto write = [&](TObject*, TFtpCtrlSocket*, TFtpString&, bool& allowed) { allowed = !readOnly; };
    server.OnValidatePut = write;
    server.OnValidateDele = write;
    server.OnValidateRnFr = write;
    server.OnValidateRnTo = write;
    server.OnMakeDirectory = [&](TObject*, TFtpCtrlSocket*, const TFtpString&, bool& allowed) { allowed = !readOnly; };
    if (log) {
        server.OnClientCommand = [](TObject*, TFtpCtrlSocket* client, TFtpString& keyword, TFtpString& params,
                                    TFtpString&) {
            std::printf("< %u %s %s\n", client->ID(), keyword.c_str(), keyword == "PASS" ? "****" : params.c_str());
            std::fflush(stdout);
        };
        server.OnAnswerToClient = [](TObject*, TFtpCtrlSocket* client, TFtpString& answer) {
            std::printf("> %u %s\n", client->ID(), answer.c_str());
            std::fflush(stdout);
        };
    }
    try {
        server.Start();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "cannot listen: %s\n", e.what());
        return 1;
    }
    std::printf("listening on %s\n", server.GetBoundPort().c_str());
    std::fflush(stdout);
    return os::MessageLoop::ForThisThread().Run();
}
