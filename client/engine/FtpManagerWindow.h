#pragma once
// What the client engine needs of the main window: the six callbacks the
// pool's clients are wired to, the handlers the engine calls, the status
// texts, gauge, title and progress timer, the settings and the questions.
// The main window implements it; tests and benchmarks implement it headless.
#include <cstdint>
#include <string>
#include <vector>

#include "client/engine/TransferFileInfo.h"
#include "net/FtpCli.h"

class TClientSettings;
class TFtpManager;

// The main window's session state: what the user's session is doing.
enum TSessionState : std::uint8_t {
    ssReady = 0,
    ssConnecting,
    ssConnected,
    ssChangingDir,
    ssPreparing,
    ssTransfering,
    ssPreparingUpload,
    ssRefreshing,
    ssMakingDir,
    ssEditView,
    ssMoving,
    ssDeleting,
    ssChmod,
    ssRenaming,
};

class TFtpManagerWindow {
public:
    virtual ~TFtpManagerWindow() = default;

    // Set by the engine when it is made; the callbacks below forward to it.
    TFtpManager* Manager = nullptr;

    // The six client callbacks, in the order the pool wires them. The
    // defaults do the forwarding every window needs; a window adds its log
    // lines and sounds and calls them.
    virtual void TransferSessionClosed(TObject* Sender, std::uint16_t Error) {}
    // Forwards to TransferProgress while a run transfers (ssTransfering) and
    // during an edit or view download (ssEditView).
    virtual void ClientProgress(TObject* Sender, std::int64_t Count, bool& Abort);
    virtual void MainSessionClosed(TObject* Sender, std::uint16_t Error) {}
    virtual void TransferClientRequestDone(TObject* Sender, TFtpRequest RqType, std::uint16_t Error);
    virtual void MainClientRequestDone(TObject* Sender, TFtpRequest RqType, std::uint16_t Error);
    virtual void ClientDisplay(TObject* Sender, std::string& Msg) {}

    // Every operation of connection 0 ends in exactly one of these two.
    virtual void OperationDone() = 0;
    virtual void OperationFailed() = 0;

    virtual void ShowSlotItem(const TTransferFileInfo& Item, int Slot) {}
    virtual void UnmarkSlotItem(int Slot) {}
    virtual void ItemCompleted(const TTransferFileInfo& Item, int Slot) {}
    virtual void ShowSlotProgress(int Slot, std::int64_t Count) {}
    // The slot's status row reads "Failed".
    virtual void ShowSlotFailed(int Slot) {}
    virtual void DrawAttention() {}
    virtual void AddRemotePathHistory(const std::string& Path) {}
    // The current-folder text of the window.
    virtual void SetRemoteDirText(const std::string& Path) {}
    // Moves what is left in the engine's queue to the broken lists (and onto
    // disk at once).
    virtual void MoveQueueToBroken() {}
    // The file the running queue is journalled in as a broken list (the
    // program's "oldquene.ini"); empty: not journalled.
    virtual std::string BrokenListFile() const { return {}; }
    // The DateTime of the broken list a run's queue becomes: now, as the
    // window writes it; for a resumed list its own, so that the journal
    // takes the list's place in the file.
    virtual std::string BrokenListDateTime() const;
    // The window's copy of the items of the run that starts.
    virtual void SetRunItems(const std::vector<TTransferFileInfo>& Items) {}
    virtual void PlaySoundFile(const std::string& FileName) {}

    // Status bar panels 1..4, the gauge, the task bar title, the 1 s
    // progress timer (whose ticks call ShowTransferStatus).
    virtual void SetStatusText(int Panel, const std::string& Text) {}
    virtual void SetGauge(int Percent) {}
    virtual void SetGaugeVisible(bool Visible) {}
    virtual void SetApplicationTitle(const std::string& Text) {}
    virtual const std::string& ProgramTitle() const;
    virtual void SetProgressTimer(bool Enabled) {}

    virtual const TClientSettings& Settings() const = 0;
    // The session state (TSessionState).
    virtual int SessionState() const = 0;

    // The file-exists question, text "This local file exists!\r\n" + path:
    // 0 overwrite, 1 overwrite all, 2 skip, 3 skip all, 4 Smart Resume,
    // 5 Smart Resume all; anything else (the close box) skips.
    virtual int AskFileExists(const std::string& Text) = 0;
    // "Space not enough": true (Yes) checks again, false (No) cancels.
    virtual bool AskFreeSpace(const std::string& Text) = 0;
    // A message box: "Local file can't access!", "DOWNLOAD FAILED ! ...".
    virtual void ShowMessage(const std::string& Text) {}
};
