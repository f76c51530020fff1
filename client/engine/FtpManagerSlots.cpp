// The run's slots: the items they carry, their failures and progress.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>

#include "client/engine/ClientSettings.h"
#include "client/engine/CommFunc.h"
#include "client/engine/FtpManager.h"
#include "client/engine/FtpManagerInternal.h"
#include "client/engine/LocalFiles.h"

using namespace engine::detail;

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
    s.State = TSlotState::Transfer;
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
    s.State = TSlotState::Transfer;
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
        if (i != 0) o.State = TSlotState::Idle;
    }
    StopOpeningSlots();
    CheckRunEnd();
}

void TFtpManager::CheckPartEnd(int slot, std::uint64_t serial)
{
    auto& s = FSlots[slot];
    s.EndCheckPosted = false;
    if (!FRunActive || AbortPending || s.Draining || !s.Item || s.Serial != serial ||
        s.State != TSlotState::Transfer || !s.Client || !s.Stream)
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
    if (slot != 0) s.State = TSlotState::Idle;
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
    if (slot != 0) s.State = TSlotState::Idle;
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

void TFtpManager::TransferProgress(int slot, std::int64_t count, bool& abort)
{
    if (slot < 0 || slot >= kMaxSlots) return;
    auto& s = FSlots[slot];
    if (AbortPending) {
        abort = true;
        return;
    }
    if (s.State != TSlotState::Transfer || !s.Item) return;
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
