#include "client/ui/main/MenuEnabling.h"

std::map<std::string, bool> ComputeEnabling(const TEnablingInput& in)
{
    std::map<std::string, bool> e;
    auto set = [&e](std::initializer_list<const char*> names, bool on) {
        for (const char* n : names) e[n] = on;
    };
    const bool readyOrConnected = in.State == 0 || in.State == 2;
    const bool connected = in.State == 2;
    const bool localFile = in.LocalFocused && in.LocalSelected && !in.LocalFirstIsDir;
    const bool remoteFile = in.RemoteFocused && in.RemoteSelected && !in.RemoteFirstIsDir;
    const bool brokenSelected = in.BrokenNodeSelected && readyOrConnected;

    // Connecting again mid-operation would log connection 0 in anew under a
    // running transfer: only from Ready or Connected.
    set({"tbConnect", "tbReconnect", "miConnect", "miReconnect"}, in.HostGiven && readyOrConnected);
    set({"miAddCurrentSite", "miEditCurrentSite", "miCreateShortcut", "miBrowseServer"}, in.HostGiven);
    set({"tbAbort"}, !readyOrConnected);
    set({"tbDisconnect", "miDisconnect"}, connected);
    set({"tbDownload", "miDownload", "miCalcSize"}, connected && in.RemoteFocused && in.RemoteSelected);
    set({"tbUpload", "miUpload"}, connected && in.LocalFocused && in.LocalSelected);
    set({"tbViewFile", "miEdit", "miView"}, readyOrConnected && (remoteFile || localFile));
    set({"tbRefresh", "miSelectAll", "miInvertSelection", "miRefresh", "miFilterFiles", "miFilterDirectorys",
         "miGroupSelect", "miFindFile", "miFindNext"},
        in.LocalFocused || (in.RemoteFocused && connected));
    set({"tbProperty", "miProperties"}, in.LocalSelected && in.LocalFocused);
    set({"tbExecute", "miExecute"}, localFile);
    set({"tbDelete", "tbRename", "tbMoveFile", "miDelete", "miRename", "miMove"},
        readyOrConnected && ((in.LocalSelected && in.LocalFocused) || (in.RemoteSelected && in.RemoteFocused)));
    set({"tbNewDirectory", "tbChangeDirectory", "miMakeDirectory", "miChangeDirectory"},
        (readyOrConnected && in.LocalFocused) || (connected && in.RemoteFocused));
    set({"tbResumeBroken", "tbDeleteBroken", "tbBrokenDetail", "miResumeBroken", "miDeleteBroken",
         "miBrokenDetail"},
        brokenSelected);
    set({"tbPreference", "tbExit", "miExit", "miPreference", "miOpenCurrentDirectory"}, readyOrConnected);
    set({"miChangeMode", "miCopyUrl"}, connected && remoteFile);
    set({"miManualDownload", "QuoteCommand1", "miAddBookmark", "miViewRawDirectory"}, connected);
    set({"miLargeIcons", "miSmallIcons", "miList", "miDetails", "miArrangeIcons"},
        in.LocalFocused || in.RemoteFocused);
    return e;
}
