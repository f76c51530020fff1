#pragma once
// The engine's window without a window: records what the engine reports,
// answers its questions from settable functions, and writes the broken list
// to disk whenever a run leaves items behind. Tests and bench_engine use it.
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "client/engine/ClientSettings.h"
#include "client/engine/FtpManager.h"
#include "os/MessageLoop.h"

class HeadlessWindow : public TFtpManagerWindow {
public:
    TClientSettings settings;
    int state = 0;
    int done = 0, failed = 0;
    std::vector<std::string> log;
    std::vector<TTransferFileInfo> completed;
    std::vector<std::string> messages, questions;
    std::function<int(const std::string&)> fileExists = [](const std::string&) { return 0; };
    std::function<bool(const std::string&)> freeSpace = [](const std::string&) { return false; };
    // When set, runs are journalled there, and what a run leaves in the
    // queue is written there at once, as the program does in its folder.
    std::string brokenFile;
    // When set, the DateTime of the broken list being resumed.
    std::string resumedDateTime;
    // Runs once inside the next progress event (to act mid-transfer).
    std::function<void()> onProgress;
    bool echo = false;

    HeadlessWindow()
    {
        settings.ConnectionRetryTimes = 1;
        settings.PasvMode = true;
        settings.ConfirmFlags.Overwrite = false;
        settings.TransferType = 1;
        settings.SplitNum = 0;
    }

    void ClientDisplay(TObject* Sender, std::string& Msg) override
    {
        const std::string line = std::to_string(static_cast<TCustomFtpCli*>(Sender)->Tag()) + " " + Msg;
        if (echo) std::fprintf(stderr, "%s\n", line.c_str());
        log.push_back(line);
    }
    void ClientProgress(TObject* Sender, std::int64_t Count, bool& Abort) override
    {
        TFtpManagerWindow::ClientProgress(Sender, Count, Abort);
        if (onProgress) {
            auto f = std::move(onProgress);
            onProgress = nullptr;
            f();
        }
    }
    void OperationDone() override
    {
        ++done;
        KeepBroken();
    }
    void OperationFailed() override
    {
        ++failed;
        KeepBroken();
    }
    void ItemCompleted(const TTransferFileInfo& Item, int) override { completed.push_back(Item); }
    void SetRunItems(const std::vector<TTransferFileInfo>& Items) override { runItems = Items; }
    std::vector<TTransferFileInfo> runItems;
    void ShowMessage(const std::string& Text) override { messages.push_back(Text); }
    const TClientSettings& Settings() const override { return settings; }
    int SessionState() const override { return state; }
    int AskFileExists(const std::string& Text) override
    {
        questions.push_back(Text);
        return fileExists(Text);
    }
    bool AskFreeSpace(const std::string& Text) override
    {
        questions.push_back(Text);
        return freeSpace(Text);
    }
    void MoveQueueToBroken() override
    {
        if (!Manager || Manager->GetTransferQueue().empty()) return;
        auto q = Manager->TakeTransferQueue();
        broken.assign(q.begin(), q.end());
        if (!brokenFile.empty()) {
            // In the run's journal's place, as the window does.
            const std::string journal = Manager->GetRunListDateTime();
            TOldQuene list;
            list.DateTime = journal.empty() ? BrokenListDateTime() : journal;
            list.Host = Manager->GetHostInfo();
            list.Items = broken;
            StoreOldQuene(brokenFile, list, journal.empty() ? TOldQueneStore::New : TOldQueneStore::Replace);
        }
    }
    std::vector<TTransferFileInfo> broken;
    std::string BrokenListFile() const override { return brokenFile; }
    std::string BrokenListDateTime() const override
    {
        return resumedDateTime.empty() ? TFtpManagerWindow::BrokenListDateTime() : resumedDateTime;
    }

    // Starts an operation and waits for its end; true for OperationDone.
    bool Run(const std::function<void()>& start, int timeoutMs = 60000)
    {
        const int d = done, f = failed;
        start();
        os::MessageLoop::ForThisThread().WaitUntil([&] { return done + failed > d + f; }, timeoutMs);
        lastEnded = done + failed > d + f;
        return done > d;
    }
    bool lastEnded = false;

private:
    void KeepBroken()
    {
        if (state == 5 || state == 9) MoveQueueToBroken();
    }
};
