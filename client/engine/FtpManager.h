#pragma once
// The client engine: a pool of FTP clients on the GUI thread. Slot 0 browses
// and carries queue items; every slot carries queue items during a run.
// Split downloads write one local file from several connections at once.
// An item is complete only when every byte landed; otherwise it goes back to
// the queue with the position written. The engine talks to the main window
// only through TFtpManagerWindow.
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "client/engine/FileSync.h"
#include "client/engine/FtpManagerWindow.h"
#include "client/engine/OldQuene.h"
#include "client/engine/QueueJournal.h"
#include "client/engine/SlotFileStream.h"
#include "client/engine/TransferFileInfo.h"
#include "net/FtpCli.h"

// One rename or move.
struct THostMoveFileInfo {
    std::string OldName;
    std::string NewName;
};

// An item of a run that failed on its own, and why.
struct TFailedItem {
    TTransferFileInfo Item;
    std::string Reason;
};

// One deletion.
struct TDelFileInfo {
    std::string FileName;
    bool IsDir = false;
};

class TFtpManager {
public:
    static constexpr int kMaxSlots = 256;
    static constexpr int kCacheEntries = 8193;
    // What a slot is doing: slot 0 its current operation, whose step takes
    // its finished requests; the other slots Transfer while they carry a
    // queue item, else Idle.
    enum class TSlotState : std::uint8_t {
        Idle = 0,
        Login = 0, // connect and log in
        ChangeDir = 1,
        Expand = 2, // expand folders for a download
        Transfer = 3, // carries a queue item
        Refresh = 4,
        MakeDirs = 5,
        Rename = 6,
        Delete = 7,
        Chmod = 8, // change modes ("SITE CHMOD")
    };

    explicit TFtpManager(TFtpManagerWindow& Window);
    ~TFtpManager();
    TFtpManager(const TFtpManager&) = delete;
    TFtpManager& operator=(const TFtpManager&) = delete;

    // ---- the pool ----
    void CreateConnections(int n);
    void SetConnectionCount(int n);
    void SetupConnection(int slot);
    void DispatchMainRequest(TFtpRequest request, int error);
    void DispatchTransferRequest(int slot, TFtpRequest request, int error);
    bool SetSlotTransferType(TFtpClient& client, bool binary);
    void DisconnectAll();
    void AbortAllSockets();
    const THostInfo& GetHostInfo() const { return CurrentHost; }
    bool GetUserAborted() const { return UserAborted; }
    void ClearUserAborted() { UserAborted = false; }
    int ClientCount() const { return FClientCount; }
    TFtpClient* Client(int slot) const;
    TSlotState SlotState(int slot) const { return FSlots[slot].State; }

    // ---- the control connection and listing cache ----
    void ConnectHost(const THostInfo& host);
    void ChangeRemoteDir(const std::string& path);
    void RefreshRemoteDir(const std::string& path);
    void InvalidateListing(const std::string& path);
    void ExpandRemoteDir(const std::string& name, std::vector<TGetFileInfo>& list);
    void AbortOperation();
    const std::string& GetRemoteDir() const { return CurrentRemoteDir; }
    std::string GetListingText() const;
    // What ended slot 0's last request: the server's reply to it, or the
    // client's own text when the client ended it (a time-out, an abort, a
    // local failure). After a run that failed with items left for other
    // reasons than their own faults, the reply that failed the run.
    std::string GetLastReply() const;
    // One command line on slot 0, waiting for the reply; true on a reply
    // below 400.
    bool SendRawCommand(const std::string& text);
    bool GetRestSupported() const { return RestSupported; }
    // Folders the last expansion could not enter or list: left out, each
    // with its reason ("Not listed: /d/bad/: 426 Timeout"), the item a
    // folder (IsDir) at its path.
    const std::vector<TFailedItem>& GetUnlistedDirs() const { return FUnlistedDirs; }
    // Names the last expansion left out as unsafe, control characters
    // shown as "\xHH".
    const std::vector<std::string>& GetRefusedNames() const { return FRefusedNames; }
    // Number of cache entries in use (stale ones included).
    int CachedListings() const { return ListingCacheLast + 1; }

    // ---- transfer runs ----
    // mode 0: a new run; mode 1: a broken list resumed (no split, no
    // file-exists question, no free-space check).
    void StartTransfer(std::vector<TTransferFileInfo> queue, int mode);
    std::optional<TTransferFileInfo> NextQueueItem(int slot);
    void SplitDownloads();
    void SmartResume(const std::string& localPath);
    bool SelectTransferType(const std::string& localName, int slot);
    bool AllSlotsIdle() const;
    void SetSplitFileSize(std::int64_t bytes) { SplitFileSize = bytes; }
    std::int64_t GetSplitFileSize() const { return SplitFileSize; }
    // The run's queue: what is not finished and not held by a slot.
    const std::deque<TTransferFileInfo>& GetTransferQueue() const { return TransferQueue; }
    std::deque<TTransferFileInfo> TakeTransferQueue();
    bool RunActive() const { return FRunActive; }
    std::int64_t GetRunTotal() const { return RunTotal; }
    std::int64_t GetRunDone() const { return RunDone; }
    // Items of the last run that failed on their own while the others went
    // on: a local file that could not be made, a remote name refused.
    const std::vector<TFailedItem>& GetFailedItems() const { return FFailedItems; }
    // The last run ended with items it did not get to (a connection's
    // failure, a refused store, an abort); items that failed on their own
    // are not counted: its report names them.
    bool RunEndedWithItemsLeft() const { return FRunItemsLeft; }
    // The DateTime of the broken list the last run is journalled as; the
    // window gives the list it makes of what a run left this DateTime, so
    // that it replaces the journal in the file instead of joining it.
    const std::string& GetRunListDateTime() const { return FJournal.DateTime(); }

    void TransferStep(int slot, TFtpRequest request, int error);
    void TransferProgress(int slot, std::int64_t count, bool& abort);
    void ShowTransferStatus();
    void FillIdleConnections(int count);
    void ReturnAllItems();
    void ReturnSlotItem(int slot);

    // ---- batches on slot 0 ----
    void MakeRemoteDirs(std::vector<std::string> names);
    void RenameRemoteFiles(std::vector<THostMoveFileInfo> list);
    void DeleteRemoteFiles(std::vector<TDelFileInfo> list);
    void ChmodRemoteFiles(std::vector<std::string> names, const std::string& mode);

private:
    struct TSlot {
        // Declared before the client: the client flushes into it when it goes.
        std::unique_ptr<TSlotFileStream> Stream;
        std::unique_ptr<TFtpClient> Client;
        TSlotState State = TSlotState::Idle;
        std::optional<TTransferFileInfo> Item;
        std::int64_t Position = 0;
        int Binary = -1; // last TYPE sent on this session: 1 I, 0 A, -1 none
        // The request the engine started without waiting; any other
        // completion (of a blocking call) is not the engine's.
        TFtpRequest Outstanding = rqNone;
        bool StoppedPastEnd = false;
        bool Ascii = false; // the stream's positions mean nothing to a restart
        bool Retired = false; // failed in this run: takes no more items
        int Failures = 0;     // failures in a row that moved no restart position
        bool Opening = false; // logging in for the run; takes an item once in
        // Its part is finished; the RETR's end is still due before the
        // session carries anything else.
        bool Draining = false;
        bool EndCheckPosted = false;
        std::uint64_t Serial = 0; // of the item it holds
        std::int64_t UploadSize = 0;
        // The engine's request under way, or the last one ended: the last
        // final reply line the server sent for it (code 0: none), and
        // whether the client ended it itself rather than the server's reply.
        int ServerCode = 0;
        std::string ServerReply;
        bool ClientEnded = false;
    };
    struct TPendingDir {
        std::string Logical; // path through the expansion root, ending "/"
        std::string Target;  // folder to CWD to, ending "/"
        int ListRetries = 0;
        std::vector<std::string> Above; // the real folders it lies in: a link back to one is a loop
    };
    // A real folder is expanded under at most this many paths (links), so
    // links that fan out cannot multiply the work without end.
    static constexpr int kMaxPathsPerFolder = 8;

    void WireClient(int slot);
    void FreeClient(int slot);
    void Log(int slot, const std::string& text);
    void Start(int slot, TFtpRequest code, TCustomFtpCli::TAction action);
    // A reply line came on the slot's control connection.
    void NoteReply(int slot);
    // The engine's request on the slot ended with error: who ended it.
    void NoteRequestEnd(int slot, int error);
    // What ended the slot's last request, as GetLastReply tells it.
    std::string RequestOutcome(int slot) const;
    bool ReplyIs2xx(int slot) const;

    // slot 0's steps
    void LoginStep(TFtpRequest request, int error);
    // After the login: SYST, TYPE I, then REST 100 (and REST 0 when it is
    // taken), one request at a time through the loop, so the window stays
    // alive while a slow server answers.
    void ProbeServer(TFtpRequest request, int error);
    void ChangeDirStep(TFtpRequest request, int error);
    void RefreshStep(TFtpRequest request, int error);
    void ExpandStep(TFtpRequest request, int error);
    // The folder at hand cannot be entered or listed: it is left out and
    // named, and the expansion goes on with the next one (on a new login
    // when the session went with it).
    void LeaveFolderOut(const std::string& why);
    void EndExpansionUnlisted();
    void BatchStep(TFtpRequest request, int error);
    void ShowPwdFolder(bool refresh);
    bool ListThroughCache(int slot, const std::string& path);
    void StoreListing(const std::string& path);
    void ClearCache();
    void ProcessExpandListing();
    void NextPendingDir();
    void EndExpansion();
    // A new login in the middle of an expansion (rqNone starts it), then the
    // folder being listed is entered again, or (FExpandLoginNext) the next
    // pending one.
    void ExpandLogin(TFtpRequest request, int error);

    // run
    // The steps of StartTransfer, in its order. A step that returns false
    // ended the run before it started and told the window.
    //
    // The last run's state cleared, the queue taken.
    void ResetRun(std::vector<TTransferFileInfo> queue);
    // A resumed list with nothing in it leaves the file.
    void EndEmptyRun(int mode);
    void ResetRunSlots();
    // The file-exists question for each download whose local file exists.
    bool AskAboutExistingFiles(int mode);
    void CountRunTotal();
    // A new run's downloads fit on the disk, or the user cancels it.
    bool EnsureFreeSpace(int mode);
    // Which files are written under their partial name; a split file not
    // resumed starts empty there.
    bool PreparePartialFiles(int mode);
    // From here on the run's queue is on disk.
    void BeginRunJournal(int mode);
    // The first items handed to the slots; the run is under way.
    void HandOutFirstItems();
    // Gives the slot the next queue item and starts it: at once on a session
    // that is up, else after a login. False when the queue is empty.
    bool TakeQueueItem(int slot);
    // True when the queue's parts of localPath write under its partial name:
    // a split of this run, or a list's split written there before.
    bool WrittenInPartialFile(const std::string& localPath, int mode) const;
    // The size of the file a resumed part of localPath goes on writing (the
    // one its earlier parts were written to); -1 when there is none.
    std::int64_t ResumedFileSize(const std::string& localPath, int mode) const;
    // Files whose restart positions lie past the bytes on disk are fetched
    // again whole, from 0.
    void FetchAgainWhereBytesAreGone(int mode);
    void StartSlotItem(int slot);
    void StartSlotTransfer(int slot);
    void OpenSlot(int slot);
    std::size_t OpeningSlots() const;
    // Slots still logging in when the run ends are stopped.
    void StopOpeningSlots();
    void FinishSlotItem(int slot, int error);
    void FailSlotItem(int slot, bool retire, bool toFront);
    // Counts a failure of the slot; true when it has failed
    // ConnectionRetryTimes times in a row without progress (it is retired).
    bool KeepsFailing(int slot, bool progress);
    // The slot's download failed by a fault of its own (a refusal, an end
    // never confirmed): tried again elsewhere, and failed alone on its
    // second failure; the slot is not blamed.
    void FileFailed(int slot, const std::string& reason);
    // True when the server refused what the slot asked for this file: a 4xx
    // or 5xx reply with the session still up.
    bool ServerRefused(int slot, int error) const;
    // Uploads: a store that fails gives back every item and ends the run.
    void StoreFailed(int slot);
    // After a data event of a part followed by another: once the bytes
    // received pass the part's end it is finished at once, on disk, however
    // the data connection goes on.
    void CheckPartEnd(int slot, std::uint64_t serial);
    // Queues the check for when the client's data event is over.
    void PostPartEndCheck(int slot);
    // The slot's item fails alone and the slot goes on with the next one.
    // Kept, it goes to the broken list when the run ends (the user may mend
    // its cause); else it is only reported.
    void FailItemAlone(int slot, const std::string& reason, bool keep);
    // Why an item cannot be started at all (a name no command or file can
    // carry); empty when it can.
    std::string RefusedItemReason(const TTransferFileInfo& item) const;
    void SlotGoesOn(int slot);
    void HandToIdleSlots();
    void CheckRunEnd();
    void EndRun(bool failed);
    bool IsAsciiName(const std::string& localName) const;
    std::int64_t ItemBytes(const TTransferFileInfo& item) const;
    bool IsLastPart(const TTransferFileInfo& item) const;
    void FreezeStream(int slot);
    std::int64_t WrittenPosition(int slot) const;
    // The slot's item as it would go back: restarting at the bytes on disk.
    TTransferFileInfo HeldItem(int slot) const;
    // What the run has not finished: the slots' items, the queue, what failed alone.
    std::vector<TTransferFileInfo> UnfinishedItems() const;
    // The file a download writes: a split file's partial name until it is whole.
    std::string WritePath(const std::string& localPath) const;
    // A part of a split file landed: when no other part is left the file
    // takes its own name. False (errno) when the rename failed.
    bool TakeFileName(const std::string& localPath, int slot);
    void JournalIfDue();
    // The journal's own clock and the passes' ends, so it follows a run that
    // stalls (no events) as closely as one that moves.
    os::LRESULT JournalMessage(os::UINT Msg);
    void EndJournal(const std::vector<TTransferFileInfo>& left);
    // The journal records a position only once the bytes before it are
    // durable, and keeps a finished download until its file (and its name
    // in its folder) is: a power cut then loses nothing it counts.
    static std::string PartKey(const TTransferFileInfo& item);
    TTransferFileInfo DurableItem(TTransferFileInfo item) const;
    std::vector<TTransferFileInfo> JournalItems(std::vector<TTransferFileInfo> items) const;
    void StartSyncPass();
    void TakeSyncPass();
    // Waits for every pending sync: the run's end, where the list may leave.
    void SyncAllNow();
    void LogJournalError();

    // batches
    void SendNextBatchEntry();

    TFtpManagerWindow& Window;
    std::vector<TSlot> FSlots;
    int FClientCount = 0;
    THostInfo CurrentHost;

    // control connection
    std::string CurrentRemoteDir, PreviousRemoteDir;
    std::shared_ptr<TFtpMemoryStream> CurrentListing, SavedListing;
    std::vector<std::string> ListingCachePaths;
    std::vector<std::shared_ptr<TFtpMemoryStream>> ListingCacheStreams;
    int ListingCacheLast = -1;
    std::shared_ptr<TFtpMemoryStream> FListingTarget; // the stream slot 0's LIST writes into
    bool RestSupported = false;
    int FProbeStep = -1; // the probe's next request; -1 outside the probe
    int RetriesLeft = 0;
    bool AbortPending = false;
    bool UserAborted = false;

    // expansion
    std::vector<TGetFileInfo>* ExpandResult = nullptr;
    std::vector<TPendingDir> PendingDirs;
    TPendingDir FExpandDir;
    std::map<std::string, int> FVisits; // real folder -> paths it was expanded under
    std::vector<TFailedItem> FUnlistedDirs;
    std::vector<std::string> FRefusedNames;
    bool FExpandRestoring = false;
    bool FExpandLogin = false; // logging in again to list a folder whose listing took the session
    bool FExpandLoginNext = false; // ... or to go on with the next folder

    // run
    std::deque<TTransferFileInfo> TransferQueue;
    std::int64_t RunTotal = 0, RunDone = 0, SplitFileSize = 1000000;
    int ProgressTicks = 0;
    bool FRunActive = false;
    bool FHandingOut = false;
    std::set<std::string> FFreshSplitPaths; // split files of this run not resumed: emptied at start
    std::vector<TFailedItem> FFailedItems;
    bool FRunItemsLeft = false;
    std::string FRunLastFailure; // what ended the run's last request a connection failed
    std::string FRunFailure;     // told by GetLastReply once the run failed, until slot 0 goes on
    std::map<std::string, int> FItemFaults; // PartKey -> the item's own failures in this run
    std::uint64_t FItemSerial = 0;
    os::HWND FTarget = 0; // the engine's own messages
    std::deque<TTransferFileInfo> FHeldBack; // failed alone, for the broken list at the end
    int FDirectProxyTold = 0; // the proxy type the user was told connects directly
    std::set<std::string> FPartialPaths; // split files of this run written under their partial name
    TQueueJournal FJournal;
    std::string FJournalError; // the last one logged, so a full disk is told once
    struct TSyncFile {
        TTransferFileInfo Item; // a finished item; of a given-back one only the key counts
        std::string Path;       // where its bytes were written
        std::int64_t Position = 0; // a given-back item's position
    };
    struct TSyncRef {
        std::string Key;
        std::int64_t Position = 0;
        bool Finished = false;
    };
    std::unordered_map<std::string, std::int64_t> FDurablePos; // PartKey -> BeginPos whose bytes are durable
    std::vector<TSyncFile> FUnsynced;        // finished downloads not yet durable: still journalled
    std::vector<TSyncFile> FGivenBack;       // given back since the last pass, past their durable position
    std::vector<TSyncFile> FSyncingFinished; // finished downloads in the pass in flight
    std::vector<TSyncRef> FSyncRefs;         // one per job of the pass in flight
    TFileSync FSync;
    os::HWND FJournalWindow = 0;

    // batches
    std::deque<std::string> FMakeDirList, FChmodList;
    std::deque<THostMoveFileInfo> FRenameList;
    std::deque<TDelFileInfo> FDeleteList;
    std::string RenameTo, FChmodMode, FBatchEntry;
    // The old name of the rename under way.
    std::string FRenameFrom;
    // A batch entry changed path: the listing of its folder, and its own
    // and those below it (a folder moved or removed), are stale.
    void ForgetChangedListings(const std::string& path);
};

// The local path of a file an expansion found: localRoot + the part of
// remotePath behind remoteRoot. Empty when remotePath does not lie below
// remoteRoot or the result would leave localRoot ("..", "." or an empty
// element), so a hostile listing cannot write elsewhere.
std::string ExpandedLocalPath(const std::string& localRoot, const std::string& remoteRoot,
                              const std::string& remotePath);

// A remote path with "." and ".." elements resolved; always absolute.
std::string NormalizeRemotePath(const std::string& path);

// The name a split download is written under until all its parts landed.
std::string PartialFilePath(const std::string& localPath);
// The partial name is one the file system can hold.
bool FitsPartialName(const std::string& localPath);

// Adds one broken list to the file and writes it at once.
void AppendBrokenList(const std::string& fileName, const TOldQuene& queue);
