// The journal of a running queue: its writes and the sync passes behind them.
#include <algorithm>
#include <filesystem>

#include "client/engine/FtpManager.h"
#include "client/engine/FtpManagerInternal.h"

using namespace engine::detail;

// ---- the journal -------------------------------------------------------------------

void AppendBrokenList(const std::string& fileName, const TOldQuene& queue)
{
    // The save keeps every list the file already holds.
    std::vector<TOldQuene> lists{queue};
    SaveOldQuenes(fileName, lists, {});
}

std::vector<TTransferFileInfo> TFtpManager::UnfinishedItems() const
{
    std::vector<TTransferFileInfo> items;
    items.reserve(TransferQueue.size() + std::size_t(FClientCount));
    for (int i = 0; i < kMaxSlots; ++i)
        if (FSlots[i].Item) items.push_back(HeldItem(i));
    items.insert(items.end(), TransferQueue.begin(), TransferQueue.end());
    items.insert(items.end(), FHeldBack.begin(), FHeldBack.end());
    return items;
}

void TFtpManager::JournalIfDue()
{
    if (!FRunActive || !FJournal.Active()) return;
    // The syncs run between two writes; the write after a pass records
    // what that pass made durable, never more.
    if (FSync.Ready()) {
        TakeSyncPass();
        if (!FJournal.Write(JournalItems(UnfinishedItems()))) LogJournalError();
    } else if (FJournal.Due() && !FSync.Busy()) {
        StartSyncPass();
        if (!FSync.Busy() && !FJournal.Write(JournalItems(UnfinishedItems()))) LogJournalError();
    }
}

os::LRESULT TFtpManager::JournalMessage(os::UINT Msg)
{
    if (Msg != os::WM_TIMER && Msg != kJournalPassDone) return 0;
    try {
        JournalIfDue();
    } catch (const std::exception& e) {
        // A pass that could not run: what it held stays journalled as it was.
        Log(0, std::string("<ERROR>      Cannot keep the queue: ") + e.what());
    }
    return 0;
}

void TFtpManager::EndJournal(const std::vector<TTransferFileInfo>& left)
{
    os::KillTimer(FJournalWindow, kJournalTimer);
    if (FJournal.Active()) SyncAllNow();
    if (!FJournal.End(JournalItems(left))) LogJournalError();
}

std::string TFtpManager::PartKey(const TTransferFileInfo& item)
{
    return item.LocalPath + '\n' + std::to_string(item.EndPos);
}

TTransferFileInfo TFtpManager::DurableItem(TTransferFileInfo item) const
{
    if (!item.IsDownload) return item;
    const auto it = FDurablePos.find(PartKey(item));
    if (it != FDurablePos.end() && item.BeginPos > it->second) item.BeginPos = it->second;
    return item;
}

std::vector<TTransferFileInfo> TFtpManager::JournalItems(std::vector<TTransferFileInfo> items) const
{
    for (auto& item : items) item = DurableItem(std::move(item));
    for (const auto* finished : {&FUnsynced, &FSyncingFinished})
        for (const auto& f : *finished) items.push_back(DurableItem(f.Item));
    return items;
}

void TFtpManager::StartSyncPass()
{
    std::vector<TFileSync::TJob> jobs;
    FSyncRefs.clear();
    const auto folder = [](const std::string& path) { return std::filesystem::path(path).parent_path().string(); };
    // Open streams: a descriptor of their own, at the position taken now;
    // bytes written after it are left to the next pass.
    for (int i = 0; i < kMaxSlots; ++i) {
        const auto& s = FSlots[i];
        if (!s.Item || !s.Stream || !s.Item->IsDownload || s.Ascii) continue;
        const TTransferFileInfo held = HeldItem(i);
        if (held.BeginPos <= DurableItem(held).BeginPos) continue;
        const int fd = s.Stream->DupDescriptor();
        if (fd < 0) continue;
        jobs.push_back({fd, {}, {}, folder(held.LocalPath)});
        FSyncRefs.push_back({PartKey(held), held.BeginPos, false});
    }
    // Closed files (given back, finished) by name, a few at a time.
    for (const auto& g : FGivenBack) {
        jobs.push_back({-1, g.Path, g.Item.LocalPath, folder(g.Item.LocalPath)});
        FSyncRefs.push_back({PartKey(g.Item), g.Position, false});
    }
    FGivenBack.clear();
    FSyncingFinished = std::move(FUnsynced);
    FUnsynced.clear();
    for (const auto& f : FSyncingFinished) {
        jobs.push_back({-1, f.Path, f.Item.LocalPath, folder(f.Item.LocalPath)});
        FSyncRefs.push_back({{}, 0, true});
    }
    if (!jobs.empty())
        FSync.Start(std::move(jobs), [target = FJournalWindow] { os::PostMessage(target, kJournalPassDone, 0, 0); });
}

void TFtpManager::TakeSyncPass()
{
    const std::vector<bool> ok = FSync.Take();
    std::size_t finished = 0;
    for (std::size_t i = 0; i < FSyncRefs.size(); ++i) {
        const TSyncRef& r = FSyncRefs[i];
        const bool durable = i < ok.size() && ok[i];
        if (r.Finished) {
            // Not durable: it stays journalled, and is tried again.
            if (!durable) FUnsynced.push_back(std::move(FSyncingFinished[finished]));
            ++finished;
        } else if (durable) {
            auto& pos = FDurablePos[r.Key];
            pos = std::max(pos, r.Position);
        }
    }
    FSyncingFinished.clear();
    FSyncRefs.clear();
}

void TFtpManager::SyncAllNow()
{
    if (FSync.Busy()) TakeSyncPass();
    StartSyncPass();
    if (FSync.Busy()) TakeSyncPass();
}

void TFtpManager::LogJournalError()
{
    // Told once while it lasts: a full disk fails every write.
    if (FJournal.LastError() == FJournalError) return;
    FJournalError = FJournal.LastError();
    Log(0, "<ERROR>      Cannot keep the queue: " + FJournalError);
}
