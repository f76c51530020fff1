#include "client/browser/FtpManager.h"

#include "os/MessageLoop.h"

namespace browser {

namespace {

constexpr os::UINT WM_BR_DELIVERED = os::WM_USER + 1;

} // namespace

TFtpManager::TFtpManager(int Workers, TFtpThreadConfig Config)
{
    FGuiTarget = os::CreateMessageTarget([this](os::UINT Msg, os::WPARAM, os::LPARAM) {
        if (Msg == WM_BR_DELIVERED) DrainOutbox();
        return os::LRESULT(0);
    });
    for (int i = 0; i < Workers; ++i)
        FThreads.push_back(std::make_unique<TFtpThread>(i, Config, [this](TBrEvent Event) { Deliver(std::move(Event)); }));
}

TFtpManager::~TFtpManager()
{
    Abort();
    Quit();
    // The workers never wait for this thread, so the joins end as soon as
    // their running waits have seen the abort.
    for (auto& t : FThreads) t->Join();
    FThreads.clear();
    os::DestroyMessageTarget(FGuiTarget);
}

void TFtpManager::Hand(TBrCommand Command)
{
    if (FThreads.empty()) return;
    ++FPending;
    FThreads[0]->Hand(std::move(Command));
}

void TFtpManager::Connect(const TBrHostInfo& Host)
{
    FHost = Host;
    FDirBuffer.Clear();
    TBrCommand c;
    c.Code = brConnect;
    c.Host = Host;
    Hand(std::move(c));
}

void TFtpManager::Reconnect() { Connect(FHost); }

void TFtpManager::OpenDir(const std::string& Path)
{
    TBrCommand c;
    c.Code = brOpenDir;
    c.Path = Path;
    Hand(std::move(c));
}

void TFtpManager::MakeDirs(const std::vector<std::string>& Names)
{
    TBrCommand c;
    c.Code = brMakeDirs;
    c.Names = Names;
    Hand(std::move(c));
}

void TFtpManager::DeleteItems(const std::vector<TDeleteFileItem>& Items)
{
    TBrCommand c;
    c.Code = brDeleteItems;
    c.Items = Items;
    Hand(std::move(c));
}

void TFtpManager::Rename(const std::string& OldName, const std::string& NewName)
{
    TBrCommand c;
    c.Code = brRename;
    c.OldName = OldName;
    c.NewName = NewName;
    Hand(std::move(c));
}

void TFtpManager::Abort()
{
    for (auto& t : FThreads) t->Abort();
}

void TFtpManager::Quit()
{
    for (auto& t : FThreads) t->Quit();
}

void TFtpManager::Deliver(TBrEvent Event)
{
    bool first;
    {
        std::lock_guard lock(FOutboxMutex);
        first = FOutbox.empty();
        FOutbox.push_back(std::move(Event));
    }
    // One message drains everything queued until it is handled.
    if (first) os::PostMessage(FGuiTarget, WM_BR_DELIVERED, 0, 0);
}

void TFtpManager::DrainOutbox()
{
    std::deque<TBrEvent> events;
    {
        std::lock_guard lock(FOutboxMutex);
        events.swap(FOutbox);
    }
    for (auto& e : events) {
        switch (e.Kind) {
        case TBrEvent::evDebug:
            if (CallBack.DebugLine) CallBack.DebugLine(e.Text);
            break;
        case TBrEvent::evDisplay:
            if (CallBack.DisplayLine) CallBack.DisplayLine(e.Text);
            break;
        case TBrEvent::evDone:
            --FPending;
            Dispatch(*e.Result);
            break;
        }
    }
}

void TFtpManager::Dispatch(const TBrResult& Result)
{
    FLastReply = Result.LastReply;
    // A command ended by an abort (or a time-out) refreshes nothing: each of
    // those queued behind the listing would list the folder once more.
    if (Result.Aborted || Result.LastReply == brTimedOut) return;
    switch (Result.Command.Code) {
    case brConnect:
    case brOpenDir: {
        // Only a listing that arrived whole is stored and shown.
        if (Result.Failed || !Result.Listed) return;
        const std::vector<int> indexes{FDirBuffer.Add(Result.Path, Result.Entries)};
        if (Result.Command.Code == brConnect) {
            if (CallBack.RootListingReady) CallBack.RootListingReady(indexes);
        } else if (CallBack.FoldersReady) {
            CallBack.FoldersReady(indexes, Result.Command.Path);
        }
        break;
    }
    case brMakeDirs:
    case brDeleteItems:
    case brRename:
        if (CallBack.Refresh) CallBack.Refresh(Result.ErrorShown);
        break;
    default: break;
    }
}

} // namespace browser
