#pragma once
// The engine over scripted servers, as the fault and time-out tests drive
// it: a headless window whose broken lists go to a folder of the test's
// own, a time-out of one second, runs waited on to their end, and the
// engine's log shown when a test failed.
#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

#include "tests/client/engine/HeadlessWindow.h"
#include "tests/net/ftp/FakeFtpServer.h"
#include "tests/support/TestSupport.h"

class ScriptedEngineTest : public ::testing::Test {
protected:
    static constexpr int kTimeout = 1; // seconds

    void SetUp() override
    {
        w.brokenFile = dir / "oldquene.ini";
        w.settings.Timeout = kTimeout;
    }
    void TearDown() override
    {
        if (HasFailure())
            for (const auto& l : w.log) std::cerr << l << "\n";
    }
    // Logs in over the given number of connections; true when it did.
    bool Connect(TFtpManager& m, int port, int connections)
    {
        m.CreateConnections(connections);
        w.state = 1;
        const bool ok = w.Run([&] { m.ConnectHost({"127.0.0.1", std::to_string(port), "user", "pass"}); }, 10000);
        w.state = 2;
        return ok;
    }
    // Runs the queue to its end; true when it completed.
    bool RunQueue(TFtpManager& m, std::vector<TTransferFileInfo> q)
    {
        w.state = 5;
        const bool ok = w.Run([&] { m.StartTransfer(std::move(q), 0); }, 60000);
        EXPECT_TRUE(w.lastEnded) << "the run hangs";
        w.state = 2;
        return ok;
    }
    // A download of each file into the test's folder, under its own name.
    std::vector<TTransferFileInfo> Downloads(const fakeftp::Files& files) const
    {
        std::vector<TTransferFileInfo> q;
        for (const auto& [path, content] : files) {
            const auto size = static_cast<std::int64_t>(content.size());
            q.push_back({true, path, dir / path.substr(1), size, 0, size, false});
        }
        return q;
    }
    // An upload of each name (a remote path "/" + name) from a file of
    // 2,000 bytes of its own in the test's folder.
    std::vector<TTransferFileInfo> Uploads(const std::vector<std::string>& names) const
    {
        std::vector<TTransferFileInfo> q;
        for (std::size_t i = 0; i < names.size(); ++i) {
            testsupport::WriteFile(dir / names[i], testsupport::PatternBytes(2000, std::uint32_t(i + 1)));
            q.push_back({false, "/" + names[i], dir / names[i], 2000, 0, 2000, false});
        }
        return q;
    }
    static int CountOf(const std::vector<std::string>& lines, const std::string& text)
    {
        return static_cast<int>(std::count(lines.begin(), lines.end(), text));
    }
    // A log line holds text.
    bool Shown(const std::string& text) const
    {
        return std::any_of(w.log.begin(), w.log.end(), [&](const std::string& l) { return l.find(text) != std::string::npos; });
    }
    // The items of the last broken list in the file.
    std::vector<TTransferFileInfo> BrokenOnDisk() const
    {
        std::vector<TOldQuene> lists;
        LoadOldQuenes(w.brokenFile, lists);
        return lists.empty() ? std::vector<TTransferFileInfo>{} : lists.back().Items;
    }

    testsupport::TempDir dir;
    HeadlessWindow w;
};
