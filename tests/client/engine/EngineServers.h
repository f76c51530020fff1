#pragma once
// The real servers the engine tests and bench_engine run against, behind one
// face: vsftpd (anonymous, working in pub/), pyftpdlib and the project's own
// server through portlorn_runner.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "client/engine/OldQuene.h"
#include "tests/support/FtpServerPeers.h"
#include "tests/support/TestSupport.h"

struct EngineServer {
    std::string name;
    int port = 0;
    std::string user, pass;
    std::string root; // local folder shown as "/"
    std::string dir;  // remote folder the test works in, ending "/"
    std::string localDir; // the local folder behind dir, ending "/"
    std::string error;
    std::unique_ptr<testsupport::FtpServerPeer> peer;
    std::unique_ptr<testsupport::TempDir> tmp;
    testsupport::ChildProcess runner;
    std::string logPath;

    THostInfo Host() const { return {"127.0.0.1", std::to_string(port), user, pass}; }
    // Local path of a remote path below dir.
    std::string Local(const std::string& rel) const { return localDir + rel; }
    // Lets the server read and write what the test made there.
    void Adopt(const std::string& local) const
    {
        if (peer) peer->Adopt(local);
    }
    std::string Log() const { return logPath.empty() ? std::string() : testsupport::ReadFile(logPath); }
};

// Compares a file with the bytes it must hold without printing megabytes.
inline ::testing::AssertionResult HasBytes(const std::string& path, const std::string& data)
{
    const std::string got = testsupport::ReadFile(path);
    if (got == data) return ::testing::AssertionSuccess();
    std::size_t at = 0;
    while (at < got.size() && at < data.size() && got[at] == data[at]) ++at;
    return ::testing::AssertionFailure() << path << ": " << got.size() << " bytes, want " << data.size()
                                         << ", first difference at " << at;
}

inline std::unique_ptr<EngineServer> StartEngineServer(const std::string& kind)
{
    auto s = std::make_unique<EngineServer>();
    s->name = kind;
    if (kind == "vsftpd") {
        // 16 connections listening for passive data at once need more than
        // the usual 20 ports: vsftpd drops a session whose PASV cannot bind.
        const int pasv = testsupport::FreeTcpPortRange(100);
        s->peer = std::make_unique<testsupport::VsftpdPeer>("\npasv_min_port=" + std::to_string(pasv) +
                                                            "\npasv_max_port=" + std::to_string(pasv + 99) + "\n");
        s->dir = "/pub/";
        s->logPath = s->peer->Work() + "/vsftpd-anon.log";
    } else if (kind == "pyftpdlib") {
        s->peer = std::make_unique<testsupport::PyFtpdPeer>();
        s->dir = "/";
        s->logPath = s->peer->Work() + "/pyftpdlib.log";
    } else {
        s->tmp = std::make_unique<testsupport::TempDir>();
        s->root = s->tmp->path() + "/root";
        ::mkdir(s->root.c_str(), 0755);
        s->port = testsupport::FreeTcpPort();
        s->user = "user";
        s->pass = "pass";
        // The server shows its folders by their full local path.
        s->dir = s->root + "/";
        s->localDir = s->dir;
        s->logPath = s->tmp->path() + "/server.log";
        // Through a shell, so the log tells how the server ended.
        s->runner = testsupport::ChildProcess(
            {"/bin/sh", "-c", std::string(PORTLORN_RUNNER) + " --root '" + s->root + "' --port " + std::to_string(s->port) +
                                  " --log; echo \"server exit status $?\""},
            s->logPath);
        if (!s->runner.WaitUntilListening(s->port)) s->error = "portlorn_runner did not start: " + s->Log();
        return s;
    }
    if (!s->peer->Ok()) s->error = s->peer->Error();
    s->port = s->peer->Port();
    s->user = s->peer->User();
    s->pass = s->peer->Password();
    s->root = s->peer->Root();
    s->localDir = s->root + s->dir;
    return s;
}
