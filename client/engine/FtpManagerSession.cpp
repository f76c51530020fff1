// The browsing session on slot 0: connect, login, probe, folder changes and
// the listing cache.
#include "client/engine/FtpManager.h"

#include <algorithm>

#include "client/engine/ClientSettings.h"
#include "client/engine/CommFunc.h"
#include "client/engine/DirListing.h"
#include "client/engine/FtpManagerInternal.h"

using namespace engine::detail;

// ---- connecting and logging in -----------------------------------------------

void TFtpManager::ConnectHost(const THostInfo& host)
{
    RetriesLeft = std::max(Window.Settings().ConnectionRetryTimes, 1);
    AbortPending = false;
    FSlots[0].State = TSlotState::Login;
    FProbeStep = -1;
    ClearCache();
    CurrentHost = host;
    DisconnectAll();
    TFtpClient& c = *FSlots[0].Client;
    c.SetHostName(host.HostName);
    c.SetPort(host.HostPort.empty() ? "21" : host.HostPort);
    c.SetUserName(host.UserName);
    c.SetPassWord(host.PassWord);
    SetupConnection(0);
    FSlots[0].Binary = -1;
    Start(0, rqOpen, &TCustomFtpCli::StartOpen);
}

void TFtpManager::LoginStep(TFtpRequest request, int error)
{
    TFtpClient& c = *FSlots[0].Client;
    if (FProbeStep >= 0 && (request == rqRawCommand || request == rqType)) {
        ProbeServer(request, error);
        return;
    }
    if (error != 0 && (request == rqUser || request == rqPass) &&
        (c.ReplyCode() == 220 || c.ReplyCode() == 331) && c.ConnectionType() == ftpProxy)
        error = 0;
    if (error != 0) {
        switch (request) {
        case rqOpen:
            Log(0, "Server Connection Failed.");
            if (--RetriesLeft <= 0) {
                Window.OperationFailed();
                return;
            }
            Log(0, "Retry Connection...");
            Start(0, rqOpen, &TCustomFtpCli::StartOpen);
            return;
        case rqUser:
        case rqPass: Log(0, "Server Connection Failed."); break;
        case rqList: CurrentListing.reset(); break;
        default: break;
        }
        c.AttachStream(nullptr);
        Window.OperationFailed();
        return;
    }
    switch (request) {
    case rqOpen: Start(0, rqUser, &TCustomFtpCli::SendUser); return;
    case rqUser:
        // A server that needs no password says so at once; PASS would be refused.
        if (c.ReplyCode() == 230) ProbeServer(rqNone, 0);
        else Start(0, rqPass, &TCustomFtpCli::SendPass);
        return;
    case rqPass: ProbeServer(rqNone, 0); return;
    case rqPwd: ShowPwdFolder(false); return;
    case rqList:
        StoreListing(CurrentRemoteDir);
        Window.OperationDone();
        return;
    default: return;
    }
}

void TFtpManager::ProbeServer(TFtpRequest request, int error)
{
    auto& slot = FSlots[0];
    TFtpClient& c = *slot.Client;
    if (request == rqNone) FProbeStep = 0;
    else if (!c.HasSession()) {
        FProbeStep = -1;
        c.SetLocalFileName("");
        Log(0, "Server Connection Failed.");
        Window.OperationFailed();
        return;
    }
    // A refusal only tells: SYST refused, or REST unknown, the login goes on.
    switch (FProbeStep++) {
    case 0:
        c.SetLocalFileName("SYST");
        Start(0, rqRawCommand, &TCustomFtpCli::SendRawCommand);
        return;
    case 1:
        Start(0, rqType, &TCustomFtpCli::SendTypeBinary);
        return;
    case 2:
        slot.Binary = error == 0 ? 1 : -1;
        c.SetLocalFileName("REST 100");
        Start(0, rqRawCommand, &TCustomFtpCli::SendRawCommand);
        return;
    case 3:
        RestSupported = error == 0 && c.ReplyCode() == 350;
        if (RestSupported) {
            // Servers keep a restart marker until the next transfer.
            c.SetLocalFileName("REST 0");
            Start(0, rqRawCommand, &TCustomFtpCli::SendRawCommand);
            return;
        }
        break;
    default: break;
    }
    FProbeStep = -1;
    c.SetLocalFileName("");
    Start(0, rqPwd, &TCustomFtpCli::SendPwd);
}

// After a PWD of login, folder change or refresh: take the folder and show
// its listing, from the cache when it holds it.
void TFtpManager::ShowPwdFolder(bool refresh)
{
    TFtpClient& c = *FSlots[0].Client;
    CurrentRemoteDir = c.ReplyDirectory();
    if (refresh) {
        Window.SetRemoteDirText(CurrentRemoteDir);
        Window.AddRemotePathHistory(CurrentRemoteDir);
    }
    CurrentRemoteDir = WithSlash(CurrentRemoteDir);
    if (ListThroughCache(0, CurrentRemoteDir)) Window.OperationDone();
}

// ---- the listing cache ---------------------------------------------------------

void TFtpManager::ClearCache()
{
    ListingCachePaths.clear();
    ListingCacheStreams.clear();
    ListingCacheLast = -1;
}

bool TFtpManager::ListThroughCache(int slot, const std::string& path)
{
    for (int i = 0; i <= ListingCacheLast; ++i) {
        if (ListingCachePaths[i] == path) {
            CurrentListing = ListingCacheStreams[i];
            return true;
        }
    }
    TFtpClient& c = *FSlots[slot].Client;
    CurrentListing = std::make_shared<TFtpMemoryStream>();
    FListingTarget = CurrentListing;
    SetSlotTransferType(c, false);
    c.SetLocalFileName("");
    c.SetHostFileName("");
    c.SetResumePosition(0);
    c.AttachStream(CurrentListing.get());
    Start(slot, rqList, &TCustomFtpCli::ChainList);
    return false;
}

void TFtpManager::StoreListing(const std::string& path)
{
    TFtpClient& c = *FSlots[0].Client;
    c.AttachStream(nullptr);
    const std::string key = WithSlash(path);
    if (!CurrentListing) return;
    std::vector<std::string> dropped;
    ListingWithoutNulLines(CurrentListing->DataString(), &dropped);
    for (const auto& line : dropped) Log(0, "Refused listing line holding a 0 byte: " + line);
    CurrentListing->Write("", 1);
    for (int i = 0; i <= ListingCacheLast; ++i)
        if (ListingCachePaths[i] == key) return;
    int at = ListingCacheLast + 1;
    if (at >= kCacheEntries) {
        // Full: a stale entry is taken again; with none the folder is not cached.
        const std::string stale(18, '-');
        auto it = std::find(ListingCachePaths.begin(), ListingCachePaths.end(), stale);
        if (it == ListingCachePaths.end()) return;
        at = static_cast<int>(it - ListingCachePaths.begin());
        ListingCachePaths[at] = key;
        ListingCacheStreams[at] = CurrentListing;
        return;
    }
    ListingCachePaths.push_back(key);
    ListingCacheStreams.push_back(CurrentListing);
    ListingCacheLast = at;
}

void TFtpManager::InvalidateListing(const std::string& path)
{
    const std::string key = WithSlash(path);
    for (int i = 0; i <= ListingCacheLast; ++i)
        if (ListingCachePaths[i] == key) ListingCachePaths[i] = std::string(18, '-');
}

// ---- folders ---------------------------------------------------------------------

void TFtpManager::ChangeRemoteDir(const std::string& path)
{
    AbortPending = false;
    TFtpClient& c = *FSlots[0].Client;
    FSlots[0].State = TSlotState::ChangeDir;
    if (!c.HasSession()) {
        Log(0, "Lost Connection, Please Reconnect");
        Window.OperationFailed();
        return;
    }
    std::string dir;
    if (path.find('/') != std::string::npos) dir = path;
    else if (!CurrentRemoteDir.empty() && CurrentRemoteDir.back() == '/') dir = CurrentRemoteDir + path;
    else dir = CurrentRemoteDir + "/" + path;
    c.SetHostDirName(dir);
    PreviousRemoteDir = CurrentRemoteDir;
    SavedListing = CurrentListing;
    CurrentRemoteDir = dir;
    Start(0, rqCwd, &TCustomFtpCli::SendCwd);
}

void TFtpManager::ChangeDirStep(TFtpRequest request, int error)
{
    if (AbortPending) {
        AbortPending = false;
        return;
    }
    if (error != 0) {
        if (request == rqCwd) {
            CurrentRemoteDir = PreviousRemoteDir;
            CurrentListing = SavedListing;
        }
        if (request == rqList) FSlots[0].Client->AttachStream(nullptr);
        Window.OperationFailed();
        return;
    }
    switch (request) {
    case rqCwd: Start(0, rqPwd, &TCustomFtpCli::SendPwd); break;
    case rqPwd: ShowPwdFolder(false); break;
    case rqList:
        StoreListing(CurrentRemoteDir);
        Window.OperationDone();
        break;
    default: Window.OperationFailed(); break;
    }
}

void TFtpManager::RefreshRemoteDir(const std::string& path)
{
    AbortPending = false;
    FSlots[0].State = TSlotState::Refresh;
    CurrentRemoteDir = path;
    InvalidateListing(path);
    if (!FSlots[0].Client->HasSession()) {
        Log(0, "Lost Connection, Please Reconnect");
        Window.OperationFailed();
        return;
    }
    if (path.empty()) Start(0, rqPwd, &TCustomFtpCli::SendPwd);
    else if (ListThroughCache(0, WithSlash(path))) Window.OperationDone();
}

void TFtpManager::RefreshStep(TFtpRequest request, int error)
{
    if (error != 0) {
        FSlots[0].Client->AttachStream(nullptr);
        Window.OperationFailed();
        return;
    }
    switch (request) {
    case rqPwd: ShowPwdFolder(true); break;
    case rqList:
        StoreListing(CurrentRemoteDir);
        Window.OperationDone();
        break;
    default: Window.OperationFailed(); break;
    }
}

bool TFtpManager::SendRawCommand(const std::string& text)
{
    TFtpClient* c = Client(0);
    if (!c || !c->HasSession()) return false;
    c->SetLocalFileName(text);
    const bool ok = c->RawCommandBlocking();
    c->SetLocalFileName("");
    return ok;
}
