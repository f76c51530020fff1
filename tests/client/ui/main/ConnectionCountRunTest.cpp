// Fewer connections applied in the preferences while a run downloads from a
// real server: the items of the connections that go return to the queue at
// the bytes already on disk, and every file still arrives byte-exact.
#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <algorithm>
#include <array>
#include <filesystem>

#include "MainFixture.h"
#include "ModalHelper.h"
#include "client/engine/FtpManager.h"
#include "os/MessageLoop.h"
#include "tests/support/FtpServerPeers.h"

namespace fs = std::filesystem;

namespace {

std::int64_t SizeOf(const std::string& path)
{
    std::error_code ec;
    const auto n = fs::file_size(path, ec);
    return ec ? -1 : static_cast<std::int64_t>(n);
}

// Records the bytes each connection has moved of its current item.
struct ProgressMain : TfmMain {
    using TfmMain::TfmMain;
    std::array<std::int64_t, 16> progress{};
    void ShowSlotProgress(int Slot, std::int64_t Count) override
    {
        if (Slot >= 0 && Slot < 16) progress[Slot] = Count;
        TfmMain::ShowSlotProgress(Slot, Count);
    }
};

TEST_F(MainFixture, FewerConnectionsAppliedDuringARunKeepEveryFileByteExact)
{
    make = [](const std::string& program) { return std::make_unique<ProgressMain>(program); };
    // Each session held to 1 MB/s: a large file takes two seconds on any
    // machine, so all four connections are part-way through theirs at once
    // however late one of them logs in.
    testsupport::VsftpdPeer server(testsupport::RateCapConfig(1000000));
    if (!server.Ok()) GTEST_SKIP() << server.Error();
    const int kConnections = 4;
    const std::int64_t kLargeSize = 2 * 1024 * 1024 + 3;
    std::vector<std::pair<std::string, std::string>> files;
    for (int i = 0; i < kConnections; ++i)
        files.emplace_back("large" + std::to_string(i), testsupport::PatternBytes(kLargeSize, 10 + i));
    for (int i = 0; i < 6; ++i) files.emplace_back("small" + std::to_string(i), testsupport::PatternBytes(30000 + i, 50 + i));
    for (const auto& [name, data] : files) {
        testsupport::WriteFile(server.LocalPath("pub/" + name), data);
        server.Adopt(server.LocalPath("pub/" + name));
    }

    Open([](TClientSettings& s) {
        s.FtpCliNum = kConnections;
        s.MaxThreadNum = 7;
        s.EnableSplitDownload = false;
    });
    win->show();
    Find<QComboBox>("cbHostName")->setEditText("127.0.0.1");
    Find<QLineEdit>("edPort")->setText(QString::number(server.Port()));
    Find<QLineEdit>("edUser")->setText(QString::fromStdString(server.User()));
    Find<QLineEdit>("edPass")->setText(QString::fromStdString(server.Password()));
    Find<QAction>("miConnect")->trigger();
    ASSERT_TRUE(WaitState(2)) << PageText(0);

    const std::string down = dir / "down/";
    fs::create_directories(down);
    std::vector<TTransferFileInfo> queue;
    for (const auto& [name, data] : files) {
        const auto n = static_cast<std::int64_t>(data.size());
        queue.push_back({true, "/pub/" + name, down + name, n, 0, n, false});
    }
    TFtpManager& engine = win->Engine();
    auto& progress = static_cast<ProgressMain*>(win.get())->progress;

    bool midRun = false;
    int countAfter = 0;
    std::vector<TTransferFileInfo> returned;
    WhenModal([&](QWidget* d) {
        // The run starts with the dialog open; Apply comes once every
        // connection is part-way through a large file: the four large files
        // were taken first, one by each connection, and none is near its end.
        win->SetSessionState(ssTransfering);
        engine.StartTransfer(queue, 0);
        auto midFile = [&](int slot) { return progress[slot] > (256 << 10) && progress[slot] < kLargeSize; };
        auto allMidFile = [&] {
            for (int slot = 0; slot < kConnections; ++slot)
                if (!midFile(slot)) return false;
            return true;
        };
        os::MessageLoop::ForThisThread().WaitUntil([&] { return !engine.RunActive() || allMidFile(); }, 60000);
        midRun = engine.RunActive() && allMidFile();
        d->findChild<QSpinBox*>("seThreadNumber")->setValue(2);
        d->findChild<QPushButton*>("Apply")->click();
        countAfter = engine.ClientCount();
        // Back in the queue are the large files of connections 2 and 3, each
        // to go on from the bytes on disk.
        for (const auto& item : engine.GetTransferQueue())
            if (item.FileSize == kLargeSize) returned.push_back(item);
        for (const auto& item : returned) {
            EXPECT_GT(item.BeginPos, 0) << item.LocalPath;
            EXPECT_LT(item.BeginPos, item.EndPos) << item.LocalPath;
            EXPECT_EQ(item.BeginPos, SizeOf(item.LocalPath)) << item.LocalPath;
        }
        d->findChild<QPushButton*>("Button1")->click();
    });
    QAction* preference = Find<QAction>("miPreference");
    preference->setEnabled(true);
    preference->trigger();
    ASSERT_TRUE(midRun) << "no moment with every connection in a large file\n" << PageText(0) << PageText(1);
    EXPECT_EQ(countAfter, 2);
    EXPECT_EQ(win->Settings().FtpCliNum, 2);
    EXPECT_EQ(returned.size(), 2u) << "the items of both connections go back to the queue";

    ASSERT_TRUE(WaitFor([&] { return !engine.RunActive() && win->SessionState() == 2; }, 60000)) << PageText(0);
    for (const auto& [name, data] : files) EXPECT_TRUE(testsupport::ReadFile(down + name) == data) << name;
    EXPECT_EQ(engine.ClientCount(), 2);
}

} // namespace
