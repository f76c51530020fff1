#pragma once
// A TFtpClient wired for tests: records every OnRequestDone (and whether one
// fired inside the call that started a request) and every display line.
#include <string>
#include <utility>
#include <vector>

#include "net/FtpCli.h"
#include "os/MessageLoop.h"
#include "os/MessageTarget.h"

struct FtpTestClient {
    TFtpClient ftp;
    std::vector<std::pair<TFtpRequest, int>> done;
    std::vector<std::string> lines;
    int sessionConnected = 0;
    bool inCall = false;
    bool doneInsideCall = false;

    explicit FtpTestClient(int port, bool passive = true)
    {
        ftp.SetHostName("127.0.0.1");
        ftp.SetPort(std::to_string(port));
        ftp.SetUserName("user");
        ftp.SetPassWord("pass");
        ftp.SetTimeout(5);
        ftp.SetPassiveMode(passive);
        ftp.OnRequestDone = [this](TObject*, TFtpRequest rq, std::uint16_t error) {
            if (inCall) doneInsideCall = true;
            done.emplace_back(rq, error);
        };
        ftp.OnDisplay = [this](TObject*, std::string& msg) { lines.push_back(msg); };
        ftp.OnSessionConnected = [this](TObject*, std::uint16_t) { ++sessionConnected; };
    }

    // Starts a request without waiting.
    void Start(TCustomFtpCli::TAction action)
    {
        struct Guard {
            bool& flag;
            ~Guard() { flag = false; }
        } guard{inCall};
        inCall = true;
        (ftp.*action)();
    }
    // A blocking call; the starting call is watched for an early event.
    bool Block(TCustomFtpCli::TAction action)
    {
        return ftp.RunAndWait([this, action] { Start(action); });
    }
    // Pumps the loop until count request-done events arrived.
    bool WaitDone(std::size_t count = 1, int ms = 10000)
    {
        return os::MessageLoop::ForThisThread().WaitUntil([&] { return done.size() >= count; }, ms);
    }
    // Lets the loop deliver everything posted before the call (messages go
    // in order): a second event of a request that ended would be among it.
    bool Drain(int ms = 10000)
    {
        bool reached = false;
        os::HWND marker = os::CreateMessageTarget([&reached](os::UINT, os::WPARAM, os::LPARAM) {
            reached = true;
            return os::LRESULT(0);
        });
        os::PostMessage(marker, os::WM_USER, 0, 0);
        const bool done = os::MessageLoop::ForThisThread().WaitUntil([&] { return reached; }, ms);
        os::DestroyMessageTarget(marker);
        return done;
    }
    bool Shown(const std::string& text) const
    {
        for (const auto& l : lines)
            if (l.find(text) != std::string::npos) return true;
        return false;
    }
};
