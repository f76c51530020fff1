#pragma once
// The FTP browser's manager, on the GUI thread: hands commands to its worker
// as copies and turns what the worker delivers into the view's callbacks,
// run on the GUI thread (queued through the GUI thread's message loop) and
// routed by the command that produced each result. The listing cache is here,
// on the GUI side, so the worker never touches what the view shows.
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "client/browser/DirBuffer.h"
#include "client/browser/FtpThread.h"

namespace browser {

// The view's side of the results.
struct TCallBackFunc {
    // Cache indexes of the listings to show, and the folder that was asked
    // for (its PWD may name it otherwise, as for a link).
    std::function<void(const std::vector<int>& Indexes, const std::string& Requested)> FoldersReady;
    std::function<void(const std::vector<int>& Indexes)> RootListingReady;
    std::function<void(const std::string& Line)> DebugLine;
    std::function<void(const std::string& Line)> DisplayLine;
    // After a make, delete or rename; ErrorShown when an error line went out.
    std::function<void(bool ErrorShown)> Refresh;
};

class TFtpManager {
public:
    explicit TFtpManager(int Workers = 1, TFtpThreadConfig Config = {});
    // Aborts and quits every worker and waits for them: no result is
    // delivered after this.
    ~TFtpManager();
    TFtpManager(const TFtpManager&) = delete;
    TFtpManager& operator=(const TFtpManager&) = delete;

    TCallBackFunc CallBack;

    void Connect(const TBrHostInfo& Host);
    void Reconnect();
    void OpenDir(const std::string& Path);
    void MakeDirs(const std::vector<std::string>& Names);
    void DeleteItems(const std::vector<TDeleteFileItem>& Items);
    void Rename(const std::string& OldName, const std::string& NewName);
    void Abort();
    void Quit();

    TDirBuffer& DirBuffer() { return FDirBuffer; }
    const TBrHostInfo& Host() const { return FHost; }
    // The last reply code of the last finished command (-1 time-out, -2 abort).
    int LastReply() const { return FLastReply; }
    // Commands handed over whose results have not come back yet.
    int Pending() const { return FPending; }
    // Results that came back, in order (for tests and the window's checks).

private:
    void Hand(TBrCommand Command);
    void Deliver(TBrEvent Event); // worker thread
    void DrainOutbox();           // GUI thread
    void Dispatch(const TBrResult& Result);

    TDirBuffer FDirBuffer;
    TBrHostInfo FHost;
    int FLastReply = 0;
    int FPending = 0;

    std::mutex FOutboxMutex;
    std::deque<TBrEvent> FOutbox;
    os::HWND FGuiTarget = 0;
    std::vector<std::unique_ptr<TFtpThread>> FThreads;
};

} // namespace browser
