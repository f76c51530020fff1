#pragma once
// TFtpCtrlSocket: one client's control connection inside the server
// component. It cuts the received bytes into command lines, holds the
// client's login state, home folder and current folder, and owns the
// client's data socket.
#include <cstdint>
#include <ctime>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "net/AsyncSocket.h"
#include "server/FtpSrvExceptions.h"
#include "server/FtpSrvStream.h"

// Texts of commands, parameters and answers.
using TFtpString = std::string;

enum TFtpCtrlState {
    ftpcInvalid,
    ftpcWaitingUserCode,
    ftpcWaitingPassword,
    ftpcReady,
    ftpcWaitingAnswer,
};

// One value per command keyword (MKD/XMKD and RMD/XRMD share one).
enum TFtpCmdType {
    ftpcPORT, ftpcSTOR, ftpcRETR, ftpcCWD, ftpcXPWD, ftpcPWD, ftpcUSER, ftpcPASS, ftpcLIST, ftpcNLST,
    ftpcTYPE, ftpcSYST, ftpcQUIT, ftpcDELE, ftpcSIZE, ftpcREST, ftpcRNFR, ftpcRNTO, ftpcMKD, ftpcRMD,
    ftpcABOR, ftpcPASV, ftpcNOOP, ftpcCDUP, ftpcAPPE, ftpcSTRU, ftpcMDTM, ftpcNone,
};

using TDisplayEvent = std::function<void(TObject* Sender, const std::string& Msg)>;
// One command line without its line end (CR LF or LF).
using TCommandEvent = std::function<void(TObject* Sender, const char* CmdBuf, int CmdLen)>;

class TFtpCtrlSocket : public TCustomAsyncSocket {
public:
    // Longest command line acted on; a longer one is refused whole.
    static constexpr int MaxCommandLength = 255;

    TFtpCtrlSocket();
    ~TFtpCtrlSocket() override;

    // Resets the session and sends Banner + CR LF as the greeting.
    virtual void StartConnection();
    // Sends text + CR LF.
    virtual void SendAnswer(const std::string& Answer);
    // The peer address, kept after the connection closed.
    std::string GetPeerAddr() override;
    void Dup(os::SOCKET NewHSocket) override;
    // Writing the handle adopts it, as Dup does.
    void SetHSocket(os::SOCKET Value) { Dup(Value); }

    // The folder rule: the only writer of Directory. Resolves the requested
    // folder against the current one and keeps it inside HomeDir; raises
    // EFtpCtrlSocketException with the reason otherwise.
    void ResolveDirectory(const std::string& NewDirectory);

    // --- published properties ----------------------------------------------
    TFtpCtrlState FtpState() const { return FFtpState; }
    void SetFtpState(TFtpCtrlState Value) { FFtpState = Value; }
    const std::string& Banner() const { return FBanner; }
    void SetBanner(const std::string& Value) { FBanner = Value; }
    int RcvSize() const { return FRcvSize; }
    // Raises "Data in buffer, can't change size" while a partial line is held.
    void SetRcvSize(int Value);
    bool Busy() const { return FBusy; }
    void SetBusy(bool Value) { FBusy = Value; }
    const std::string& UserName() const { return FUserName; }
    void SetUserName(const std::string& Value) { FUserName = Value; }
    const std::string& PassWord() const { return FPassWord; }
    void SetPassWord(const std::string& Value) { FPassWord = Value; }
    std::int64_t UserData() const { return FUserData; }
    void SetUserData(std::int64_t Value) { FUserData = Value; }
    // The home folder as the owner set it (a host path); the session never
    // leaves it.
    const std::string& HomeDir() const { return FHomeDir; }
    void SetHomeDir(const std::string& Value) { FHomeDir = Value; }
    // The current folder: absolute, always ending in "/".
    const std::string& Directory() const { return FDirectory; }
    // The component's name ("ClientSocket" + number) and its client number.
    const std::string& Name() const { return FName; }
    void SetName(const std::string& Value) { FName = Value; }
    std::uint32_t ID() const { return FID; }
    void SetID(std::uint32_t Value) { FID = Value; }
    std::time_t SessionStarted() const { return FSessionStarted; }
    std::time_t LastCommandTime() const { return FLastCommandTime; }
    std::int64_t CommandCount() const { return FCommandCount; }

    TDisplayEvent OnDisplay;
    TCommandEvent OnCommand;

    // --- session and transfer state (used by the server component) -------
    std::unique_ptr<TAsyncSocket> DataSocket;
    // A reply held back a moment (the 227 of PASV) and the command lines
    // that came meanwhile, dispatched after it in their order.
    std::string HeldAnswer;
    std::deque<std::string> HeldLines;
    bool CloseWhenSent = false;
    bool Aborting = false;
    std::string DataAddress;
    std::string DataPort = "ftp-data";
    std::string FileName;
    std::string FilePath;
    bool DataSessionActive = false;
    std::unique_ptr<TFtpSrvStream> DataStream;
    bool FileOpened = false;
    std::string TransferError;
    std::int64_t ByteCount = 0;
    bool TransferEnded = false;
    TFtpCmdType CurrentCommand = ftpcNone;
    // The command whose data session is under way; later commands on the
    // control connection do not change it, so its final reply is never lost.
    TFtpCmdType TransferCommand = ftpcNone;
    // A connect or accept error of the data session, reported in its final reply.
    std::uint16_t DataError = 0;
    std::int64_t RestartPosition = 0;
    std::string RenameSource;
    std::string RenameTarget;
    bool PassiveMode = false;
    bool PassiveStartPending = false;
    bool PassiveConnected = false;
    // Counts data sessions, so a posted message for an older one is dropped.
    std::uint32_t DataSessionSerial = 0;
    // Receives the chunks of uploads.
    std::vector<char> DataBuffer;

protected:
    // The server component restores Directory when a folder change is refused.
    friend class TPortlorn;

    bool FireDataAvailable(std::uint16_t Error) override;
    void FireDataSent(std::uint16_t Error) override;
    virtual void FireCommand(const char* CmdBuf, int CmdLen);
    // Cuts the buffered bytes into lines; stops while answers wait unsent.
    void ProcessReceivedLines();
    void ReadAndCut();

    std::vector<char> FRcvBuf;
    int FRcvCnt = 0;
    int FRcvSize = 2048;
    // Bytes of an overlong line are dropped up to its LF.
    bool FSkippingLongLine = false;
    // Input is held while answers are unsent, so a peer that never reads
    // cannot grow the send queue.
    bool FInputHeld = false;
    bool FBusy = false;
    std::time_t FSessionStarted = 0;
    std::time_t FLastCommandTime = 0;
    std::int64_t FCommandCount = 0;
    std::string FBanner = "220-Portlorn FTP Server ready";
    std::string FUserName;
    std::string FPassWord;
    std::string FHomeDir = "/tmp/";
    std::string FDirectory = "/tmp/";
    TFtpCtrlState FFtpState = ftpcInvalid;
    std::int64_t FUserData = 0;
    std::string FPeerAddr;
    std::string FName = "ClientSocket";
    std::uint32_t FID = 0;
};
