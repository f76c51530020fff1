// Transfer runs: the start of a run and its end.
#include <fcntl.h>
#include <unistd.h>

#include <climits>

#include <algorithm>
#include <filesystem>
#include <map>

#include "client/engine/ClientSettings.h"
#include "client/engine/CommFunc.h"
#include "client/engine/FtpManager.h"
#include "client/engine/FtpManagerInternal.h"
#include "client/engine/LocalFiles.h"

using namespace engine::detail;

namespace {

bool MakeParentDirs(const std::string& path)
{
    const std::string parent = std::filesystem::path(path).parent_path().string();
    return parent.empty() || ForceLocalDirs(parent);
}

std::string Lower(std::string s)
{
    for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

} // namespace

std::string PartialFilePath(const std::string& localPath) { return localPath + ".skelwick-part"; }

bool FitsPartialName(const std::string& localPath)
{
    const std::size_t slash = localPath.rfind('/');
    const std::size_t name = localPath.size() - (slash == std::string::npos ? 0 : slash + 1);
    return name + PartialFilePath("").size() <= NAME_MAX && PartialFilePath(localPath).size() < PATH_MAX;
}

// ---- run start ---------------------------------------------------------------------

bool TFtpManager::IsAsciiName(const std::string& localName) const
{
    const TClientSettings& st = Window.Settings();
    if (st.TransferType == 0) return true;
    if (st.TransferType == 1) return false;
    const std::string name = std::filesystem::path(localName).filename().string();
    if (name.find('.') == std::string::npos) return false;
    const std::string ext = Lower(ExtractExtension(name));
    for (std::string e : st.TextExtList) {
        if (!e.empty() && e[0] == '.') e.erase(0, 1);
        if (Lower(e) == ext) return true;
    }
    return false;
}

bool TFtpManager::SelectTransferType(const std::string& localName, int slot)
{
    TFtpClient* c = Client(slot);
    return c && SetSlotTransferType(*c, !IsAsciiName(localName));
}

std::int64_t TFtpManager::ItemBytes(const TTransferFileInfo& item) const
{
    if (item.BeginPos == -1) return item.FileSize;
    // Of a file of unknown size (EndPos 0) nothing is known to be left.
    return item.EndPos > 0 ? item.EndPos - item.BeginPos : 0;
}

bool TFtpManager::IsLastPart(const TTransferFileInfo& item) const
{
    return item.BeginPos == -1 || item.EndPos <= 0 || item.EndPos >= item.FileSize;
}

bool TFtpManager::AllSlotsIdle() const
{
    return std::none_of(FSlots.begin(), FSlots.end(), [](const TSlot& s) { return s.Item.has_value(); });
}

std::optional<TTransferFileInfo> TFtpManager::NextQueueItem(int slot)
{
    if (TransferQueue.empty()) return std::nullopt;
    TTransferFileInfo item = std::move(TransferQueue.front());
    TransferQueue.pop_front();
    Window.ShowSlotItem(item, slot);
    return item;
}

std::deque<TTransferFileInfo> TFtpManager::TakeTransferQueue()
{
    std::deque<TTransferFileInfo> q;
    q.swap(TransferQueue);
    return q;
}

void TFtpManager::SplitDownloads()
{
    if (!RestSupported) return;
    const TClientSettings& st = Window.Settings();
    const std::int64_t k = st.SplitNum != 0 ? st.SplitNum : FClientCount;
    if (k < 2) return;
    std::deque<TTransferFileInfo> out;
    for (auto& item : TransferQueue) {
        // ASCII changes line ends, so positions in it mean nothing to a restart.
        const bool whole = item.BeginPos <= 0 && item.EndPos == item.FileSize;
        if (!item.IsDownload || !whole || item.FileSize <= SplitFileSize || IsAsciiName(item.LocalPath)) {
            out.push_back(std::move(item));
            continue;
        }
        // No part may be empty: an EndPos of 0 would mean "the whole file".
        const std::int64_t parts = std::min<std::int64_t>(k, item.FileSize);
        const std::int64_t v = item.FileSize / parts;
        for (std::int64_t g = 0; g < parts; ++g) {
            TTransferFileInfo part = item;
            part.BeginPos = g * v;
            part.EndPos = g == parts - 1 ? item.FileSize : (g + 1) * v;
            out.push_back(std::move(part));
        }
        FFreshSplitPaths.insert(item.LocalPath);
    }
    TransferQueue.swap(out);
}

void TFtpManager::SmartResume(const std::string& localPath)
{
    const int fd = ::open(localPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    const std::int64_t size = GetLocalFileSize(localPath);
    for (auto it = TransferQueue.begin(); it != TransferQueue.end();) {
        if (it->LocalPath != localPath) {
            ++it;
            continue;
        }
        const std::int64_t begin = std::max<std::int64_t>(it->BeginPos, 0);
        if (size < begin) {
            ++it;
            continue;
        }
        const std::int64_t end = it->EndPos > 0 ? std::min(it->EndPos, size) : size;
        bool zeroFound = false;
        char block[1024];
        for (std::int64_t p = begin; p < end; p += 1024) {
            const ssize_t n = ::pread(fd, block, static_cast<std::size_t>(std::min<std::int64_t>(1024, end - p)), p);
            if (n <= 0) break;
            if (std::all_of(block, block + n, [](char c) { return c == 0; })) {
                it->BeginPos = std::max<std::int64_t>(p - 1024, 0);
                zeroFound = true;
                break;
            }
        }
        if (!zeroFound) {
            if (size == end) it->BeginPos = size;
            else {
                it = TransferQueue.erase(it);
                continue;
            }
        }
        ++it;
    }
    ::close(fd);
}

void TFtpManager::StartTransfer(std::vector<TTransferFileInfo> queue, int mode)
{
    ResetRun(std::move(queue));
    if (TransferQueue.empty()) {
        EndEmptyRun(mode);
        return;
    }
    ResetRunSlots();
    if (mode == 0 && Window.Settings().EnableSplitDownload) SplitDownloads();
    // Asked first, changed later: nothing on disk changes for a run that
    // does not start.
    if (!AskAboutExistingFiles(mode)) return;
    FetchAgainWhereBytesAreGone(mode);
    CountRunTotal();
    if (!EnsureFreeSpace(mode)) return;
    if (!PreparePartialFiles(mode)) return;
    BeginRunJournal(mode);
    HandOutFirstItems();
}

void TFtpManager::ResetRun(std::vector<TTransferFileInfo> queue)
{
    const TClientSettings& st = Window.Settings();
    if (Window.SessionState() == ssTransfering && !st.SoundFiles[2].empty()) Window.PlaySoundFile(st.SoundFiles[2]);
    FFailedItems.clear();
    FHeldBack.clear();
    FRunItemsLeft = false;
    FRunLastFailure.clear();
    FRunFailure.clear();
    // A run that does not start has no list of its own in the file.
    FJournal = TQueueJournal{};
    if (FSync.Busy()) FSync.Take();
    FDurablePos.clear();
    FUnsynced.clear();
    FGivenBack.clear();
    FSyncingFinished.clear();
    FSyncRefs.clear();
    TransferQueue.assign(queue.begin(), queue.end());
}

void TFtpManager::EndEmptyRun(int mode)
{
    // A resumed list with nothing in it is finished: it leaves the file.
    if (mode == 1) {
        FJournal.Begin(Window.BrokenListFile(), Window.BrokenListDateTime(), CurrentHost, true, {});
        EndJournal({});
    }
    Window.OperationDone();
}

void TFtpManager::ResetRunSlots()
{
    AbortPending = false;
    UserAborted = false;
    RunDone = 0;
    FFreshSplitPaths.clear();
    for (auto& s : FSlots) {
        s.Position = 0;
        s.Retired = false;
        s.Failures = 0;
        s.Draining = false;
    }
    FItemFaults.clear();
}

bool TFtpManager::AskAboutExistingFiles(int mode)
{
    if (!Window.Settings().ConfirmFlags.Overwrite || mode == 1 || Window.SessionState() == ssEditView) return true;
    std::string lastAnswered;
    int forAll = -1;
    for (std::size_t i = 0; i < TransferQueue.size();) {
        const TTransferFileInfo& item = TransferQueue[i];
        if (!item.IsDownload || item.LocalPath == lastAnswered || GetLocalFileSize(item.LocalPath) < 0) {
            ++i;
            continue;
        }
        const std::string path = item.LocalPath;
        lastAnswered = path;
        const int answer = forAll >= 0 ? forAll : Window.AskFileExists("This local file exists!\r\n" + path);
        switch (answer) {
        case 0:
        case 1:
            if (::access(path.c_str(), W_OK) != 0) {
                Window.ShowMessage("Local file can't access!");
                TransferQueue.clear();
                Window.OperationFailed();
                return false;
            }
            if (answer == 1) forAll = 0;
            ++i;
            break;
        case 4:
        case 5:
            SmartResume(path);
            FFreshSplitPaths.erase(path);
            if (answer == 5) forAll = 4;
            break; // the same index is looked at again: it is skipped as answered
        default:
            // Skip (the dialog's close box too): every part of the file
            // goes, and the file stays as it is.
            std::erase_if(TransferQueue, [&](const TTransferFileInfo& t) { return t.LocalPath == path; });
            FFreshSplitPaths.erase(path);
            if (answer == 3) forAll = 2;
            break;
        }
    }
    if (TransferQueue.empty()) {
        Window.OperationDone();
        return false;
    }
    return true;
}

void TFtpManager::CountRunTotal()
{
    RunTotal = 0;
    for (const auto& item : TransferQueue) RunTotal += ItemBytes(item);
}

bool TFtpManager::EnsureFreeSpace(int mode)
{
    if (mode != 0) return true;
    std::int64_t need = 0;
    std::string firstDownload;
    for (const auto& item : TransferQueue) {
        if (!item.IsDownload) continue;
        need += ItemBytes(item);
        if (firstDownload.empty()) firstDownload = item.LocalPath;
    }
    if (firstDownload.empty()) return true;
    // The folder the file goes into (or the nearest one that exists):
    // the file's own name may be one no call takes.
    const std::string folder = firstDownload.substr(0, firstDownload.rfind('/') + 1);
    for (;;) {
        const auto free = TryGetDiskFree(folder.empty() ? "." : folder);
        if (!free) {
            Log(0, "Free space of " + ShownName(folder) + " unknown: not checked");
            return true;
        }
        if (*free >= need) return true;
        if (!Window.AskFreeSpace("Disk free space not enough !\rNeed space = " + FormatSize(need) +
                                 "\rWe have free space = " + FormatSize(*free) +
                                 "\rPlease free some space then click Yes or click No for cancelling")) {
            // Cancelled, as by an abort: nothing moved, the items stay
            // queued for the broken lists, and no run reads as complete.
            Log(0, "Transfer cancelled: not enough free space");
            UserAborted = true;
            Window.OperationFailed();
            return false;
        }
    }
}

bool TFtpManager::PreparePartialFiles(int mode)
{
    // A split file is written under its partial name until every part has
    // landed: a crash never leaves its holes under the file's own name. A
    // split file that is not resumed starts empty there. A resumed part goes
    // on in the file its earlier parts were written to; the items say which,
    // so a list made of them says it too.
    FPartialPaths.clear();
    for (const auto& item : TransferQueue)
        if (item.IsDownload && !(IsLastPart(item) && item.BeginPos <= 0) && WrittenInPartialFile(item.LocalPath, mode))
            FPartialPaths.insert(item.LocalPath);
    for (auto& item : TransferQueue) item.InPartialFile = item.IsDownload && FPartialPaths.count(item.LocalPath) != 0;
    for (const auto& name : FFreshSplitPaths) {
        const std::string path = WritePath(name);
        MakeParentDirs(path);
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) {
            Window.ShowMessage("Local file can't access!");
            TransferQueue.clear();
            Window.OperationFailed();
            return false;
        }
        ::close(fd);
    }
    return true;
}

void TFtpManager::BeginRunJournal(int mode)
{
    // From here on the run's queue is on disk: a crash leaves it behind as
    // a broken list. A resumed list is replaced by it.
    FJournalError.clear();
    // Bytes before a run's positions were durable when they were recorded.
    for (const auto& item : TransferQueue)
        if (item.IsDownload) FDurablePos.emplace(PartKey(item), item.BeginPos);
    if (!FJournal.Begin(Window.BrokenListFile(), Window.BrokenListDateTime(), CurrentHost, mode == 1,
                        std::vector<TTransferFileInfo>(TransferQueue.begin(), TransferQueue.end())))
        LogJournalError();
    if (FJournal.Active())
        os::SetTimer(FJournalWindow, kJournalTimer, static_cast<os::UINT>(TQueueJournal::kInterval.count()));
}

void TFtpManager::HandOutFirstItems()
{
    Window.SetRunItems(std::vector<TTransferFileInfo>(TransferQueue.begin(), TransferQueue.end()));
    ProgressTicks = 0;
    Window.SetProgressTimer(true);
    Window.SetGauge(0);
    Window.SetGaugeVisible(true);
    for (auto& s : FSlots) s.Item.reset();
    FRunActive = true;
    FHandingOut = true;
    for (int i = 0; i < FClientCount && FRunActive; ++i)
        if (!TakeQueueItem(i)) break;
    FHandingOut = false;
    CheckRunEnd();
}

bool TFtpManager::WrittenInPartialFile(const std::string& localPath, int mode) const
{
    if (!FitsPartialName(localPath)) return false;
    if (FFreshSplitPaths.count(localPath)) return true;
    bool split = false;
    std::size_t parts = 0;
    for (const auto& item : TransferQueue) {
        if (item.LocalPath != localPath || !item.IsDownload) continue;
        if (item.InPartialFile) return true;
        split = split || !IsLastPart(item);
        ++parts;
    }
    // A list that does not say (made before its items did): a file it
    // splits was written under the partial name, the rest of a whole file
    // under its own.
    return mode == 1 && (split || parts > 1);
}

std::int64_t TFtpManager::ResumedFileSize(const std::string& localPath, int mode) const
{
    return GetLocalFileSize(WrittenInPartialFile(localPath, mode) ? PartialFilePath(localPath) : localPath);
}

void TFtpManager::FetchAgainWhereBytesAreGone(int mode)
{
    // A restart position promises that the bytes before it are on disk, or
    // come with another part still queued. When the file is gone or shorter
    // (moved, deleted, cut), going on there would leave zeros under a name
    // that looks complete: the whole file comes again from its start.
    std::map<std::string, std::vector<std::pair<std::int64_t, std::int64_t>>> parts;
    for (const auto& item : TransferQueue) {
        if (!item.IsDownload || IsAsciiName(item.LocalPath) || FFreshSplitPaths.count(item.LocalPath)) continue;
        parts[item.LocalPath].emplace_back(std::max<std::int64_t>(item.BeginPos, 0),
                                           item.EndPos > 0 ? item.EndPos : INT64_MAX);
    }
    std::vector<std::string> gone;
    for (auto& [path, spans] : parts) {
        std::sort(spans.begin(), spans.end());
        if (spans.back().first == 0) continue; // every part starts at 0: nothing to go on from
        const std::int64_t have = ResumedFileSize(path, mode);
        std::int64_t covered = std::max<std::int64_t>(have, 0);
        std::int64_t hole = -1;
        for (const auto& [begin, end] : spans) {
            if (begin > covered) {
                hole = begin;
                break;
            }
            covered = std::max(covered, end);
        }
        if (hole < 0) continue;
        gone.push_back(path);
        Log(0, "Local file " + ShownName(path) + (have < 0 ? " is gone" : " holds " + std::to_string(have) + " bytes") +
                   ", not the bytes before " + std::to_string(hole) + " to resume from: fetched again from 0");
    }
    for (const auto& path : gone) {
        const auto first = std::find_if(TransferQueue.begin(), TransferQueue.end(),
                                        [&](const TTransferFileInfo& t) { return t.LocalPath == path; });
        TTransferFileInfo whole = *first;
        whole.BeginPos = 0;
        whole.EndPos = whole.FileSize > 0 ? whole.FileSize : 0;
        whole.InPartialFile = false;
        const auto at = first - TransferQueue.begin();
        std::erase_if(TransferQueue, [&](const TTransferFileInfo& t) { return t.LocalPath == path; });
        TransferQueue.insert(TransferQueue.begin() + at, std::move(whole));
        // Its old partial file holds nothing the new fetch goes on from.
        if (FitsPartialName(path)) ::unlink(PartialFilePath(path).c_str());
    }
}

void TFtpManager::CheckRunEnd()
{
    if (!FRunActive || FHandingOut || !AllSlotsIdle()) return;
    // Idle slots that can still work take what came back to the queue; a
    // slot still logging in may yet carry it.
    if (!TransferQueue.empty() && !AbortPending) {
        HandToIdleSlots();
        if (!AllSlotsIdle() || OpeningSlots() > 0) return;
    }
    // The browsing connection logging in again (its session was lost during
    // the run) is not cut off: what the window does next needs its session,
    // and its own end, logged in or failed, ends the run.
    if (FSlots[0].Opening && !AbortPending) return;
    // A session still waiting for the end of a finished part's RETR is
    // left to it: the window may use it next.
    if (std::any_of(FSlots.begin(), FSlots.end(), [](const TSlot& s) { return s.Draining; })) return;
    EndRun(!TransferQueue.empty() || AbortPending);
}

void TFtpManager::EndRun(bool failed)
{
    // Items the run did not get to; those that failed alone are named in
    // its report instead.
    FRunItemsLeft = !TransferQueue.empty();
    // What failed alone but may be mended goes to the broken list with the rest.
    for (auto& item : FHeldBack) TransferQueue.push_back(std::move(item));
    FHeldBack.clear();
    failed = failed || !FFailedItems.empty();
    StopOpeningSlots();
    // Complete: the list leaves the file; else what is left stays in it,
    // before the window hears of the end.
    EndJournal(std::vector<TTransferFileInfo>(TransferQueue.begin(), TransferQueue.end()));
    FRunActive = false;
    AbortPending = false;
    Window.SetProgressTimer(false);
    for (int i = 1; i < kMaxSlots; ++i) FSlots[i].State = TSlotState::Idle;
    FSlots[0].State = TSlotState::Login;
    // Until slot 0 starts anything else, the run's failure is the reply
    // that failed it, not whatever slot 0 heard last.
    FRunFailure = FRunItemsLeft && !UserAborted ? FRunLastFailure : std::string();
    if (failed) {
        if (!UserAborted) {
            Window.DrawAttention();
            Window.ShowMessage("DOWNLOAD FAILED ! Check status to see more information");
        }
        Window.OperationFailed();
    } else {
        Window.OperationDone();
    }
}
