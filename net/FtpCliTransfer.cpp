// The data side of the FTP client: PORT or PASV, downloads into the local
// file through the write-behind buffer, uploads from it, progress and the
// statistics line.
#include <arpa/inet.h>
#include <linux/tcp.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstring>

#include "net/FtpCli.h"
#include "net/SocketResolve.h"
#include "net/WsBinding.h"

namespace {

// The data socket, able to end a connection with a reset: a server must
// not take a failed upload for a complete file.
class TFtpDataSocket : public TAsyncSocket {
public:
    void ResetConnection()
    {
        if (FHSocket == os::INVALID_SOCKET) return;
        FLingerOnOff = wsLingerOn;
        FLingerTimeout = 0;
        DeleteBufferedData();
        ApplyLinger();
        CloseAndNotify(false, 0);
    }
};

// A 1xx reply: the command's answer is still to come.
bool IsPreliminary(int Code) { return Code >= 100 && Code < 200; }

} // namespace

std::unique_ptr<TAsyncSocket> TCustomFtpCli::MakeDataSocket() { return std::make_unique<TFtpDataSocket>(); }

std::int64_t TCustomFtpCli::NowMs() const
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void TCustomFtpCli::CloseTransferSocket()
{
    try {
        FTransferSocket->CloseSession();
    } catch (rtl::Exception&) {
    }
}

void TCustomFtpCli::ResetDataConnection()
{
    try {
        static_cast<TFtpDataSocket*>(FTransferSocket.get())->ResetConnection();
    } catch (rtl::Exception&) {
        CloseTransferSocket();
    }
}

bool TCustomFtpCli::FlushWriteBehind()
{
    const std::int64_t n = FWriteBehindPosition;
    FWriteBehindPosition = 0;
    if (n <= 0 || !FLocalStream) return true;
    if (FLocalStream->Write(FWriteBehindBuffer.data(), n)) return true;
    FireDisplay("<ERROR>      Error writing local file");
    FTransferError = 550;
    SetFailure(550, "550 Error writing local file " + FLocalFileName);
    return false;
}

void TCustomFtpCli::ReleaseLocalStream()
{
    if (!FLocalStream) return;
    FlushWriteBehind();
    if (FStreamAttached) return;
    if (FOwnedStream) {
        if (!FOwnedStream->Close() && FTransferError == 0) {
            FTransferError = 550;
            SetFailure(550, "550 Error writing local file " + FLocalFileName);
        }
        FOwnedStream.reset();
    }
    FLocalStream = nullptr;
}

void TCustomFtpCli::FailTransfer(int Code, const std::string& Text)
{
    FReplyText = Text;
    SetFailure(Code, FReplyText);
    if (FTransferSocket->State() != wsClosed) CloseTransferSocket();
    FinishRequest(Code);
}

void TCustomFtpCli::FailDataConnection(int Error)
{
    FReplyText = "Unable to establish data connection, error #" + std::to_string(Error);
    if (Error != 0 && FDataSocksFailure.Code == Error && !FDataSocksFailure.Text.empty())
        FReplyText += " (" + FDataSocksFailure.Text + ")";
    SetFailure(550, FReplyText);
    const bool commandSent = FNext == &TCustomFtpCli::GetFirstReply || FNext == &TCustomFtpCli::GetFinalReply ||
                             FNext == &TCustomFtpCli::PutFirstReply || FNext == &TCustomFtpCli::PutFinalReply;
    if (commandSent && !FFinalReplySeen) {
        // The server has the transfer command and will still answer it; that
        // answer must not be taken for the reply to the next request.
        if (FTransferSocket->State() != wsClosed) CloseTransferSocket();
        FNext = &TCustomFtpCli::EndAfterDataFailure;
        return;
    }
    FinishRequest(550);
}

void TCustomFtpCli::EndAfterDataFailure()
{
    if (FReplyCode < 200) return; // preliminary: the final reply follows
    FinishRequest(FRequestStatus);
}

os::SOCKET TCustomFtpCli::AcceptDataConnection()
{
    auto& ds = *FTransferSocket;
    const os::SOCKET h = ds.Accept();
    ds.OnSessionAvailable = nullptr;
    FDataAccept = nullptr;
    CloseTransferSocket();
    if (h == os::INVALID_SOCKET) FailDataConnection(ds.LastError());
    return h;
}

bool TCustomFtpCli::OpenLocalStream(TFtpFileStream::TOpenMode Mode)
{
    ReleaseLocalStream();
    FTransferError = 0;
    if (!FStreamAttached) {
        FOwnedStream = std::make_unique<TFtpFileStream>(FLocalFileName, Mode, FShareFlags);
        if (FOwnedStream->Opened()) FLocalStream = FOwnedStream.get();
        else FOwnedStream.reset();
    }
    return FLocalStream && FLocalStream->Seek(FResumePosition > 0 ? FResumePosition : 0);
}

void TCustomFtpCli::RefuseTransfer(int Code)
{
    if (FErrorMessage.empty()) FErrorMessage = FReplyText;
    FNext = nullptr;
    if (FTransferSocket->State() != wsClosed) CloseTransferSocket();
    ReleaseLocalStream();
    FResumePosition = 0;
    FRequestStatus = Code;
    FinishRequest(Code);
}

void TCustomFtpCli::FinishTransferOnceEnded(bool DataClosed)
{
    if (!FFinalReplySeen || !DataClosed) return;
    ShowTransferStats();
    FResumePosition = 0;
    // The server called it complete, but the file did not get through.
    if (FTransferError == 0 && FDataLostCode != 0) SetFailure(FDataLostCode, FDataLostText);
    FRequestStatus = FTransferError ? FTransferError : FDataLostCode ? FDataLostCode : FDataCloseError;
    FinishRequest(FRequestStatus);
}

bool TCustomFtpCli::FireProgress()
{
    FLastProgressTick = NowMs();
    bool abort = false;
    if (OnProgress) OnProgress(this, ProgressPosition(), abort);
    if (!abort) return true;
    FireDisplay("<STATUS>     Abort requested");
    FTransferError = 426;
    SetFailure(426, "426 Operation aborted.");
    CloseTransferSocket();
    return false;
}

void TCustomFtpCli::ShowTransferStats()
{
    FTransferEndTick = NowMs();
    const std::int64_t ms = FTransferEndTick - FTransferStartTick;
    std::string line = std::to_string(FTransferredBytes) + " bytes received/sent in " + std::to_string(ms / 1000) + " seconds";
    if (ms > 0) {
        const std::int64_t rate = FTransferredBytes <= 32767 ? FTransferredBytes * 1000 / ms : (FTransferredBytes / ms) * 1000;
        line += " (" + std::to_string(rate) + " Bytes/sec)";
    }
    FireDisplay("<STATUS>     " + line);
}

// ---- PORT or PASV ------------------------------------------------------------

void TCustomFtpCli::SendPortOrPasv()
{
    if (!CheckReady()) return;
    auto& ds = *FTransferSocket;
    if (ds.State() != wsClosed) CloseTransferSocket();
    ds.OnSessionAvailable = nullptr;
    ds.OnSessionClosed = nullptr;
    ds.OnDataAvailable = nullptr;
    ds.OnDataSent = nullptr;
    ds.OnSendData = nullptr;
    ds.OnSessionConnected = nullptr;
    // A PASV answered otherwise must not leave an older reply's port behind.
    FPasvPort = 0;
    FPasvReplyText.clear();
    FTransferredBytes = 0;
    FDataAccept = nullptr;
    FAcceptWaiting = false;
    ds.OnSessionAvailable = [this](TObject*, std::uint16_t Error) { DataSessionAvailable(Error); };
    std::string cmd = "PASV";
    if (!FPassiveMode) {
        int port = 0;
        try {
            ds.SetProto("6"); // tcp, by number (active mode is never through SOCKS)
            ds.SetAddr("0.0.0.0");
            ds.SetPort("0");
            ds.SetLingerOnOff(wsLingerOn);
            ds.SetLingerTimeout(10);
            ds.Listen();
            port = std::atoi(ds.GetBoundPort().c_str());
        } catch (rtl::Exception&) {
            port = 0;
        }
        sockaddr_in local{};
        int len = sizeof local;
        if (port <= 0 || (FControlAddr != "127.0.0.1" && FCommandSocket->GetLocalSockAddr(local, len) != 0)) {
            BeginRequest(rqPort);
            FRequestDoneSent = false;
            FailTransfer(550, "550 Unable to listen for the data connection");
            return;
        }
        char text[64];
        if (FControlAddr == "127.0.0.1") {
            std::snprintf(text, sizeof text, "PORT 127,0,0,1,%d,%d", port / 256, port % 256);
        } else {
            const auto* b = reinterpret_cast<const unsigned char*>(&local.sin_addr.s_addr);
            std::snprintf(text, sizeof text, "PORT %d,%d,%d,%d,%d,%d", b[0], b[1], b[2], b[3], port / 256, port % 256);
        }
        cmd = text;
    }
    FCurrentStep = stPortPasv;
    if (!RunRequest(rqPort, cmd, &TCustomFtpCli::PortOrPasvDone, {200, 227}, stPortPasv) && ds.State() != wsClosed)
        CloseTransferSocket();
}

bool TCustomFtpCli::ParsePasvReply(const std::string& Text, int& Port)
{
    std::size_t at = Text.find('(');
    if (at == std::string::npos) {
        at = 3;
        while (at < Text.size() && !(Text[at] >= '0' && Text[at] <= '9')) ++at;
    } else {
        ++at;
    }
    int v[6];
    for (int i = 0; i < 6; ++i) {
        while (at < Text.size() && Text[at] == ' ') ++at;
        int value = 0, digits = 0;
        while (at < Text.size() && Text[at] >= '0' && Text[at] <= '9' && digits < 4) {
            value = value * 10 + (Text[at++] - '0');
            ++digits;
        }
        if (digits == 0 || value > 255) return false;
        v[i] = value;
        while (at < Text.size() && Text[at] == ' ') ++at;
        if (i < 5) {
            if (at >= Text.size() || Text[at] != ',') return false;
            ++at;
        }
    }
    Port = v[4] * 256 + v[5];
    return Port > 0;
}

void TCustomFtpCli::PortOrPasvDone()
{
    if (FRequestStatus == 0 && FPassiveMode) {
        int port = 0;
        if (FReplyCode == 227 && ParsePasvReply(FReplyText, port)) {
            FPasvPort = port;
        } else {
            FireDisplay("<ERROR>      Invalid passive mode reply");
            SetFailure(550, "550 Invalid passive mode reply: " + FReplyText);
        }
    }
    if (FRequestStatus != 0 && FTransferSocket->State() != wsClosed) CloseTransferSocket();
    FinishRequest(FRequestStatus);
}

bool TCustomFtpCli::ConnectPassiveData(std::function<void(std::uint16_t)> Connected)
{
    if (FPasvPort == 0) throw FtpException("No passive mode reply");
    auto& ds = *FTransferSocket;
    if (ds.State() != wsClosed) CloseTransferSocket();
    const int port = FPasvPort;
    FPasvPort = 0;
    // By number, so no file of protocol names is read for every transfer;
    // a SOCKS connection wants the name.
    const bool socks = FConnectionType == ftpSocks4 || FConnectionType == ftpSocks4A || FConnectionType == ftpSocks5;
    ds.SetProto(socks ? "tcp" : "6");
    ds.SetAddr(FControlAddr);
    ds.SetPort(std::to_string(port));
    ds.SetLingerOnOff(wsLingerOff);
    ds.SetLingerTimeout(0);
    ApplySocks(ds);
    FDataSocksFailure = {};
    ds.OnSessionConnected = [Connected](TObject*, std::uint16_t Error) { Connected(Error); };
    ds.Connect();
    if (ds.State() == wsClosed) throw FtpException("Connect failed: " + SocketErrorText(ds.LastError()));
    return true;
}

// ---- downloads -------------------------------------------------------------------

void TCustomFtpCli::StartRetr() { StartGet(rqRetrieve, "RETR"); }
void TCustomFtpCli::StartList() { StartGet(rqList, "LIST"); }
void TCustomFtpCli::StartNlst() { StartGet(rqNameList, "NLST"); }

void TCustomFtpCli::StartGet(TFtpRequest Code, const char* Verb)
{
    if (!CheckReady()) return;
    if (!FControlConnected) {
        RaiseOrReport(FDataVerb + ": not connected");
        return;
    }
    if (FLocalFileName.empty() && !FDisplayFileFlag && !FStreamAttached) {
        RaiseOrReport("LocalFileName empty");
        return;
    }
    const std::string cmd = FHostFileName.empty() ? std::string(Verb) : std::string(Verb) + " " + FHostFileName;
    if (!TextIsSafe(cmd)) return;
    BeginRequest(Code);
    FDataVerb = Verb;
    FFinalReplySeen = FGetDataClosed = false;
    FRequestDoneSent = false;
    FTransferredBytes = 0;
    FDataCloseError = 0;
    FTransferError = 0;
    FWriteBehindPosition = 0;
    // Taken on first use: a connection that only browses needs no megabyte.
    if (FWriteBehindBuffer.empty() && !FVariant.WriteThrough) FWriteBehindBuffer.resize(kWriteBehindSize);
    FStepRunning = stRetr;
    if (!FDisplayFileFlag) {
        if (!OpenLocalStream(TFtpFileStream::fmOpenReadWrite)) {
            FailTransfer(550, "Unable to open local file " + FLocalFileName);
            return;
        }
    }
    SetStateValue(csAwaitingReply);
    if (FPassiveMode) {
        try {
            ConnectPassiveData([this](std::uint16_t Error) { DataConnectedGet(Error); });
        } catch (rtl::Exception& E) {
            FailTransfer(550, std::string("550 ") + E.ClassName() + ": " + E.Message());
            return;
        }
    }
    FNext = &TCustomFtpCli::GetFirstReply;
    IssueCommand(cmd);
    if (!FPassiveMode) TakeDataAccept(&TCustomFtpCli::DataAcceptGet);
}

void TCustomFtpCli::DataSessionAvailable(std::uint16_t Error)
{
    if (FDataAccept) (this->*FDataAccept)(Error);
    else FAcceptWaiting = true;
}

void TCustomFtpCli::TakeDataAccept(void (TCustomFtpCli::*Accept)(std::uint16_t))
{
    FDataAccept = Accept;
    if (FAcceptWaiting && FTransferSocket->State() == wsListening) {
        FAcceptWaiting = false;
        (this->*Accept)(0);
    }
}

void TCustomFtpCli::DataConnectedGet(std::uint16_t Error)
{
    FWriteBehindPosition = 0;
    FireDisplay("<STATUS>     Data Session opened (Get)!");
    FTransferStartTick = NowMs();
    if (Error != 0) {
        FailDataConnection(Error);
        return;
    }
    auto& ds = *FTransferSocket;
    ds.OnSessionClosed = [this](TObject*, std::uint16_t E) { DataClosedGet(E); };
    ds.OnDataAvailable = [this](TObject*, std::uint16_t E) { DataAvailableGet(E); };
    ds.OnDataSent = nullptr;
}

void TCustomFtpCli::DataAcceptGet(std::uint16_t Error)
{
    if (FVariant.AnnounceDataRequest) FireDisplay("<STATUS>     Data Session requested!");
    auto& ds = *FTransferSocket;
    const os::SOCKET h = AcceptDataConnection();
    if (h == os::INVALID_SOCKET) return;
    ds.OnSessionClosed = [this](TObject*, std::uint16_t E) { DataClosedGet(E); };
    ds.OnDataAvailable = [this](TObject*, std::uint16_t E) { DataAvailableGet(E); };
    ds.OnDataSent = nullptr;
    ds.SetLingerOnOff(wsLingerOff);
    ds.SetLingerTimeout(0);
    ds.Dup(h);
    FTransferStartTick = NowMs();
    FireDisplay("<STATUS>     Data Session opened!");
}

void TCustomFtpCli::DataAvailableGet(std::uint16_t Error)
{
    auto& ds = *FTransferSocket;
    if (!FireProgress()) return;
    int n;
    if (FDisplayFileFlag || !FLocalStream || FTransferError != 0) {
        char block[2048];
        n = ds.ReadBytes(block, sizeof block);
        if (n > 0) {
            FTransferredBytes += n;
            if (FDisplayFileFlag) {
                // A run of CR and LF separates two pieces.
                int start = 0;
                for (int i = 0; i <= n; ++i) {
                    if (i == n || block[i] == '\r' || block[i] == '\n') {
                        if (i > start) FireDisplayFile(std::string(block + start, block + i));
                        start = i + 1;
                    }
                }
            }
        }
    } else if (FVariant.WriteThrough) {
        char block[65536];
        n = ds.ReadBytes(block, sizeof block);
        if (n > 0) {
            FTransferredBytes += n;
            if (!FLocalStream->Write(block, n)) {
                // The rest is not wanted: the request fails with the file's error.
                FireDisplay("<ERROR>      Error writing local file");
                FTransferError = 550;
                SetFailure(550, "550 Error writing local file " + FLocalFileName);
                ds.ShutdownSide(2);
                return;
            }
        }
    } else {
        // Straight into the write-behind buffer: the file sees writes of
        // at most 1 MiB, and one only when the buffer is nearly full.
        if (kWriteBehindSize - FWriteBehindPosition < 65536 && !FlushWriteBehind()) {
            CloseTransferSocket();
            return;
        }
        n = ds.ReadBytes(FWriteBehindBuffer.data() + FWriteBehindPosition,
                         static_cast<int>(kWriteBehindSize - FWriteBehindPosition));
        if (n > 0) {
            FTransferredBytes += n;
            FWriteBehindPosition += n;
        }
    }
    if (n < 0 && ds.State() == wsConnected && ds.LastError() != os::WSAEWOULDBLOCK) {
        FireDisplay("<STATUS>     Data: Receive error " + std::to_string(ds.LastError()));
        ds.ShutdownSide(2);
    }
}

void TCustomFtpCli::DataClosedGet(std::uint16_t Error)
{
    FlushWriteBehind();
    FireDisplay("<STATUS>     Data Session closed!");
    ReleaseLocalStream();
    FGetDataClosed = true;
    FDataCloseError = Error;
    Next3GetAsync();
}

void TCustomFtpCli::GetFirstReply()
{
    const int code = FReplyCode;
    if (code == 150 || code == 125) {
        FNext = &TCustomFtpCli::GetFinalReply;
        return;
    }
    // Another preliminary reply (110 restart marker, 120): the server still
    // owes this command its answer, so nothing may be sent before it.
    if (IsPreliminary(code)) return;
    RefuseTransfer(code);
}

void TCustomFtpCli::GetFinalReply()
{
    const int code = FReplyCode;
    if (code == 125 || code == 226 || code == 250) {
        FFinalReplySeen = true;
        Next3GetAsync();
        return;
    }
    if (IsPreliminary(code)) return; // the final reply follows
    if (FErrorMessage.empty()) FErrorMessage = FReplyText;
    if (FVariant.ReportRefusedGet) FireDisplay("<ERROR>      RETR/LIST/NLST Failed");
    ReleaseLocalStream();
    if (FTransferSocket->State() != wsClosed) CloseTransferSocket();
    FRequestStatus = FTransferError ? FTransferError : code;
    FinishRequest(FRequestStatus);
}

void TCustomFtpCli::Next3GetAsync()
{
    Trace("Next3GetAsync");
    FinishTransferOnceEnded(FGetDataClosed);
}

// ---- uploads -----------------------------------------------------------------------

void TCustomFtpCli::StartStor()
{
    FAppendMode = false;
    StartPut(rqStore);
}

void TCustomFtpCli::StartAppe()
{
    FAppendMode = true;
    StartPut(rqAppend);
}

void TCustomFtpCli::StartPut(TFtpRequest Code)
{
    if (!CheckReady()) return;
    if (!FControlConnected) {
        RaiseOrReport("STOR/APPE: not connected");
        return;
    }
    if (FLocalFileName.empty() && !FStreamAttached) {
        RaiseOrReport("LocalFileName empty");
        return;
    }
    const std::string cmd = (FAppendMode ? "APPE " : "STOR ") + FHostFileName;
    if (!TextIsSafe(cmd)) return;
    BeginRequest(Code);
    FFinalReplySeen = FPutDataClosed = FDataConnected = FTransferStarted = false;
    FRequestDoneSent = false;
    FTransferStartTick = 0;
    FTransferredBytes = 0;
    FDataCloseError = 0;
    FTransferError = 0;
    FDataLostCode = 0;
    FDataLostText.clear();
    FAckedBase = -1;
    FAcked = 0;
    FStepRunning = FAppendMode ? stAppe : stStor;
    if (FSendBlock.empty()) FSendBlock.resize(kSendBlockSize);
    bool cancel = false;
    FireReadyToTransmit(cancel);
    auto& ds = *FTransferSocket;
    if (cancel) {
        FErrorMessage = "426 Transmit cancelled by application";
        FReplyCode = 426;
        FireDisplay("<ERROR>      " + FErrorMessage);
        FRequestStatus = 426;
        if (ds.State() != wsClosed) CloseTransferSocket();
        FinishRequest(426);
        return;
    }
    FUploadEof = false;
    if (!OpenLocalStream(TFtpFileStream::fmOpenRead)) {
        FErrorMessage.clear();
        SetFailure(426, "426 Unable to open local file " + FLocalFileName);
        FireDisplay("<ERROR>      " + FErrorMessage);
        if (ds.State() != wsClosed) CloseTransferSocket();
        FinishRequest(426);
        return;
    }
    // Busy from here on, also while a passive connection is being made.
    SetStateValue(csAwaitingReply);
    if (FPassiveMode) {
        try {
            ConnectPassiveData([this](std::uint16_t Error) { DataConnectedPut(Error); });
        } catch (rtl::Exception& E) {
            FailTransfer(426, std::string("426 ") + E.ClassName() + ": " + E.Message());
        }
        return;
    }
    FNext = &TCustomFtpCli::PutFirstReply;
    IssueCommand(cmd);
    TakeDataAccept(&TCustomFtpCli::DataAcceptPut);
}

void TCustomFtpCli::DataConnectedPut(std::uint16_t Error)
{
    FireDisplay("<STATUS>     Data Session opened (Put)!");
    if (Error != 0) {
        FailDataConnection(Error);
        return;
    }
    auto& ds = *FTransferSocket;
    ds.OnSessionClosed = [this](TObject*, std::uint16_t E) { DataClosedPut(E); };
    ds.OnDataAvailable = [this](TObject*, std::uint16_t E) { DrainDataPut(E); };
    ds.OnDataSent = nullptr;
    ds.OnSendData = [this](TObject*, int Sent) { UploadBytesSent(Sent); };
    FDataConnected = true;
    StartUploadWatch();
    FTransferStartTick = NowMs();
    SetStateValue(csAwaitingReply);
    FNext = &TCustomFtpCli::PutFirstReply;
    IssueCommand((FAppendMode ? "APPE " : "STOR ") + FHostFileName);
}

void TCustomFtpCli::DataAcceptPut(std::uint16_t Error)
{
    FireDisplay("<STATUS>     Data Session requested!");
    auto& ds = *FTransferSocket;
    const os::SOCKET h = AcceptDataConnection();
    if (h == os::INVALID_SOCKET) return;
    ds.OnSessionClosed = [this](TObject*, std::uint16_t E) { DataClosedPut(E); };
    ds.OnDataAvailable = [this](TObject*, std::uint16_t E) { DrainDataPut(E); };
    ds.OnDataSent = [this](TObject*, std::uint16_t E) { SendNextBlock(E); };
    ds.OnSendData = [this](TObject*, int Sent) { UploadBytesSent(Sent); };
    ds.SetLingerOnOff(wsLingerOff);
    ds.SetLingerTimeout(10);
    ds.Dup(h);
    FDataConnected = true;
    StartUploadWatch();
    if (FTransferStarted && FTransferStartTick == 0) os::PostMessage(FWindowHandle, WM_FTP_START_SEND, 0, 0);
    FireDisplay("<STATUS>     Data Session opened!");
}

void TCustomFtpCli::PutFirstReply()
{
    const int code = FReplyCode;
    if (code == 150 || code == 125) {
        FNext = &TCustomFtpCli::PutFinalReply;
        FTransferStarted = true;
        if (FPassiveMode) {
            Trace("Send first block");
            FTransferSocket->OnDataSent = [this](TObject*, std::uint16_t E) { SendNextBlock(E); };
            SendNextBlock(0);
        } else if (FDataConnected && FTransferStartTick == 0) {
            os::PostMessage(FWindowHandle, WM_FTP_START_SEND, 0, 0);
        }
        return;
    }
    if (IsPreliminary(code)) return; // 125 or 150 follows
    RefuseTransfer(code);
}

void TCustomFtpCli::HandleStartSendMessage()
{
    if (FRequestDoneSent || !FTransferStarted) return;
    FTransferStartTick = NowMs();
    SendNextBlock(0);
}

void TCustomFtpCli::SendNextBlock(std::uint16_t Error)
{
    if (!FLocalStream || FTransferError != 0) return;
    if (!FireProgress()) return;
    if (Error != 0) {
        FireDisplay("<ERROR>      Error #" + std::to_string(Error) + " sending data");
        LoseUploadData(550, "550 Error #" + std::to_string(Error) + " sending data");
        ResetDataConnection();
        return;
    }
    if (FUploadEof || !FTransferStarted || !FDataConnected) return;
    auto& ds = *FTransferSocket;
    if (!ds.AllSent()) return; // the next block goes when this one has left
    const std::int64_t n = FLocalStream->Read(FSendBlock.data(), kSendBlockSize);
    if (n < 0) {
        // The server must not see a clean end of a file it only got part of.
        FireDisplay("<ERROR>      Error reading file");
        FTransferError = 550;
        SetFailure(550, "550 Error reading local file " + FLocalFileName);
        ResetDataConnection();
        return;
    }
    if (n == 0) {
        // End of file: only our side ends. The socket may still hold the
        // tail, and while it stands its acknowledgements show the tail moving;
        // the server closes once it has read everything.
        FUploadEof = true;
        ds.ShutdownSide(1);
        return;
    }
    ds.SendBuffer(FSendBlock.data(), n);
}

void TCustomFtpCli::UploadBytesSent(int Sent)
{
    FTransferredBytes += Sent;
    TransferMoved();
}

std::int64_t TCustomFtpCli::DataBytesAcknowledged() const
{
    const os::SOCKET h = FTransferSocket->HSocket();
    if (h == os::INVALID_SOCKET) return -1;
    tcp_info info{};
    int len = sizeof info;
    if (WsGetsockopt(h, IPPROTO_TCP, TCP_INFO, reinterpret_cast<char*>(&info), &len) != 0 ||
        len < static_cast<int>(offsetof(tcp_info, tcpi_bytes_acked) + sizeof info.tcpi_bytes_acked))
        return -1;
    return static_cast<std::int64_t>(info.tcpi_bytes_acked);
}

bool TCustomFtpCli::Uploading() const
{
    return !FRequestDoneSent && (FStepRunning == stStor || FStepRunning == stAppe) && FDataConnected &&
           !FPutDataClosed;
}

void TCustomFtpCli::StartUploadWatch()
{
    // The socket takes much of a file at once and hands it on as the server
    // reads: what the server acknowledged is the position a person watches,
    // and its moving keeps the time-out away after the last send.
    FAckedBase = DataBytesAcknowledged();
    FAcked = 0;
    os::SetTimer(FWindowHandle, kUploadWatchTimer, kProgressIntervalMs);
}

void TCustomFtpCli::UploadWatchTick()
{
    if (!Uploading()) {
        os::KillTimer(FWindowHandle, kUploadWatchTimer);
        return;
    }
    const std::int64_t acked = DataBytesAcknowledged();
    if (acked < 0 || FAckedBase < 0 || acked - FAckedBase <= FAcked) return;
    FAcked = acked - FAckedBase;
    TransferMoved();
    // A block that just started fired progress already.
    if (FTransferError == 0 && FLocalStream && NowMs() - FLastProgressTick >= kProgressIntervalMs / 2) FireProgress();
}

std::int64_t TCustomFtpCli::ProgressPosition() const
{
    std::int64_t moved = FTransferredBytes;
    if (FStepRunning == stStor || FStepRunning == stAppe) {
        if (FAckedBase >= 0 && FDataConnected && !FPutDataClosed) moved = std::min(moved, FAcked);
    }
    return moved + FResumePosition;
}

void TCustomFtpCli::DrainDataPut(std::uint16_t Error)
{
    char block[2048];
    FTransferSocket->ReadBytes(block, sizeof block);
}

void TCustomFtpCli::DataClosedPut(std::uint16_t Error)
{
    FireDisplay("<STATUS>     Data Session closed!");
    // A data connection that ends before the whole file left did not carry it.
    if (!FUploadEof) LoseUploadData(426, "426 Data connection closed before the end of the file");
    ReleaseLocalStream();
    FPutDataClosed = true;
    FDataCloseError = Error;
    Next3PutAsync();
}

void TCustomFtpCli::LoseUploadData(int Code, const std::string& Text)
{
    // Servers close the data connection before they say why (a full disk, a
    // quota): their final reply, awaited still, names the failure when it
    // refuses the file.
    if (FTransferError != 0 || FDataLostCode != 0) return;
    FDataLostCode = Code;
    FDataLostText = Text;
}

void TCustomFtpCli::PutFinalReply()
{
    const int code = FReplyCode;
    if (code == 226 || code == 250) {
        FFinalReplySeen = true;
        if (FUploadEof && !FPutDataClosed && FTransferSocket->State() != wsClosed) {
            // The server has the whole file; its side of the data connection
            // need not be awaited. The close ends the transfer.
            CloseTransferSocket();
            if (FPutDataClosed) return;
            FPutDataClosed = true;
        }
        Next3PutAsync();
        return;
    }
    if (IsPreliminary(code)) return; // the final reply follows
    if (FErrorMessage.empty()) FErrorMessage = FReplyText;
    ReleaseLocalStream();
    if (FTransferSocket->State() != wsClosed) CloseTransferSocket();
    FireDisplay("<ERROR>      STOR Failed");
    FRequestStatus = FTransferError ? FTransferError : code;
    FinishRequest(FRequestStatus);
}

void TCustomFtpCli::Next3PutAsync()
{
    Trace("Next3PutAsync");
    FinishTransferOnceEnded(FPutDataClosed);
}
