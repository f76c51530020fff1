#pragma once
// The real main window and a real server on loopback, one test per server
// kind (the parameter), with an empty local folder for the window.
#include "MainFixture.h"
#include "tests/client/engine/EngineServers.h"

class MainServerFixture : public MainFixture, public ::testing::WithParamInterface<const char*> {
protected:
    std::unique_ptr<EngineServer> server;
    testsupport::TempDir local;

    void SetUp() override
    {
        MainFixture::SetUp();
        server = StartEngineServer(GetParam());
        if (!server->error.empty()) GTEST_SKIP() << server->error;
    }
    // The URL of the server's test folder, with the account when it has one.
    std::string Url() const
    {
        std::string auth = server->user.empty() || server->user == "anonymous" || server->user == "ftp"
                               ? std::string()
                               : server->user + ":" + server->pass + "@";
        std::string path = server->dir;
        if (path != "/" && path != "/pub/") path = "/" + path;
        return "ftp://" + auth + "127.0.0.1:" + std::to_string(server->port) + path;
    }
};
