// The commands on the panes' rows: make, rename, move, delete, change mode,
// edit and view, change folder, selecting and finding, and the local
// desktop actions.
#include "client/ui/main/Main.h"

#include <filesystem>

#include "client/engine/FtpManager.h"
#include "client/ui/main/IndexFile.h"
#include "client/ui/main/Launcher.h"
#include "client/ui/main/MainCommon.h"
#include "client/ui/main/PaneActions.h"
#include "client/ui/small/FileProperties.h"
#include "platform/dialogs/Dialogs.h"
#include "ui_Main.h"

using namespace mainwin;

namespace fs = std::filesystem;

std::vector<std::string> TfmMain::SelectedNames(bool local) const
{
    std::vector<std::string> names;
    for (const TlvFileInfo* r : SelectedRows(local))
        if (r->Name != "..") names.push_back(r->Name);
    return names;
}

void TfmMain::LocalResult(const std::string& error)
{
    ListLocalDir(LocalPath);
    if (!error.empty()) Dialogs().MessageBox(error, ApplicationTitle(), MB_OK | MB_ICONWARNING);
}

void TfmMain::MakeDirectoryClick(bool local)
{
    std::string name;
    if (local) {
        if (FSessionState != ssReady && FSessionState != ssConnected) return;
        if (!AskName("Make Directory", "Name: ", name)) return;
        LocalResult(LocalMakeDir(LocalPath, name));
        return;
    }
    if (FSessionState != ssConnected || !AskName("Make Directory", "Name: ", name)) return;
    SetSessionState(ssMakingDir);
    FManager->MakeRemoteDirs({name});
}

void TfmMain::RenameClick(bool local)
{
    const auto names = SelectedNames(local);
    if (names.empty()) return;
    std::string name = names.front();
    if (local) {
        if (FSessionState != ssReady && FSessionState != ssConnected) return;
        if (!AskName("Rename", "New Name: ", name) || name == names.front()) return;
        LocalResult(LocalRename(LocalPath, names.front(), name));
        return;
    }
    if (FSessionState != ssConnected || !AskName("Rename", "New Name: ", name) || name == names.front()) return;
    SetSessionState(ssRenaming);
    FManager->RenameRemoteFiles({{RemoteDir + names.front(), RemoteDir + name}});
}

void TfmMain::MoveClick(bool local)
{
    const auto names = SelectedNames(local);
    if (names.empty()) return;
    std::string dest = local ? std::string() : RemoteDir;
    if (local ? (FSessionState != ssReady && FSessionState != ssConnected) : FSessionState != ssConnected) return;
    if (!AskName("Move File", "Destination Directory: ", dest)) return;
    if (FSettings.ConfirmFlags.MoveFiles && Dialogs().MessageBox("Move Now ?", "Move", MB_YESNO) != IDYES) return;
    if (local) {
        LocalResult(LocalMove(LocalPath, names, dest));
        return;
    }
    if (dest.back() != '/') dest += '/';
    std::vector<THostMoveFileInfo> list;
    for (const auto& n : names) list.push_back({RemoteDir + n, dest + n});
    MoveDestination = dest;
    SetSessionState(ssMoving);
    FManager->RenameRemoteFiles(std::move(list));
}

void TfmMain::EditViewClick(bool local, bool view)
{
    const auto rows = SelectedRows(local);
    const TlvFileInfo* row = nullptr;
    for (const TlvFileInfo* r : rows)
        if (!r->IsDir && !row) row = r;
    if (local) {
        if (!row || (FSessionState != ssReady && FSessionState != ssConnected)) return;
        EditLocal(LocalPath + row->Name);
        return;
    }
    if (row) EditRemoteRow(*row, view);
}

void TfmMain::EditRemoteRow(const TlvFileInfo& row, bool view)
{
    if (FSessionState != ssConnected || row.IsDir || !IsSafeLocalName(row.Name)) return;
    ViewOnly = view;
    IndexViewActive = false;
    TTransferFileInfo item;
    item.IsDownload = true;
    item.HostPath = RemoteDir + row.Name;
    item.LocalPath = TempDir() + row.Name;
    item.FileSize = RowSize(row);
    item.BeginPos = 0;
    item.EndPos = item.FileSize;
    EditLocalFile = item.LocalPath;
    EditRemoteFile = item.HostPath;
    EditQueue.assign(1, item);
    SetSessionState(ssEditView);
    FManager->StartTransfer(EditQueue, 0);
    tiProgress->stop();
    ui->Gauge1->setVisible(false);
}

void TfmMain::AutoViewIndexFile()
{
    const int i = IndexFileRow(FRemotePane.Rows, FSettings.IndexFileList, FSettings.IndexFileMaxSize,
                               FSettings.IndexFileDisable);
    if (i < 0) return;
    EditRemoteRow(FRemotePane.Row(i), true);
    // After the View has started: its start clears the flag.
    if (FSessionState == ssEditView) IndexViewActive = true;
}

void TfmMain::DeleteClick(bool local)
{
    const auto rows = SelectedRows(local);
    if (rows.empty()) return;
    if (local ? (FSessionState != ssReady && FSessionState != ssConnected) : FSessionState != ssConnected) return;
    if (FSettings.ConfirmFlags.Delete && Dialogs().MessageBox("Delete Now ?", "Delete", MB_YESNO) != IDYES) return;
    if (local) {
        LocalResult(LocalDelete(LocalPath, SelectedNames(true)));
        return;
    }
    std::vector<TDelFileInfo> list;
    for (const TlvFileInfo* r : rows) list.push_back({r->Name, r->IsDir});
    SetSessionState(ssDeleting);
    FManager->DeleteRemoteFiles(std::move(list));
}

void TfmMain::ChangeModeClick()
{
    const auto names = SelectedNames(false);
    std::string mode;
    if (FSessionState != ssConnected || names.empty() || !AskText("Change Mode", "New Mode: ", mode)) return;
    SetSessionState(ssChmod);
    FManager->ChmodRemoteFiles(names, mode);
}

void TfmMain::ChangeDirectoryClick(bool local)
{
    std::string path;
    if (local) {
        if (!AskText("Change Directory", "Name: ", path)) return;
        if (path[0] != '/') path = LocalPath + path;
        std::error_code ec;
        if (!fs::is_directory(path, ec)) {
            Dialogs().MessageBox(path + " is not a folder", ApplicationTitle(), MB_OK | MB_ICONWARNING);
            return;
        }
        LocalPath = WithSlash(path);
        ListLocalDir(LocalPath);
        return;
    }
    if (FSessionState != ssConnected || !AskText("Change Directory", "Name: ", path)) return;
    SetSessionState(ssChangingDir);
    FManager->ChangeRemoteDir(path);
}

void TfmMain::SelectRows(bool local, bool invert)
{
    TFilePaneView* lv = local ? ui->lvLocal : ui->lvHost;
    const TFilePane& pane = local ? FLocalPane : FRemotePane;
    std::vector<bool> picked(std::size_t(pane.RowCount()));
    for (int i = 0; i < pane.RowCount(); ++i)
        picked[std::size_t(i)] = pane.Row(i).Name != ".." && (!invert || !lv->IsRowSelected(i));
    lv->SetSelectedRows(picked);
}

void TfmMain::FilterFilesClick(bool local)
{
    TFilePane& pane = local ? FLocalPane : FRemotePane;
    std::string filter = pane.Filter;
    if (!Dialogs().InputQuery(local ? "Local Filter" : "Remote Filter", local ? "Enter New Filter:" : "Enter New Filter",
                              filter))
        return;
    pane.Filter = filter;
    ShowPaneRows(local);
}

void TfmMain::GroupSelectClick(bool local)
{
    if (!local && FSessionState != ssConnected) return;
    std::string selector;
    if (!Dialogs().InputQuery("Group Select", "Enter Selector:", selector)) return;
    const auto picked = (local ? FLocalPane : FRemotePane).GroupSelect(selector);
    (local ? ui->lvLocal : ui->lvHost)->SetSelectedRows(picked);
}

void TfmMain::FindFileClick(bool local)
{
    if (!local && FSessionState != ssConnected) return;
    TFilePane& pane = local ? FLocalPane : FRemotePane;
    std::string text;
    if (!Dialogs().InputQuery("Find", "Enter Find FileName:", text)) return;
    pane.FindText = text;
    pane.FindStart = 0;
    FindNextClick(local);
}

void TfmMain::FindNextClick(bool local)
{
    if (!local && FSessionState != ssConnected) return;
    TFilePaneView* lv = local ? ui->lvLocal : ui->lvHost;
    lv->ClearSelection();
    const int found = (local ? FLocalPane : FRemotePane).FindNext();
    if (found < 0) {
        Dialogs().MessageBox("File not find!", "Find", MB_OK | MB_ICONINFORMATION);
        return;
    }
    lv->SelectOnly(found);
}

std::vector<const TlvFileInfo*> TfmMain::SelectedRows(bool local) const
{
    std::vector<const TlvFileInfo*> rows;
    for (int i : (local ? ui->lvLocal : ui->lvHost)->SelectedRowIndexes())
        if (const TlvFileInfo* row = PaneRow(local, i); row && row->Name != "..") rows.push_back(row);
    return rows;
}

void TfmMain::ExecuteClick()
{
    if (FSessionState != ssReady && FSessionState != ssConnected) return;
    const auto rows = SelectedRows(true);
    // A folder opens by a double click; it is not executed.
    if (rows.empty() || rows.front()->IsDir) return;
    OpenLocal(LocalPath + rows.front()->Name);
}

void TfmMain::EditLocal(const std::string& path)
{
    if (OpenForEditOrView(path, FSettings.DefaultEditView, StartProgram)) return;
    if (!FSettings.DefaultEditView.empty()) {
        Dialogs().MessageBox("Cannot start the editor " + FSettings.DefaultEditView + " for " + path, ApplicationTitle(),
                             MB_OK | MB_ICONWARNING);
        return;
    }
    OpenLocal(path);
}

void TfmMain::OpenLocal(const std::string& path)
{
    if (!OpenWithDesktop(path, StartProgram))
        Dialogs().MessageBox("Cannot open " + path, ApplicationTitle(), MB_OK | MB_ICONWARNING);
}

void TfmMain::PropertiesClick()
{
    if (FSessionState != ssReady && FSessionState != ssConnected) return;
    const auto names = SelectedNames(true);
    if (names.empty()) return;
    const std::string path = LocalPath + names.front();
    const auto info = ReadFileProperties(path);
    if (!info) {
        // Gone since it was listed: the pane shows what is there now.
        LocalResult("Cannot read the properties of " + path);
        return;
    }
    TfmFileProperties dialog(*info, this);
    dialog.exec();
}

void TfmMain::OpenCurrentDirectoryClick()
{
    if (FSessionState != ssReady && FSessionState != ssConnected) return;
    OpenLocal(LocalPath);
}
