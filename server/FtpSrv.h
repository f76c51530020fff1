#pragma once
// TPortlorn: the non-visual FTP server component. It owns one listening
// socket and one TFtpCtrlSocket per connected client, parses each command
// line, dispatches it through its command table, sends the answer and
// reports everything through events. Everything runs on the thread that
// created it, driven by its os::MessageLoop.
//
// Every path a command names is kept inside the client's home folder
// (FtpSrvPath.h); the window's checks (OnAuthenticate, OnChangeDirectory,
// OnMakeDirectory, OnValidate...) come on top of that.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "net/AsyncSocket.h"
#include "os/MessageTarget.h"
#include "server/FtpSrvC.h"
#include "server/FtpSrvExceptions.h"
#include "server/FtpSrvSendFile.h"

class TPortlorn;

using TFtpSrvAuthenticateEvent = std::function<void(TObject* Sender, TFtpCtrlSocket* Client,
                                                    const TFtpString& UserName, const TFtpString& Password,
                                                    bool& Authenticated)>;
using TFtpSrvChangeDirectoryEvent =
    std::function<void(TObject* Sender, TFtpCtrlSocket* Client, const TFtpString& Directory, bool& Allowed)>;
using TFtpSrvBuildDirectoryEvent =
    std::function<void(TObject* Sender, TFtpCtrlSocket* Client, TFtpString& Directory, bool Detailed)>;
using TFtpSrvClientConnectEvent =
    std::function<void(TObject* Sender, TFtpCtrlSocket* Client, std::uint16_t Error)>;
using TFtpSrvDataSessionConnectedEvent =
    std::function<void(TObject* Sender, TFtpCtrlSocket* Client, TAsyncSocket* Data, std::uint16_t Error)>;
using TFtpSrvClientCommandEvent = std::function<void(TObject* Sender, TFtpCtrlSocket* Client, TFtpString& Keyword,
                                                     TFtpString& Params, TFtpString& Answer)>;
using TFtpSrvAnswerToClientEvent =
    std::function<void(TObject* Sender, TFtpCtrlSocket* Client, TFtpString& Answer)>;
using TFtpSrvValidateXferEvent =
    std::function<void(TObject* Sender, TFtpCtrlSocket* Client, TFtpString& FilePath, bool& Allowed)>;
using TFtpSrvDataAvailableEvent = std::function<void(TObject* Sender, TFtpCtrlSocket* Client, TAsyncSocket* Data,
                                                     const char* Buf, int Len, std::uint16_t Error)>;
using TFtpSrvRetrDataSentEvent =
    std::function<void(TObject* Sender, TFtpCtrlSocket* Client, TAsyncSocket* Data, std::uint16_t Error)>;

// A command handler: (client, keyword, var parameter, var answer).
using TFtpSrvCommandProc =
    std::function<void(TFtpCtrlSocket* Client, TFtpString& Keyword, TFtpString& Params, TFtpString& Answer)>;

struct TFtpSrvCommandTableItem {
    std::string KeyWord;
    TFtpSrvCommandProc Proc;
};

// Private messages of the component's hidden window. wParam always names
// the client by its number, so a message for a freed client is dropped;
// data messages carry the data session's serial in lParam.
constexpr os::UINT WM_FTPSRV_CLOSE_REQUEST = os::WM_USER + 1;
constexpr os::UINT WM_FTPSRV_CLIENT_CLOSED = os::WM_USER + 2;
constexpr os::UINT WM_FTPSRV_ABORT_TRANSFER = os::WM_USER + 3;
constexpr os::UINT WM_FTPSRV_CLOSE_DATA = os::WM_USER + 4;
// Goes on with a file download after a slice was sent, so one fast client
// does not hold the loop.
constexpr os::UINT WM_FTPSRV_SEND_MORE = os::WM_USER + 5;

class TPortlorn : public TObject {
public:
    static constexpr int MaxCommands = 32;
    // Timer ids of the hidden window: data connection timers are this base
    // plus the client number.
    static constexpr std::uintptr_t DataTimerBase = std::uintptr_t(1) << 32;
    // Login timers: this base plus the client number.
    static constexpr std::uintptr_t LoginTimerBase = std::uintptr_t(2) << 32;
    // Held replies: this base plus the client number.
    static constexpr std::uintptr_t AnswerTimerBase = std::uintptr_t(3) << 32;
    // How long the 227 of PASV is held back. curl 7.88 waits 200 ms for
    // nothing before it connects when the 227 is already there the moment
    // it first looks after sending PASV; a reply this much later never is.
    static constexpr os::UINT PasvAnswerDelayMs = 2;

    TPortlorn();
    ~TPortlorn() override;
    TPortlorn(const TPortlorn&) = delete;
    TPortlorn& operator=(const TPortlorn&) = delete;

    // Listens on Addr:Port; nothing while already listening. A listening
    // error (such as a port in use) raises ESocketException.
    void Start();
    // Closes the listener; connected clients stay.
    void Stop();
    // Closes every client's connection and empties the list.
    void DisconnectAll();
    // True while listening.
    bool Active() const;
    // The port actually listened on (useful with Port "0").
    std::string GetBoundPort() const;

    virtual int GetClientCount() const;
    // How many clients have a data connection open now (a transfer or a
    // listing under way).
    int DataSessionCount() const;
    // The clients in order of acceptance.
    TFtpCtrlSocket* Client(int Index) const;
    TFtpCtrlSocket* FindClient(std::uint32_t ID) const;
    TAsyncSocket* ServerSocket() const { return FServerSocket.get(); }

    // Raises PortlornException "Too many command" beyond 32 entries.
    virtual void AddCommand(const std::string& KeyWord, TFtpSrvCommandProc Proc);
    // Fires OnAnswerToClient, then sends the answer and CR LF; errors are
    // swallowed. Control characters in the answer go out as "?" (PrintableText).
    void SendAnswer(TFtpCtrlSocket* Client, TFtpString Answer);
    // Text with every control character (below 32, and 127) replaced by "?":
    // what a client sent, fit to be quoted on one line.
    static std::string PrintableText(const std::string& Text);

    // Splits one command line: drops Telnet IAC pairs (IAC IAC gives one
    // byte 255), skips blanks and tabs, takes the keyword (letters and
    // digits, upper-cased), skips blanks and tabs again; the rest is the
    // parameter. False when the line is longer than MaxCommandLength.
    static bool SplitCommandLine(const char* Line, int Length, TFtpString& KeyWord, TFtpString& Params);

    // --- published properties ----------------------------------------------
    const std::string& Addr() const { return FAddr; }
    void SetAddr(const std::string& Value) { FAddr = Value; }
    const std::string& Port() const { return FPort; }
    void SetPort(const std::string& Value) { FPort = Value; }
    const std::string& Banner() const { return FBanner; }
    void SetBanner(const std::string& Value) { FBanner = Value; }
    // 0: no limit.
    int MaxClients() const { return FMaxClients; }
    void SetMaxClients(int Value) { FMaxClients = Value; }
    std::int64_t UserData() const { return FUserData; }
    void SetUserData(std::int64_t Value) { FUserData = Value; }
    // Milliseconds a transfer waits for its data connection (passive accept
    // or active connect) before it fails; 0 waits without limit.
    int DataTimeout() const { return FDataTimeout; }
    void SetDataTimeout(int Value) { FDataTimeout = Value; }
    // Milliseconds a connection may take to log in; then it is answered
    // "421" and closed, so silent connections cannot take every descriptor.
    // Logged-in sessions are never timed out. 0 waits without limit.
    int LoginTimeout() const { return FLoginTimeout; }
    void SetLoginTimeout(int Value) { FLoginTimeout = Value; }

    // --- events -----------------------------------------------------------
    TNotifyEvent OnStart;
    TNotifyEvent OnStop;
    TFtpSrvAuthenticateEvent OnAuthenticate;
    TFtpSrvClientConnectEvent OnClientConnect;
    TFtpSrvClientConnectEvent OnClientDisconnect;
    TFtpSrvClientCommandEvent OnClientCommand;
    TFtpSrvAnswerToClientEvent OnAnswerToClient;
    TFtpSrvChangeDirectoryEvent OnChangeDirectory;
    TFtpSrvChangeDirectoryEvent OnMakeDirectory;
    TFtpSrvBuildDirectoryEvent OnBuildDirectory;
    TFtpSrvBuildDirectoryEvent OnAlterDirectory;
    TFtpSrvValidateXferEvent OnValidatePut;
    TFtpSrvValidateXferEvent OnValidateDele;
    TFtpSrvValidateXferEvent OnValidateRnFr;
    TFtpSrvValidateXferEvent OnValidateRnTo;
    TFtpSrvDataSessionConnectedEvent OnStorSessionConnected;
    TFtpSrvDataSessionConnectedEvent OnStorSessionClosed;
    TFtpSrvDataAvailableEvent OnStorDataAvailable;
    TFtpSrvValidateXferEvent OnValidateGet;
    TFtpSrvDataSessionConnectedEvent OnRetrSessionConnected;
    TFtpSrvDataSessionConnectedEvent OnRetrSessionClosed;
    TFtpSrvRetrDataSentEvent OnRetrDataSent;

protected:
    virtual void FireStart();
    virtual void FireStop();
    virtual void FireAuthenticate(TFtpCtrlSocket* Client, const std::string& UserName, const std::string& Password,
                                  bool& Authenticated);
    virtual void FireChangeDirectory(TFtpCtrlSocket* Client, const std::string& Directory, bool& Allowed);
    virtual void FireMakeDirectory(TFtpCtrlSocket* Client, const std::string& Directory, bool& Allowed);
    virtual void FireAnswerToClient(TFtpCtrlSocket* Client, TFtpString& Answer);
    virtual void FireClientConnect(TFtpCtrlSocket* Client, std::uint16_t Error);
    virtual void FireClientDisconnect(TFtpCtrlSocket* Client, std::uint16_t Error);
    virtual void FireClientCommand(TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params,
                                   TFtpString& Answer);
    virtual void FireStorSessionConnected(TFtpCtrlSocket* Client, TAsyncSocket* Data, std::uint16_t Error);
    virtual void FireStorSessionClosed(TFtpCtrlSocket* Client, TAsyncSocket* Data, std::uint16_t Error);
    virtual void FireValidatePut(TFtpCtrlSocket* Client, TFtpString& FilePath, bool& Allowed);
    virtual void FireValidateDele(TFtpCtrlSocket* Client, TFtpString& FilePath, bool& Allowed);
    virtual void FireValidateRnFr(TFtpCtrlSocket* Client, TFtpString& FilePath, bool& Allowed);
    virtual void FireValidateRnTo(TFtpCtrlSocket* Client, TFtpString& FilePath, bool& Allowed);
    virtual void FireRetrSessionConnected(TFtpCtrlSocket* Client, TAsyncSocket* Data, std::uint16_t Error);
    virtual void FireRetrSessionClosed(TFtpCtrlSocket* Client, TAsyncSocket* Data, std::uint16_t Error);
    virtual void FireValidateGet(TFtpCtrlSocket* Client, TFtpString& FilePath, bool& Allowed);
    virtual void FireStorDataAvailable(TFtpCtrlSocket* Client, TAsyncSocket* Data, const char* Buf, int Len,
                                       std::uint16_t Error);
    virtual void FireRetrDataSent(TFtpCtrlSocket* Client, TAsyncSocket* Data, std::uint16_t Error);
    void FireBuildDirectory(TFtpCtrlSocket* Client, TFtpString& Directory, bool Detailed);
    void FireAlterDirectory(TFtpCtrlSocket* Client, TFtpString& Directory, bool Detailed);

    // --- command handlers -------------------------------------------------
    virtual void CommandUSER(TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params, TFtpString& Answer);
    virtual void CommandPASS(TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params, TFtpString& Answer);
    virtual void CommandQUIT(TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params, TFtpString& Answer);
    virtual void CommandNOOP(TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params, TFtpString& Answer);
    virtual void CommandLIST(TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params, TFtpString& Answer);
    virtual void CommandNLST(TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params, TFtpString& Answer);
    virtual void CommandDELE(TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params, TFtpString& Answer);
    virtual void CommandSIZE(TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params, TFtpString& Answer);
    virtual void CommandREST(TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params, TFtpString& Answer);
    virtual void CommandRNFR(TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params, TFtpString& Answer);
    virtual void CommandRNTO(TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params, TFtpString& Answer);
    virtual void CommandPORT(TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params, TFtpString& Answer);
    virtual void CommandSTOR(TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params, TFtpString& Answer);
    virtual void CommandRETR(TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params, TFtpString& Answer);
    virtual void CommandTYPE(TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params, TFtpString& Answer);
    virtual void CommandCWD(TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params, TFtpString& Answer);
    virtual void ChangeDirectory(TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params,
                                 TFtpString& Answer);
    virtual void CommandMKD(TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params, TFtpString& Answer);
    virtual void CommandRMD(TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params, TFtpString& Answer);
    virtual void CommandCDUP(TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params, TFtpString& Answer);
    virtual void CommandXPWD(TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params, TFtpString& Answer);
    virtual void CommandPWD(TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params, TFtpString& Answer);
    virtual void CommandSYST(TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params, TFtpString& Answer);
    virtual void CommandABOR(TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params, TFtpString& Answer);
    virtual void CommandPASV(TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params, TFtpString& Answer);
    virtual void CommandAPPE(TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params, TFtpString& Answer);
    virtual void CommandSTRU(TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params, TFtpString& Answer);
    virtual void CommandMDTM(TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params, TFtpString& Answer);

    // --- internals --------------------------------------------------------
    void ServerSocketStateChange(TObject* Sender, TSocketState OldState, TSocketState NewState);
    void SessionAvailable(TObject* Sender, std::uint16_t Error);
    void ClientCommand(TFtpCtrlSocket* Client, const char* Line, int Length);
    void ClientSessionClosed(TFtpCtrlSocket* Client, std::uint16_t Error);
    void ClientDataSent(TFtpCtrlSocket* Client, std::uint16_t Error);
    void WndProc(os::UINT Msg, os::WPARAM WParam, os::LPARAM LParam);
    void PostDataMessage(os::UINT Msg, TFtpCtrlSocket* Client);
    void RemoveClient(TFtpCtrlSocket* Client);
    // The file path rule confined to the client's home folder.
    std::string ResolveClientPath(TFtpCtrlSocket* Client, const std::string& Name) const;
    bool CheckLogin(TFtpCtrlSocket* Client, TFtpString& Answer) const;

    // Data connection (FtpSrvData.cpp).
    void PassiveSessionAvailable(TFtpCtrlSocket* Client, std::uint16_t Error);
    void InstallUploadHandlers(TFtpCtrlSocket* Client);
    void InstallDownloadHandlers(TFtpCtrlSocket* Client);
    // The upload or download handlers, as the transfer command says.
    void InstallTransferHandlers(TFtpCtrlSocket* Client);
    void BeginDataSession(TFtpCtrlSocket* Client);
    void ClientStorSessionConnected(TFtpCtrlSocket* Client, std::uint16_t Error);
    void ClientStorDataAvailable(TFtpCtrlSocket* Client, std::uint16_t Error);
    void ClientStorSessionClosed(TFtpCtrlSocket* Client, std::uint16_t Error);
    void ClientRetrSessionConnected(TFtpCtrlSocket* Client, std::uint16_t Error);
    void ClientRetrDataSent(TFtpCtrlSocket* Client, std::uint16_t Error);
    void ClientRetrSessionClosed(TFtpCtrlSocket* Client, std::uint16_t Error);
    void SendNextDataChunk(TFtpCtrlSocket* Client);
    void AbortTransfer(TFtpCtrlSocket* Client, const std::string& Reason);
    void StartDataTimer(TFtpCtrlSocket* Client);
    void StopDataTimer(TFtpCtrlSocket* Client);
    void DataTimerElapsed(std::uint32_t ID);
    void LoginTimerElapsed(std::uint32_t ID);
    // Sends Answer after the delay; the client's commands wait until then.
    void HoldAnswer(TFtpCtrlSocket* Client, TFtpString& Answer, os::UINT DelayMs);
    void ReleaseHeldAnswer(std::uint32_t ID);
    static void ClearMethodsOf(TAsyncSocket* Data);
    void StartUpload(TFtpCtrlSocket* Client, TFtpCmdType Cmd, TFtpString& Params, TFtpString& Answer);
    void OpenUploadFile(TFtpCtrlSocket* Client);
    void CloseTransferStream(TFtpCtrlSocket* Client);
    // What the end of either kind of data connection resets.
    void EndDataSession(TFtpCtrlSocket* Client);
    void StartListing(TFtpCtrlSocket* Client, TFtpCmdType Cmd, TFtpString& Params, TFtpString& Answer);
    void PrepareDownload(TFtpCtrlSocket* Client, TFtpCmdType Cmd);
    void BuildDirList(TFtpCtrlSocket* Client, const std::string& Params, bool Detailed, TFtpSrvStream& Stream);

    std::string FAddr = "0.0.0.0";
    std::string FPort = "ftp";
    std::string FBanner = "220 Portlorn FTP Server ready.";
    std::unique_ptr<TAsyncSocket> FServerSocket;
    os::HWND FWindowHandle = 0;
    std::vector<std::unique_ptr<TFtpCtrlSocket>> FClientList;
    std::uint32_t FClientNum = 0;
    int FMaxClients = 0;
    int FDataTimeout = 60000;
    int FLoginTimeout = 60000;
    std::vector<TFtpSrvCommandTableItem> FCmdTable;
    int FCmdCount = 0;
    std::int64_t FUserData = 0;
    bool FDestroying = false;
    // Accepting is paused for a moment after an accept failed (say, no
    // descriptors left), so a waiting connection cannot make the loop spin.
    bool FAcceptPaused = false;
};
