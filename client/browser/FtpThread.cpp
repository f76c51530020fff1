#include "client/browser/FtpThread.h"

#include <unistd.h>

#include <cstdio>
#include <exception>

#include "net/BrFtpCli.h"
#include "os/MessageLoop.h"

namespace browser {

namespace {

constexpr os::UINT WM_BR_WAKE = os::WM_USER + 1;

bool IsListingReply(int Code) { return Code == 226 || Code == 250; }

} // namespace

TFtpThread::TFtpThread(int Tag, TFtpThreadConfig Config, TDeliver Deliver)
    : FTag(Tag), FConfig(std::move(Config)), FDeliver(std::move(Deliver))
{
    if (!FConfig.MakeClient) FConfig.MakeClient = [] { return std::make_unique<BrFtpCli::TFtpClient>(); };
    FThread = std::thread([this] { Execute(); });
    // The first command may come at once: wait until the loop can take it.
    std::unique_lock lock(FMutex);
    FCv.wait(lock, [this] { return FStarted; });
}

TFtpThread::~TFtpThread()
{
    Abort();
    Quit();
    Join();
}

std::uint64_t TFtpThread::Hand(TBrCommand Command)
{
    std::uint64_t serial;
    {
        std::lock_guard lock(FMutex);
        serial = Command.Serial = ++FLastSerial;
        FMailbox.push_back(std::move(Command));
    }
    FCv.notify_all();
    return serial;
}

void TFtpThread::Abort()
{
    {
        std::lock_guard lock(FMutex);
        FAbortBelow.store(FLastSerial + 1);
    }
    Wake();
}

void TFtpThread::Quit()
{
    {
        std::lock_guard lock(FMutex);
        FQuit = true;
    }
    FCv.notify_all();
    Wake();
}

void TFtpThread::Join()
{
    if (FThread.joinable()) FThread.join();
}

void TFtpThread::Wake()
{
    // The wait checks its marks after every message; this one only wakes it.
    if (const os::HWND target = FWakeTarget.load()) os::PostMessage(target, WM_BR_WAKE, 0, 0);
}

bool TFtpThread::Aborted() const { return FSerial < FAbortBelow.load(); }

void TFtpThread::Execute()
{
    auto& loop = os::MessageLoop::ForThisThread();
    FThreadId = static_cast<unsigned>(::gettid());
    FWakeTarget.store(os::CreateMessageTarget([](os::UINT, os::WPARAM, os::LPARAM) { return os::LRESULT(0); }));
    FClient = FConfig.MakeClient();
    FClient->SetMultiThreaded(true);
    FClient->OnDisplay = [this](TObject*, std::string& Msg) { Display(Msg); };
    FClient->SetErrorHandler([this](TObject*, std::string& Msg) { ShowError(Msg); });
    // Any reply line or data block is a sign of life for the reply wait.
    FClient->OnResponse = [this](TObject*) { FLastActivity = std::chrono::steady_clock::now(); };
    FClient->OnProgress = [this](TObject*, std::int64_t, bool&) {
        FLastActivity = std::chrono::steady_clock::now();
    };
    Debug("created");
    {
        std::lock_guard lock(FMutex);
        FStarted = true;
    }
    FCv.notify_all();

    for (;;) {
        TBrCommand command;
        {
            std::unique_lock lock(FMutex);
            FCv.wait(lock, [this] { return FQuit || !FMailbox.empty(); });
            if (FQuit) break;
            command = std::move(FMailbox.front());
            FMailbox.pop_front();
        }
        if (command.Code == brQuit) break;
        // Whatever the sockets reported while the worker slept comes first
        // (a server that closed the idle session).
        loop.ProcessMessages();
        try {
            Run(command);
        } catch (const std::exception& E) {
            ShowError(E.what());
        }
        if (FResult) {
            FDeliver(TBrEvent{TBrEvent::evDone, {}, std::shared_ptr<const TBrResult>(std::move(FResult))});
        }
    }
    // The client and its sockets belong to this thread: they go here.
    FClient->OnDisplay = nullptr;
    FClient.reset();
    os::DestroyMessageTarget(FWakeTarget.exchange(0));
}

void TFtpThread::Run(TBrCommand& Command)
{
    FSerial = Command.Serial;
    FFailed = false;
    FLastReply = 0;
    FResult = std::make_unique<TBrResult>();
    Debug("accecped command");
    switch (Command.Code) {
    case brConnect:
        FHost = Command.Host;
        Login();
        Probe();
        List();
        Pwd();
        break;
    case brOpenDir:
        EnsureSession();
        Cwd(Command.Path);
        List();
        Pwd();
        break;
    case brMakeDirs:
        EnsureSession();
        for (const auto& name : Command.Names) {
            if (Skip()) break;
            FClient->SetHostFileName(name);
            const int r = Request([this] { FClient->SendMkd(); });
            if (r != 257) {
                if (r > 0) ShowError("Make dir failed(" + FClient->ReplyText() + ")");
                FFailed = true;
            }
        }
        break;
    case brDeleteItems:
        EnsureSession();
        for (const auto& item : Command.Items) {
            if (Skip()) break;
            FClient->SetHostFileName(item.Name);
            const int r = item.IsFolder ? Request([this] { FClient->SendRmd(); })
                                        : Request([this] { FClient->SendDele(); });
            if (r != 250) {
                if (r > 0)
                    ShowError((item.IsFolder ? "Remove dir failed(" : "Delete file failed(") + FClient->ReplyText() +
                              ")");
                FFailed = true;
            }
        }
        break;
    case brRename: {
        EnsureSession();
        if (Skip()) break;
        FClient->SetHostFileName(Command.OldName);
        FClient->SetLocalFileName(Command.NewName);
        const int r = Request([this] { FClient->ChainRename(); });
        FClient->SetHostFileName("");
        FClient->SetLocalFileName("");
        if (r != 250) {
            if (r > 0) ShowError("Rename failed(" + FClient->ReplyText() + ")");
            FFailed = true;
        }
        break;
    }
    default: break;
    }
    FResult->Command = std::move(Command);
    FResult->Aborted = Aborted();
    // A command the abort met before it ran has no reply of its own: it ends aborted too.
    FResult->LastReply = FResult->Aborted ? brAborted : FLastReply;
    FResult->Failed = FFailed || FResult->Aborted;
}

int TFtpThread::Request(const std::function<void()>& Start)
{
    if (Skip()) return FLastReply;
    // A request the client refuses leaves no reply of its own: 0, not the last one.
    FClient->SetReplyCode(0);
    try {
        Start();
    } catch (const std::exception& E) {
        ShowError(E.what());
    }
    const int r = WaitReply();
    if (r < 0) FFailed = true;
    return r;
}

int TFtpThread::WaitReply()
{
    using Clock = std::chrono::steady_clock;
    auto& loop = os::MessageLoop::ForThisThread();
    auto ready = [this] { return FClient->ClientState() == csReady; };
    FLastActivity = Clock::now();
    int reply;
    const char* status;
    for (;;) {
        if (ready()) {
            reply = FClient->ReplyCode();
            status = "command finish";
            break;
        }
        if (Aborted()) {
            FClient->AbortRequest();
            reply = brAborted;
            status = "aborted";
            break;
        }
        // The limit measures silence: every reply line or data block restarts it.
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(FLastActivity + FConfig.ReplyTimeout - Clock::now());
        if (left.count() <= 0) {
            FClient->AbortRequest();
            reply = brTimedOut;
            status = "time out";
            break;
        }
        loop.WaitUntil([&] { return ready() || Aborted(); }, left.count() + 1);
        if (loop.QuitReceived()) loop.ClearQuit();
    }
    char id[16];
    std::snprintf(id, sizeof id, "%08X", FThreadId);
    Debug("Tag=" + std::to_string(FTag) + ":ID=" + id + ":" + status);
    FLastReply = reply;
    return reply;
}

void TFtpThread::Login()
{
    if (Skip()) return;
    // A reconnect starts from a closed connection.
    if (FClient->HasSession() || FClient->ClientState() != csReady) FClient->AbortRequest();
    FClient->SetHostName(FHost.HostName);
    FClient->SetPort(FHost.Port.empty() ? "21" : FHost.Port);
    FClient->SetUserName(FHost.UserName);
    FClient->SetPassWord(FHost.PassWord);
    if (Request([this] { FClient->StartOpen(); }) != 220) {
        FFailed = true;
        return;
    }
    int r = Request([this] { FClient->SendUser(); });
    if (r > 0 && r != 230 && r != 331) r = Request([this] { FClient->SendUser(); });
    // 230: logged in without a password; a PASS now would only confuse the server.
    if (r == 230) return;
    if (r == 331) r = Request([this] { FClient->SendPass(); });
    if (r != 230) {
        if (r > 0) ShowError("Password not correct!(" + FClient->ReplyText() + ")");
        FFailed = true;
    }
}

void TFtpThread::Probe()
{
    if (Skip()) return;
    FClient->SetBinary(true);
    if (Request([this] { FClient->SendType(); }) != 200) return;
    FClient->SetLocalFileName("REST 1");
    const int r = Request([this] { FClient->SendRawCommand(); });
    FClient->SetLocalFileName("");
    if (r <= 0) {
        FFailed = true;
        return;
    }
    FClient->SetBinary(false);
    Request([this] { FClient->SendType(); });
}

void TFtpThread::Cwd(const std::string& Path)
{
    auto cwd = [&] {
        FClient->SetHostDirName(Path);
        return Request([this] { FClient->SendCwd(); });
    };
    if (Skip()) return;
    int r = cwd();
    if (r > 0 && r != 250 && !FClient->HasSession()) {
        // The connection dropped: log in again and try once more.
        FFailed = false;
        Login();
        if (!Skip()) r = cwd();
    }
    if (r != 250) FFailed = true;
}

void TFtpThread::List()
{
    if (Skip()) return;
    TFtpMemoryStream stream;
    FClient->SetHostFileName("");
    FClient->AttachStream(&stream);
    const int r = Request([this] { FClient->ChainList(); });
    FClient->AttachStream(nullptr);
    if (!IsListingReply(r)) {
        FFailed = true;
        return;
    }
    FResult->Entries.clear();
    FExtract.Parse(stream.DataString(), FResult->Entries);
    FResult->Listed = true;
}

void TFtpThread::Pwd()
{
    if (Skip()) return;
    if (Request([this] { FClient->SendPwd(); }) == 257) {
        FResult->Path = FClient->ReplyDirectory();
    } else {
        FFailed = true;
        FResult->Listed = false;
    }
}

void TFtpThread::EnsureSession()
{
    if (!FClient->HasSession()) Login();
}

void TFtpThread::ShowError(const std::string& Text)
{
    if (FResult) FResult->ErrorShown = true;
    Display("<ERROR>      " + Text);
}

void TFtpThread::Debug(const std::string& Text) { FDeliver(TBrEvent{TBrEvent::evDebug, Text, nullptr}); }

void TFtpThread::Display(const std::string& Text) { FDeliver(TBrEvent{TBrEvent::evDisplay, Text, nullptr}); }

} // namespace browser
