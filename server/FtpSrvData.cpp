// The data connection of TPortlorn: PORT and PASV, the transfers STOR,
// APPE and RETR, and the listings LIST and NLST.
#include <arpa/inet.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>

#include "rtl/Format.h"
#include "rtl/StrUtils.h"
#include "server/FtpSrv.h"
#include "server/FtpSrvList.h"
#include "server/FtpSrvPath.h"

namespace {

// How much one slice of a file download may send before the loop turns to
// other clients, and the chunk size of listings and uploads.
constexpr std::int64_t FileSliceBytes = 16 << 20;
constexpr int DataChunkBytes = 256 << 10;
// Ports below this belong to the system's services.
constexpr int FirstUnprivilegedPort = 1024;

bool IsUpload(TFtpCmdType Cmd) { return Cmd == ftpcSTOR || Cmd == ftpcAPPE; }
bool IsDownload(TFtpCmdType Cmd) { return Cmd == ftpcRETR || Cmd == ftpcLIST || Cmd == ftpcNLST; }

// Reads "h1,h2,h3,h4,p1,p2": every number 0-255, blanks and tabs allowed
// around them, nothing else.
bool ParsePortParameter(const std::string& Text, int (&Numbers)[6])
{
    std::size_t i = 0;
    for (int n = 0; n < 6; ++n) {
        while (i < Text.size() && (Text[i] == ' ' || Text[i] == '\t')) ++i;
        int value = 0;
        int digits = 0;
        while (i < Text.size() && Text[i] >= '0' && Text[i] <= '9') {
            value = value * 10 + (Text[i] - '0');
            if (++digits > 3) return false;
            ++i;
        }
        if (digits == 0 || value > 255) return false;
        Numbers[n] = value;
        while (i < Text.size() && (Text[i] == ' ' || Text[i] == '\t')) ++i;
        if (n < 5) {
            if (i >= Text.size() || Text[i] != ',') return false;
            ++i;
        }
    }
    return i == Text.size();
}

std::string DottedAddress(const sockaddr_in& Addr)
{
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &Addr.sin_addr, text, sizeof text);
    return text;
}

} // namespace

// --- PORT and PASV --------------------------------------------------------

void TPortlorn::CommandPORT(TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params, TFtpString& Answer)
{
    if (!CheckLogin(Client, Answer)) return;
    Client->CurrentCommand = ftpcPORT;
    int n[6] = {};
    // The data connection only ever goes back to the client's own address,
    // so no client can make the server connect to a third party, and never
    // to a privileged port there, where the system's own services listen.
    std::string address;
    if (ParsePortParameter(Params, n)) address = rtl::Format("%d.%d.%d.%d", n[0], n[1], n[2], n[3]);
    int port = n[4] * 256 + n[5];
    if (address.empty() || port < FirstUnprivilegedPort || address != Client->GetPeerAddr()) {
        Answer = "501 Invalid PORT command.";
        return;
    }
    Client->DataAddress = address;
    Client->DataPort = std::to_string(port);
    // An active address given after PASV wins: the passive listener would
    // wait for a connection the client is not going to make.
    if (Client->PassiveMode && !Client->DataSessionActive) {
        Client->PassiveMode = false;
        Client->PassiveStartPending = false;
        Client->PassiveConnected = false;
        if (Client->DataSocket->State() == wsListening) {
            ClearMethodsOf(Client->DataSocket.get());
            Client->DataSocket->CloseSession();
        }
    }
    Answer = "200 Port command successful.";
}

void TPortlorn::ClearMethodsOf(TAsyncSocket* Data)
{
    Data->OnSessionAvailable = nullptr;
    Data->OnSessionConnected = nullptr;
    Data->OnSessionClosed = nullptr;
    Data->OnDataAvailable = nullptr;
    Data->OnDataSent = nullptr;
}

void TPortlorn::CommandPASV(TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params, TFtpString& Answer)
{
    if (!CheckLogin(Client, Answer)) return;
    TAsyncSocket* data = Client->DataSocket.get();
    try {
        sockaddr_in local {};
        int len = sizeof local;
        if (Client->GetLocalSockAddr(local, len) != 0) throw PortlornException("Cannot get the local address");
        // A transfer still under way ends with its failure reply.
        if (Client->TransferCommand != ftpcNone && data->State() != wsClosed) {
            Client->Aborting = true;
            Client->TransferError = "PASV requested by client";
        }
        data->CloseSession();
        ClearMethodsOf(data);
        data->SetAddr(DottedAddress(local));
        data->SetPort("0");
        data->SetProto("tcp");
        data->OnSessionAvailable = [this, Client](TObject*, std::uint16_t E) { PassiveSessionAvailable(Client, E); };
        data->Listen();
        sockaddr_in bound {};
        int boundLen = sizeof bound;
        if (data->GetLocalSockAddr(bound, boundLen) != 0) throw PortlornException("Cannot get the passive port");
        std::uint32_t a = ntohl(local.sin_addr.s_addr);
        int port = ntohs(bound.sin_port);
        Answer = rtl::Format("227 Entering Passive Mode (%u,%u,%u,%u,%d,%d).", (a >> 24) & 255, (a >> 16) & 255,
                             (a >> 8) & 255, a & 255, port >> 8, port & 255);
        Client->PassiveMode = true;
        Client->PassiveStartPending = false;
        Client->PassiveConnected = false;
        HoldAnswer(Client, Answer, PasvAnswerDelayMs);
    } catch (rtl::Exception& E) {
        Answer = "500 PASV exception: '" + E.Message() + "'.";
        try {
            ClearMethodsOf(data);
            data->CloseSession();
        } catch (...) {
        }
    }
}

void TPortlorn::PassiveSessionAvailable(TFtpCtrlSocket* Client, std::uint16_t Error)
{
    TAsyncSocket* data = Client->DataSocket.get();
    os::SOCKET handle = os::INVALID_SOCKET;
    try {
        handle = data->Accept();
    } catch (rtl::Exception&) {
        return;
    }
    if (handle == os::INVALID_SOCKET || handle == 0) return;
    // Only the client itself may take the passive connection.
    sockaddr_in peer {};
    int peerLen = sizeof peer;
    if (WsGetpeername(handle, reinterpret_cast<sockaddr*>(&peer), &peerLen) != 0 ||
        DottedAddress(peer) != Client->GetPeerAddr()) {
        WsClosesocket(handle);
        return;
    }
    // Closes only the listening handle.
    data->OnSessionClosed = nullptr;
    data->OnSessionAvailable = nullptr;
    data->CloseSession();
    InstallTransferHandlers(Client);
    data->SetLingerOnOff(wsLingerOff);
    data->SetLingerTimeout(0);
    data->Dup(handle);
    Client->PassiveConnected = true;
    if (Client->PassiveStartPending) {
        Client->PassiveStartPending = false;
        if (data->OnSessionConnected) data->OnSessionConnected(data, 0);
    } else {
        // Nothing is read until a transfer command says where it goes.
        data->PauseEvents();
    }
}

void TPortlorn::InstallUploadHandlers(TFtpCtrlSocket* Client)
{
    TAsyncSocket* data = Client->DataSocket.get();
    data->OnSessionConnected = [this, Client](TObject*, std::uint16_t E) { ClientStorSessionConnected(Client, E); };
    data->OnSessionClosed = [this, Client](TObject*, std::uint16_t E) { ClientStorSessionClosed(Client, E); };
    data->OnDataAvailable = [this, Client](TObject*, std::uint16_t E) { ClientStorDataAvailable(Client, E); };
    data->OnDataSent = nullptr;
}

void TPortlorn::InstallDownloadHandlers(TFtpCtrlSocket* Client)
{
    TAsyncSocket* data = Client->DataSocket.get();
    data->OnSessionConnected = [this, Client](TObject*, std::uint16_t E) { ClientRetrSessionConnected(Client, E); };
    data->OnSessionClosed = [this, Client](TObject*, std::uint16_t E) { ClientRetrSessionClosed(Client, E); };
    data->OnDataAvailable = nullptr;
    data->OnDataSent = [this, Client](TObject*, std::uint16_t E) { ClientRetrDataSent(Client, E); };
}

void TPortlorn::InstallTransferHandlers(TFtpCtrlSocket* Client)
{
    if (IsUpload(Client->TransferCommand))
        InstallUploadHandlers(Client);
    else if (IsDownload(Client->TransferCommand))
        InstallDownloadHandlers(Client);
}

void TPortlorn::BeginDataSession(TFtpCtrlSocket* Client)
{
    TAsyncSocket* data = Client->DataSocket.get();
    ++Client->DataSessionSerial;
    Client->DataError = 0;
    Client->ByteCount = 0;
    Client->TransferEnded = false;
    if (Client->PassiveMode) {
        InstallTransferHandlers(Client);
        if (Client->PassiveConnected && data->State() == wsConnected) {
            data->ResumeEvents();
            if (data->OnSessionConnected) data->OnSessionConnected(data, 0);
        } else {
            Client->PassiveStartPending = true;
            StartDataTimer(Client);
        }
        return;
    }
    // With no PORT since the last transfer the port is "ftp-data", the
    // client's port 20: refused like a PORT that names it.
    if (std::atoi(Client->DataPort.c_str()) < FirstUnprivilegedPort)
        throw PortlornException("No data port: send PORT or PASV first");
    if (data->State() != wsClosed) {
        ClearMethodsOf(data);
        data->CloseSession();
    }
    data->SetProto("tcp");
    data->SetAddr(Client->DataAddress);
    data->SetPort(Client->DataPort);
    InstallTransferHandlers(Client);
    data->SetLingerOnOff(wsLingerOff);
    data->SetLingerTimeout(0);
    data->Connect();
    StartDataTimer(Client);
}

void TPortlorn::StartDataTimer(TFtpCtrlSocket* Client)
{
    if (FDataTimeout > 0)
        os::SetTimer(FWindowHandle, DataTimerBase + Client->ID(), static_cast<os::UINT>(FDataTimeout));
}

void TPortlorn::StopDataTimer(TFtpCtrlSocket* Client)
{
    os::KillTimer(FWindowHandle, DataTimerBase + Client->ID());
}

void TPortlorn::DataTimerElapsed(std::uint32_t ID)
{
    TFtpCtrlSocket* client = FindClient(ID);
    if (client == nullptr) return;
    StopDataTimer(client);
    if (client->TransferCommand == ftpcNone || client->DataSessionActive) return;
    // The connection never came: the transfer fails with its one final
    // reply instead of waiting (and holding a listener) for ever.
    client->Aborting = true;
    client->TransferError = "Data connection not made in time";
    client->DataSocket->CloseSession();
}

void TPortlorn::AbortTransfer(TFtpCtrlSocket* Client, const std::string& Reason)
{
    Client->TransferError = Reason;
    Client->Aborting = true;
    PostDataMessage(WM_FTPSRV_ABORT_TRANSFER, Client);
}

// --- uploads ----------------------------------------------------------------

void TPortlorn::CommandSTOR(TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params, TFtpString& Answer)
{
    if (!CheckLogin(Client, Answer)) return;
    Client->CurrentCommand = ftpcSTOR;
    StartUpload(Client, ftpcSTOR, Params, Answer);
}

void TPortlorn::CommandAPPE(TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params, TFtpString& Answer)
{
    if (!CheckLogin(Client, Answer)) return;
    Client->CurrentCommand = ftpcAPPE;
    StartUpload(Client, ftpcAPPE, Params, Answer);
}

void TPortlorn::StartUpload(TFtpCtrlSocket* Client, TFtpCmdType Cmd, TFtpString& Params, TFtpString& Answer)
{
    const bool appe = Cmd == ftpcAPPE;
    try {
        Client->FileName = Params;
        Client->FileOpened = false;
        Client->Aborting = false;
        Client->TransferError = "Transfer Ok";
        std::string path = ResolveClientPath(Client, Client->FileName);
        bool allowed = true;
        FireValidatePut(Client, path, allowed);
        if (!allowed) {
            Answer = appe ? "500 Cannot APPE." : "501 Permission Denied";
            return;
        }
        Client->FilePath = path;
        Client->DataStream.reset();
        if (appe) {
            struct stat st {};
            // The offset told is that of the file the append will open.
            Client->RestartPosition = StatConfined(path, Client->HomeDir(), st) && S_ISREG(st.st_mode) ? st.st_size : 0;
        }
        Client->TransferCommand = Cmd;
        BeginDataSession(Client);
        if (appe)
            Answer = rtl::Format("150 APPE supported.  Ready to append file \"%s\" at offset %lld.", Params.c_str(),
                                 static_cast<long long>(Client->RestartPosition));
        else
            Answer = "150 Opening data connection for " + Params + ".";
    } catch (rtl::Exception& E) {
        Client->TransferCommand = ftpcNone;
        Answer = appe ? "550 APPE failed." : "501 Cannot STOR. " + E.Message();
    }
}

void TPortlorn::OpenUploadFile(TFtpCtrlSocket* Client)
{
    std::unique_ptr<TFtpSrvFileStream> stream;
    if (Client->TransferCommand == ftpcAPPE) {
        stream = std::make_unique<TFtpSrvFileStream>(Client->FilePath, Client->HomeDir(), fsmAppend);
    } else if (Client->RestartPosition > 0) {
        // A restarted upload keeps the first bytes and writes on from there.
        stream = std::make_unique<TFtpSrvFileStream>(Client->FilePath, Client->HomeDir(), fsmRewrite);
        if (stream->Size() > Client->RestartPosition) stream->Truncate(Client->RestartPosition);
        stream->Seek(Client->RestartPosition);
    } else {
        stream = std::make_unique<TFtpSrvFileStream>(Client->FilePath, Client->HomeDir(), fsmCreate);
    }
    Client->DataStream = std::move(stream);
    Client->FileOpened = true;
}

void TPortlorn::ClientStorSessionConnected(TFtpCtrlSocket* Client, std::uint16_t Error)
{
    StopDataTimer(Client);
    Client->DataSessionActive = true;
    Client->PassiveMode = false;
    try {
        FireStorSessionConnected(Client, Client->DataSocket.get(), Error);
        if (Error != 0) {
            // The connection failed; its close brings the one final reply.
            Client->DataError = Error;
            return;
        }
        // Opened now, so an upload of no bytes still creates or empties the file.
        if (!Client->DataStream && !Client->FileOpened && !Client->FilePath.empty()) OpenUploadFile(Client);
    } catch (rtl::Exception& E) {
        AbortTransfer(Client, E.Message());
    }
}

void TPortlorn::ClientStorDataAvailable(TFtpCtrlSocket* Client, std::uint16_t Error)
{
    TAsyncSocket* data = Client->DataSocket.get();
    if (Client->DataBuffer.size() < static_cast<std::size_t>(std::max(DataChunkBytes, Client->RcvSize())))
        Client->DataBuffer.resize(static_cast<std::size_t>(std::max(DataChunkBytes, Client->RcvSize())));
    int n = data->ReadBytes(Client->DataBuffer.data(), static_cast<int>(Client->DataBuffer.size()));
    if (n <= 0 || Client->Aborting) return;
    Client->ByteCount += n;
    try {
        FireStorDataAvailable(Client, data, Client->DataBuffer.data(), n, Error);
        if (!Client->DataStream && !Client->FileOpened && !Client->FilePath.empty()) OpenUploadFile(Client);
        if (Client->DataStream) Client->DataStream->Write(Client->DataBuffer.data(), n);
    } catch (rtl::Exception& E) {
        AbortTransfer(Client, E.Message());
    }
}

void TPortlorn::CloseTransferStream(TFtpCtrlSocket* Client)
{
    // The chunk buffer is given back between transfers, so idle clients hold little.
    std::vector<char>().swap(Client->DataBuffer);
    if (!Client->FileOpened) return;
    std::unique_ptr<TFtpSrvStream> stream = std::move(Client->DataStream);
    Client->FileOpened = false;
    if (auto* file = dynamic_cast<TFtpSrvFileStream*>(stream.get())) {
        try {
            file->Close();
        } catch (rtl::Exception& E) {
            // A late write error is a failed transfer, never a success.
            if (!Client->Aborting) {
                Client->Aborting = true;
                Client->TransferError = E.Message();
            }
        }
    }
}

void TPortlorn::EndDataSession(TFtpCtrlSocket* Client)
{
    StopDataTimer(Client);
    Client->DataSessionActive = false;
    Client->PassiveStartPending = false;
    Client->PassiveConnected = false;
    Client->RestartPosition = 0;
    Client->DataPort = "ftp-data";
    CloseTransferStream(Client);
}

void TPortlorn::ClientStorSessionClosed(TFtpCtrlSocket* Client, std::uint16_t Error)
{
    EndDataSession(Client);
    FireStorSessionClosed(Client, Client->DataSocket.get(), Error);
    if (!IsUpload(Client->TransferCommand)) return;
    Client->TransferCommand = ftpcNone;
    std::uint16_t error = Error != 0 ? Error : Client->DataError;
    if (Client->Aborting)
        SendAnswer(Client, "426 Connection closed; " + Client->TransferError + ".");
    else if (error != 0)
        SendAnswer(Client, rtl::Format("426 Connection closed; transfer aborted. Error #%d", error));
    else
        SendAnswer(Client, "226 File received ok");
}

// --- downloads and listings --------------------------------------------

void TPortlorn::CommandRETR(TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params, TFtpString& Answer)
{
    if (!CheckLogin(Client, Answer)) return;
    Client->CurrentCommand = ftpcRETR;
    try {
        Client->FileOpened = false;
        Client->FileName = Params;
        std::string path = ResolveClientPath(Client, Client->FileName);
        bool allowed = true;
        FireValidateGet(Client, path, allowed);
        if (!allowed) {
            Answer = "500 Cannot RETR.";
            return;
        }
        Client->FilePath = path;
        Client->DataStream.reset();
        PrepareDownload(Client, ftpcRETR);
        Answer = "150 Opening data connection for " + Params + ".";
    } catch (rtl::Exception& E) {
        Client->TransferCommand = ftpcNone;
        Answer = "501 Cannot RETR. " + E.Message();
    }
}

void TPortlorn::CommandLIST(TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params, TFtpString& Answer)
{
    if (!CheckLogin(Client, Answer)) return;
    Client->CurrentCommand = ftpcLIST;
    StartListing(Client, ftpcLIST, Params, Answer);
}

void TPortlorn::CommandNLST(TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params, TFtpString& Answer)
{
    if (!CheckLogin(Client, Answer)) return;
    Client->CurrentCommand = ftpcNLST;
    StartListing(Client, ftpcNLST, Params, Answer);
}

void TPortlorn::StartListing(TFtpCtrlSocket* Client, TFtpCmdType Cmd, TFtpString& Params, TFtpString& Answer)
{
    const bool detailed = Cmd == ftpcLIST;
    try {
        Client->DataStream.reset();
        Client->FileOpened = false;
        std::string params = Params;
        FireBuildDirectory(Client, params, detailed);
        if (!Client->DataStream) {
            auto stream = std::make_unique<TFtpSrvMemoryStream>();
            BuildDirList(Client, params, detailed, *stream);
            Client->DataStream = std::move(stream);
            Client->FileOpened = true;
            FireAlterDirectory(Client, params, detailed);
            if (Client->DataStream) Client->DataStream->Seek(0);
        }
        Client->FilePath.clear();
        PrepareDownload(Client, Cmd);
        Answer = "150 Opening data connection for directory list.";
    } catch (rtl::Exception& E) {
        Client->TransferCommand = ftpcNone;
        Answer = "451 Failed: " + E.Message() + ".";
    }
}

void TPortlorn::BuildDirList(TFtpCtrlSocket* Client, const std::string& Params, bool Detailed, TFtpSrvStream& Stream)
{
    // Clients add options such as "-la"; a leading word with "-" is taken
    // as an option unless an entry of that name exists.
    std::string name = Params;
    while (!name.empty() && name[0] == '-') {
        std::size_t end = name.find_first_of(" \t");
        std::string word = name.substr(0, end);
        struct stat st {};
        if (::lstat((Client->Directory() + word).c_str(), &st) == 0) break;
        name = end == std::string::npos ? "" : rtl::TrimLeft(name.substr(end));
    }
    std::string path = ResolveClientPath(Client, name);
    std::string listing = BuildDirListing(path, Detailed, Client->HomeDir());
    Stream.Write(listing.data(), static_cast<std::int64_t>(listing.size()));
}

void TPortlorn::PrepareDownload(TFtpCtrlSocket* Client, TFtpCmdType Cmd)
{
    Client->Aborting = false;
    Client->TransferError = "Transfer Ok";
    Client->TransferCommand = Cmd;
    BeginDataSession(Client);
}

void TPortlorn::ClientRetrSessionConnected(TFtpCtrlSocket* Client, std::uint16_t Error)
{
    StopDataTimer(Client);
    Client->DataSessionActive = true;
    Client->PassiveMode = false;
    try {
        FireRetrSessionConnected(Client, Client->DataSocket.get(), Error);
        if (Error != 0) {
            Client->DataError = Error;
            return;
        }
        if (!Client->DataStream && !Client->FileOpened && !Client->FilePath.empty()) {
            auto stream = std::make_unique<TFtpSrvFileStream>(Client->FilePath, Client->HomeDir(), fsmRead);
            stream->Seek(Client->RestartPosition);
            Client->DataStream = std::move(stream);
            Client->FileOpened = true;
        }
    } catch (rtl::Exception& E) {
        AbortTransfer(Client, E.Message());
        return;
    }
    SendNextDataChunk(Client);
}

void TPortlorn::SendNextDataChunk(TFtpCtrlSocket* Client)
{
    if (Client->Aborting || Client->TransferEnded) return;
    TAsyncSocket* data = Client->DataSocket.get();
    if (data->State() != wsConnected) return;
    try {
        bool ended = !Client->DataStream;
        if (auto* file = dynamic_cast<TFtpSrvFileStream*>(Client->DataStream.get())) {
            int error = 0;
            switch (SendFileToSocket(data->HSocket(), *file, FileSliceBytes, Client->ByteCount, error)) {
            case sfDone: ended = true; break;
            case sfWaiting: return; // the write event comes through OnDataSent
            case sfMore: PostDataMessage(WM_FTPSRV_SEND_MORE, Client); return;
            case sfError: throw PortlornException(rtl::Format("Send: error #%d", error));
            }
        } else if (!ended) {
            if (Client->DataBuffer.size() < static_cast<std::size_t>(DataChunkBytes))
                Client->DataBuffer.resize(static_cast<std::size_t>(DataChunkBytes));
            std::int64_t n = Client->DataStream->Read(Client->DataBuffer.data(), DataChunkBytes);
            if (n > 0) {
                Client->ByteCount += n;
                data->SendBuffer(Client->DataBuffer.data(), n);
                return;
            }
            ended = true;
        }
        if (ended) {
            Client->TransferEnded = true;
            PostDataMessage(WM_FTPSRV_CLOSE_DATA, Client);
        }
    } catch (rtl::Exception& E) {
        AbortTransfer(Client, E.Message());
    }
}

void TPortlorn::ClientRetrDataSent(TFtpCtrlSocket* Client, std::uint16_t Error)
{
    if (Client->Aborting) return;
    try {
        FireRetrDataSent(Client, Client->DataSocket.get(), Error);
        if (Error != 0) throw PortlornException(rtl::Format("Send: error #%d", Error));
    } catch (rtl::Exception& E) {
        // The close of the data connection sends the one final reply.
        AbortTransfer(Client, E.Message());
        return;
    }
    SendNextDataChunk(Client);
}

void TPortlorn::ClientRetrSessionClosed(TFtpCtrlSocket* Client, std::uint16_t Error)
{
    EndDataSession(Client);
    if (IsDownload(Client->TransferCommand)) {
        Client->TransferCommand = ftpcNone;
        std::uint16_t error = Error != 0 ? Error : Client->DataError;
        if (Client->Aborting)
            SendAnswer(Client, "501 Cannot RETR. " + Client->TransferError);
        else if (error != 0)
            SendAnswer(Client, rtl::Format("501 Cannot RETR. Error #%d", error));
        else if (!Client->TransferEnded)
            // The client closed before everything was sent: no success.
            SendAnswer(Client, "426 Connection closed; data connection closed before the end of the transfer.");
        else
            SendAnswer(Client, "226 File sent ok");
    }
    FireRetrSessionClosed(Client, Client->DataSocket.get(), Error);
}
