// The session state and what the end of each operation of connection 0
// leads to; with the engine's notices on the status bar and rows.
#include "client/ui/main/Main.h"

#include <QDesktopServices>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

#include <algorithm>
#include <filesystem>

#include "client/engine/FtpManager.h"
#include "client/engine/LocalFiles.h"
#include "client/ui/main/DesktopTies.h"
#include "client/ui/main/FilePaneModel.h"
#include "client/ui/main/Launcher.h"
#include "client/ui/main/MainCommon.h"
#include "client/ui/main/RunReport.h"
#include "client/ui/small/CommFail.h"
#include "client/ui/small/FileExist.h"
#include "client/ui/small/ViewRawDir.h"
#include "platform/dialogs/Dialogs.h"
#include "platform/dialogs/EventHandler.h"
#include "ui_Main.h"
#include "widgets/skStatusBar.h"

using namespace mainwin;

namespace fs = std::filesystem;

namespace {

bool FileExists(const std::string& path)
{
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

} // namespace

void TfmMain::SetSessionState(int value)
{
    static const char* const panelTexts[] = {"Ready", "Connecting", "Connected", "Changing dir", "Preparing",
                                             "Transfering"};
    static const char* const rowTexts[] = {"Ready", "Connecting", "Connected", "ChangingDir", "Preparing"};
    static const int rowImages[] = {0, 1, 2, 1, 1};
    FSessionState = value;
    if (value <= ssTransfering) SetStatusText(0, panelTexts[value]);
    const bool idle = value == ssReady || value == ssConnected;
    FBusy = !idle;
    for (TFilePaneView* lv : {ui->lvLocal, ui->lvHost}) {
        lv->SetBusy(!idle);
        lv->SetDragEnabled(value == ssConnected);
    }
    if (value == ssReady) setWindowTitle(Q(ProgramTitle() + " - Not connected"));
    else setWindowTitle(Q(ProgramTitle() + " - " + (FManager ? FManager->GetHostInfo().HostName : std::string())));
    if (value == ssReady) {
        // No edit or view outlives its session.
        ViewOnly = false;
        IndexViewActive = false;
        ResetRemoteView();
    }
    // A 0 s interval would send a command on every pass of the loop.
    if (FSettings.AntiIdleEnable && value == ssConnected && FSettings.AntiIdleInterval >= 1) {
        tiAntiIdle->setInterval(std::min(FSettings.AntiIdleInterval, 2000000) * 1000);
        tiAntiIdle->start();
    } else {
        tiAntiIdle->stop();
    }
    if (value <= ssPreparing && ui->lvStatus->topLevelItemCount() > 0)
        SetRowTexts(0, rowTexts[value], S(ui->lvStatus->topLevelItem(0)->text(2)), S(ui->lvStatus->topLevelItem(0)->text(3)), rowImages[value]);
    // The buttons follow the state at once: waiting for the idle tick would
    // leave Abort disabled for the first moments of a connect.
    UpdateEnabling();
}

void TfmMain::ResetRemoteView()
{
    // The remote rows stay, with their counts, until the next listing
    // replaces them; without a session nothing acts on them.
    ui->cbHost->clear();
    ClearStatusRows(false);
    ClearPanels1To4();
    tiProgress->stop();
    ui->Gauge1->setVisible(false);
    if (PendingAction != 2 && DownloadNode) ClearQueueNodes();
}

void TfmMain::ClearStatusRows(bool connectedRow0)
{
    for (int i = 0; i < ui->lvStatus->topLevelItemCount(); ++i)
        SetRowTexts(i, i == 0 && connectedRow0 ? "Connected" : "Ready", "", "", i == 0 && connectedRow0 ? 2 : 0);
}

void TfmMain::ClearPanels1To4()
{
    for (int i = 1; i <= 4; ++i) SetStatusText(i, "");
}

void TfmMain::SetRowTexts(int row, const std::string& state, const std::string& file, const std::string& pos, int image)
{
    QTreeWidgetItem* item = ui->lvStatus->topLevelItem(row);
    if (!item) return;
    item->setText(1, Q(state));
    item->setText(2, Q(file));
    item->setText(3, Q(pos));
    item->setIcon(0, RowIcon(image));
}

void TfmMain::Later(std::function<void()> f)
{
    QTimer::singleShot(0, this, EventHandler(std::move(f)));
}

void TfmMain::OperationDone()
{
    if (FDestroyed || !FManager) return; // the pool closing its clients as the window goes
    SetApplicationTitle(ProgramTitle());
    // Pending messages are not pumped here: an engine event arriving inside
    // this handler would run the state machine twice.
    switch (FSessionState) {
    case ssConnecting:
        SetSessionState(ssConnected);
        AddQuickConnectEntry();
        if (PendingAction == 1) {
            PendingAction = 0;
            FStartFolderListing = true;
            SetSessionState(ssChangingDir);
            FManager->ChangeRemoteDir(RemoteDir);
            return;
        }
        AfterListing(true);
        if (PendingAction == 2) {
            // The broken list leaves the store only now that its run starts.
            PendingAction = 0;
            StartResumedRun();
            return;
        }
        PlaySoundFile(FSettings.SoundFiles[0]);
        DrawAttention();
        AutoViewIndexFile();
        Later([this] { ShowLoginMessage(); });
        break;
    case ssChangingDir:
        SetSessionState(ssConnected);
        AfterListing(false);
        if (std::exchange(FStartFolderListing, false)) AutoViewIndexFile();
        break;
    case ssPreparing:
        // A folder of the selection has been walked: its files join the queue.
        AddExpandedFiles();
        QueueDownloadLoop();
        break;
    case ssTransfering: {
        tiProgress->stop();
        ui->Gauge1->setVisible(false);
        // Connection 0 may have lost its session to a failure of its own
        // during the run: its row does not claim it connected.
        ClearStatusRows(FManager->Client(0) && FManager->Client(0)->HasSession());
        ClearPanels1To4();
        const bool empty = FManager->GetTransferQueue().empty();
        MoveQueueToBroken();
        if (PendingAction != 2) ClearQueueNodes();
        ListLocalDir(LocalPath);
        if (!empty) {
            TellNotTransferred();
            SetSessionState(ssConnected);
            break;
        }
        if (!QueuedFromDir.empty()) {
            FManager->InvalidateListing(QueuedFromDir);
            SetSessionState(ssChangingDir);
            const std::string dir = QueuedFromDir;
            QueuedFromDir.clear();
            FManager->ChangeRemoteDir(dir);
        } else {
            SetSessionState(ssRefreshing);
            FManager->RefreshRemoteDir(RemoteDir);
        }
        PlaySoundFile(FSettings.SoundFiles[3]);
        DrawAttention();
        // Completed only when every selected file came.
        if (!TellNotTransferred() && FSettings.ConfirmFlags.TransferOver) {
            Later([this] {
                if (Dialogs().MessageBox("Transferring Completed ! Open Local Directory ?", "Completed",
                                         MB_YESNO | MB_ICONINFORMATION) == IDYES)
                    QDesktopServices::openUrl(QUrl::fromLocalFile(Q(LocalPath)));
            });
        }
        break;
    }
    case ssPreparingUpload:
        SetSessionState(ssTransfering);
        FManager->StartTransfer(FTransferQueue, 0);
        break;
    case ssRefreshing:
        SetSessionState(ssConnected);
        FillRemoteList();
        break;
    case ssMakingDir:
    case ssDeleting:
    case ssChmod:
    case ssRenaming:
        SetSessionState(ssRefreshing);
        FManager->RefreshRemoteDir(RemoteDir);
        break;
    case ssEditView:
        EditViewFinished();
        break;
    case ssMoving:
        SetSessionState(ssChangingDir);
        FManager->ChangeRemoteDir(MoveDestination);
        break;
    default:
        break;
    }
}

void TfmMain::AfterListing(bool)
{
    RemoteDir = WithSlash(FManager->GetRemoteDir());
    AddRemotePathHistory(RemoteDir);
    FillRemoteList();
}

void TfmMain::OperationFailed()
{
    if (FDestroyed || !FManager) return;
    SetApplicationTitle(ProgramTitle());
    const int state = FSessionState;
    FStartFolderListing = false;
    switch (state) {
    case ssReady:
        // The connection was lost before the failure arrived: it stays lost.
        return;
    case ssConnecting:
        CancelResume();
        ShowConnectionFailure();
        SetSessionState(ssReady);
        return;
    case ssChangingDir:
        ShowConnectionFailure();
        if (!FManager->Client(0) || !FManager->Client(0)->HasSession()) {
            SetSessionState(ssReady);
            return;
        }
        RemoteDir.clear();
        SetSessionState(ssRefreshing);
        FManager->RefreshRemoteDir(RemoteDir);
        return;
    case ssMakingDir:
    case ssMoving:
    case ssDeleting:
    case ssChmod:
        ShowConnectionFailure();
        break;
    case ssEditView:
        ViewOnly = false;
        IndexViewActive = false;
        ShowConnectionFailure();
        break;
    case ssPreparing:
    case ssPreparingUpload:
        // Nothing was sent: the queue goes, the failure is shown.
        FQueuedRows.clear();
        FExpandList.clear();
        FTransferQueue.clear();
        ClearQueueNodes();
        FSkippedNames.clear(); // of a queue that never ran
        FUnlistedDirs.clear();
        PendingAction = 0;
        ShowConnectionFailure();
        break;
    case ssTransfering: {
        ClearStatusRows(FManager->Client(0) && FManager->Client(0)->HasSession());
        ClearPanels1To4();
        // Files that failed on their own are told by name, and wait in the
        // broken list; the reply that failed the run is for the others.
        const bool left = FManager->RunEndedWithItemsLeft();
        MoveQueueToBroken();
        ListLocalDir(LocalPath);
        tiProgress->stop();
        ui->Gauge1->setVisible(false);
        if (!TellNotTransferred() || left) ShowConnectionFailure();
        break;
    }
    default:
        break;
    }
    // Without a control connection "Connected" would be a lie.
    const bool up = FManager->Client(0) && FManager->Client(0)->HasSession();
    SetSessionState(up ? ssConnected : ssReady);
}

bool TfmMain::TellNotTransferred(bool ran)
{
    std::vector<TFailedItem> failed;
    TTransferFileInfo folder;
    folder.IsDir = true;
    for (auto& why : FUnlistedDirs) failed.push_back({folder, std::move(why)});
    FUnlistedDirs.clear();
    if (ran) failed.insert(failed.end(), FManager->GetFailedItems().begin(), FManager->GetFailedItems().end());
    const std::string text = NotTransferredText(FSkippedNames, failed);
    FSkippedNames.clear();
    if (text.empty()) return false;
    Later([text] { Dialogs().MessageBox(text, "Not transferred", MB_OK | MB_ICONWARNING); });
    return true;
}

void TfmMain::ShowConnectionFailure()
{
    if (FManager->GetUserAborted()) {
        FManager->ClearUserAborted();
        return;
    }
    PlaySoundFile(FSettings.SoundFiles[4]);
    DrawAttention();
    const std::string reply = FManager->GetLastReply();
    Later([this, reply] {
        TfmCommFail box(this);
        box.SetResponse(reply);
        box.exec();
    });
}

void TfmMain::EditViewFinished()
{
    if (IndexViewActive) {
        IndexViewActive = false;
        ViewOnly = false;
        if (FileExists(EditLocalFile)) {
            const std::string file = EditLocalFile;
            Later([this, file] {
                TfmViewRawDir view(this);
                view.setWindowTitle("Directory Inforamtion");
                view.SetText(ReadTextFile(file));
                view.exec();
            });
        }
        SetSessionState(ssConnected);
        return;
    }
    if (FileExists(EditLocalFile)) EditLocal(EditLocalFile);
    SetSessionState(ssConnected);
    if (!ViewOnly) {
        const std::string local = EditLocalFile, remote = EditRemoteFile;
        Later([this, local, remote] {
            if (Dialogs().MessageBox("Click Yes to upload back edited file, No to cancel", "Edit", MB_YESNO) != IDYES)
                return;
            if (FSessionState != ssConnected) return;
            FTransferQueue.clear();
            TTransferFileInfo item;
            item.IsDownload = false;
            item.HostPath = remote;
            item.LocalPath = local;
            item.FileSize = GetLocalFileSize(local);
            item.BeginPos = 0;
            item.EndPos = item.FileSize;
            FTransferQueue.push_back(item);
            SetSessionState(ssTransfering);
            FManager->StartTransfer(FTransferQueue, 0);
        });
    }
    ViewOnly = false;
}

void TfmMain::TransferSessionClosed(TObject* Sender, std::uint16_t)
{
    DisplayLine(static_cast<TCustomFtpCli*>(Sender)->Tag(), "Connection Lost");
}

void TfmMain::MainSessionClosed(TObject*, std::uint16_t)
{
    PlaySoundFile(FSettings.SoundFiles[1]);
    DisplayLine(0, "Connection Lost");
    // While connecting it is the old session that closed under the new
    // connect, whose own failure comes through OperationFailed.
    if (FSessionState != ssTransfering && FSessionState != ssConnecting && !FDestroyed) SetSessionState(ssReady);
}

void TfmMain::ShowSlotProgress(int Slot, std::int64_t Count)
{
    if (QTreeWidgetItem* item = ui->lvStatus->topLevelItem(Slot)) item->setText(3, Q(std::to_string(Count)));
}

void TfmMain::ShowSlotFailed(int Slot)
{
    if (QTreeWidgetItem* item = ui->lvStatus->topLevelItem(Slot)) item->setText(1, "Failed");
}

void TfmMain::DrawAttention()
{
    FDesktopTies->DrawAttention();
}

void TfmMain::AddRemotePathHistory(const std::string& Path)
{
    const int i = ui->cbHost->findText(Q(Path), Qt::MatchFixedString | Qt::MatchCaseSensitive);
    ui->cbHost->blockSignals(true);
    if (i >= 0) ui->cbHost->setCurrentIndex(i);
    else {
        ui->cbHost->insertItem(0, Q(Path));
        ui->cbHost->setCurrentIndex(0);
    }
    ui->cbHost->blockSignals(false);
}

void TfmMain::SetRemoteDirText(const std::string& Path) { ui->cbHost->setEditText(Q(Path)); }

void TfmMain::PlaySoundFile(const std::string& FileName)
{
    if (FileName.empty() || !FileExists(FileName)) return;
    for (const char* player : {"paplay", "aplay"}) {
        const QString exe = QStandardPaths::findExecutable(player);
        if (!exe.isEmpty()) {
            QProcess::startDetached(exe, {Q(FileName)});
            return;
        }
    }
}

void TfmMain::SetStatusText(int Panel, const std::string& Text)
{
    auto& panels = ui->sbStatus->Panels();
    if (Panel < 0 || Panel >= panels.Count()) return;
    panels.GetPanel(Panel)->SetText(Text);
    // The run's bytes and speed grow with the run: the panel widens to show them.
    if (Panel == 1) FitStatusPanels();
}

void TfmMain::SetGauge(int Percent) { ui->Gauge1->setValue(std::clamp(Percent, 0, 100)); }

void TfmMain::SetGaugeVisible(bool Visible) { ui->Gauge1->setVisible(Visible); }

void TfmMain::SetApplicationTitle(const std::string& Text)
{
    ::SetApplicationTitle(Text);
}

void TfmMain::SetProgressTimer(bool Enabled)
{
    if (Enabled) tiProgress->start();
    else tiProgress->stop();
}

int TfmMain::AskFileExists(const std::string& Text)
{
    TfmFileExists box(this);
    const std::string prefix = "This local file exists!\r\n";
    return box.Ask(Text.compare(0, prefix.size(), prefix) == 0 ? Text.substr(prefix.size()) : Text);
}

bool TfmMain::AskFreeSpace(const std::string& Text)
{
    return Dialogs().MessageBox(Text, "Space not enough", MB_YESNO | MB_ICONWARNING) == IDYES;
}

void TfmMain::ShowMessage(const std::string& Text)
{
    Later([Text] { Dialogs().MessageBox(Text, ApplicationTitle(), MB_OK); });
}
