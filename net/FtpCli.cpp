#include "net/FtpCli.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>

#include <algorithm>
#include <cstring>

#include "net/SocketResolve.h"
#include "net/WsBinding.h"
#include "rtl/Format.h"
#include "rtl/StrUtils.h"

namespace {

bool StartsWithDigit(const std::string& s) { return !s.empty() && s[0] >= '0' && s[0] <= '9'; }

// Skips blanks, tabs, CR and LF; optional sign; decimal digits. Sets End to
// the position after the number.
std::int64_t ParseInteger(const std::string& s, std::size_t& At)
{
    while (At < s.size() && (s[At] == ' ' || s[At] == '\t' || s[At] == '\r' || s[At] == '\n')) ++At;
    bool negative = false;
    if (At < s.size() && (s[At] == '+' || s[At] == '-')) negative = s[At++] == '-';
    std::int64_t value = 0;
    while (At < s.size() && s[At] >= '0' && s[At] <= '9' && value < (INT64_MAX - 9) / 10)
        value = value * 10 + (s[At++] - '0');
    return negative ? -value : value;
}

// A numbered line whose number is followed by "-" is an intermediate line
// of a multi-line reply.
bool IsFinalReplyLine(const std::string& s, int& Code)
{
    if (!StartsWithDigit(s)) return false;
    std::size_t at = 0;
    Code = static_cast<int>(ParseInteger(s, at));
    return !(at < s.size() && s[at] == '-');
}

// The first double-quoted text after the code; a doubled quote stands for one.
std::string ParseQuotedText(const std::string& s)
{
    std::size_t at = 0;
    while (at < s.size() && s[at] >= '0' && s[at] <= '9') ++at;
    while (at < s.size() && s[at] == ' ') ++at;
    if (at >= s.size() || s[at] != '"') return {};
    std::string out;
    for (++at; at < s.size(); ++at) {
        if (s[at] == '"') {
            if (at + 1 < s.size() && s[at + 1] == '"') {
                out += '"';
                ++at;
            } else {
                break;
            }
        } else {
            out += s[at];
        }
    }
    return out;
}

// The fixed order in which a chain's steps run.
constexpr std::uint8_t kStepOrder[] = {1, 2, 3, 4, 20, 18, 23, 19, 10, 17, 22, 11, 21, 13, 6, 7, 8, 9, 5, 14, 15, 16, 12};

} // namespace

TCustomFtpCli::TCustomFtpCli(const TFtpCliVariant& Variant) : FVariant(Variant)
{
    FWindowHandle = os::CreateMessageTarget(
        [this](os::UINT Msg, os::WPARAM WParam, os::LPARAM LParam) { return DispatchWindowMessage(Msg, WParam, LParam); });
    FCommandSocket = std::make_unique<TAsyncSocket>();
    FCommandSocket->OnDataAvailable = [this](TObject*, std::uint16_t Error) { ControlDataAvailable(Error); };
    FCommandSocket->OnSessionConnected = [this](TObject*, std::uint16_t Error) { ControlSessionConnected(Error); };
    FCommandSocket->OnSessionClosed = [this](TObject*, std::uint16_t Error) { ControlSessionClosed(Error); };
    FCommandSocket->OnDnsLookupDone = [this](TObject*, std::uint16_t Error) { ControlDnsDone(Error); };
    FTransferSocket = MakeDataSocket();
    FCommandSocket->OnSocksError = [this](TObject*, int Error, const std::string& Msg) {
        FControlSocksFailure = {Error, Msg};
        FireDisplay("<ERROR>      SOCKS: " + Msg);
    };
    FTransferSocket->OnSocksError = [this](TObject*, int Error, const std::string& Msg) {
        FDataSocksFailure = {Error, Msg};
        FireDisplay("<ERROR>      SOCKS (data): " + Msg);
    };
}

std::string TCustomFtpCli::ConnectErrorText(const TAsyncSocket& Socket, int Error) const
{
    const TSocksFailure& socks = &Socket == FCommandSocket.get() ? FControlSocksFailure : FDataSocksFailure;
    if (Error != 0 && socks.Code == Error && !socks.Text.empty())
        return socks.Text + " (SOCKS error #" + std::to_string(Error) + ")";
    return SocketErrorText(Error) + " (Winsock error #" + std::to_string(Error) + ")";
}

TCustomFtpCli::~TCustomFtpCli()
{
    // Nothing may call back into a half-destroyed component.
    for (auto* s : {FCommandSocket.get(), FTransferSocket.get()}) {
        s->OnDataAvailable = nullptr;
        s->OnSessionConnected = nullptr;
        s->OnSessionClosed = nullptr;
        s->OnDnsLookupDone = nullptr;
        s->OnSessionAvailable = nullptr;
        s->OnDataSent = nullptr;
        s->OnSendData = nullptr;
        s->OnError = nullptr;
    }
    ReleaseLocalStream();
    FStreamAttached = false;
    os::DestroyMessageTarget(FWindowHandle);
    FTransferSocket.reset();
    FCommandSocket.reset();
}

namespace {

// The states in which a request waits on the peer.
bool IsBusyState(TFtpClientState s)
{
    return s == csResolving || s == csConnected || s == csAwaitingWelcome || s == csAwaitingReply;
}

} // namespace

void TCustomFtpCli::SetStateValue(TFtpClientState Value)
{
    if (FState == Value) return;
    const bool wasBusy = IsBusyState(FState);
    FState = Value;
    if (!wasBusy && IsBusyState(Value)) BusyChanged(true);
    else if (Value == csReady) BusyChanged(false);
    if (OnStateChange) OnStateChange(this);
}

void TCustomFtpCli::FireDisplay(const std::string& Msg)
{
    if (!OnDisplay) return;
    std::string m = Msg;
    OnDisplay(this, m);
}

void TCustomFtpCli::Trace(const std::string& Msg)
{
    if (FVariant.Traces) FireDisplay("! " + Msg);
}

bool TCustomFtpCli::CheckReady()
{
    if (IsReady()) return true;
    if (FVariant.RefuseWhenBusy) RaiseOrReport("FTP component not ready");
    return false;
}

void TCustomFtpCli::DisplayReply(const std::string& Line) { FireDisplay(std::string(13, ' ') + Line); }

void TCustomFtpCli::FireDisplayFile(std::string Msg)
{
    if (OnDisplayFile) OnDisplayFile(this, Msg);
}

void TCustomFtpCli::FireErrorReport(const std::string& Msg)
{
    if (!FErrorHandler) return;
    std::string m = Msg;
    FErrorHandler(this, m);
}

void TCustomFtpCli::FireReadyToTransmit(bool& bCancel)
{
    if (OnReadyToTransmit) OnReadyToTransmit(this, bCancel);
}

void TCustomFtpCli::SetErrorHandler(TFtpDisplay Handler)
{
    FErrorHandler = std::move(Handler);
    auto relay = [this](TObject*) { FireErrorReport("AsyncSocket Error"); };
    FCommandSocket->OnError = relay;
    FTransferSocket->OnError = relay;
}

void TCustomFtpCli::SetFailure(int Code, const std::string& Text)
{
    FRequestStatus = Code;
    FReplyCode = Code;
    if (FErrorMessage.empty()) FErrorMessage = Text;
}

void TCustomFtpCli::RaiseOrReport(const std::string& Msg, bool RefusesRequest)
{
    // A call refused while another request runs is only the caller's error:
    // that request (and its chain) goes on untouched.
    if (!IsReady()) RefusesRequest = false;
    // A refused request must not pass for a success, and a refused step
    // inside a chain ends the chain, so nobody waits for an end that never comes.
    if (RefusesRequest) {
        FRequestStatus = 500;
        if (FErrorMessage.empty() || !FInChain) FErrorMessage = Msg;
    }
    if (RefusesRequest && FInChain) {
        FireErrorReport(Msg);
        FRequestDoneSent = false;
        FChainArmed = false;
        FinishRequest(500);
        return;
    }
    if (FErrorHandler) {
        FireErrorReport(Msg);
        return;
    }
    throw FtpException(Msg);
}

bool TCustomFtpCli::TextIsSafe(const std::string& Text)
{
    if (Text.find_first_of(std::string("\r\n\0", 3)) == std::string::npos) return true;
    RaiseOrReport("Command refused: CR, LF or NUL in its text");
    return false;
}

void TCustomFtpCli::IssueCommand(std::string Cmd)
{
    if (OnCommand) OnCommand(this, Cmd);
    if (rtl::StartsText("PASS ", Cmd)) FireDisplay("<COMMAND>    PASS ********");
    else FireDisplay("<COMMAND>    " + Cmd);
    if (FCommandSocket->State() == wsConnected) {
        FCommandSocket->SendText(Cmd + "\r\n");
        TransferMoved();
    }
}

bool TCustomFtpCli::RunRequest(TFtpRequest Code, const std::string& Cmd, TAction Done,
                               std::initializer_list<int> Expected, TStep Step)
{
    if (!CheckReady()) return false;
    if (!FControlConnected) {
        RaiseOrReport("FTP component not connected");
        return false;
    }
    if (!TextIsSafe(Cmd)) return false;
    BeginRequest(Code);
    FExpectedCodes.assign(Expected.begin(), Expected.end());
    FRequestDoneSent = false;
    FNext = &TCustomFtpCli::CheckReply;
    FDoneAction = Done;
    FStepRunning = Step;
    SetStateValue(csAwaitingReply);
    IssueCommand(Cmd);
    return true;
}

void TCustomFtpCli::BeginRequest(TFtpRequest Code)
{
    if (FInChain) return; // the chain's request goes on
    FCurrentRequest = Code;
    // Nothing of an earlier request may colour this one's outcome.
    FErrorMessage.clear();
    FTransferError = 0;
}

void TCustomFtpCli::CheckReply()
{
    int code = 0;
    if (!IsFinalReplyLine(FReplyText, code)) return;
    FReplyCode = code;
    const bool accepted = FExpectedCodes.empty()
                              ? code < 500
                              : std::find(FExpectedCodes.begin(), FExpectedCodes.end(), code) != FExpectedCodes.end();
    if (accepted) {
        FRequestStatus = 0;
    } else {
        FRequestStatus = code;
        if (FErrorMessage.empty()) FErrorMessage = FReplyText;
    }
    if (FPassiveMode && code == 227) FPasvReplyText = FReplyText;
    ParseStepResult();
    if (FDoneAction) (this->*FDoneAction)();
    else FinishRequest(FRequestStatus);
}

void TCustomFtpCli::ParseStepResult()
{
    if (FRequestStatus != 0) return;
    switch (FStepRunning) {
    case stSize: {
        std::size_t at = 0;
        ParseInteger(FReplyText, at);
        FRemoteSize = ParseInteger(FReplyText, at);
        break;
    }
    case stCwd:
    case stMkd:
    case stPwd:
    case stCdup: FReplyDirectory = ParseQuotedText(FReplyText); break;
    default: break;
    }
}

void TCustomFtpCli::FinishRequest(int Error)
{
    if (FRequestDoneSent) return;
    FRequestDoneSent = true;
    if (Error == 0 && FChainArmed) {
        if (FState != csAborting) SetStateValue(csStepDone);
        HighLevelAsync();
        return;
    }
    os::KillTimer(FWindowHandle, kUploadWatchTimer);
    // The local file holds every byte received before anyone hears of the end.
    if (FTransferSocket->State() != wsClosed) CloseTransferSocket();
    ReleaseLocalStream();
    // A local failure of this request's transfer (the file, an abort) is its
    // outcome; it belongs to this request only.
    if (Error == 0 && FTransferError != 0) Error = FTransferError;
    FTransferError = 0;
    if (FInChain && FSavedReplyCode >= 0) {
        FReplyText = FSavedReplyText;
        FReplyCode = FSavedReplyCode;
    }
    FInChain = false;
    FChainArmed = false;
    FPendingSteps = 0;
    SetStateValue(csReady);
    os::PostMessage(FWindowHandle, WM_FTP_REQUEST_DONE, FCurrentRequest, static_cast<std::uint16_t>(Error));
}

os::LRESULT TCustomFtpCli::DispatchWindowMessage(os::UINT Msg, os::WPARAM WParam, os::LPARAM LParam)
{
    try {
        switch (Msg) {
        case WM_FTP_REQUEST_DONE:
            // The code travels with the message: a blocking caller may have
            // started the next request before this one is dispatched.
            if (OnRequestDone) OnRequestDone(this, static_cast<TFtpRequest>(WParam), os::LOWORD(LParam));
            return 0;
        case WM_FTP_START_SEND: HandleStartSendMessage(); return 0;
        case os::WM_TIMER:
            if (WParam == kUploadWatchTimer) UploadWatchTick();
            return 0;
        default: return 0;
        }
    } catch (rtl::Exception& E) {
        ProcessBgException(E);
    }
    return 0;
}

void TCustomFtpCli::ProcessBgException(rtl::Exception& E)
{
    bool canClose = true;
    if (!OnBgException) return;
    try {
        OnBgException(this, E, canClose);
    } catch (...) {
    }
}

// ---- chains ----------------------------------------------------------------

void TCustomFtpCli::StartChain(TFtpRequest Code, std::initializer_list<TStep> Steps)
{
    std::uint32_t set = 0;
    for (auto s : Steps) set |= 1u << s;
    if (FControlConnected && (set & (1u << stOpen))) {
        RaiseOrReport("FTP component already connected");
        return;
    }
    if (!CheckReady()) return;
    FSavedReplyText = FReplyText;
    FSavedReplyCode = -1;
    FCurrentRequest = Code;
    FRequestStatus = 0;
    FTransferError = 0;
    FPendingSteps = set;
    FCurrentStep = stNone;
    FChainError = 0;
    FInChain = true;
    FReplyText.clear();
    FErrorMessage.clear();
    HighLevelAsync();
}

void TCustomFtpCli::HighLevelAsync()
{
    Trace("HighLevelAsync " + std::to_string(FRequestStatus));
    if (FState == csAborting) {
        Trace("Abort detected");
        FPendingSteps = 0;
        FChainError = 426;
        FErrorMessage = "426 Operation aborted.";
    }
    FChainArmed = true;
    for (std::uint8_t bit : kStepOrder) {
        if (!(FPendingSteps & (1u << bit))) continue;
        FPendingSteps &= ~(1u << bit);
        const TStep before = FCurrentStep;
        const TStep step = static_cast<TStep>(bit);
        // The restart position holds only when the server accepted it.
        const bool restartAccepted = before == stRest && FResumePosition >= 0 && FReplyCode == 350;
        switch (step) {
        case stPass:
            if (before == stUser && FReplyCode != 331) continue;
            break;
        case stCwd:
            if (FHostDirName.empty()) continue;
            break;
        case stRetr:
        case stStor:
            if (!restartAccepted) FResumePosition = 0;
            break;
        case stQuit:
            FSavedReplyText = FReplyText;
            FSavedReplyCode = FReplyCode;
            break;
        default: break;
        }
        FCurrentStep = step;
        switch (step) {
        case stOpen: StartOpen(); break;
        case stUser: SendUser(); break;
        case stPass: SendPass(); break;
        case stCwd: SendCwd(); break;
        case stSize: SendSize(); break;
        case stMkd: SendMkd(); break;
        case stRmd: SendRmd(); break;
        case stRnfr: SendRnfr(); break;
        case stRnto: SendRnto(); break;
        case stRetr: StartRetr(); break;
        case stList: StartList(); break;
        case stQuit: SendQuit(); break;
        case stSyst: SendSyst(); break;
        case stDele: SendDele(); break;
        case stPwd: SendPwd(); break;
        case stRaw: SendRawCommand(); break;
        case stStor: StartStor(); break;
        case stType: SendType(); break;
        case stRest: SendRest(); break;
        case stCdup: SendCdup(); break;
        case stNlst: StartNlst(); break;
        case stAppe: StartAppe(); break;
        case stPortPasv: SendPortOrPasv(); break;
        default: break;
        }
        return;
    }
    Trace("HighLevelAsync done");
    FPendingSteps = 0;
    FChainArmed = false;
    FRequestDoneSent = false;
    FinishRequest(FChainError);
}

void TCustomFtpCli::ChainLogin() { StartChain(rqLogin, {stOpen, stUser, stPass}); }
void TCustomFtpCli::ChainDownloadSession()
{
    StartChain(rqDownloadSession, {stOpen, stUser, stPass, stCwd, stType, stPortPasv, stRetr, stQuit});
}
void TCustomFtpCli::ChainUpload() { StartChain(rqStore, {stPortPasv, stStor}); }
void TCustomFtpCli::ChainResumeUpload() { StartChain(rqResumeUpload, {stPortPasv, stRest, stStor}); }
void TCustomFtpCli::ChainResumeUploadSession()
{
    StartChain(rqResumeUploadSession, {stOpen, stUser, stPass, stCwd, stType, stPortPasv, stRest, stStor, stQuit});
}
void TCustomFtpCli::ChainUploadSession()
{
    StartChain(rqUploadSession, {stOpen, stUser, stPass, stCwd, stType, stPortPasv, stStor, stQuit});
}
void TCustomFtpCli::ChainAppend() { StartChain(rqAppend, {stPortPasv, stAppe}); }
void TCustomFtpCli::ChainAppendSession()
{
    StartChain(rqUploadSession, {stOpen, stUser, stPass, stCwd, stType, stPortPasv, stAppe, stQuit});
}
void TCustomFtpCli::ChainList() { StartChain(rqList, {stPortPasv, stList}); }
void TCustomFtpCli::ChainListSession()
{
    StartChain(rqListSession, {stOpen, stUser, stPass, stCwd, stPortPasv, stList, stQuit});
}
void TCustomFtpCli::ChainNameList() { StartChain(rqNameList, {stPortPasv, stNlst}); }
void TCustomFtpCli::ChainNameListSession()
{
    StartChain(rqNameListSession, {stOpen, stUser, stPass, stCwd, stPortPasv, stNlst, stQuit});
}
void TCustomFtpCli::ChainSystemSession() { StartChain(rqSystemSession, {stOpen, stUser, stPass, stSyst, stQuit}); }
void TCustomFtpCli::ChainResumeDownloadSession()
{
    StartChain(rqResumeDownloadSession, {stOpen, stUser, stPass, stCwd, stType, stPortPasv, stRest, stRetr, stQuit});
}
void TCustomFtpCli::ChainResumeDownload() { StartChain(rqResumeDownload, {stPortPasv, stRest, stRetr}); }
void TCustomFtpCli::ChainDownload() { StartChain(rqRetrieve, {stPortPasv, stRetr}); }
void TCustomFtpCli::ChainMakeDirSession()
{
    StartChain(rqMakeDirSession, {stOpen, stUser, stPass, stCwd, stMkd, stQuit});
}
void TCustomFtpCli::ChainRemoveDirSession()
{
    StartChain(rqRemoveDirSession, {stOpen, stUser, stPass, stCwd, stRmd, stQuit});
}
void TCustomFtpCli::ChainDeleteSession() { StartChain(rqDeleteSession, {stOpen, stUser, stPass, stCwd, stDele, stQuit}); }
void TCustomFtpCli::ChainRawCommandSession()
{
    StartChain(rqRawCommandSession, {stOpen, stUser, stPass, stCwd, stRaw, stQuit});
}
void TCustomFtpCli::ChainRenameSession()
{
    StartChain(rqRenameSession, {stOpen, stUser, stPass, stCwd, stRnfr, stRnto, stQuit});
}
void TCustomFtpCli::ChainRename() { StartChain(rqRename, {stRnfr, stRnto}); }
void TCustomFtpCli::ChainSizeSession() { StartChain(rqSize, {stOpen, stUser, stPass, stCwd, stSize, stQuit}); }

// ---- single commands ---------------------------------------------------------

void TCustomFtpCli::SendUser()
{
    if (FUserName.empty()) {
        RaiseOrReport("UserName emtpy");
        return;
    }
    if (FConnectionType == ftpProxy && FVariant.ProxyAtServerPort)
        RunRequest(rqUser, "USER " + FUserName + "@" + FHostName, nullptr, {331, 230}, stUser);
    else if (FConnectionType == ftpProxy) RunRequest(rqUser, "USER " + FUserName + "@" + FHostName + ":" + FPort, nullptr, {331, 230}, stUser);
    else RunRequest(rqUser, "USER " + FUserName, nullptr, {331, 230}, stUser);
}

void TCustomFtpCli::SendPass()
{
    if (FPassWord.empty()) {
        RaiseOrReport("Password emtpy");
        return;
    }
    RunRequest(rqPass, "PASS " + FPassWord, nullptr, {230}, stPass);
}

void TCustomFtpCli::SendCwd()
{
    if (FHostDirName.empty()) {
        RaiseOrReport("HostDirName emtpy");
        return;
    }
    RunRequest(rqCwd, "CWD " + FHostDirName, nullptr, {200, 250, 257}, stCwd);
}

void TCustomFtpCli::SendSyst() { RunRequest(rqSyst, "SYST", nullptr, {215}, stSyst); }

void TCustomFtpCli::SendRest()
{
    if (FResumePosition < 0) {
        FRequestDoneSent = false;
        FNext = &TCustomFtpCli::CheckReply;
        FDoneAction = nullptr;
        FinishRequest(0);
        return;
    }
    RunRequest(rqRest, "REST " + std::to_string(FResumePosition), nullptr, {}, stRest);
}

void TCustomFtpCli::SendSize()
{
    FRemoteSize = 0;
    RunRequest(rqSize, "SIZE " + FHostFileName, nullptr, {213}, stSize);
}

void TCustomFtpCli::SendType()
{
    RunRequest(rqType, std::string("TYPE ") + FTransferTypeChar, nullptr, {200}, stType);
}

void TCustomFtpCli::SendTypeBinary()
{
    SetBinary(true);
    SendType();
}

void TCustomFtpCli::SendTypeAscii()
{
    SetBinary(false);
    SendType();
}

void TCustomFtpCli::SendMkd() { RunRequest(rqMakeDir, "MKD " + FHostFileName, nullptr, {257}, stMkd); }
void TCustomFtpCli::SendRmd() { RunRequest(rqRemoveDir, "RMD " + FHostFileName, nullptr, {250, 257}, stRmd); }
void TCustomFtpCli::SendDele() { RunRequest(rqDelete, "DELE " + FHostFileName, nullptr, {250, 257}, stDele); }
void TCustomFtpCli::SendRawCommand() { RunRequest(rqRawCommand, FLocalFileName, nullptr, {}, stRaw); }
void TCustomFtpCli::SendPwd() { RunRequest(rqPwd, "PWD", nullptr, {250, 257}, stPwd); }
void TCustomFtpCli::SendCdup() { RunRequest(rqCdup, "CDUP", nullptr, {250}, stCdup); }
void TCustomFtpCli::SendRnfr() { RunRequest(rqRenameFrom, "RNFR " + FHostFileName, nullptr, {350}, stRnfr); }
void TCustomFtpCli::SendRnto() { RunRequest(rqRenameTo, "RNTO " + FLocalFileName, nullptr, {200, 250, 257}, stRnto); }

void TCustomFtpCli::SendQuit()
{
    ReleaseLocalStream();
    if (RunRequest(rqQuit, "QUIT", &TCustomFtpCli::QuitDone, {221}, stQuit)) FQuitSent = true;
}

void TCustomFtpCli::QuitDone()
{
    // Whatever the answer, the session ends; its close ends the request.
    FCommandSocket->CloseSession();
    if (!FRequestDoneSent) FinishRequest(FRequestStatus);
}

// ---- the control connection -----------------------------------------------------

void TCustomFtpCli::StartOpen()
{
    if (!CheckReady()) return;
    if (FControlConnected) {
        RaiseOrReport("FTP component already connected");
        return;
    }
    BeginRequest(rqOpen);
    FRequestDoneSent = false;
    FReceiveLength = 0;
    FReplyLines = 0;
    FReplyBytes = 0;
    FRequestStatus = 0;
    FResolvedAddress.clear();
    FQuitSent = false;
    FStepRunning = stOpen;
    SetStateValue(csResolving);
    FireDisplay("<STATUS>     Resolving host address...");
    const std::string host = FConnectionType == ftpProxy ? FProxyServer : FHostName;
    if (host.empty()) {
        ControlDnsDone(os::WSAEINVAL);
        return;
    }
    if (FConnectionType == ftpSocks4A || FConnectionType == ftpSocks5) {
        // The SOCKS server resolves the name; it need not resolve here.
        FResolvedAddress = host;
        ConnectControl(host);
        return;
    }
    try {
        FCommandSocket->StartDnsLookup(host);
    } catch (rtl::Exception&) {
        if (FState == csResolving) ControlDnsDone(os::WSAEINVAL);
    }
}

void TCustomFtpCli::ControlDnsDone(std::uint16_t Error)
{
    if (FState != csResolving) return; // a stopped look-up
    if (Error != 0) {
        FireDisplay("<ERROR>      Resolving host address failed!");
        FReplyText = "500 DNS look up failed";
        SetFailure(500, FReplyText);
        FinishRequest(Error);
        return;
    }
    FResolvedAddress = FCommandSocket->DnsResult();
    FireDisplay("<STATUS>     Connecting host (ip=" + FResolvedAddress + ")");
    ConnectControl(FResolvedAddress);
}

void TCustomFtpCli::ApplySocks(TAsyncSocket& Socket)
{
    // A socket forgets its SOCKS settings at every close: set them each time.
    if (FConnectionType != ftpSocks4 && FConnectionType != ftpSocks4A && FConnectionType != ftpSocks5) return;
    Socket.SetSocksServer(FSocksServer);
    Socket.SetSocksPort(FSocksPort);
    Socket.SetSocksLevel(FConnectionType == ftpSocks4 ? "4" : FConnectionType == ftpSocks4A ? "4A" : "5");
    Socket.SetSocksUsercode(FSocksUserCode);
    Socket.SetSocksPassword(FSocksPassword);
    Socket.SetSocksAuthentication(FSocksUserCode.empty() ? socksNoAuthentication : socksAuthenticateUsercode);
}

void TCustomFtpCli::ConnectControl(const std::string& Address)
{
    FControlAddr = Address;
    try {
        FCommandSocket->SetAddr(Address);
        FCommandSocket->SetProto("tcp");
        FCommandSocket->SetPort(FConnectionType == ftpProxy && !FVariant.ProxyAtServerPort ? FProxyPort : FPort);
        ApplySocks(*FCommandSocket);
        FControlSocksFailure = {};
        SetStateValue(csAwaitingWelcome);
        FCommandSocket->Connect();
        // Commands and replies are small: without this each one waits for
        // the peer's delayed acknowledgement of the one before.
        const int on = 1;
        if (FCommandSocket->HSocket() != os::INVALID_SOCKET)
            WsSetsockopt(FCommandSocket->HSocket(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on),
                         sizeof on);
    } catch (rtl::Exception& E) {
        FReplyText = std::string("500 ") + E.ClassName() + ": " + E.Message();
        SetFailure(500, FReplyText);
        FinishRequest(500);
        return;
    }
    if (FCommandSocket->State() == wsClosed && !FRequestDoneSent) {
        // Refused through an error handler rather than an exception.
        const int err = FCommandSocket->LastError();
        FReplyText = "500 " + ConnectErrorText(*FCommandSocket, err);
        SetFailure(500, FReplyText);
        FinishRequest(500);
    }
}

void TCustomFtpCli::ControlSessionConnected(std::uint16_t Error)
{
    if (Error == 0) {
        FControlConnected = true;
        FireDisplay("<STATUS>     Session connected");
        return;
    }
    // Our own abort closed a connect in progress: the abort tells how it ended.
    if (FState == csAborting) return;
    FReplyText = "        500 " + ConnectErrorText(*FCommandSocket, Error);
    SetFailure(500, FReplyText);
    FChainArmed = false;
    FinishRequest(Error);
    if (FCommandSocket->State() != wsClosed) FCommandSocket->CloseSession();
    SetStateValue(csReady);
    FireDisplay(FReplyText);
}

void TCustomFtpCli::ControlSessionClosed(std::uint16_t Error)
{
    const bool wasConnected = FControlConnected;
    if (wasConnected) {
        FControlConnected = false;
        if (FState != csAborting) SetStateValue(csNotConnected);
        if (OnSessionClosed) OnSessionClosed(this, Error);
    }
    if (FState != csAborting) SetStateValue(csStepDone);
    if (FRequestDoneSent) return;
    int status = FRequestStatus;
    if (FState == csAborting) {
        status = 426;
        SetFailure(426, "426 Operation aborted.");
    } else if (!FQuitSent && status == 0) {
        // Lost before the final reply: the request did not succeed. Its
        // outcome is the close, not whatever the peer said before it.
        status = 426;
        FReplyText = "426 Connection closed";
        SetFailure(426, FReplyText);
        FireDisplay("<ERROR>      " + FReplyText);
    }
    FinishRequest(status);
}

void TCustomFtpCli::ControlDataAvailable(std::uint16_t Error)
{
    const int room = kReceiveBufferSize - 1 - FReceiveLength;
    if (room <= 0) return;
    const int n = FCommandSocket->ReadBytes(FReceiveBuffer + FReceiveLength, room);
    if (n == 0) {
        FCommandSocket->CloseSession();
        return;
    }
    if (n < 0) return;
    TransferMoved();
    FReceiveLength += n;
    FReceiveBuffer[FReceiveLength] = 0;
    FDataEventError = Error;
    while (FReceiveLength > 0) {
        const char* begin = FReceiveBuffer;
        const char* end = begin + FReceiveLength;
        const char* lf = nullptr;
        if (FOptions.Contains(ftpAcceptLF)) {
            lf = static_cast<const char*>(std::memchr(begin, '\n', static_cast<std::size_t>(FReceiveLength)));
        } else {
            for (const char* p = begin; p + 1 < end; ++p)
                if (p[0] == '\r' && p[1] == '\n') {
                    lf = p + 1;
                    break;
                }
        }
        if (!lf) {
            // A reply line that cannot be held is a protocol error.
            if (FReceiveLength >= kReceiveBufferSize - 1) DropControl("Reply line too long");
            return;
        }
        std::string line(begin, lf);
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
        const int used = static_cast<int>(lf - begin) + 1;
        int code = 0;
        if (IsFinalReplyLine(line, code)) {
            FReplyLines = 0;
            FReplyBytes = 0;
        } else if (++FReplyLines > kMaxReplyLines || (FReplyBytes += used) > kMaxReplyBytes) {
            DropControl("Reply too long");
            return;
        }
        std::memmove(FReceiveBuffer, FReceiveBuffer + used, static_cast<std::size_t>(FReceiveLength - used));
        FReceiveLength -= used;
        FReceiveBuffer[FReceiveLength] = 0;
        FReplyText = line;
        if (OnResponse) OnResponse(this);
        if (!HandleReplyLine()) return;
        if (FCommandSocket->State() != wsConnected) return;
    }
}

void TCustomFtpCli::DropControl(const std::string& Why)
{
    FireDisplay("<ERROR>      " + Why);
    FReceiveLength = 0;
    FReplyLines = 0;
    FReplyBytes = 0;
    if (!FRequestDoneSent) SetFailure(500, "500 " + Why);
    FQuitSent = false;
    FCommandSocket->CloseSession();
}

bool TCustomFtpCli::HandleReplyLine()
{
    int code = 0;
    if (FState == csAwaitingWelcome) {
        DisplayReply(FReplyText);
        if (!IsFinalReplyLine(FReplyText, code)) return true;
        FReplyCode = code;
        if (code >= 100 && code < 200) return true; // "120 ready in n minutes": the 220 follows
        if (code == 220) {
            SetStateValue(csConnected);
            if (OnSessionConnected) OnSessionConnected(this, FDataEventError);
            FinishRequest(0);
            return true;
        }
        SetFailure(code, FReplyText);
        FReceiveLength = 0;
        FCommandSocket->CloseSession();
        return false;
    }
    if (FState == csAwaitingReply) {
        const bool final = IsFinalReplyLine(FReplyText, code);
        if (final || !FVariant.FinalReplyLineOnly) DisplayReply(FReplyText);
        if (!final) return true;
        if (!FNext) {
            // Nothing can take this reply: the running request cannot go on.
            SetFailure(500, "Program error: FNext is nil");
            FChainArmed = false;
            FinishRequest(500);
            RaiseOrReport("Program error: FNext is nil");
            return true;
        }
        FReplyCode = code;
        (this->*FNext)();
        return true;
    }
    DisplayReply(FReplyText);
    return true;
}

void TCustomFtpCli::AbortRequest()
{
    if (FVariant.AnnounceAbort) FireDisplay("<STATUS>     Aborting current command!");
    const bool wasResolving = FState == csResolving;
    SetStateValue(csAborting);
    ReleaseLocalStream();
    if (wasResolving) {
        try {
            FCommandSocket->StopDnsLookup();
        } catch (rtl::Exception&) {
        }
    }
    if (FCommandSocket->State() != wsClosed) FCommandSocket->CloseSession();
    if (FTransferSocket->State() != wsClosed) CloseTransferSocket();
    ReleaseLocalStream();
    FControlConnected = false;
    if (!FRequestDoneSent) {
        // Whatever was running is over and did not succeed.
        SetFailure(426, "426 Operation aborted.");
        FChainArmed = false;
        FinishRequest(426);
    }
    SetStateValue(csReady);
}

void TCustomFtpCli::SetConnectionType(TFtpConnectionType Value)
{
    if (FControlConnected) {
        RaiseOrReport("FTP component connected", false);
        return;
    }
    switch (Value) {
    case ftpProxy:
        FConnectionType = Value;
        FPassiveMode = true;
        break;
    case ftpSocks4:
    case ftpSocks4A:
    case ftpSocks5:
        FConnectionType = Value;
        FPassiveMode = true;
        break;
    default: FConnectionType = ftpDirect; break;
    }
}

void TCustomFtpCli::SetPassiveMode(bool Value) { FPassiveMode = FConnectionType == ftpDirect ? Value : true; }

void TCustomFtpCli::SetLocalFileName(const std::string& Value)
{
    FLocalFileName = Value;
    if (!Value.empty()) FStreamAttached = false;
}

void TCustomFtpCli::AttachStream(TFtpStream* Stream)
{
    if (FLocalStream && !FStreamAttached) ReleaseLocalStream();
    FLocalStream = Stream;
    FStreamAttached = Stream != nullptr;
    if (Stream) FLocalFileName.clear();
}
