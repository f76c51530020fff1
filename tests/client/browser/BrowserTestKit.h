#pragma once
// A manager of the FTP browser with its callbacks recorded, driven from the
// test's thread, which plays the GUI thread: its message loop carries the
// worker's results.
#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "client/browser/FtpManager.h"
#include "os/MessageLoop.h"

struct BrowserKit {
    std::unique_ptr<TFtpManager> manager;
    std::vector<std::string> debug, display;
    int roots = 0, folders = 0, refreshes = 0;
    bool refreshError = false;
    std::vector<int> indexes;

    explicit BrowserKit(std::chrono::milliseconds replyTimeout = std::chrono::seconds(10),
                        std::function<std::unique_ptr<TFtpClient>()> makeClient = nullptr)
    {
        TFtpThreadConfig config;
        config.ReplyTimeout = replyTimeout;
        config.MakeClient = std::move(makeClient);
        manager = std::make_unique<TFtpManager>(1, config);
        auto& cb = manager->CallBack;
        cb.DebugLine = [this](const std::string& l) { debug.push_back(l); };
        cb.DisplayLine = [this](const std::string& l) { display.push_back(l); };
        cb.RootListingReady = [this](const std::vector<int>& i) {
            ++roots;
            indexes = i;
        };
        cb.FoldersReady = [this](const std::vector<int>& i, const std::string&) {
            ++folders;
            indexes = i;
        };
        cb.Refresh = [this](bool error) {
            ++refreshes;
            refreshError = error;
        };
    }
    TFtpManager& operator*() { return *manager; }
    TFtpManager* operator->() { return manager.get(); }

    bool WaitUntil(const std::function<bool()>& done, int ms = 20000)
    {
        return os::MessageLoop::ForThisThread().WaitUntil(done, ms);
    }
    // Until every command handed over has come back.
    bool WaitIdle(int ms = 20000)
    {
        return WaitUntil([this] { return manager->Pending() == 0; }, ms);
    }
    static bool Holds(const std::vector<std::string>& lines, const std::string& text)
    {
        return std::any_of(lines.begin(), lines.end(),
                           [&](const std::string& l) { return l.find(text) != std::string::npos; });
    }
    bool WaitDisplay(const std::string& text, int ms = 20000)
    {
        return WaitUntil([&] { return Holds(display, text); }, ms);
    }
    std::vector<std::string> ShownNames(int index)
    {
        std::vector<std::string> names;
        if (auto e = manager->DirBuffer().Get(index))
            for (const auto& i : e->Items) names.push_back(i.Name);
        return names;
    }
};
