// The engine's pool of clients: wiring, dispatch of their events, the abort.
#include "client/engine/FtpManager.h"

#include <climits>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <utility>

#include "client/engine/ClientSettings.h"
#include "client/engine/CommFunc.h"
#include "client/engine/DirListing.h"
#include "client/engine/FtpManagerInternal.h"
#include "os/MessageTarget.h"

using namespace engine::detail;

// ---- the window's forwarding -------------------------------------------------

void TFtpManagerWindow::ClientProgress(TObject* Sender, std::int64_t Count, bool& Abort)
{
    const int state = SessionState();
    if (Manager && (state == ssTransfering || state == ssEditView))
        Manager->TransferProgress(static_cast<TCustomFtpCli*>(Sender)->Tag(), Count, Abort);
}

void TFtpManagerWindow::TransferClientRequestDone(TObject* Sender, TFtpRequest RqType, std::uint16_t Error)
{
    if (Manager) Manager->DispatchTransferRequest(static_cast<TCustomFtpCli*>(Sender)->Tag(), RqType, Error);
}

void TFtpManagerWindow::MainClientRequestDone(TObject*, TFtpRequest RqType, std::uint16_t Error)
{
    if (Manager) Manager->DispatchMainRequest(RqType, Error);
}

const std::string& TFtpManagerWindow::ProgramTitle() const
{
    static const std::string title = "Skelwick";
    return title;
}

std::string TFtpManagerWindow::BrokenListDateTime() const
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

namespace engine::detail {

std::string ListingWithoutNulLines(std::string_view data, std::vector<std::string>* dropped)
{
    while (!data.empty() && data.back() == '\0') data.remove_suffix(1);
    if (data.find('\0') == std::string_view::npos) return std::string(data);
    std::string out;
    out.reserve(data.size());
    while (!data.empty()) {
        const std::size_t end = std::min(data.find('\n'), data.size() - 1) + 1;
        const std::string_view line = data.substr(0, end);
        data.remove_prefix(end);
        if (line.find('\0') == std::string_view::npos) out.append(line);
        else if (dropped) dropped->push_back(ShownName(line.substr(0, line.find_last_not_of("\r\n") + 1)));
    }
    return out;
}

} // namespace engine::detail

// ---- the pool ------------------------------------------------------------------

namespace {
constexpr os::UINT WM_CHECK_PART_END = os::WM_USER + 1;
}

TFtpManager::TFtpManager(TFtpManagerWindow& Window) : Window(Window), FSlots(kMaxSlots)
{
    Window.Manager = this;
    FJournalWindow = os::CreateMessageTarget([this](os::UINT Msg, os::WPARAM, os::LPARAM) { return JournalMessage(Msg); });
    FTarget = os::CreateMessageTarget([this](os::UINT msg, os::WPARAM w, os::LPARAM l) -> os::LRESULT {
        if (msg == WM_CHECK_PART_END) CheckPartEnd(static_cast<int>(w), static_cast<std::uint64_t>(l));
        return 0;
    });
}

TFtpManager::~TFtpManager()
{
    os::DestroyMessageTarget(FJournalWindow);
    // Gone in the middle of a run: the journal keeps what is left, at the
    // bytes on disk (the window may have taken the queue: then as it is).
    // The window may be half gone: nothing is told.
    if (FRunActive && FJournal.Active()) {
        SyncAllNow();
        const auto left = JournalItems(UnfinishedItems());
        if (!left.empty()) FJournal.End(left);
    }
    for (int i = 0; i < kMaxSlots; ++i) FreeClient(i);
    os::DestroyMessageTarget(FTarget);
    if (Window.Manager == this) Window.Manager = nullptr;
}

void TFtpManager::PostPartEndCheck(int slot)
{
    auto& s = FSlots[slot];
    if (s.EndCheckPosted) return;
    s.EndCheckPosted = true;
    os::PostMessage(FTarget, WM_CHECK_PART_END, static_cast<os::WPARAM>(slot), static_cast<os::LPARAM>(s.Serial));
}

TFtpClient* TFtpManager::Client(int slot) const
{
    if (slot < 0 || slot >= kMaxSlots) return nullptr;
    return FSlots[slot].Client.get();
}

void TFtpManager::Log(int slot, const std::string& text)
{
    TFtpClient* c = Client(slot);
    if (!c) return;
    std::string line = text;
    Window.ClientDisplay(c, line);
}

void TFtpManager::WireClient(int slot)
{
    FreeClient(slot);
    auto& s = FSlots[slot];
    s = TSlot{};
    s.Client = std::make_unique<TFtpClient>();
    TFtpClient& c = *s.Client;
    c.SetTag(slot);
    c.SetErrorHandler([this](TObject* Sender, std::string& Msg) { Window.ClientDisplay(Sender, Msg); });
    c.OnDisplay = [this](TObject* Sender, std::string& Msg) { Window.ClientDisplay(Sender, Msg); };
    c.OnProgress = [this](TObject* Sender, std::int64_t Count, bool& Abort) { Window.ClientProgress(Sender, Count, Abort); };
    c.OnResponse = [this, slot](TObject*) { NoteReply(slot); };
    c.SetShareMode(ftpShareDenyNone);
    if (slot == 0) {
        c.OnRequestDone = [this](TObject* Sender, TFtpRequest Rq, std::uint16_t Error) {
            Window.MainClientRequestDone(Sender, Rq, Error);
        };
        c.OnSessionClosed = [this](TObject* Sender, std::uint16_t Error) { Window.MainSessionClosed(Sender, Error); };
    } else {
        c.OnRequestDone = [this](TObject* Sender, TFtpRequest Rq, std::uint16_t Error) {
            Window.TransferClientRequestDone(Sender, Rq, Error);
        };
        c.OnSessionClosed = [this](TObject* Sender, std::uint16_t Error) { Window.TransferSessionClosed(Sender, Error); };
    }
}

void TFtpManager::FreeClient(int slot)
{
    auto& s = FSlots[slot];
    s.Client.reset();
    s.Stream.reset();
    s.Item.reset();
    s.State = TSlotState::Idle;
    s.Outstanding = rqNone;
    s.Opening = false;
    s.Draining = false;
}

void TFtpManager::CreateConnections(int n)
{
    n = std::clamp(n, 1, kMaxSlots - 1);
    for (int i = 0; i < kMaxSlots; ++i) FreeClient(i);
    FClientCount = n;
    for (int i = 0; i < n; ++i) {
        WireClient(i);
        SetupConnection(i);
    }
    ClearCache();
    PendingDirs.clear();
}

void TFtpManager::SetupConnection(int slot)
{
    TFtpClient* c = Client(slot);
    if (!c) return;
    const TClientSettings& st = Window.Settings();
    const std::string& host = CurrentHost.HostName;
    c->SetTimeout(st.Timeout);
    std::string line;
    if (st.ProxySetting.Enabled) {
        const int type = st.ProxySetting.Type ? st.ProxySetting.Type : int(ftpProxy);
        c->SetConnectionType(static_cast<TFtpConnectionType>(type));
        c->SetProxyServer(st.ProxySetting.Host);
        c->SetProxyPort(st.ProxySetting.Port);
        c->SetProxyUser(st.ProxySetting.User);
        c->SetProxyPassword(st.ProxySetting.Pass);
        c->SetPassiveMode(true);
        if (c->ConnectionType() != ftpDirect) {
            line = "Using Proxy Connecting to " + host + " ...";
        } else {
            // The client has no login form for this proxy type: it goes
            // straight to the server, and the user hears so once.
            line = "Connecting to " + host + " directly ... (proxy type " + std::to_string(type) +
                   " has no login here: the proxy is not used)";
            if (slot == 0 && !host.empty() && FDirectProxyTold != type) {
                FDirectProxyTold = type;
                Window.ShowMessage("Proxy type " + std::to_string(type) + " is not supported: connections go directly to " +
                                   host + ", not through the proxy " + st.ProxySetting.Host + ".");
            }
        }
    } else if (st.SocksSetting.Enabled) {
        line = "Using Socks Connecting to " + host + " ...";
        c->SetConnectionType(static_cast<TFtpConnectionType>(st.SocksSetting.Type ? st.SocksSetting.Type : int(ftpSocks5)));
        c->SetSocksServer(st.SocksSetting.Host);
        c->SetSocksPort(st.SocksSetting.Port);
        c->SetSocksUserCode(st.SocksSetting.User);
        c->SetSocksPassword(st.SocksSetting.Pass);
        c->SetPassiveMode(true);
    } else {
        line = "Connecting to " + host + " ...";
        c->SetConnectionType(ftpDirect);
        c->SetPassiveMode(st.PasvMode);
    }
    if (!host.empty()) Log(slot, line);
}

void TFtpManager::SetConnectionCount(int n)
{
    n = std::clamp(n, 1, kMaxSlots - 1);
    if (n < FClientCount) {
        // The slots that go take nothing more, and the ends of their requests
        // (dispatched while the waits below pump) are not theirs to act on.
        for (int i = n; i < FClientCount; ++i) {
            FSlots[i].Retired = true;
            FSlots[i].Outstanding = rqNone;
        }
        for (int i = n; i < FClientCount; ++i) {
            auto& s = FSlots[i];
            if (s.Client) {
                // The abort writes what the client holds, so the item goes
                // back at the bytes on disk.
                if (!IsReadyState(s.Client->ClientState())) s.Client->AbortBlocking();
                if (s.Client->HasSession()) s.Client->QuitBlocking();
            }
            if (s.Item) ReturnSlotItem(i);
            FreeClient(i);
        }
        FClientCount = n;
        FillIdleConnections(n);
        CheckRunEnd();
        return;
    }
    const int old = FClientCount;
    FClientCount = n;
    for (int i = old; i < n; ++i) {
        WireClient(i);
        SetupConnection(i);
        if (FRunActive) TakeQueueItem(i);
    }
}

void TFtpManager::Start(int slot, TFtpRequest code, TCustomFtpCli::TAction action)
{
    auto& s = FSlots[slot];
    TFtpClient& c = *s.Client;
    s.Outstanding = code;
    s.ServerCode = 0;
    s.ServerReply.clear();
    s.ClientEnded = false;
    if (slot == 0) FRunFailure.clear();
    const bool needsSession = action != &TCustomFtpCli::StartOpen;
    if (!IsReadyState(c.ClientState()) || (needsSession && !c.HasSession())) {
        // Nothing can start: the step hears of it as any failed request.
        os::PostMessage(c.WindowHandle(), WM_FTP_REQUEST_DONE, code, 500);
        return;
    }
    const bool chain = code == rqList || code == rqResumeDownload || code == rqStore;
    (c.*action)();
    if (!chain && IsReadyState(c.ClientState()) && c.RequestStatus() == 500)
        os::PostMessage(c.WindowHandle(), WM_FTP_REQUEST_DONE, code, 500);
}

void TFtpManager::NoteReply(int slot)
{
    auto& s = FSlots[slot];
    // Lines of a blocking call in between (a probe) are not the request's.
    if (!s.Client || s.Outstanding == rqNone) return;
    const std::string& line = s.Client->ReplyText();
    const bool coded = line.size() >= 3 && std::all_of(line.begin(), line.begin() + 3, [](char ch) {
        return ch >= '0' && ch <= '9';
    });
    if (!coded || (line.size() > 3 && line[3] == '-')) return; // a line inside a multi-line reply
    s.ServerCode = std::atoi(line.substr(0, 3).c_str());
    s.ServerReply = line;
}

void TFtpManager::NoteRequestEnd(int slot, int error)
{
    auto& s = FSlots[slot];
    // A failure the server's last reply carries is the server's; any other
    // was made by the client, whatever its text says.
    s.ClientEnded = error != 0 && error != s.ServerCode;
}

std::string TFtpManager::RequestOutcome(int slot) const
{
    const auto& s = FSlots[slot];
    const TFtpClient& c = *s.Client;
    if (s.ClientEnded && !c.ErrorMessage().empty()) return c.ErrorMessage();
    return s.ServerReply.empty() ? c.ReplyText() : s.ServerReply;
}

void TFtpManager::DispatchMainRequest(TFtpRequest request, int error)
{
    auto& s = FSlots[0];
    if (!s.Client || request == rqNone || request != s.Outstanding) return;
    s.Outstanding = rqNone;
    NoteRequestEnd(0, error);
    switch (s.State) {
    case TSlotState::Login: LoginStep(request, error); break;
    case TSlotState::ChangeDir: ChangeDirStep(request, error); break;
    case TSlotState::Expand: ExpandStep(request, error); break;
    case TSlotState::Transfer: TransferStep(0, request, error); break;
    case TSlotState::Refresh: RefreshStep(request, error); break;
    default: BatchStep(request, error); break;
    }
}

void TFtpManager::DispatchTransferRequest(int slot, TFtpRequest request, int error)
{
    if (slot <= 0 || slot >= kMaxSlots) return;
    auto& s = FSlots[slot];
    if (!s.Client || request == rqNone || request != s.Outstanding) return;
    s.Outstanding = rqNone;
    NoteRequestEnd(slot, error);
    if (s.State == TSlotState::Transfer) TransferStep(slot, request, error);
}

bool TFtpManager::SetSlotTransferType(TFtpClient& client, bool binary)
{
    auto& s = FSlots[client.Tag()];
    if (s.Binary == (binary ? 1 : 0)) return true;
    const bool ok = binary ? client.TypeBinaryBlocking() : client.TypeAsciiBlocking();
    s.Binary = ok ? (binary ? 1 : 0) : -1;
    return ok;
}

void TFtpManager::DisconnectAll()
{
    for (int i = 0; i < FClientCount; ++i) {
        auto& s = FSlots[i];
        if (!s.Client) continue;
        s.Outstanding = rqNone;
        s.Draining = false;
        if (!IsReadyState(s.Client->ClientState())) s.Client->AbortBlocking();
        if (s.Client->HasSession()) s.Client->QuitBlocking();
        s.Binary = -1;
    }
}

void TFtpManager::AbortAllSockets()
{
    for (int i = 0; i < FClientCount; ++i) {
        auto& s = FSlots[i];
        if (!s.Client) continue;
        s.Outstanding = rqNone;
        s.Draining = false;
        s.Binary = -1;
        if (s.Client->CommandSocket() && s.Client->CommandSocket()->State() != wsClosed) s.Client->AbortRequest();
    }
}

std::string TFtpManager::GetLastReply() const
{
    if (!Client(0)) return {};
    if (!FRunFailure.empty()) return FRunFailure;
    // A request ended by the client itself (a time-out, an abort) got no
    // reply of its own: the text it ended with tells it, not the last line
    // the server sent before (a greeting, a 150); nor does a probe after it.
    return RequestOutcome(0);
}

std::string TFtpManager::GetListingText() const
{
    if (!CurrentListing) return {};
    return ListingWithoutNulLines(CurrentListing->DataString(), nullptr);
}

bool TFtpManager::ReplyIs2xx(int slot) const
{
    const int code = FSlots[slot].Client->ReplyCode();
    return code >= 200 && code < 300;
}

// ---- the user's abort ------------------------------------------------------------

void TFtpManager::AbortOperation()
{
    auto& s0 = FSlots[0];
    const int state = Window.SessionState();
    if (state == ssTransfering || state == ssEditView || FRunActive) {
        if (!FRunActive) return;
        AbortPending = true;
        Log(0, "User Aborted");
        UserAborted = true;
        // Each client writes what it holds before its item goes back, so the
        // item resumes at the first byte not on disk.
        for (int i = 0; i < FClientCount; ++i) {
            auto& s = FSlots[i];
            if (!s.Client) continue;
            s.Outstanding = rqNone;
            s.Draining = false;
            if (!IsReadyState(s.Client->ClientState())) s.Client->AbortRequest();
            s.Binary = -1;
            if (s.Item) ReturnSlotItem(i);
            s.Retired = true;
        }
        CheckRunEnd();
        return;
    }
    switch (s0.State) {
    case TSlotState::Login:
        AbortPending = true;
        s0.Outstanding = rqNone;
        if (s0.Client->CommandSocket() && s0.Client->CommandSocket()->State() != wsClosed) s0.Client->AbortBlocking();
        Log(0, "User Aborted");
        Window.MoveQueueToBroken();
        UserAborted = true;
        Window.OperationFailed();
        break;
    case TSlotState::ChangeDir:
    case TSlotState::Expand:
        s0.Outstanding = rqNone;
        s0.Client->AbortRequest();
        s0.Client->AttachStream(nullptr);
        s0.Binary = -1;
        CurrentRemoteDir = PreviousRemoteDir;
        CurrentListing = SavedListing;
        Log(0, "User Aborted");
        UserAborted = true;
        if (s0.State == TSlotState::ChangeDir) Window.OperationDone();
        else Window.OperationFailed();
        break;
    default: break;
    }
}
