// Batches on slot 0: folders made, renames, deletions, mode changes.
#include "client/engine/FtpManager.h"

#include "client/engine/CommFunc.h"
#include "client/engine/FtpManagerInternal.h"

using namespace engine::detail;

// ---- batches -----------------------------------------------------------------------

void TFtpManager::MakeRemoteDirs(std::vector<std::string> names)
{
    AbortPending = false;
    FSlots[0].State = TSlotState::MakeDirs;
    FMakeDirList.assign(names.begin(), names.end());
    SendNextBatchEntry();
}

void TFtpManager::RenameRemoteFiles(std::vector<THostMoveFileInfo> list)
{
    FSlots[0].State = TSlotState::Rename;
    FRenameList.assign(list.begin(), list.end());
    RenameTo.clear();
    SendNextBatchEntry();
}

void TFtpManager::DeleteRemoteFiles(std::vector<TDelFileInfo> list)
{
    FSlots[0].State = TSlotState::Delete;
    FDeleteList.assign(list.begin(), list.end());
    SendNextBatchEntry();
}

void TFtpManager::ChmodRemoteFiles(std::vector<std::string> names, const std::string& mode)
{
    FSlots[0].State = TSlotState::Chmod;
    FChmodList.assign(names.begin(), names.end());
    FChmodMode = mode;
    SendNextBatchEntry();
}

void TFtpManager::SendNextBatchEntry()
{
    TFtpClient& c = *FSlots[0].Client;
    switch (FSlots[0].State) {
    case TSlotState::MakeDirs:
        if (FMakeDirList.empty()) break;
        FBatchEntry = StripTrailingSlash(FMakeDirList.front());
        FMakeDirList.pop_front();
        c.SetHostFileName(FBatchEntry);
        Start(0, rqMakeDir, &TCustomFtpCli::SendMkd);
        return;
    case TSlotState::Rename:
        if (FRenameList.empty()) break;
        FRenameFrom = FRenameList.front().OldName;
        c.SetHostFileName(FRenameList.front().OldName);
        RenameTo = FRenameList.front().NewName;
        FRenameList.pop_front();
        Start(0, rqRenameFrom, &TCustomFtpCli::SendRnfr);
        return;
    case TSlotState::Delete: {
        if (FDeleteList.empty()) break;
        const TDelFileInfo d = FDeleteList.front();
        FDeleteList.pop_front();
        FBatchEntry = d.FileName;
        c.SetHostFileName(d.FileName);
        if (d.IsDir) Start(0, rqRemoveDir, &TCustomFtpCli::SendRmd);
        else Start(0, rqDelete, &TCustomFtpCli::SendDele);
        return;
    }
    case TSlotState::Chmod:
        if (FChmodList.empty()) break;
        FBatchEntry = FChmodList.front();
        c.SetLocalFileName("SITE CHMOD " + FChmodMode + " " + FChmodList.front());
        FChmodList.pop_front();
        Start(0, rqRawCommand, &TCustomFtpCli::SendRawCommand);
        return;
    default: break;
    }
    Window.OperationDone();
}

void TFtpManager::BatchStep(TFtpRequest request, int error)
{
    TFtpClient& c = *FSlots[0].Client;
    // A raw command passes any reply below 500: SITE CHMOD needs a 2xx.
    if (request == rqRawCommand && error == 0 && !ReplyIs2xx(0)) error = c.ReplyCode();
    // The folders of an upload may be there already, which is what was
    // asked for; a folder the user makes by name is made or refused, as told.
    // The probe is no request of the engine's: the refusal told
    // (GetLastReply) stays the MKD's.
    if (error != 0 && request == rqMakeDir && c.HasSession() && Window.SessionState() == ssPreparingUpload) {
        const std::string back = CurrentRemoteDir;
        c.SetLocalFileName("CWD " + FBatchEntry);
        const bool exists = c.RawCommandBlocking() && ReplyIs2xx(0);
        if (exists && !back.empty()) {
            c.SetLocalFileName("CWD " + back);
            c.RawCommandBlocking();
        }
        c.SetLocalFileName("");
        if (exists) error = 0;
    }
    if (error != 0) {
        FMakeDirList.clear();
        FRenameList.clear();
        FDeleteList.clear();
        FChmodList.clear();
        RenameTo.clear();
        Window.OperationFailed();
        return;
    }
    if (request == rqRenameFrom) {
        FBatchEntry = RenameTo;
        c.SetLocalFileName(RenameTo);
        RenameTo.clear();
        Start(0, rqRenameTo, &TCustomFtpCli::SendRnto);
        return;
    }
    if (request == rqRenameTo) {
        c.SetLocalFileName("");
        ForgetChangedListings(FRenameFrom);
    }
    ForgetChangedListings(FBatchEntry);
    SendNextBatchEntry();
}

void TFtpManager::ForgetChangedListings(const std::string& path)
{
    if (path.empty()) return;
    std::string full = path[0] == '/' ? path : WithSlash(CurrentRemoteDir) + path;
    while (full.size() > 1 && full.back() == '/') full.pop_back();
    const std::string below = WithSlash(full);
    InvalidateListing(full.substr(0, full.rfind('/') + 1));
    const std::string stale(18, '-');
    for (int i = 0; i <= ListingCacheLast; ++i)
        if (ListingCachePaths[i].starts_with(below)) ListingCachePaths[i] = stale;
}
