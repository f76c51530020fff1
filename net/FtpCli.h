#pragma once
// The asynchronous FTP client component. Every operation is a request that
// sends one command (or a chain of commands in a fixed order) and returns at
// once; its end is announced by OnRequestDone, posted to the component's
// own message target so it never fires inside the starting call. TFtpClient
// adds blocking calls that pump the thread's message loop with a time-out.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "net/AsyncSocket.h"
#include "net/FtpLocalStream.h"
#include "os/MessageTarget.h"
#include "rtl/Exception.h"
#include "rtl/Object.h"

class FtpException : public rtl::Exception {
public:
    explicit FtpException(const std::string& Msg) : rtl::Exception(Msg) {}
    const char* ClassName() const override { return "FtpException"; }
};

enum TFtpClientState : std::uint8_t {
    csNotConnected = 0,
    csReady = 1,
    csStepDone = 2,
    csResolving = 3,
    csConnected = 4,
    csAborting = 5,
    csAwaitingWelcome = 7,
    csAwaitingReply = 8,
};

enum TFtpRequest : std::uint8_t {
    rqNone = 0,
    rqOpen = 1,
    rqUser = 2,
    rqPass = 3,
    rqCwd = 4,
    rqLogin = 5,
    rqDownloadSession = 6,
    rqList = 7,
    rqNameList = 8,
    rqPort = 9,
    rqRetrieve = 10,
    rqListSession = 11,
    rqNameListSession = 12,
    rqSystemSession = 13,
    rqSyst = 14,
    rqQuit = 15,
    rqSize = 16,
    rqStore = 17,
    rqAppend = 18,
    rqMakeDir = 21,
    rqRemoveDir = 22,
    rqRenameSession = 23,
    rqDelete = 24,
    rqRename = 25,
    rqRenameTo = 26,
    rqRenameFrom = 27,
    rqDeleteSession = 28,
    rqMakeDirSession = 29,
    rqRemoveDirSession = 30,
    rqPwd = 31,
    rqRawCommand = 32,
    rqCdup = 33,
    rqRawCommandSession = 34,
    rqUploadSession = 35,
    rqType = 36,
    rqRest = 37,
    rqResumeDownload = 38,
    rqResumeDownloadSession = 39,
    rqResumeUpload = 40,
    rqResumeUploadSession = 41,
};

enum TFtpConnectionType : std::uint8_t {
    ftpDirect = 0,
    ftpProxy = 1,
    ftpSocks4 = 2,
    ftpSocks4A = 3,
    ftpSocks5 = 4,
    ftpProxyUserLogin = 5,
    ftpProxySite = 6,
    ftpProxySiteUserHost = 7,
};

enum TFtpOption { ftpAcceptLF = 0, ftpNoAutoResumeAt = 1 };

class TFtpOptions {
public:
    TFtpOptions() = default;
    TFtpOptions(std::initializer_list<TFtpOption> Options)
    {
        for (auto o : Options) Include(o);
    }
    bool Contains(TFtpOption o) const { return (FBits & (1u << o)) != 0; }
    void Include(TFtpOption o) { FBits |= 1u << o; }
    void Exclude(TFtpOption o) { FBits &= ~(1u << o); }
    bool operator==(const TFtpOptions&) const = default;

private:
    std::uint32_t FBits = 0;
};

using TFtpDisplay = std::function<void(TObject* Sender, std::string& Msg)>;
using TFtpCommand = std::function<void(TObject* Sender, std::string& Cmd)>;
// Count is the position reached in the file (restart position included).
using TFtpProgress = std::function<void(TObject* Sender, std::int64_t Count, bool& Abort)>;
using TFtpRequestDone = std::function<void(TObject* Sender, TFtpRequest RqType, std::uint16_t Error)>;
using TFtpReadyToTransmit = std::function<void(TObject* Sender, bool& bCancel)>;

// Private messages of the component's message target.
constexpr os::UINT WM_FTP_REQUEST_DONE = os::WM_USER + 1;
constexpr os::UINT WM_FTP_START_SEND = os::WM_USER + 2;

// Where the browser's variant of the component (net/BrFtpCli.h) differs
// from the main one. One implementation follows either; the defaults are the
// main variant.
struct TFtpCliVariant {
    // A start while another request runs reports "FTP component not ready"
    // instead of being ignored.
    bool RefuseWhenBusy = false;
    // With ftpProxy the proxy is reached at Port and the login is user@host.
    bool ProxyAtServerPort = false;
    // Of a reply to a command only its final line is shown.
    bool FinalReplyLineOnly = false;
    // The "! " trace lines of the sequencer and of the transfers.
    bool Traces = true;
    bool AnnounceAbort = false;
    // Each received block goes to the local stream at once (no write-behind buffer).
    bool WriteThrough = false;
    bool AnnounceDataRequest = false;
    bool ReportRefusedGet = false;
    // BlockUntilIdle also ends between the steps of a chain.
    bool StepDoneEndsWait = true;
};

class TCustomFtpCli : public TObject {
public:
    explicit TCustomFtpCli(const TFtpCliVariant& Variant = {});
    ~TCustomFtpCli() override;
    TCustomFtpCli(const TCustomFtpCli&) = delete;
    TCustomFtpCli& operator=(const TCustomFtpCli&) = delete;

    // Requests: each reads the properties and returns at once.
    using TAction = void (TCustomFtpCli::*)();
    virtual void StartOpen();
    virtual void SendUser();
    virtual void SendPass();
    virtual void ChainLogin();
    virtual void SendQuit();
    virtual void AbortRequest();
    virtual void ChainDownload();
    virtual void StartRetr();
    virtual void ChainDownloadSession();
    virtual void ChainUpload();
    virtual void StartStor();
    virtual void ChainUploadSession();
    virtual void ChainAppend();
    virtual void StartAppe();
    virtual void ChainAppendSession();
    virtual void StartList();
    virtual void ChainList();
    virtual void StartNlst();
    virtual void ChainNameList();
    virtual void SendType();
    virtual void SendTypeBinary();
    virtual void SendTypeAscii();
    virtual void SendPwd();
    virtual void SendCwd();
    virtual void SendCdup();
    virtual void ChainListSession();
    virtual void ChainNameListSession();
    virtual void SendSyst();
    virtual void ChainSystemSession();
    virtual void SendSize();
    virtual void ChainSizeSession();
    virtual void SendMkd();
    virtual void ChainMakeDirSession();
    virtual void SendRmd();
    virtual void ChainRemoveDirSession();
    virtual void SendDele();
    virtual void ChainDeleteSession();
    virtual void SendRnfr();
    virtual void SendRnto();
    virtual void ChainRename();
    virtual void ChainRenameSession();
    virtual void SendRawCommand();
    virtual void ChainRawCommandSession();
    virtual void SendRest();
    virtual void ChainResumeDownload();
    virtual void ChainResumeDownloadSession();
    virtual void ChainResumeUpload();
    virtual void ChainResumeUploadSession();
    virtual void SendPortOrPasv();

    bool HasSession() const { return FControlConnected; }
    const TFtpCliVariant& Variant() const { return FVariant; }
    // Free for the owner (the engine keeps the slot number here).
    int Tag() const { return FTag; }
    void SetTag(int Value) { FTag = Value; }
    // A stream the next transfer reads or writes instead of LocalFileName;
    // it stays the caller's. nullptr detaches.
    void AttachStream(TFtpStream* Stream);
    // Writes what the write-behind buffer holds and lets go of the local
    // stream (a file the component opened is closed; an attached one stays).
    void ReleaseLocalStream();
    void SetErrorHandler(TFtpDisplay Handler);

    // Published properties.
    const std::string& HostName() const { return FHostName; }
    void SetHostName(const std::string& Value) { FHostName = Value; }
    const std::string& Port() const { return FPort; }
    void SetPort(const std::string& Value) { FPort = Value; }
    const std::string& UserName() const { return FUserName; }
    void SetUserName(const std::string& Value) { FUserName = Value; }
    const std::string& PassWord() const { return FPassWord; }
    void SetPassWord(const std::string& Value) { FPassWord = Value; }
    const std::string& HostDirName() const { return FHostDirName; }
    void SetHostDirName(const std::string& Value) { FHostDirName = Value; }
    const std::string& HostFileName() const { return FHostFileName; }
    void SetHostFileName(const std::string& Value) { FHostFileName = Value; }
    const std::string& LocalFileName() const { return FLocalFileName; }
    void SetLocalFileName(const std::string& Value);
    bool DisplayFileFlag() const { return FDisplayFileFlag; }
    void SetDisplayFileFlag(bool Value) { FDisplayFileFlag = Value; }
    bool Binary() const { return FTransferTypeChar == 'I'; }
    void SetBinary(bool Value) { FTransferTypeChar = Value ? 'I' : 'A'; }
    const std::string& ErrorMessage() const { return FErrorMessage; }
    TFtpShareMode ShareMode() const { return ShareModeOf(FShareFlags); }
    void SetShareMode(TFtpShareMode Value) { FShareFlags = ShareFlagsOf(Value); }
    TFtpOptions Options() const { return FOptions; }
    void SetOptions(TFtpOptions Value) { FOptions = Value; }
    TFtpConnectionType ConnectionType() const { return FConnectionType; }
    void SetConnectionType(TFtpConnectionType Value);
    const std::string& ProxyServer() const { return FProxyServer; }
    void SetProxyServer(const std::string& Value) { FProxyServer = Value; }
    const std::string& ProxyPort() const { return FProxyPort; }
    void SetProxyPort(const std::string& Value) { FProxyPort = Value; }
    const std::string& ProxyUser() const { return FProxyUser; }
    void SetProxyUser(const std::string& Value) { FProxyUser = Value; }
    const std::string& ProxyPassword() const { return FProxyPassword; }
    void SetProxyPassword(const std::string& Value) { FProxyPassword = Value; }
    const std::string& SocksServer() const { return FSocksServer; }
    void SetSocksServer(const std::string& Value) { FSocksServer = Value; }
    const std::string& SocksPort() const { return FSocksPort; }
    void SetSocksPort(const std::string& Value) { FSocksPort = Value; }
    const std::string& SocksUserCode() const { return FSocksUserCode; }
    void SetSocksUserCode(const std::string& Value) { FSocksUserCode = Value; }
    const std::string& SocksPassword() const { return FSocksPassword; }
    void SetSocksPassword(const std::string& Value) { FSocksPassword = Value; }
    bool PassiveMode() const { return FPassiveMode; }
    void SetPassiveMode(bool Value);

    // Fields the engine and the browser windows read or write.
    TFtpClientState ClientState() const { return FState; }
    int ReplyCode() const { return FReplyCode; }
    void SetReplyCode(int Value) { FReplyCode = Value; }
    int RequestStatus() const { return FRequestStatus; }
    void SetRequestStatus(int Value) { FRequestStatus = Value; }
    const std::string& ReplyText() const { return FReplyText; }
    void SetReplyText(const std::string& Value) { FReplyText = Value; }
    void SetErrorMessage(const std::string& Value) { FErrorMessage = Value; }
    const std::string& ReplyDirectory() const { return FReplyDirectory; }
    void SetReplyDirectory(const std::string& Value) { FReplyDirectory = Value; }
    std::int64_t ResumePosition() const { return FResumePosition; }
    void SetResumePosition(std::int64_t Value) { FResumePosition = Value; }
    std::int64_t RemoteSize() const { return FRemoteSize; }
    std::int64_t TransferredBytes() const { return FTransferredBytes; }
    TFtpRequest CurrentRequest() const { return FCurrentRequest; }
    TAsyncSocket* CommandSocket() const { return FCommandSocket.get(); }
    TAsyncSocket* TransferSocket() const { return FTransferSocket.get(); }
    os::HWND WindowHandle() const { return FWindowHandle; }
    TFtpStream* LocalStream() const { return FLocalStream; }

    // Events.
    TFtpDisplay OnDisplay;
    TFtpDisplay OnDisplayFile;
    TFtpCommand OnCommand;
    TNotifyEvent OnResponse;
    TFtpProgress OnProgress;
    TSessionConnected OnSessionConnected;
    TSessionClosed OnSessionClosed;
    TFtpRequestDone OnRequestDone;
    TNotifyEvent OnStateChange;
    TFtpReadyToTransmit OnReadyToTransmit;
    std::function<void(TObject* Sender, rtl::Exception& E, bool& CanClose)> OnBgException;

protected:
    // Steps of a chain, as bits of PendingSteps.
    enum TStep : std::uint8_t {
        stNone = 0,
        stOpen = 1,
        stUser = 2,
        stPass = 3,
        stCwd = 4,
        stSize = 5,
        stMkd = 6,
        stRmd = 7,
        stRnfr = 8,
        stRnto = 9,
        stRetr = 10,
        stList = 11,
        stQuit = 12,
        stSyst = 13,
        stDele = 14,
        stPwd = 15,
        stRaw = 16,
        stStor = 17,
        stType = 18,
        stRest = 19,
        stCdup = 20,
        stNlst = 21,
        stAppe = 22,
        stPortPasv = 23,
    };
    virtual void IssueCommand(std::string Cmd);
    virtual void FireDisplay(const std::string& Msg);
    virtual void FireReadyToTransmit(bool& bCancel);
    virtual void FireDisplayFile(std::string Msg);
    virtual void FireErrorReport(const std::string& Msg);
    virtual bool FireProgress();
    // Bytes moved on the control or the data connection, either way.
    virtual void TransferMoved() {}
    // A request began waiting on the peer (true), or the component is ready
    // again (false).
    virtual void BusyChanged(bool Busy) {}
    virtual void ShowTransferStats();
    virtual os::LRESULT DispatchWindowMessage(os::UINT Msg, os::WPARAM WParam, os::LPARAM LParam);
    virtual void ProcessBgException(rtl::Exception& E);

    // Request flow.
    void SetStateValue(TFtpClientState Value);
    bool IsReady() const { return FState == csReady || FState == csStepDone; }
    // Whether a request may start now; a start while busy is ignored, or
    // refused with a report by the browser's variant.
    bool CheckReady();
    // Refuses misuse: raises FtpException, or hands the text to the error
    // handler. A refused step of a chain ends the chain with an error
    // instead. A refused request also leaves RequestStatus 500, so a
    // blocking call cannot take it for a success. A call refused while
    // another request runs leaves that request alone.
    void RaiseOrReport(const std::string& Msg, bool RefusesRequest = true);
    bool RunRequest(TFtpRequest Code, const std::string& Cmd, TAction Done, std::initializer_list<int> Expected,
                    TStep Step);
    // A request of its own (not a step of a chain) starts afresh: its code,
    // no error text and no transfer failure of an earlier request.
    void BeginRequest(TFtpRequest Code);
    void CheckReply();
    void ParseStepResult();
    void FinishRequest(int Error);
    void StartChain(TFtpRequest Code, std::initializer_list<TStep> Steps);
    void HighLevelAsync();
    void DisplayReply(const std::string& Line);
    void Trace(const std::string& Msg);
    // Sets the failure of the running step: RequestStatus, ReplyCode and the
    // first ErrorMessage.
    void SetFailure(int Code, const std::string& Text);
    // Refuses a command text holding CR, LF or NUL (it would smuggle a
    // second command to the server).
    bool TextIsSafe(const std::string& Text);

    // Control connection.
    void ControlDnsDone(std::uint16_t Error);
    void ControlSessionConnected(std::uint16_t Error);
    // The text of a failed connect: the SOCKS layer's own when it said why,
    // else the socket error's.
    std::string ConnectErrorText(const TAsyncSocket& Socket, int Error) const;
    void ControlSessionClosed(std::uint16_t Error);
    void ControlDataAvailable(std::uint16_t Error);
    // False when the rest of the received bytes must not be parsed.
    bool HandleReplyLine();
    // Ends a control connection that cannot be kept in step with the server.
    void DropControl(const std::string& Why);
    void ConnectControl(const std::string& Address);
    void ApplySocks(TAsyncSocket& Socket);
    void QuitDone();

    // Data connection.
    void PortOrPasvDone();
    bool ParsePasvReply(const std::string& Text, int& Port);
    bool ConnectPassiveData(std::function<void(std::uint16_t)> Connected);
    void StartGet(TFtpRequest Code, const char* Verb);
    void StartPut(TFtpRequest Code);
    void DataConnectedGet(std::uint16_t Error);
    // Servers may connect right after PORT, before the transfer command:
    // such a connection waits until the transfer takes it.
    void DataSessionAvailable(std::uint16_t Error);
    void TakeDataAccept(void (TCustomFtpCli::*Accept)(std::uint16_t));
    void DataAcceptGet(std::uint16_t Error);
    void DataAvailableGet(std::uint16_t Error);
    void DataClosedGet(std::uint16_t Error);
    void GetFirstReply();
    void GetFinalReply();
    void Next3GetAsync();
    void DataConnectedPut(std::uint16_t Error);
    void DataAcceptPut(std::uint16_t Error);
    void PutFirstReply();
    void PutFinalReply();
    void SendNextBlock(std::uint16_t Error);
    void DrainDataPut(std::uint16_t Error);
    void DataClosedPut(std::uint16_t Error);
    // The upload's data connection ended (or failed) before the whole file
    // left: the failure, unless the server's final reply names its own.
    void LoseUploadData(int Code, const std::string& Text);
    void Next3PutAsync();
    void HandleStartSendMessage();
    void UploadBytesSent(int Sent);
    // Bytes of the data connection the peer acknowledged; -1 when unknown.
    std::int64_t DataBytesAcknowledged() const;
    // An upload whose data connection stands and whose request runs.
    bool Uploading() const;
    // While an upload runs, a timer watches the server acknowledge its
    // bytes: each move fires progress and keeps the time-out away.
    void StartUploadWatch();
    void UploadWatchTick();
    // The position progress reports: for uploads what the server has
    // acknowledged, not what the socket took.
    std::int64_t ProgressPosition() const;
    // Ends the request with a failure, closing the data connection.
    void FailTransfer(int Code, const std::string& Text);
    // A data connection that could not be made fails the transfer; when the
    // server already has the command, the request ends with its final reply.
    void FailDataConnection(int Error);
    void EndAfterDataFailure();
    // The accepted data connection; INVALID_SOCKET after failing the request.
    os::SOCKET AcceptDataConnection();
    // Opens the local file (or takes the attached stream) at the resume position.
    bool OpenLocalStream(TFtpFileStream::TOpenMode Mode);
    // A transfer command the server refused.
    void RefuseTransfer(int Code);
    // Finishes once both the final reply and the data connection's end came.
    void FinishTransferOnceEnded(bool DataClosed);
    // Writes what the write-behind buffer holds; false (and a 550 failure)
    // when the local stream refused it.
    bool FlushWriteBehind();
    // Ends a data connection so the server cannot take it for a clean end.
    void ResetDataConnection();
    void CloseTransferSocket();
    std::int64_t NowMs() const;
    static std::unique_ptr<TAsyncSocket> MakeDataSocket();

    static constexpr std::int64_t kWriteBehindSize = 1048576;
    // Uploads hand the socket this much at a time.
    static constexpr std::int64_t kSendBlockSize = 262144;
    // How often (ms) the upload watch looks, and fires progress at most.
    static constexpr std::int64_t kProgressIntervalMs = 100;
    static constexpr std::uintptr_t kUploadWatchTimer = 1;

    const TFtpCliVariant FVariant;

    // Properties.
    std::string FHostName, FPort = "ftp", FUserName, FPassWord, FLocalFileName, FHostFileName, FHostDirName;
    std::string FResolvedAddress;
    std::string FControlAddr; // the address the control connection was opened to
    // What the SOCKS layer last said of each socket's failure (code, text).
    struct TSocksFailure {
        int Code = 0;
        std::string Text;
    };
    TSocksFailure FControlSocksFailure, FDataSocksFailure;
    char FTransferTypeChar = 'I';
    std::uint16_t FShareFlags = 0x0010;
    TFtpConnectionType FConnectionType = ftpDirect;
    std::string FProxyServer, FProxyPort = "ftp", FProxyUser, FProxyPassword;
    std::string FSocksServer, FSocksPort, FSocksUserCode, FSocksPassword;
    bool FAppendMode = false;
    bool FDisplayFileFlag = false;
    TFtpOptions FOptions{ftpAcceptLF};
    TFtpDisplay FErrorHandler;

    int FTag = 0;
    os::HWND FWindowHandle = 0;
    std::unique_ptr<TAsyncSocket> FCommandSocket;
    std::unique_ptr<TAsyncSocket> FTransferSocket;

    // Request state.
    TFtpClientState FState = csReady;
    int FReplyCode = 0;
    int FRequestStatus = 0;
    std::uint32_t FPendingSteps = 0;
    TStep FCurrentStep = stNone;
    TStep FStepRunning = stNone; // the step whose reply is awaited
    int FChainError = 0;
    bool FInChain = false;
    bool FChainArmed = false; // ChainContinuation
    TFtpRequest FCurrentRequest = rqNone;
    bool FRequestDoneSent = true;
    bool FQuitSent = false;
    TAction FNext = nullptr;
    TAction FDoneAction = nullptr;
    std::vector<int> FExpectedCodes;

    // Control connection reading.
    static constexpr int kReceiveBufferSize = 4096;
    // A reply longer than this is not an FTP reply: a server that never ends
    // one must not fill the log (and memory) for ever.
    static constexpr int kMaxReplyLines = 10000;
    static constexpr std::int64_t kMaxReplyBytes = 1048576;
    int FReplyLines = 0;
    std::int64_t FReplyBytes = 0;
    char FReceiveBuffer[kReceiveBufferSize];
    int FReceiveLength = 0;
    bool FControlConnected = false;
    std::string FReplyText, FSavedReplyText, FPasvReplyText, FErrorMessage, FReplyDirectory;
    int FSavedReplyCode = -1;
    int FPasvPort = 0; // from the last 227 reply; 0 when none is pending

    // Transfer.
    TFtpStream* FLocalStream = nullptr;
    std::unique_ptr<TFtpFileStream> FOwnedStream;
    bool FStreamAttached = false;
    void (TCustomFtpCli::*FDataAccept)(std::uint16_t) = nullptr;
    bool FAcceptWaiting = false;
    std::string FDataVerb;
    std::uint16_t FDataCloseError = 0;
    int FTransferError = 0; // set once the local file failed or the user aborted
    int FDataLostCode = 0;  // the upload's data connection ended early
    std::string FDataLostText;
    std::uint16_t FDataEventError = 0;
    std::int64_t FTransferredBytes = 0;
    std::int64_t FRemoteSize = 0;
    std::int64_t FResumePosition = 0;
    std::int64_t FTransferStartTick = 0, FTransferEndTick = 0;
    std::int64_t FLastProgressTick = 0;
    std::int64_t FAckedBase = -1; // acknowledged bytes when the upload's connection stood; -1 unknown
    std::int64_t FAcked = 0;      // file bytes acknowledged since
    bool FFinalReplySeen = false, FGetDataClosed = false, FPutDataClosed = false, FPassiveMode = false,
         FUploadEof = false, FTransferStarted = false, FDataConnected = false;
    std::vector<char> FWriteBehindBuffer;
    std::int64_t FWriteBehindPosition = 0;
    std::vector<char> FSendBlock;
};

class TFtpClient : public TCustomFtpCli {
public:
    explicit TFtpClient(const TFtpCliVariant& Variant = {});

    int Timeout() const { return FTimeout; }
    void SetTimeout(int Value) { FTimeout = Value; }
    bool MultiThreaded() const { return FMultiThreaded; }
    void SetMultiThreaded(bool Value);

    // Starts a request and waits for its end; false on failure, time-out or
    // an exception (which is swallowed).
    bool RunAndWait(TAction Request);
    bool RunAndWait(const std::function<void()>& Request);
    // Pumps the thread's message loop until the component is ready again or
    // Timeout seconds passed without progress (then the request is aborted
    // with "426 Timeout").
    bool BlockUntilIdle();

    bool TypeBinaryBlocking();
    bool TypeAsciiBlocking();
    bool QuitBlocking();
    bool AbortBlocking();
    bool RawCommandBlocking();

protected:
    bool FireProgress() override;
    void TransferMoved() override;
    void BusyChanged(bool Busy) override;
    os::LRESULT DispatchWindowMessage(os::UINT Msg, os::WPARAM WParam, os::LPARAM LParam) override;

private:
    // Every request, waited on or not, ends after Timeout seconds of silence.
    void ArmSilenceTimer();
    void SilenceTick();
    static constexpr std::uintptr_t kSilenceTimer = 2;

    int FTimeout = 15;
    std::chrono::steady_clock::time_point FTimeoutDeadline;
    bool FMultiThreaded = false;
};
