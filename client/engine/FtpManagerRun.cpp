// Transfer runs: the start of a run and the slots that carry its items.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <map>

#include "client/engine/ClientSettings.h"
#include "client/engine/CommFunc.h"
#include "client/engine/FtpManager.h"
#include "client/engine/LocalFiles.h"

namespace {

// The journal's timer, and the message a sync pass sends when it is over.
constexpr std::uintptr_t kJournalTimer = 1;
constexpr os::UINT kJournalPassDone = os::WM_USER + 1;

bool IsReadyState(TFtpClientState s) { return s == csReady || s == csStepDone; }

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
    const TClientSettings& st = Window.Settings();
    if (Window.SessionState() == 5 && !st.SoundFiles[2].empty()) Window.PlaySoundFile(st.SoundFiles[2]);
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
    if (TransferQueue.empty()) {
        // A resumed list with nothing in it is finished: it leaves the file.
        if (mode == 1) {
            FJournal.Begin(Window.BrokenListFile(), Window.BrokenListDateTime(), CurrentHost, true, {});
            EndJournal({});
        }
        Window.OperationDone();
        return;
    }
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
    if (mode == 0 && st.EnableSplitDownload) SplitDownloads();

    // Asked first, changed later: nothing on disk changes for a run that
    // does not start.
    if (st.ConfirmFlags.Overwrite && mode != 1 && Window.SessionState() != 9) {
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
                    return;
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
            return;
        }
    }

    FetchAgainWhereBytesAreGone(mode);

    RunTotal = 0;
    std::int64_t need = 0;
    std::string firstDownload;
    for (const auto& item : TransferQueue) {
        RunTotal += ItemBytes(item);
        if (item.IsDownload) {
            need += ItemBytes(item);
            if (firstDownload.empty()) firstDownload = item.LocalPath;
        }
    }
    if (mode == 0 && !firstDownload.empty()) {
        // The folder the file goes into (or the nearest one that exists):
        // the file's own name may be one no call takes.
        const std::string folder = firstDownload.substr(0, firstDownload.rfind('/') + 1);
        for (;;) {
            const auto free = TryGetDiskFree(folder.empty() ? "." : folder);
            if (!free) {
                Log(0, "Free space of " + ShownName(folder) + " unknown: not checked");
                break;
            }
            if (*free >= need) break;
            if (!Window.AskFreeSpace("Disk free space not enough !\rNeed space = " + FormatSize(need) +
                                     "\rWe have free space = " + FormatSize(*free) +
                                     "\rPlease free some space then click Yes or click No for cancelling")) {
                // Cancelled, as by an abort: nothing moved, the items stay
                // queued for the broken lists, and no run reads as complete.
                Log(0, "Transfer cancelled: not enough free space");
                UserAborted = true;
                Window.OperationFailed();
                return;
            }
        }
    }

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
            return;
        }
        ::close(fd);
    }

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

// ---- slots -------------------------------------------------------------------------

std::string TFtpManager::RefusedItemReason(const TTransferFileInfo& item) const
{
    // A control character would end or change the command line it goes out
    // in: "RETR a\0b" reaches the server as "RETR a", another file.
    if (HasControlChar(item.HostPath)) return "Refused remote name " + ShownName(item.HostPath);
    if (item.LocalPath.find('\0') != std::string::npos) return "Refused local name " + ShownName(item.LocalPath);
    return {};
}

bool TFtpManager::TakeQueueItem(int slot)
{
    auto& s = FSlots[slot];
    if (s.Opening || s.Draining) return false;
    if (!s.Client->HasSession() || !IsReadyState(s.Client->ClientState())) {
        // A slot logs in before it takes an item: one whose peer never
        // greets holds nothing the others could carry meanwhile. No more
        // slots log in than there are items waiting.
        if (TransferQueue.empty() || OpeningSlots() >= TransferQueue.size()) return false;
        s.Opening = true;
        OpenSlot(slot);
        return true;
    }
    auto item = NextQueueItem(slot);
    // Items no command can carry fail here, one after the other, without
    // a slot.
    for (std::string why; item && !(why = RefusedItemReason(*item)).empty(); item = NextQueueItem(slot)) {
        Log(slot, why);
        FFailedItems.push_back({*item, why});
        Window.UnmarkSlotItem(slot);
    }
    if (!item) return false;
    // The last item's stream says nothing of this one's bytes.
    s.Client->AttachStream(nullptr);
    s.Stream.reset();
    s.Item = std::move(item);
    s.Serial = ++FItemSerial;
    s.Position = std::max<std::int64_t>(s.Item->BeginPos, 0);
    s.State = 3;
    StartSlotItem(slot);
    return true;
}

std::size_t TFtpManager::OpeningSlots() const
{
    return static_cast<std::size_t>(
        std::count_if(FSlots.begin(), FSlots.begin() + FClientCount, [](const TSlot& s) { return s.Opening; }));
}

void TFtpManager::StopOpeningSlots()
{
    for (auto& s : FSlots) {
        if (!s.Opening && !s.Draining) continue;
        s.Opening = false;
        s.Draining = false;
        s.Outstanding = rqNone;
        if (s.Client && !IsReadyState(s.Client->ClientState())) s.Client->AbortRequest();
    }
}

void TFtpManager::OpenSlot(int slot)
{
    auto& s = FSlots[slot];
    TFtpClient& c = *s.Client;
    c.SetHostName(CurrentHost.HostName);
    c.SetPort(CurrentHost.HostPort.empty() ? "21" : CurrentHost.HostPort);
    c.SetUserName(CurrentHost.UserName);
    c.SetPassWord(CurrentHost.PassWord);
    s.State = 3;
    s.Binary = -1;
    SetupConnection(slot);
    Start(slot, rqOpen, &TCustomFtpCli::StartOpen);
}

void TFtpManager::StartSlotItem(int slot)
{
    auto& s = FSlots[slot];
    TFtpClient& c = *s.Client;
    const bool binary = !IsAsciiName(s.Item->LocalPath);
    if (s.Binary == (binary ? 1 : 0)) {
        StartSlotTransfer(slot);
        return;
    }
    // The TYPE goes out as a request of its own, not a blocking call: a wait
    // here would run other slots' events underneath this one.
    s.Binary = -1;
    c.SetBinary(binary);
    Start(slot, rqType, &TCustomFtpCli::SendType);
}

void TFtpManager::StartSlotTransfer(int slot)
{
    auto& s = FSlots[slot];
    TFtpClient& c = *s.Client;
    const TTransferFileInfo item = *s.Item;
    c.SetHostFileName(item.HostPath);
    const bool ascii = IsAsciiName(item.LocalPath);
    s.StoppedPastEnd = false;
    s.Ascii = ascii;
    if (item.IsDownload) {
        const std::int64_t start = ascii ? 0 : std::max<std::int64_t>(item.BeginPos, 0);
        const bool whole = IsLastPart(item) && item.BeginPos <= 0;
        // A whole file written from its start begins empty: no old tail.
        // The file is made while the commands go out; a file that cannot
        // be made fails the item when its first bytes land.
        s.Stream = std::make_unique<TSlotFileStream>(WritePath(item.LocalPath), true, start,
                                                     start == 0 && (whole || ascii));
        s.Position = start;
    } else {
        s.Stream = std::make_unique<TSlotFileStream>(item.LocalPath, false, 0, false);
        s.UploadSize = GetLocalFileSize(item.LocalPath);
        s.Position = 0;
        if (!s.Stream->Opened()) {
            FailItemAlone(slot, "Cannot open local file " + ShownName(item.LocalPath) + ": " +
                                    std::strerror(s.Stream->LastError()), true);
            return;
        }
    }
    c.AttachStream(s.Stream.get());
    if (item.IsDownload) {
        // REST only for a real restart position: "REST 0" is refused by some
        // servers in ASCII and means nothing anyway.
        c.SetResumePosition(s.Position > 0 ? s.Position : -1);
        Start(slot, rqResumeDownload, &TCustomFtpCli::ChainResumeDownload);
    } else {
        c.SetResumePosition(0);
        Start(slot, rqStore, &TCustomFtpCli::ChainUpload);
    }
}

void TFtpManager::TransferStep(int slot, TFtpRequest request, int error)
{
    auto& s = FSlots[slot];
    if (s.Draining) {
        // The end of a part finished before: the session is free again.
        if (request != rqResumeDownload) return;
        s.Draining = false;
        if (!AbortPending) SlotGoesOn(slot);
        return;
    }
    if (AbortPending || (!s.Item && !s.Opening)) return;
    TFtpClient& c = *s.Client;
    if (error != 0 && (request == rqUser || request == rqPass) &&
        (c.ReplyCode() == 220 || c.ReplyCode() == 331) && c.ConnectionType() == ftpProxy)
        error = 0;
    switch (request) {
    case rqOpen:
    case rqUser:
    case rqPass:
        if (error != 0) {
            // Another slot may log in where this one could not, or this one
            // on a new connection.
            Log(slot, "Server Connection Failed.");
            Window.ShowSlotFailed(slot);
            FRunLastFailure = RequestOutcome(slot);
            if (!IsReadyState(c.ClientState()) || c.HasSession()) c.AbortRequest();
            s.Opening = false;
            FailSlotItem(slot, KeepsFailing(slot, false), true);
            return;
        }
        if (request == rqOpen) Start(slot, rqUser, &TCustomFtpCli::SendUser);
        else if (request == rqUser && c.ReplyCode() != 230) Start(slot, rqPass, &TCustomFtpCli::SendPass);
        else {
            s.Opening = false;
            SlotGoesOn(slot);
        }
        return;
    case rqType:
        if (error != 0) {
            Log(slot, "TYPE refused: " + c.ReplyText());
            if (ServerRefused(slot, error)) {
                FileFailed(slot, "Transfer of " + s.Item->HostPath + " failed: " + c.ReplyText());
            } else {
                FRunLastFailure = RequestOutcome(slot);
                FailSlotItem(slot, KeepsFailing(slot, false), false);
            }
            return;
        }
        s.Binary = c.Binary() ? 1 : 0;
        StartSlotTransfer(slot);
        return;
    case rqResumeDownload:
    case rqStore: FinishSlotItem(slot, error); return;
    default: return;
    }
}

std::int64_t TFtpManager::WrittenPosition(int slot) const
{
    const auto& s = FSlots[slot];
    return s.Stream ? s.Stream->Reached() : s.Position;
}

void TFtpManager::FreezeStream(int slot)
{
    auto& s = FSlots[slot];
    if (s.Client) s.Client->AttachStream(nullptr);
    if (s.Stream && !s.Stream->Freeze()) Log(slot, "Error writing local file");
}

void TFtpManager::FinishSlotItem(int slot, int error)
{
    auto& s = FSlots[slot];
    TFtpClient& c = *s.Client;
    const TTransferFileInfo item = *s.Item;
    const bool ascii = IsAsciiName(item.LocalPath);
    FreezeStream(slot);
    const std::int64_t reached = WrittenPosition(slot);
    const bool localFailed = s.Stream && s.Stream->Failed();
    if (item.IsDownload && s.Stream && !s.Stream->Opened()) {
        // The file cannot be made: this item fails, the others go on. A name
        // the file system cannot hold never will be; other causes (a folder
        // in the way, no permission) the user may mend and resume.
        const int e = s.Stream->LastError();
        const bool never = e == ENAMETOOLONG || e == EILSEQ || e == EINVAL;
        FailItemAlone(slot, "Cannot open local file " + ShownName(item.LocalPath) + ": " + std::strerror(e), !never);
        return;
    }
    bool complete;
    if (item.IsDownload) {
        // The engine's own stop past the end of a part is no error; anything
        // short of the part's end is not complete, whatever the server said.
        // A file of unknown size (EndPos 0) has no end to reach: only the
        // server's clean end completes it (its final reply, and the data
        // connection closed without error: error 0).
        const bool ended = error == 0 || (item.EndPos > 0 && s.StoppedPastEnd);
        complete = ended && !localFailed && (ascii || item.EndPos <= 0 || reached >= item.EndPos);
    } else {
        complete = error == 0 && !localFailed && reached >= s.UploadSize;
    }
    const std::string writtenTo = WritePath(item.LocalPath);
    // The last part of a file opened over what it held ends the file where
    // the server's ended: nothing of an older or longer file stays behind.
    if (complete && item.IsDownload && !ascii && IsLastPart(item) && item.BeginPos > 0 &&
        ::truncate(writtenTo.c_str(), reached) != 0) {
        FailItemAlone(slot, "Cannot cut the local file " + ShownName(writtenTo) + " to " + std::to_string(reached) +
                                " bytes: " + std::strerror(errno), true);
        return;
    }
    if (complete && item.IsDownload && !TakeFileName(item.LocalPath, slot)) {
        FailItemAlone(slot, "Cannot name the local file " + ShownName(item.LocalPath) + ": " + std::strerror(errno),
                      true);
        return;
    }
    if (complete) {
        s.Failures = 0;
        if (item.IsDownload && FJournal.Active()) FUnsynced.push_back({item, writtenTo, 0});
        RunDone += ItemBytes(item);
        Window.ItemCompleted(item, slot);
        s.Item.reset();
        FJournal.Changed();
        JournalIfDue();
        SlotGoesOn(slot);
        return;
    }
    Log(slot, "Transfer of " + item.HostPath + " stopped at " + std::to_string(reached) + ": " + c.ErrorMessage());
    // A store the server refused ends the run: every other would be refused
    // too. A connection that failed under it is retried as a download is.
    if (!item.IsDownload) {
        FRunLastFailure = RequestOutcome(slot);
        if (ServerRefused(slot, error)) StoreFailed(slot);
        else FailSlotItem(slot, KeepsFailing(slot, false) || localFailed, false);
        return;
    }
    const std::int64_t start = ascii ? 0 : std::max<std::int64_t>(item.BeginPos, 0);
    const bool moved = reached > start;
    if (s.Stream) s.Stream->DiscardIfUntouched();
    // A download whose restart position moved on may go on from there, on
    // this session or a new one. A refusal of this file, or its bytes
    // without the end confirmed, is the file's fault: it is tried again
    // elsewhere and fails alone, the slot goes on. Only the connection's
    // own failures (lost, silent before any byte) count against the slot,
    // which is retired when they repeat, so a fault that repeats cannot
    // loop. A local file that fails will fail on any slot.
    const bool progress = HeldItem(slot).BeginPos > std::max<std::int64_t>(item.BeginPos, 0);
    if (!progress && !localFailed && (moved || ServerRefused(slot, error))) {
        FileFailed(slot, "Transfer of " + item.HostPath + " failed: " +
                             (ServerRefused(slot, error) ? c.ReplyText() : c.ErrorMessage() + " after " +
                                                                                std::to_string(reached - start) + " bytes"));
        return;
    }
    FRunLastFailure = RequestOutcome(slot);
    FailSlotItem(slot, KeepsFailing(slot, progress) || localFailed, false);
}

bool TFtpManager::ServerRefused(int slot, int error) const
{
    const auto& s = FSlots[slot];
    // 425: the data connection did not open, a fault of the connection.
    return s.Client->HasSession() && error >= 400 && error < 600 && error != 425 && !s.ClientEnded;
}

void TFtpManager::FileFailed(int slot, const std::string& reason)
{
    auto& s = FSlots[slot];
    if (++FItemFaults[PartKey(*s.Item)] >= 2) {
        FailItemAlone(slot, reason, true);
        return;
    }
    Log(slot, reason + ": tried again");
    FailSlotItem(slot, false, false);
}

void TFtpManager::StoreFailed(int slot)
{
    // Every item goes back and the run ends with its broken list; the other
    // slots are stopped first, so each gives back what it really moved, and
    // none takes anything more.
    for (int i = 0; i < FClientCount; ++i) FSlots[i].Retired = true;
    for (int i = 0; i < FClientCount; ++i) {
        auto& o = FSlots[i];
        if (!o.Client) continue;
        if (i != slot && (o.Item || o.Opening || o.Draining)) {
            o.Outstanding = rqNone;
            if (!IsReadyState(o.Client->ClientState())) o.Client->AbortRequest();
        }
        o.Draining = false;
        if (o.Item) ReturnSlotItem(i);
        if (i != 0) o.State = 0;
    }
    StopOpeningSlots();
    CheckRunEnd();
}

void TFtpManager::CheckPartEnd(int slot, std::uint64_t serial)
{
    auto& s = FSlots[slot];
    s.EndCheckPosted = false;
    if (!FRunActive || AbortPending || s.Draining || !s.Item || s.Serial != serial || s.State != 3 || !s.Client ||
        !s.Stream)
        return;
    const TTransferFileInfo item = *s.Item;
    TFtpClient& c = *s.Client;
    if (!item.IsDownload || IsLastPart(item) || s.Ascii || IsReadyState(c.ClientState()) ||
        c.CurrentRequest() != rqResumeDownload)
        return;
    if (std::max<std::int64_t>(item.BeginPos, 0) + c.TransferredBytes() < item.EndPos) return;
    s.StoppedPastEnd = true;
    // Closing the data connection writes what the client holds.
    if (TAsyncSocket* data = c.TransferSocket(); data && data->State() != wsClosed) {
        try {
            data->CloseSession();
        } catch (...) {
        }
    }
    if (!s.Item || s.Serial != serial || s.Stream->Reached() < item.EndPos) return;
    s.Draining = true;
    FinishSlotItem(slot, 0);
}

bool TFtpManager::KeepsFailing(int slot, bool progress)
{
    auto& s = FSlots[slot];
    if (progress) {
        s.Failures = 0;
        return false;
    }
    return ++s.Failures >= std::max(Window.Settings().ConnectionRetryTimes, 1);
}

void TFtpManager::FailSlotItem(int slot, bool retire, bool toFront)
{
    auto& s = FSlots[slot];
    if (retire) s.Retired = true;
    if (!s.Item) {
        // A login that failed: there is no item to give back.
    } else if (toFront) {
        FreezeStream(slot);
        TransferQueue.push_front(*s.Item);
        s.Item.reset();
        Window.UnmarkSlotItem(slot);
    } else {
        ReturnSlotItem(slot);
    }
    if (slot != 0) s.State = 0;
    HandToIdleSlots();
    CheckRunEnd();
}

void TFtpManager::FailItemAlone(int slot, const std::string& reason, bool keep)
{
    auto& s = FSlots[slot];
    FreezeStream(slot);
    if (s.Item->IsDownload && s.Stream) s.Stream->DiscardIfUntouched();
    Log(slot, reason);
    FFailedItems.push_back({*s.Item, reason});
    if (keep) FHeldBack.push_back(*s.Item);
    s.Item.reset();
    Window.UnmarkSlotItem(slot);
    SlotGoesOn(slot);
}

void TFtpManager::ReturnSlotItem(int slot)
{
    auto& s = FSlots[slot];
    if (!s.Item) return;
    FreezeStream(slot);
    TTransferFileInfo held = HeldItem(slot);
    if (held.IsDownload && FJournal.Active() && held.BeginPos > DurableItem(held).BeginPos)
        FGivenBack.push_back({held, WritePath(held.LocalPath), held.BeginPos});
    TransferQueue.push_back(std::move(held));
    s.Item.reset();
    FJournal.Changed();
    Window.UnmarkSlotItem(slot);
}

TTransferFileInfo TFtpManager::HeldItem(int slot) const
{
    const auto& s = FSlots[slot];
    TTransferFileInfo item = *s.Item;
    if (!s.Stream || !item.IsDownload || s.Ascii) return item;
    // The position on disk, not the one received: the write-behind buffer
    // may not have landed.
    const std::int64_t pos = s.Stream->Reached();
    const std::int64_t begin = std::max<std::int64_t>(item.BeginPos, 0);
    if (pos > begin && (item.EndPos <= 0 || pos < item.EndPos)) item.BeginPos = pos;
    return item;
}

std::string TFtpManager::WritePath(const std::string& localPath) const
{
    return FPartialPaths.count(localPath) ? PartialFilePath(localPath) : localPath;
}

bool TFtpManager::TakeFileName(const std::string& localPath, int slot)
{
    if (!FPartialPaths.count(localPath)) return true;
    // Only when no part of it is left, in a slot, the queue, or failed.
    const auto same = [&](const TTransferFileInfo& t) { return t.LocalPath == localPath; };
    for (int i = 0; i < kMaxSlots; ++i)
        if (i != slot && FSlots[i].Item && same(*FSlots[i].Item)) return true;
    if (std::any_of(TransferQueue.begin(), TransferQueue.end(), same) ||
        std::any_of(FHeldBack.begin(), FHeldBack.end(), same) ||
        std::any_of(FFailedItems.begin(), FFailedItems.end(), [&](const TFailedItem& f) { return same(f.Item); }))
        return true;
    if (::rename(PartialFilePath(localPath).c_str(), localPath.c_str()) != 0) return false;
    FPartialPaths.erase(localPath);
    return true;
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

void TFtpManager::ReturnAllItems()
{
    for (int i = 0; i < kMaxSlots; ++i)
        if (FSlots[i].Item) ReturnSlotItem(i);
}

void TFtpManager::SlotGoesOn(int slot)
{
    auto& s = FSlots[slot];
    s.Position = 0;
    if (s.Draining) {
        // Goes on once the finished part's RETR has ended.
        CheckRunEnd();
        return;
    }
    if (!s.Retired && s.Client->HasSession() && FRunActive && !AbortPending && TakeQueueItem(slot)) return;
    if (slot != 0) s.State = 0;
    CheckRunEnd();
}

void TFtpManager::HandToIdleSlots()
{
    if (!FRunActive || AbortPending || FHandingOut) return;
    FHandingOut = true;
    for (int i = 0; i < FClientCount && !TransferQueue.empty(); ++i) {
        auto& s = FSlots[i];
        if (!s.Client || s.Retired || s.Item || s.Opening || !IsReadyState(s.Client->ClientState())) continue;
        TakeQueueItem(i);
    }
    FHandingOut = false;
}

void TFtpManager::FillIdleConnections(int count)
{
    if (!FRunActive) return;
    for (int i = 0; i < count && i < FClientCount; ++i) {
        auto& s = FSlots[i];
        if (s.Item || s.Retired || s.Opening) continue;
        if (!TakeQueueItem(i)) break;
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
    for (int i = 1; i < kMaxSlots; ++i) FSlots[i].State = 0;
    FSlots[0].State = opLogin;
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

void TFtpManager::TransferProgress(int slot, std::int64_t count, bool& abort)
{
    if (slot < 0 || slot >= kMaxSlots) return;
    auto& s = FSlots[slot];
    if (AbortPending) {
        abort = true;
        return;
    }
    if (s.State != 3 || !s.Item) return;
    Window.ShowSlotProgress(slot, count);
    s.Position = count;
    FJournal.Changed();
    JournalIfDue();
    // Only a part followed by another stops at its end; the last part (and a
    // whole file, which may have grown) runs to the server's end.
    if (s.Item->IsDownload && !IsLastPart(*s.Item)) {
        if (count >= s.Item->EndPos) {
            abort = true;
            s.StoppedPastEnd = true;
        }
        PostPartEndCheck(slot);
    }
}

void TFtpManager::ShowTransferStatus()
{
    ++ProgressTicks;
    std::int64_t done = RunDone;
    for (const auto& s : FSlots) {
        if (!s.Item) continue;
        if (s.Item->FileSize == 0) return;
        const std::int64_t begin = std::max<std::int64_t>(s.Item->BeginPos, 0);
        if (s.Position != 0 && s.Position > begin) done += s.Position - begin;
    }
    const std::int64_t speed = ProgressTicks > 0 ? done / ProgressTicks : 0;
    const std::int64_t remain = speed > 0 ? (RunTotal - done) / speed : 0;
    const int fmt = Window.Settings().SpeedFormat;
    auto f = [fmt](std::int64_t v) { return fmt == 0 ? FormatBytes(v) : FormatSize(v); };
    if (fmt == 0 || fmt == 1) Window.SetStatusText(1, f(done) + "/" + f(RunTotal) + "(" + f(speed) + "/s)");
    if (RunTotal != 0) Window.SetGauge(static_cast<int>(done * 100 / RunTotal));
    Window.SetStatusText(3, "Elapsed: " + SecondsToHMS(ProgressTicks));
    Window.SetStatusText(4, "Remain: " + SecondsToHMS(remain));
    Window.SetApplicationTitle("Remain:" + SecondsToHMS(remain) + " - " + Window.ProgramTitle());
}
