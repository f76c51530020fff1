// The queue tree: the current queue as it is built and run, and the broken
// lists kept from earlier runs.
#include "client/ui/main/Main.h"

#include <set>

#include "client/engine/CommFunc.h"
#include "client/engine/FtpManager.h"
#include "client/ui/main/BrokenList.h"
#include "client/ui/main/MainCommon.h"
#include "client/ui/main/PaneActions.h"
#include "client/ui/main/QueneInfo.h"
#include "platform/dialogs/Dialogs.h"
#include "ui_Main.h"

using namespace mainwin;

void TfmMain::SeedQueueTree()
{
    // A broken list the user folded stays folded; a new one shows open.
    std::set<QString> folded;
    for (int i = 1; i < ui->tvQuene->topLevelItemCount(); ++i)
        if (!ui->tvQuene->topLevelItem(i)->isExpanded()) folded.insert(ui->tvQuene->topLevelItem(i)->text(0));
    const std::set<QString> shownBefore = [&] {
        std::set<QString> t;
        for (int i = 1; i < ui->tvQuene->topLevelItemCount(); ++i) t.insert(ui->tvQuene->topLevelItem(i)->text(0));
        return t;
    }();
    ui->tvQuene->clear();
    const auto node = [this](QTreeWidgetItem* parent, const std::string& text, int image) {
        auto* n = new QTreeWidgetItem(parent, {Q(text)});
        SetQueueImage(n, image);
        return n;
    };
    CurrentNode = new QTreeWidgetItem(ui->tvQuene, {Q(S(QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat)) + " - Current")});
    SetQueueImage(CurrentNode, 1);
    DownloadNode = node(CurrentNode, "Download", 6);
    UploadNode = node(CurrentNode, "Upload", 6);
    for (const bool down : {true, false})
        for (std::size_t i = 0; i < (down ? FQueueTree.Download : FQueueTree.Upload).size(); ++i)
            new QTreeWidgetItem(down ? DownloadNode : UploadNode, {""});
    for (const bool down : {true, false})
        for (std::size_t i = 0; i < (down ? FQueueTree.Download : FQueueTree.Upload).size(); ++i) ShowQueueNode(down, int(i));
    for (const auto& q : FBrokenLists) {
        const TBrokenQueueNodeTexts t = BrokenQueueNodeTexts(q);
        auto* root = new QTreeWidgetItem(ui->tvQuene, {Q(t.Root)});
        SetQueueImage(root, 2);
        auto* host = node(root, "hostinfo", 7);
        for (const auto& h : t.HostInfo) node(host, h, 4);
        auto* d = node(root, "download", 6);
        for (const auto& p : t.Downloads) node(d, p, 4);
        auto* u = node(root, "upload", 6);
        for (const auto& p : t.Uploads) node(u, p, 4);
        const bool isNew = !shownBefore.count(root->text(0));
        root->setExpanded(isNew || !folded.count(root->text(0)));
    }
    CurrentNode->setExpanded(true);
}

void TfmMain::SetQueueImage(QTreeWidgetItem* node, int image) const
{
    node->setData(0, Qt::UserRole, image);
    node->setIcon(0, QueueIcon(image));
}

void TfmMain::ShowSlotItem(const TTransferFileInfo& Item, int Slot)
{
    const int i = FQueueTree.ShowSlot(Item.IsDownload, Item.HostPath, Slot);
    if (i < 0) return;
    ShowQueueNode(Item.IsDownload, i);
    const std::string file = Item.LocalPath.substr(Item.LocalPath.find_last_of('/') + 1);
    SetRowTexts(Slot, "Transfering", file, "", 1);
}

void TfmMain::UnmarkSlotItem(int Slot)
{
    bool down = true;
    if (const TQueueNode* n = FQueueTree.Unmark(Slot, &down)) ShowQueueNode(down, FQueueTree.Find(down, n->Path));
}

void TfmMain::ItemCompleted(const TTransferFileInfo& Item, int Slot)
{
    const int i = FQueueTree.Completed(Item.IsDownload, Item.HostPath, Slot);
    if (i >= 0) ShowQueueNode(Item.IsDownload, i);
    SetRowTexts(Slot, "Completed", "", "", 0);
}

void TfmMain::ShowQueueNode(bool isDownload, int index)
{
    QTreeWidgetItem* parent = isDownload ? DownloadNode : UploadNode;
    const auto& nodes = isDownload ? FQueueTree.Download : FQueueTree.Upload;
    if (!parent || index < 0 || std::size_t(index) >= nodes.size()) return;
    QTreeWidgetItem* node = parent->child(index);
    if (!node) return;
    const TQueueNode& n = nodes[std::size_t(index)];
    node->setText(0, Q(n.Text()));
    SetQueueImage(node, n.StateImage());
}

QIcon TfmMain::QueueIcon(int image) const
{
    switch (image) {
    case 1: return style()->standardIcon(QStyle::SP_DirHomeIcon);
    case 2: return style()->standardIcon(QStyle::SP_MessageBoxWarning);
    case 3: return style()->standardIcon(QStyle::SP_DialogApplyButton);
    case 5: return style()->standardIcon(QStyle::SP_ArrowRight);
    case 6: return style()->standardIcon(QStyle::SP_DirIcon);
    case 7: return style()->standardIcon(QStyle::SP_ComputerIcon);
    default: return style()->standardIcon(QStyle::SP_FileIcon);
    }
}

void TfmMain::AddQueueItem(const TTransferFileInfo& item)
{
    FTransferQueue.push_back(item);
    const auto& nodes = item.IsDownload ? FQueueTree.Download : FQueueTree.Upload;
    const std::size_t before = nodes.size();
    const int i = FQueueTree.Add(item.IsDownload, item.HostPath);
    QTreeWidgetItem* parent = item.IsDownload ? DownloadNode : UploadNode;
    if (nodes.size() != before && parent) new QTreeWidgetItem(parent, {""});
    ShowQueueNode(item.IsDownload, i);
    if (parent) parent->setExpanded(true);
    if (CurrentNode) CurrentNode->setExpanded(true);
}

void TfmMain::ClearQueueNodes()
{
    FQueueTree.Clear();
    if (DownloadNode) qDeleteAll(DownloadNode->takeChildren());
    if (UploadNode) qDeleteAll(UploadNode->takeChildren());
}

int TfmMain::SelectedBrokenList() const
{
    QTreeWidgetItem* node = ui->tvQuene->currentItem();
    if (!node || !node->isSelected()) return -1;
    while (node->parent()) node = node->parent();
    if (node == CurrentNode) return -1;
    const int i = ui->tvQuene->indexOfTopLevelItem(node) - 1; // the current queue's node comes first
    return i >= 0 && std::size_t(i) < FBrokenLists.size() ? i : -1;
}

void TfmMain::SelectBrokenList(int index)
{
    if (QTreeWidgetItem* node = ui->tvQuene->topLevelItem(index + 1)) {
        ui->tvQuene->setCurrentItem(node);
        node->setSelected(true);
    }
}

int TfmMain::ConfirmedBrokenList(bool askSelection, bool confirm, const std::string& caption) const
{
    if (FSessionState != ssReady && FSessionState != ssConnected) return -1;
    const int index = SelectedBrokenList();
    if (index < 0) {
        if (askSelection) Dialogs().MessageBox("Please select a broken list !", ApplicationTitle(), MB_OK | MB_ICONINFORMATION);
        return -1;
    }
    if (confirm && Dialogs().MessageBox("Are you sure ?", caption, MB_YESNO | MB_ICONINFORMATION) != IDYES) return -1;
    return index;
}

void TfmMain::miResumeBrokenClick(bool askSelection)
{
    const int index = ConfirmedBrokenList(askSelection, FSettings.ConfirmFlags.ResumeBroken, "Resume Broken List");
    if (index < 0) return;
    const TOldQuene& list = FBrokenLists[std::size_t(index)];
    const bool sameSite = FSessionState == ssConnected && SameSite(list.Host, QuickBarHost());
    ui->cbHostName->setEditText(Q(list.Host.HostName));
    ui->edPort->setText(Q(list.Host.HostPort));
    ui->edUser->setText(Q(list.Host.UserName));
    ui->edPass->setText(Q(list.Host.PassWord));
    FTransferQueue.clear();
    ClearQueueNodes();
    for (const TTransferFileInfo& item : list.Items) AddQueueItem(item);
    FResumingKey = OldQueneKey(list);
    if (sameSite) {
        PendingAction = 0;
        StartResumedRun();
        return;
    }
    PendingAction = 2;
    sbConnectClick();
    // Refused or cancelled before connecting: the list stays where it was.
    if (FSessionState != ssConnecting) CancelResume();
}

void TfmMain::TakeResumedList()
{
    for (std::size_t i = 0; i < FBrokenLists.size(); ++i) {
        if (OldQueneKey(FBrokenLists[i]) != FResumingKey) continue;
        FRemovedBrokenKeys.insert(FResumingKey);
        FResumedDateTime = FBrokenLists[i].DateTime;
        FBrokenLists.erase(FBrokenLists.begin() + std::ptrdiff_t(i));
        break;
    }
    FResumingKey.clear();
    SeedQueueTree();
    CurrentNode->setExpanded(true);
    DownloadNode->setExpanded(true);
    UploadNode->setExpanded(true);
}

void TfmMain::StartResumedRun()
{
    TakeResumedList();
    SetSessionState(ssTransfering);
    // Its journal takes the list's place in the file.
    FManager->StartTransfer(FTransferQueue, 1);
    FResumedDateTime.clear();
}

void TfmMain::CancelResume()
{
    if (PendingAction != 2) return;
    PendingAction = 0;
    FResumingKey.clear();
    FTransferQueue.clear();
    ClearQueueNodes();
}

void TfmMain::DeleteBrokenList1Click(bool askSelection)
{
    const int index = ConfirmedBrokenList(askSelection, FSettings.ConfirmFlags.DeleteBroken, "Delete Broken List");
    if (index < 0) return;
    const TOldQuene& list = FBrokenLists[std::size_t(index)];
    FRemovedBrokenKeys.insert(OldQueneKey(list));
    // Gone from the file at once: a crash must not bring it back.
    try {
        StoreOldQuene(BrokenListFile(), list, TOldQueneStore::Remove);
    } catch (const std::exception& e) {
        DisplayLine(0, std::string("<ERROR>      ") + e.what());
    }
    FBrokenLists.erase(FBrokenLists.begin() + index);
    SeedQueueTree();
}

void TfmMain::miDetailInfoClick()
{
    if (FSessionState != ssReady && FSessionState != ssConnected) return;
    const int index = SelectedBrokenList();
    if (index < 0) return;
    TfmQueneInfo info(FBrokenLists[std::size_t(index)], this);
    if (info.exec() == 1) {
        SelectBrokenList(index);
        miResumeBrokenClick(false);
    }
}

void TfmMain::CalcSizeClick()
{
    if (FSessionState != ssConnected) return;
    PendingAction = 3;
    QueueDownloads();
    if (FSessionState != ssPreparing) PendingAction = 0;
}

void TfmMain::ManualDownloadClick()
{
    if (FSessionState != ssConnected) return;
    std::string name;
    if (!AskText("Manual Download", "Enter FileName:", name)) return;
    TTransferFileInfo item;
    // Size 0 is unknown: the engine completes the item only on the
    // server's clean end. Its sub-folders stay inside the local folder.
    if (!MakeDownloadItem(RemoteDir, LocalPath, name, 0, {}, item)) {
        Dialogs().MessageBox("\"" + name + "\" is no file name inside the local folder.", "Manual Download",
                             MB_OK | MB_ICONWARNING);
        return;
    }
    FTransferQueue.clear();
    ClearQueueNodes();
    QueuedFromDir.clear();
    AddQueueItem(item);
    StartQueuedDownloads();
}

void TfmMain::QueueDownloads()
{
    if (FSessionState != ssConnected) return;
    FSkippedNames.clear();
    FUnlistedDirs.clear();
    FQueuedRows.clear();
    for (const TlvFileInfo* r : SelectedRows(false)) FQueuedRows.push_back(*r);
    if (FQueuedRows.empty()) return;
    QueuedFromDir = RemoteDir;
    NextRowToQueue = 0;
    // Calculate Size adds to what is queued and totals it all.
    if (PendingAction != 3) {
        FTransferQueue.clear();
        ClearQueueNodes();
    }
    SetSessionState(ssPreparing);
    QueueDownloadLoop();
}

void TfmMain::QueueDownloadLoop()
{
    while (NextRowToQueue < FQueuedRows.size()) {
        const TlvFileInfo row = FQueuedRows[NextRowToQueue++];
        if (row.IsDir) {
            if (!IsSafeEntryName(row.Name)) {
                FSkippedNames.push_back(ShownName(QueuedFromDir + row.Name));
                continue;
            }
            // The walk ends in OperationDone, which comes back here.
            FExpandList.clear();
            FExpandBase = QueuedFromDir;
            FManager->ExpandRemoteDir(row.Name, FExpandList);
            return;
        }
        TTransferFileInfo item;
        if (MakeDownloadItem(QueuedFromDir, LocalPath, row.Name, RowSize(row), FSettings.RenameExtList, item))
            AddQueueItem(item);
        else
            FSkippedNames.push_back(ShownName(QueuedFromDir + row.Name));
    }
    FQueuedRows.clear();
    if (PendingAction == 3) {
        PendingAction = 0;
        std::int64_t total = 0;
        for (const auto& item : FTransferQueue) total += item.FileSize;
        Later([this, total] {
            if (FSessionState != ssPreparing) return;
            if (Dialogs().MessageBox("Total FileSize = " + FormatBytes(total) + "\rDownload Now ?", "Calculate Size",
                                     MB_YESNO | MB_ICONQUESTION) == IDYES)
                StartQueuedDownloads();
            else {
                FTransferQueue.clear();
                ClearQueueNodes();
                SetSessionState(ssConnected);
            }
        });
        return;
    }
    StartQueuedDownloads();
}

void TfmMain::AddExpandedFiles()
{
    for (const TGetFileInfo& f : FExpandList) {
        if (f.FileName.compare(0, FExpandBase.size(), FExpandBase) != 0) continue;
        TTransferFileInfo item;
        if (MakeDownloadItem(FExpandBase, LocalPath, f.FileName.substr(FExpandBase.size()), f.FileSize,
                             FSettings.RenameExtList, item))
            AddQueueItem(item);
        else
            FSkippedNames.push_back(ShownName(f.FileName));
    }
    // and what the walk itself refused
    const auto& refused = FManager->GetRefusedNames();
    FSkippedNames.insert(FSkippedNames.end(), refused.begin(), refused.end());
    // and the folders it left out, with why
    for (const auto& d : FManager->GetUnlistedDirs()) FUnlistedDirs.push_back(d.Reason);
    FExpandList.clear();
}

void TfmMain::StartQueuedDownloads()
{
    if (FTransferQueue.empty()) {
        ClearQueueNodes();
        SetSessionState(ssConnected);
        // Every name may have been left out.
        TellNotTransferred(false);
        return;
    }
    std::string failed;
    if (!MakeLocalFolders(FTransferQueue, &failed)) {
        FTransferQueue.clear();
        ClearQueueNodes();
        SetSessionState(ssConnected);
        Later([failed] { Dialogs().MessageBox("Cannot create the folder " + failed, ApplicationTitle(), MB_OK | MB_ICONERROR); });
        return;
    }
    SetSessionState(ssTransfering);
    FManager->StartTransfer(FTransferQueue, 0);
}

void TfmMain::QueueUploads()
{
    if (FSessionState != ssConnected) return;
    const auto rows = SelectedRows(true);
    if (rows.empty()) return;
    FTransferQueue.clear();
    ClearQueueNodes();
    FSkippedNames.clear();
    FUnlistedDirs.clear();
    for (const auto& item : MakeUploadItems(LocalPath, RemoteDir, rows, FSettings.RenameExtList, &FSkippedNames))
        AddQueueItem(item);
    if (FTransferQueue.empty()) {
        ClearQueueNodes();
        TellNotTransferred(false);
        return;
    }
    QueuedFromDir.clear();
    SetSessionState(ssPreparingUpload);
    FManager->MakeRemoteDirs(RemoteFoldersToMake(FTransferQueue, RemoteDir));
}

void TfmMain::MoveQueueToBroken()
{
    if (!FManager) return;
    auto left = FManager->TakeTransferQueue();
    // The run is over either way: what it carried must not be sent again
    // by the next run, nor counted by Calculate Size.
    FTransferQueue.clear();
    ClearQueueNodes();
    if (left.empty()) return;
    // The run's journal is this list already: it takes the journal's place
    // in the file instead of joining it.
    const std::string journal = FManager->GetRunListDateTime();
    TOldQuene q;
    q.DateTime = journal.empty() ? NowText() : journal;
    q.Host = FManager->GetHostInfo();
    q.Items.assign(std::make_move_iterator(left.begin()), std::make_move_iterator(left.end()));
    try {
        q.DateTime = StoreOldQuene(BrokenListFile(), q, journal.empty() ? TOldQueneStore::New : TOldQueneStore::Replace);
    } catch (const std::exception& e) {
        DisplayLine(0, std::string("<ERROR>      ") + e.what());
    }
    FBrokenLists.push_back(q);
    SeedQueueTree();
}

std::string TfmMain::BrokenListFile() const
{
    // An edit or view download fetches a copy to look at, no queue of the user's.
    return FSessionState == ssEditView ? std::string() : FProgramDir + "oldquene.ini";
}

std::string TfmMain::BrokenListDateTime() const { return FResumedDateTime.empty() ? NowText() : FResumedDateTime; }

void TfmMain::SetRunItems(const std::vector<TTransferFileInfo>& Items) { FRunItems = Items; }
