// Folder expansion: the files below the folders of a selection.
#include "client/engine/FtpManager.h"

#include <algorithm>

#include "client/engine/ClientSettings.h"
#include "client/engine/CommFunc.h"
#include "client/engine/DirListing.h"
#include "client/engine/FtpManagerInternal.h"

using namespace engine::detail;

namespace {

// A folder an expansion left out, as a run's report names it.
TFailedItem UnlistedDir(const std::string& folder, const std::string& why)
{
    TTransferFileInfo item;
    item.HostPath = folder;
    item.IsDir = true;
    return {item, "Not listed: " + ShownName(folder) + ": " + why.substr(std::min(why.find_first_not_of(' '), why.size()))};
}

} // namespace

std::string NormalizeRemotePath(const std::string& path)
{
    std::vector<std::string> parts;
    std::size_t at = 0;
    while (at <= path.size()) {
        std::size_t next = path.find('/', at);
        if (next == std::string::npos) next = path.size();
        const std::string part = path.substr(at, next - at);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        at = next + 1;
    }
    std::string out = "/";
    for (std::size_t i = 0; i < parts.size(); ++i) out += (i ? "/" : "") + parts[i];
    return out;
}

std::string ExpandedLocalPath(const std::string& localRoot, const std::string& remoteRoot,
                              const std::string& remotePath)
{
    const std::string root = WithSlash(remoteRoot);
    if (remotePath.size() <= root.size() || remotePath.compare(0, root.size(), root) != 0) return {};
    const std::string rest = remotePath.substr(root.size());
    std::size_t at = 0;
    while (at <= rest.size()) {
        std::size_t next = rest.find('/', at);
        if (next == std::string::npos) next = rest.size();
        const std::string part = rest.substr(at, next - at);
        if (!IsSafeEntryName(part)) return {};
        at = next + 1;
    }
    return WithSlash(localRoot) + rest;
}

// ---- expansion -------------------------------------------------------------------

void TFtpManager::ExpandRemoteDir(const std::string& name, std::vector<TGetFileInfo>& list)
{
    AbortPending = false;
    PreviousRemoteDir = CurrentRemoteDir;
    SavedListing = CurrentListing;
    const std::string root = name.starts_with("/") ? WithSlash(name) : WithSlash(CurrentRemoteDir) + WithSlash(name);
    FSlots[0].State = TSlotState::Expand;
    list.clear();
    ExpandResult = &list;
    PendingDirs.clear();
    FVisits.clear();
    FUnlistedDirs.clear();
    FRefusedNames.clear();
    FExpandRestoring = false;
    FExpandLogin = false;
    FExpandLoginNext = false;
    if (!FSlots[0].Client->HasSession()) {
        Log(0, "Lost Connection, Please Reconnect");
        Window.OperationFailed();
        return;
    }
    PendingDirs.push_back({root, root, 0, {}});
    NextPendingDir();
}

void TFtpManager::NextPendingDir()
{
    if (PendingDirs.empty()) {
        EndExpansion();
        return;
    }
    FExpandDir = PendingDirs.back();
    PendingDirs.pop_back();
    CurrentRemoteDir = FExpandDir.Logical;
    FSlots[0].Client->SetHostDirName(FExpandDir.Target);
    Start(0, rqCwd, &TCustomFtpCli::SendCwd);
}

void TFtpManager::EndExpansion()
{
    // The server goes back to the folder the window shows, so later names
    // and listings mean what the user sees.
    FExpandRestoring = true;
    CurrentRemoteDir = PreviousRemoteDir;
    CurrentListing = SavedListing;
    if (PreviousRemoteDir.empty()) {
        FExpandRestoring = false;
        Window.OperationDone();
        return;
    }
    FSlots[0].Client->SetHostDirName(PreviousRemoteDir);
    Start(0, rqCwd, &TCustomFtpCli::SendCwd);
}

void TFtpManager::EndExpansionUnlisted()
{
    // Nothing more can be listed (no new login): the expansion fails, and
    // the folder at hand and what is left are named.
    const std::string why = RequestOutcome(0);
    if (!FExpandLoginNext) FUnlistedDirs.push_back(UnlistedDir(FExpandDir.Logical, why));
    for (const auto& d : PendingDirs) FUnlistedDirs.push_back(UnlistedDir(d.Logical, why));
    PendingDirs.clear();
    FExpandLoginNext = false;
    CurrentRemoteDir = PreviousRemoteDir;
    CurrentListing = SavedListing;
    Window.OperationFailed();
}

void TFtpManager::ExpandStep(TFtpRequest request, int error)
{
    if (AbortPending) {
        AbortPending = false;
        return;
    }
    TFtpClient& c = *FSlots[0].Client;
    if (FExpandRestoring) {
        FExpandRestoring = false;
        if (error != 0) Log(0, "Could not return to " + PreviousRemoteDir);
        if (error != 0) Window.OperationFailed();
        else Window.OperationDone();
        return;
    }
    switch (request) {
    case rqCwd:
        if (error != 0) return LeaveFolderOut(RequestOutcome(0));
        Start(0, rqPwd, &TCustomFtpCli::SendPwd);
        return;
    case rqPwd: {
        if (error != 0) return LeaveFolderOut(RequestOutcome(0));
        const std::string real = WithSlash(c.ReplyDirectory());
        // A link back up the tree would list the same folders for ever; a
        // second path to a folder elsewhere is a folder of its own.
        const auto& above = FExpandDir.Above;
        if (std::find(above.begin(), above.end(), real) != above.end()) {
            Log(0, "Link loop: " + ShownName(FExpandDir.Logical) + " is " + ShownName(real) + ", a folder it lies in");
            NextPendingDir();
            return;
        }
        if (++FVisits[real] > kMaxPathsPerFolder) {
            Log(0, "Already expanded " + std::to_string(kMaxPathsPerFolder) + " times: " + ShownName(real));
            NextPendingDir();
            return;
        }
        FExpandDir.Target = real;
        if (ListThroughCache(0, real)) ProcessExpandListing();
        return;
    }
    case rqList:
        c.AttachStream(nullptr);
        if (error != 0) {
            // A listing that stalled or broke is asked for again, on a new
            // login when the session went with it; a folder that keeps
            // failing is left out, and named.
            const std::string why = RequestOutcome(0);
            if (FExpandDir.ListRetries++ >= std::max(Window.Settings().ConnectionRetryTimes, 1))
                return LeaveFolderOut(why);
            Log(0, "Listing " + ShownName(FExpandDir.Logical) + " failed: " + why + "; listing it again");
            if (!c.HasSession()) {
                ExpandLogin(rqNone, 0);
                return;
            }
            if (ListThroughCache(0, FExpandDir.Target)) ProcessExpandListing();
            return;
        }
        CurrentListing->Write("", 1);
        ProcessExpandListing();
        return;
    case rqOpen:
    case rqUser:
    case rqPass:
        if (FExpandLogin) {
            ExpandLogin(request, error);
            return;
        }
        LeaveFolderOut(RequestOutcome(0));
        return;
    default: LeaveFolderOut(RequestOutcome(0)); return;
    }
}

void TFtpManager::LeaveFolderOut(const std::string& why)
{
    FUnlistedDirs.push_back(UnlistedDir(FExpandDir.Logical, why));
    Log(0, FUnlistedDirs.back().Reason);
    if (FSlots[0].Client->HasSession()) {
        NextPendingDir();
        return;
    }
    // The failure took the session: the rest is listed (and the server sent
    // back to the window's folder) on a new one.
    FExpandLoginNext = true;
    ExpandLogin(rqNone, 0);
}

void TFtpManager::ExpandLogin(TFtpRequest request, int error)
{
    TFtpClient& c = *FSlots[0].Client;
    if (error != 0 && (request == rqUser || request == rqPass) &&
        (c.ReplyCode() == 220 || c.ReplyCode() == 331) && c.ConnectionType() == ftpProxy)
        error = 0;
    if (error != 0) {
        FExpandLogin = false;
        Log(0, "Server Connection Failed.");
        EndExpansionUnlisted();
        return;
    }
    switch (request) {
    case rqNone:
        FExpandLogin = true;
        FSlots[0].Binary = -1;
        SetupConnection(0);
        Start(0, rqOpen, &TCustomFtpCli::StartOpen);
        return;
    case rqOpen: Start(0, rqUser, &TCustomFtpCli::SendUser); return;
    case rqUser:
        if (c.ReplyCode() != 230) {
            Start(0, rqPass, &TCustomFtpCli::SendPass);
            return;
        }
        break;
    default: break;
    }
    FExpandLogin = false;
    if (std::exchange(FExpandLoginNext, false)) {
        NextPendingDir();
        return;
    }
    // In again: the folder is entered as before, and listed.
    if (auto it = FVisits.find(FExpandDir.Target); it != FVisits.end()) --it->second;
    c.SetHostDirName(FExpandDir.Target);
    Start(0, rqCwd, &TCustomFtpCli::SendCwd);
}

void TFtpManager::ProcessExpandListing()
{
    std::vector<TDirAnalyze> entries;
    std::vector<std::string> dropped;
    ParseDirListing(CurrentListing ? ListingWithoutNulLines(CurrentListing->DataString(), &dropped) : std::string(), entries);
    CurrentListing.reset();
    const TClientSettings& st = Window.Settings();
    const std::string logical = FExpandDir.Logical;
    for (const auto& line : dropped) {
        FRefusedNames.push_back(ShownName(logical) + ": " + line);
        Log(0, "Refused listing line holding a 0 byte: " + line);
    }
    const std::string real = FExpandDir.Target;
    std::vector<std::string> above = FExpandDir.Above;
    above.push_back(real);
    std::vector<TPendingDir> found;
    for (const auto& e : entries) {
        const char kind = e.Attr.empty() ? ' ' : e.Attr[0];
        std::string name = e.FileName;
        std::string target;
        if (kind == 'l') {
            const auto arrow = name.find(" -> ");
            if (arrow != std::string::npos) {
                target = name.substr(arrow + 4);
                name = name.substr(0, arrow);
            }
        }
        if (!IsSafeEntryName(name)) {
            // "../x", "/etc/x", "." and ".." would lead out of the folder;
            // control characters would reach file names and terminals.
            if (name != "." && name != "..") {
                FRefusedNames.push_back(ShownName(logical + name));
                Log(0, "Refused listing name: " + ShownName(name));
            }
            continue;
        }
        if (kind == ' ' || kind == '-' || (kind == 'l' && !st.IgnoreLinksOnGet && st.ResolveLinkAsFile)) {
            ExpandResult->push_back({logical + name, ListingSizeToInt64(e.Size)});
        } else if (kind == '<' || kind == 'd') {
            found.push_back({logical + name + "/", real + name + "/", 0, above});
        } else if (kind == 'l' && !st.IgnoreLinksOnGet) {
            // A link shown as a folder is expanded as one, under its own name.
            while (!target.empty() && target.back() == ' ') target.pop_back();
            if (target.empty()) continue;
            if (HasControlChar(target)) {
                // It would go out in a CWD command line.
                FRefusedNames.push_back(ShownName(logical + name));
                Log(0, "Refused link target: " + ShownName(target));
                continue;
            }
            const std::string to = target[0] == '/' ? target : real + target;
            found.push_back({logical + name + "/", WithSlash(NormalizeRemotePath(to)), 0, above});
        }
    }
    for (auto& d : found) PendingDirs.push_back(std::move(d));
    NextPendingDir();
}
