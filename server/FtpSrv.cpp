#include "server/FtpSrv.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "rtl/Format.h"
#include "rtl/StrUtils.h"
#include "server/FtpSrvPath.h"
#include "server/FtpSrvSignal.h"
#include "server/FtpSrvT.h"

namespace {

constexpr std::uintptr_t AcceptResumeTimer = 1;
constexpr os::UINT AcceptResumeDelayMs = 100;

// The current folder as clients see it: without the trailing "/" (but "/"
// itself), since clients such as lftp take a trailing "/" for part of a name.
std::string ShownFolder(const std::string& Directory)
{
    return Directory.size() > 1 && Directory.back() == '/' ? Directory.substr(0, Directory.size() - 1) : Directory;
}

// What a name is, looked at where the opens reach it (StatConfined): a link
// put in its place after the check shows nothing of where it points.
bool IsRegularFile(const std::string& Path, const std::string& HomeDir)
{
    struct stat st {};
    return StatConfined(Path, HomeDir, st) && S_ISREG(st.st_mode);
}

bool IsFolder(const std::string& Path, const std::string& HomeDir)
{
    struct stat st {};
    return StatConfined(Path, HomeDir, st) && S_ISDIR(st.st_mode);
}

// Whether the name itself is taken (a link counts, wherever it points).
bool Exists(const std::string& Path, const std::string& HomeDir)
{
    // The home itself has no folder inside the home to be looked at from.
    if (NormalisePath(Path) == NormalisePath(HomeDir)) return true;
    TConfinedName name(Path, HomeDir);
    struct stat st {};
    return name.Folder() >= 0 && ::fstatat(name.Folder(), name.Name().c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

bool MakeFolder(const std::string& Path, const std::string& HomeDir)
{
    TConfinedName name(Path, HomeDir);
    return name.Folder() >= 0 && ::mkdirat(name.Folder(), name.Name().c_str(), 0755) == 0;
}

bool RemoveFolder(const std::string& Path, const std::string& HomeDir)
{
    TConfinedName name(Path, HomeDir);
    return name.Folder() >= 0 && ::unlinkat(name.Folder(), name.Name().c_str(), AT_REMOVEDIR) == 0;
}

} // namespace

TPortlorn::TPortlorn()
{
    // A client that resets its connection must never end the process.
    IgnoreBrokenPipe();
    FWindowHandle = os::CreateMessageTarget([this](os::UINT Msg, os::WPARAM WParam, os::LPARAM LParam) {
        WndProc(Msg, WParam, LParam);
        return os::LRESULT(0);
    });
    FServerSocket = std::make_unique<TAsyncSocket>();
    FCmdTable.resize(MaxCommands);
    auto bind = [this](void (TPortlorn::*Handler)(TFtpCtrlSocket*, TFtpString&, TFtpString&, TFtpString&)) {
        return TFtpSrvCommandProc([this, Handler](TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params,
                                                  TFtpString& Answer) { (this->*Handler)(Client, KeyWord, Params, Answer); });
    };
    AddCommand("PORT", bind(&TPortlorn::CommandPORT));
    AddCommand("STOR", bind(&TPortlorn::CommandSTOR));
    AddCommand("RETR", bind(&TPortlorn::CommandRETR));
    AddCommand("CWD", bind(&TPortlorn::CommandCWD));
    AddCommand("XPWD", bind(&TPortlorn::CommandXPWD));
    AddCommand("PWD", bind(&TPortlorn::CommandPWD));
    AddCommand("USER", bind(&TPortlorn::CommandUSER));
    AddCommand("PASS", bind(&TPortlorn::CommandPASS));
    AddCommand("LIST", bind(&TPortlorn::CommandLIST));
    AddCommand("NLST", bind(&TPortlorn::CommandNLST));
    AddCommand("TYPE", bind(&TPortlorn::CommandTYPE));
    AddCommand("SYST", bind(&TPortlorn::CommandSYST));
    AddCommand("QUIT", bind(&TPortlorn::CommandQUIT));
    AddCommand("DELE", bind(&TPortlorn::CommandDELE));
    AddCommand("SIZE", bind(&TPortlorn::CommandSIZE));
    AddCommand("REST", bind(&TPortlorn::CommandREST));
    AddCommand("RNFR", bind(&TPortlorn::CommandRNFR));
    AddCommand("RNTO", bind(&TPortlorn::CommandRNTO));
    AddCommand("MKD", bind(&TPortlorn::CommandMKD));
    AddCommand("RMD", bind(&TPortlorn::CommandRMD));
    AddCommand("ABOR", bind(&TPortlorn::CommandABOR));
    AddCommand("PASV", bind(&TPortlorn::CommandPASV));
    AddCommand("NOOP", bind(&TPortlorn::CommandNOOP));
    AddCommand("CDUP", bind(&TPortlorn::CommandCDUP));
    AddCommand("APPE", bind(&TPortlorn::CommandAPPE));
    AddCommand("STRU", bind(&TPortlorn::CommandSTRU));
    AddCommand("XMKD", bind(&TPortlorn::CommandMKD));
    AddCommand("XRMD", bind(&TPortlorn::CommandRMD));
    AddCommand("MDTM", bind(&TPortlorn::CommandMDTM));
}

TPortlorn::~TPortlorn()
{
    FDestroying = true;
    FClientList.clear();
    FServerSocket.reset();
    os::KillTimer(FWindowHandle, AcceptResumeTimer);
    os::DestroyMessageTarget(FWindowHandle);
}

void TPortlorn::AddCommand(const std::string& KeyWord, TFtpSrvCommandProc Proc)
{
    if (FCmdCount >= MaxCommands) throw PortlornException("Too many command");
    FCmdTable[static_cast<std::size_t>(FCmdCount)] = {KeyWord, std::move(Proc)};
    ++FCmdCount;
}

// --- listening and accepting ------------------------------------------------

void TPortlorn::Start()
{
    if (FServerSocket->State() == wsListening) return;
    FServerSocket->SetPort(FPort);
    FServerSocket->SetProto("tcp");
    FServerSocket->SetAddr(FAddr);
    FServerSocket->OnSessionAvailable = [this](TObject* Sender, std::uint16_t Error) { SessionAvailable(Sender, Error); };
    FServerSocket->OnChangeState = [this](TObject* Sender, TSocketState OldState, TSocketState NewState) {
        ServerSocketStateChange(Sender, OldState, NewState);
    };
    // A failure while accepting one client never closes the listener.
    FServerSocket->OnBgException = [](TObject*, rtl::Exception&, bool& CanClose) { CanClose = false; };
    FServerSocket->Listen();
    // The socket component listens with the old backlog of 5; a server that
    // many clients reach at once takes a longer queue (listen again sets it).
    if (FServerSocket->State() == wsListening) WsListen(FServerSocket->HSocket(), SOMAXCONN);
}

void TPortlorn::Stop()
{
    os::KillTimer(FWindowHandle, AcceptResumeTimer);
    FAcceptPaused = false;
    FServerSocket->CloseSession();
}

void TPortlorn::DisconnectAll()
{
    while (!FClientList.empty()) {
        std::unique_ptr<TFtpCtrlSocket> client = std::move(FClientList.front());
        FClientList.erase(FClientList.begin());
        try {
            client->CloseSession();
        } catch (rtl::Exception&) {
        }
    }
}

bool TPortlorn::Active() const
{
    return FServerSocket && FServerSocket->State() == wsListening;
}

std::string TPortlorn::GetBoundPort() const
{
    return FServerSocket->GetBoundPort();
}

int TPortlorn::GetClientCount() const
{
    return static_cast<int>(FClientList.size());
}

int TPortlorn::DataSessionCount() const
{
    return static_cast<int>(
        std::count_if(FClientList.begin(), FClientList.end(), [](const auto& c) { return c->DataSessionActive; }));
}

TFtpCtrlSocket* TPortlorn::Client(int Index) const
{
    if (Index < 0 || Index >= GetClientCount()) return nullptr;
    return FClientList[static_cast<std::size_t>(Index)].get();
}

TFtpCtrlSocket* TPortlorn::FindClient(std::uint32_t ID) const
{
    for (const auto& c : FClientList)
        if (c->ID() == ID) return c.get();
    return nullptr;
}

void TPortlorn::ServerSocketStateChange(TObject* Sender, TSocketState OldState, TSocketState NewState)
{
    if (FDestroying) return;
    if (NewState == wsListening) FireStart();
    else if (NewState == wsClosed) FireStop();
}

void TPortlorn::SessionAvailable(TObject* Sender, std::uint16_t Error)
{
    if (Error != 0) throw PortlornException(rtl::Format("Session available error #%d", Error));
    if (FAcceptPaused) return;
    // Accepted first, so a failure (say, no descriptors left) leaves no
    // half-made client behind; accepting then rests for a moment.
    os::SOCKET handle = os::INVALID_SOCKET;
    try {
        handle = FServerSocket->Accept();
    } catch (rtl::Exception&) {
        handle = os::INVALID_SOCKET;
    }
    if (handle == os::INVALID_SOCKET || handle == 0) {
        FAcceptPaused = true;
        FServerSocket->PauseEvents();
        os::SetTimer(FWindowHandle, AcceptResumeTimer, AcceptResumeDelayMs);
        return;
    }

    auto owned = std::make_unique<TFtpCtrlSocket>();
    TFtpCtrlSocket* client = owned.get();
    ++FClientNum;
    client->SetID(FClientNum);
    client->SetName("ClientSocket" + std::to_string(FClientNum));
    client->SetBanner(FBanner);
    try {
        client->Dup(handle);
    } catch (rtl::Exception&) {
        WsClosesocket(handle);
        return;
    }
    if (client->State() != wsConnected) return;
    client->OnCommand = [this, client](TObject*, const char* CmdBuf, int CmdLen) { ClientCommand(client, CmdBuf, CmdLen); };
    client->OnSessionClosed = [this, client](TObject*, std::uint16_t E) { ClientSessionClosed(client, E); };
    client->OnDataSent = [this, client](TObject*, std::uint16_t E) { ClientDataSent(client, E); };
    FClientList.push_back(std::move(owned));

    const std::uint32_t id = client->ID();
    FireClientConnect(client, Error);
    if (FindClient(id) == nullptr || client->State() != wsConnected) return;
    if (FMaxClients > 0 && GetClientCount() > FMaxClients) {
        client->SetBanner("421 Too many users connected.");
        client->StartConnection();
        client->CloseSession();
        return;
    }
    client->StartConnection();
    if (FLoginTimeout > 0)
        os::SetTimer(FWindowHandle, LoginTimerBase + client->ID(), static_cast<os::UINT>(FLoginTimeout));
}

void TPortlorn::LoginTimerElapsed(std::uint32_t ID)
{
    os::KillTimer(FWindowHandle, LoginTimerBase + ID);
    TFtpCtrlSocket* client = FindClient(ID);
    if (client == nullptr || client->FtpState() == ftpcReady) return;
    SendAnswer(client, "421 Login timed out, closing control connection.");
    // Closed now, also when the reply cannot leave: a peer that sends
    // without reading must not keep its descriptor either.
    try {
        client->CloseSession();
    } catch (rtl::Exception&) {
    }
}

void TPortlorn::HoldAnswer(TFtpCtrlSocket* Client, TFtpString& Answer, os::UINT DelayMs)
{
    Client->HeldAnswer = Answer;
    Answer.clear();
    Client->PauseEvents();
    os::SetTimer(FWindowHandle, AnswerTimerBase + Client->ID(), DelayMs);
}

void TPortlorn::ReleaseHeldAnswer(std::uint32_t ID)
{
    os::KillTimer(FWindowHandle, AnswerTimerBase + ID);
    TFtpCtrlSocket* client = FindClient(ID);
    if (client == nullptr || client->HeldAnswer.empty()) return;
    TFtpString answer = std::move(client->HeldAnswer);
    client->HeldAnswer.clear();
    SendAnswer(client, answer);
    // A line among them may hold its reply again: the rest wait for that one.
    while (!client->HeldLines.empty() && client->HeldAnswer.empty()) {
        std::string line = std::move(client->HeldLines.front());
        client->HeldLines.pop_front();
        ClientCommand(client, line.data(), static_cast<int>(line.size()));
    }
    if (client->HeldAnswer.empty() && client->State() == wsConnected) client->ResumeEvents();
}

void TPortlorn::ClientSessionClosed(TFtpCtrlSocket* Client, std::uint16_t Error)
{
    os::PostMessage(FWindowHandle, WM_FTPSRV_CLIENT_CLOSED, Client->ID(), 0);
}

void TPortlorn::ClientDataSent(TFtpCtrlSocket* Client, std::uint16_t Error)
{
    if (Client->CloseWhenSent) {
        Client->CloseWhenSent = false;
        os::PostMessage(FWindowHandle, WM_FTPSRV_CLOSE_REQUEST, Client->ID(), 0);
    }
}

void TPortlorn::RemoveClient(TFtpCtrlSocket* Client)
{
    for (auto it = FClientList.begin(); it != FClientList.end(); ++it) {
        if (it->get() != Client) continue;
        std::unique_ptr<TFtpCtrlSocket> owned = std::move(*it);
        FClientList.erase(it);
        StopDataTimer(Client);
        os::KillTimer(FWindowHandle, LoginTimerBase + Client->ID());
        os::KillTimer(FWindowHandle, AnswerTimerBase + Client->ID());
        try {
            FireClientDisconnect(Client, 0);
        } catch (...) {
        }
        return; // freed here, also when the event raised
    }
}

void TPortlorn::PostDataMessage(os::UINT Msg, TFtpCtrlSocket* Client)
{
    os::PostMessage(FWindowHandle, Msg, Client->ID(), static_cast<os::LPARAM>(Client->DataSessionSerial));
}

void TPortlorn::WndProc(os::UINT Msg, os::WPARAM WParam, os::LPARAM LParam)
{
    if (Msg == os::WM_TIMER) {
        if (WParam >= AnswerTimerBase) {
            ReleaseHeldAnswer(static_cast<std::uint32_t>(WParam - AnswerTimerBase));
        } else if (WParam >= LoginTimerBase) {
            LoginTimerElapsed(static_cast<std::uint32_t>(WParam - LoginTimerBase));
        } else if (WParam >= DataTimerBase) {
            DataTimerElapsed(static_cast<std::uint32_t>(WParam - DataTimerBase));
        } else if (WParam == AcceptResumeTimer) {
            os::KillTimer(FWindowHandle, AcceptResumeTimer);
            FAcceptPaused = false;
            if (FServerSocket->State() == wsListening) FServerSocket->ResumeEvents();
        }
        return;
    }
    TFtpCtrlSocket* client = FindClient(static_cast<std::uint32_t>(WParam));
    if (client == nullptr) return; // the client is gone already
    try {
        switch (Msg) {
        case WM_FTPSRV_CLOSE_REQUEST:
            if (client->AllSent())
                client->CloseSession();
            else
                client->CloseWhenSent = true;
            break;
        case WM_FTPSRV_CLIENT_CLOSED:
            RemoveClient(client);
            break;
        case WM_FTPSRV_ABORT_TRANSFER:
            if (static_cast<std::uint32_t>(LParam) != client->DataSessionSerial) break;
            client->DataSocket->ShutdownSide(2);
            client->DataSocket->CloseSession();
            break;
        case WM_FTPSRV_CLOSE_DATA:
            if (static_cast<std::uint32_t>(LParam) != client->DataSessionSerial) break;
            client->DataSocket->CloseSession();
            break;
        case WM_FTPSRV_SEND_MORE:
            if (static_cast<std::uint32_t>(LParam) != client->DataSessionSerial) break;
            SendNextDataChunk(client);
            break;
        default:
            break;
        }
    } catch (rtl::Exception&) {
        // A failing close leaves the client to its own close event.
    }
}

// --- parsing and dispatching ---------------------------------------------

bool TPortlorn::SplitCommandLine(const char* Line, int Length, TFtpString& KeyWord, TFtpString& Params)
{
    KeyWord.clear();
    Params.clear();
    std::string text;
    text.reserve(static_cast<std::size_t>(std::max(Length, 0)));
    for (int i = 0; i < Length; ++i) {
        unsigned char ch = static_cast<unsigned char>(Line[i]);
        if (ch != 255) {
            text += static_cast<char>(ch);
        } else if (i + 1 < Length && static_cast<unsigned char>(Line[i + 1]) == 255) {
            text += static_cast<char>(255);
            ++i;
        } else {
            ++i; // IAC and the byte after it
        }
    }
    // A longer line is refused whole: cut short, its name could be another file's.
    if (static_cast<int>(text.size()) > TFtpCtrlSocket::MaxCommandLength) return false;
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    while (i < text.size() && std::isalnum(static_cast<unsigned char>(text[i])) &&
           static_cast<unsigned char>(text[i]) < 128) {
        KeyWord += static_cast<char>(std::toupper(static_cast<unsigned char>(text[i])));
        ++i;
    }
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    Params = text.substr(i);
    return true;
}

void TPortlorn::ClientCommand(TFtpCtrlSocket* Client, const char* Line, int Length)
{
    if (!Client->HeldAnswer.empty()) {
        // Answered in order after the held reply. Reading waits meanwhile,
        // so only what one read brought can come here.
        Client->HeldLines.emplace_back(Line, static_cast<std::size_t>(std::max(Length, 0)));
        return;
    }
    TFtpString keyWord, params, answer;
    if (!SplitCommandLine(Line, Length, keyWord, params)) {
        SendAnswer(Client, "500 Command line too long.");
        return;
    }
    try {
        FireClientCommand(Client, keyWord, params, answer);
        if (!answer.empty()) {
            SendAnswer(Client, answer);
            return;
        }
        if (keyWord.empty()) {
            SendAnswer(Client, "500 '" + params + "': command not understood.");
            return;
        }
        for (int i = 0; i < MaxCommands; ++i) {
            TFtpSrvCommandTableItem& item = FCmdTable[static_cast<std::size_t>(i)];
            if (item.KeyWord.empty() || item.KeyWord != keyWord) continue;
            item.Proc(Client, keyWord, params, answer);
            if (Client->HeldAnswer.empty()) SendAnswer(Client, answer);
            return;
        }
        SendAnswer(Client, "500 '" + keyWord + "': command not understood.");
    } catch (rtl::Exception& E) {
        SendAnswer(Client, "501 " + E.Message());
    } catch (std::exception& E) {
        SendAnswer(Client, std::string("501 ") + E.what());
    }
}

std::string TPortlorn::PrintableText(const std::string& Text)
{
    std::string out = Text;
    for (char& ch : out)
        if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7f) ch = '?';
    return out;
}

void TPortlorn::SendAnswer(TFtpCtrlSocket* Client, TFtpString Answer)
{
    try {
        // Replies quote what clients sent (parameters, names made of them);
        // a CR or LF among it would end the reply line early, and the rest
        // would read as a reply of its own.
        Answer = PrintableText(Answer);
        FireAnswerToClient(Client, Answer);
        Answer = PrintableText(Answer);
        if (Client->State() == wsConnected) Client->SendAnswer(Answer);
    } catch (...) {
    }
}

bool TPortlorn::CheckLogin(TFtpCtrlSocket* Client, TFtpString& Answer) const
{
    if (Client->FtpState() == ftpcReady) return true;
    Answer = "530 Please login with USER and PASS.";
    return false;
}

std::string TPortlorn::ResolveClientPath(TFtpCtrlSocket* Client, const std::string& Name) const
{
    return ResolveFilePath(Client->Directory(), Name, Client->HomeDir());
}

// --- login, navigation, information ------------------------------------

void TPortlorn::CommandUSER(TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params, TFtpString& Answer)
{
    Client->CurrentCommand = ftpcUSER;
    Client->SetUserName(rtl::Trim(Params));
    Client->SetFtpState(ftpcWaitingPassword);
    Answer = "331 Password required for " + Client->UserName() + ".";
}

void TPortlorn::CommandPASS(TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params, TFtpString& Answer)
{
    Client->CurrentCommand = ftpcPASS;
    if (Client->FtpState() != ftpcWaitingPassword) {
        Answer = "503 Login with USER first.";
        return;
    }
    Client->SetPassWord(rtl::Trim(Params));
    bool authenticated = true;
    FireAuthenticate(Client, Client->UserName(), Client->PassWord(), authenticated);
    if (!authenticated) {
        Client->SetFtpState(ftpcWaitingUserCode);
        Answer = "530 Login incorrect.";
        return;
    }
    try {
        Client->ResolveDirectory(Client->HomeDir());
    } catch (rtl::Exception& E) {
        // No usable home folder (an account with none): no login either.
        Client->SetFtpState(ftpcWaitingUserCode);
        Answer = "501 " + E.Message();
        return;
    }
    Client->SetFtpState(ftpcReady);
    os::KillTimer(FWindowHandle, LoginTimerBase + Client->ID());
    Answer = "230 User " + Client->UserName() + " logged in.";
}

void TPortlorn::CommandQUIT(TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params, TFtpString& Answer)
{
    Client->CurrentCommand = ftpcQUIT;
    Answer = "221 Goodbye.";
    os::PostMessage(FWindowHandle, WM_FTPSRV_CLOSE_REQUEST, Client->ID(), 0);
}

void TPortlorn::CommandNOOP(TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params, TFtpString& Answer)
{
    Client->CurrentCommand = ftpcNOOP;
    Answer = "200 Ok. Parameter was '" + Params + "'.";
}

void TPortlorn::CommandSTRU(TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params, TFtpString& Answer)
{
    Client->CurrentCommand = ftpcSTRU;
    Answer = "200 Ok. STRU parameter '" + Params + "' ignored.";
}

void TPortlorn::CommandSYST(TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params, TFtpString& Answer)
{
    if (!CheckLogin(Client, Answer)) return;
    Client->CurrentCommand = ftpcSYST;
    Answer = "215 UNIX Type: L8 Quenlow";
}

void TPortlorn::CommandTYPE(TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params, TFtpString& Answer)
{
    if (!CheckLogin(Client, Answer)) return;
    Client->CurrentCommand = ftpcTYPE;
    std::string type = rtl::UpperCase(rtl::Trim(Params));
    if (type == "A" || type == "I")
        Answer = "200 Type set to " + Params + ".";
    else
        Answer = "500 'TYPE " + Params + "': command not understood.";
}

void TPortlorn::CommandPWD(TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params, TFtpString& Answer)
{
    if (!CheckLogin(Client, Answer)) return;
    Client->CurrentCommand = ftpcPWD;
    Answer = "257 \"" + ShownFolder(Client->Directory()) + "\" is current directory.";
}

void TPortlorn::CommandXPWD(TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params, TFtpString& Answer)
{
    if (!CheckLogin(Client, Answer)) return;
    Client->CurrentCommand = ftpcXPWD;
    Answer = "257 \"" + ShownFolder(Client->Directory()) + "\" is current directory.";
}

void TPortlorn::CommandCWD(TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params, TFtpString& Answer)
{
    if (!CheckLogin(Client, Answer)) return;
    Client->CurrentCommand = ftpcCWD;
    ChangeDirectory(Client, KeyWord, Params, Answer);
}

void TPortlorn::CommandCDUP(TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params, TFtpString& Answer)
{
    if (!CheckLogin(Client, Answer)) return;
    Client->CurrentCommand = ftpcCDUP;
    TFtpString parent = "..";
    ChangeDirectory(Client, KeyWord, parent, Answer);
}

void TPortlorn::ChangeDirectory(TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params, TFtpString& Answer)
{
    const std::string old = Client->Directory();
    try {
        std::string path = Params;
        // A trailing "/.." step names the parent of what comes before it;
        // a rest that climbs itself ("../..") is left to the folder rule.
        if (path.size() > 2 && path.compare(path.size() - 3, 3, "/..") == 0 &&
            path.substr(0, path.size() - 3).find("..") == std::string::npos) {
            path.resize(path.size() - 3);
            std::size_t slash = path.rfind('/');
            path = slash == std::string::npos ? "" : path.substr(0, slash + 1);
        }
        Client->ResolveDirectory(rtl::Trim(path));
        bool allowed = true;
        FireChangeDirectory(Client, Client->Directory(), allowed);
        if (allowed) {
            Answer = "250 CWD command successful. \"" + ShownFolder(Client->Directory()) +
                     "\" is current directory.";
        } else {
            Client->FDirectory = old;
            Answer = "501 CWD failed. No permission";
        }
    } catch (rtl::Exception& E) {
        Client->FDirectory = old;
        Answer = "501 CWD failed. " + E.Message();
    }
}

// --- file management ----------------------------------------------------

void TPortlorn::CommandDELE(TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params, TFtpString& Answer)
{
    if (!CheckLogin(Client, Answer)) return;
    Client->CurrentCommand = ftpcDELE;
    std::string path = ResolveClientPath(Client, Params);
    bool allowed = true;
    FireValidateDele(Client, path, allowed);
    if (!allowed) {
        Answer = "500 Cannot DELE.";
    } else if (Params.empty()) {
        Answer = "501 Syntax error in parameter.";
    } else if (IsRegularFile(path, Client->HomeDir())) {
        TConfinedName name(path, Client->HomeDir());
        if (name.Folder() >= 0 && ::unlinkat(name.Folder(), name.Name().c_str(), 0) == 0)
            Answer = "250 File '" + path + "' deleted.";
        else
            Answer = "450 File '" + path + "' can't be deleted.";
    } else {
        Answer = "550 '" + path + "': no such file or directory.";
    }
}

void TPortlorn::CommandSIZE(TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params, TFtpString& Answer)
{
    if (!CheckLogin(Client, Answer)) return;
    Client->CurrentCommand = ftpcSIZE;
    if (Params.empty()) {
        Answer = "501 Syntax error in parameter.";
        return;
    }
    try {
        std::string path = ResolveClientPath(Client, Params);
        struct stat st {};
        if (StatConfined(path, Client->HomeDir(), st) && S_ISREG(st.st_mode))
            Answer = rtl::Format("213 %lld", static_cast<long long>(st.st_size));
        else
            Answer = "550 Command failed: File not found.";
    } catch (rtl::Exception& E) {
        Answer = "550 Command failed: " + E.Message() + ".";
    }
}

void TPortlorn::CommandREST(TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params, TFtpString& Answer)
{
    if (!CheckLogin(Client, Answer)) return;
    Client->CurrentCommand = ftpcREST;
    std::optional<std::int64_t> value = rtl::ParseInt64(Params);
    if (!value) {
        Client->RestartPosition = 0;
        Answer = "501 Syntax error in parameter: '" + Params + "' is not a valid integer value.";
    } else if (*value < 0) {
        Client->RestartPosition = 0;
        Answer = "501 Required byte offset parameter bad or missing.";
    } else {
        Client->RestartPosition = *value;
        Answer = rtl::Format("350 REST supported. Ready to resume at byte offset %lld.", static_cast<long long>(*value));
    }
}

void TPortlorn::CommandRNFR(TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params, TFtpString& Answer)
{
    if (!CheckLogin(Client, Answer)) return;
    Client->CurrentCommand = ftpcRNFR;
    std::string path = ResolveClientPath(Client, Params);
    bool allowed = true;
    FireValidateRnFr(Client, path, allowed);
    if (!allowed) {
        Answer = "500 Cannot RNFR.";
    } else if (Params.empty()) {
        Answer = "501 Syntax error is parameter.";
    } else if (IsRegularFile(path, Client->HomeDir())) {
        Client->RenameSource = path;
        Answer = "350 File exists, ready for destination name.";
    } else {
        Answer = "550 '" + path + "': no such file or directory.";
    }
}

void TPortlorn::CommandRNTO(TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params, TFtpString& Answer)
{
    if (!CheckLogin(Client, Answer)) return;
    Client->CurrentCommand = ftpcRNTO;
    std::string path = ResolveClientPath(Client, Params);
    bool allowed = true;
    FireValidateRnTo(Client, path, allowed);
    if (!allowed) {
        Answer = "500 Cannot RNTO.";
        return;
    }
    if (Params.empty()) {
        Answer = "501 Syntax error in parameter.";
        return;
    }
    if (Exists(path, Client->HomeDir())) {
        Answer = "553 '" + path + "': file already exists.";
        return;
    }
    // The source was confined when RNFR named it; a later login may have
    // changed the home, so it is checked again.
    std::string source;
    if (!Client->RenameSource.empty()) source = ResolveFilePath("/", Client->RenameSource, Client->HomeDir());
    if (!source.empty() && IsRegularFile(source, Client->HomeDir())) {
        Client->RenameTarget = path;
        TConfinedName from(source, Client->HomeDir());
        TConfinedName to(path, Client->HomeDir());
        // No replace: a file that appeared meanwhile is never overwritten.
        if (from.Folder() >= 0 && to.Folder() >= 0 &&
            ::renameat2(from.Folder(), from.Name().c_str(), to.Folder(), to.Name().c_str(), RENAME_NOREPLACE) == 0)
            Answer = "250 File '" + source + "' renamed to '" + path + "'.";
        else if (errno == EEXIST)
            Answer = "553 '" + path + "': file already exists.";
        else
            Answer = "450 File '" + source + "' can't be renamed.";
    } else {
        Answer = "550 '" + Client->RenameSource + "': no such file or directory.";
    }
}

void TPortlorn::CommandMKD(TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params, TFtpString& Answer)
{
    if (!CheckLogin(Client, Answer)) return;
    Client->CurrentCommand = ftpcMKD;
    try {
        std::string path = ResolveClientPath(Client, Params);
        bool allowed = true;
        FireMakeDirectory(Client, path, allowed);
        if (!allowed)
            Answer = "550 '" + path + "': can't create directory.";
        else if (Params.empty())
            Answer = "501 Syntax error in parameter.";
        else if (Exists(path, Client->HomeDir()) && !IsFolder(path, Client->HomeDir()))
            Answer = "550 '" + path + "': file or directory already exists.";
        else if (!MakeFolder(path, Client->HomeDir()))
            Answer = "550 '" + path + "': can't create directory.";
        else
            Answer = "257 '" + path + "': directory created.";
    } catch (rtl::Exception& E) {
        Answer = "550 '" + E.Message() + "': can't create directory.";
    }
}

void TPortlorn::CommandRMD(TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params, TFtpString& Answer)
{
    if (!CheckLogin(Client, Answer)) return;
    Client->CurrentCommand = ftpcRMD;
    std::string path = ResolveClientPath(Client, Params);
    if (Params.empty()) {
        Answer = "501 Syntax error in parameter.";
        return;
    }
    // Removing a folder is a write like deleting a file: the same check.
    bool allowed = true;
    FireValidateDele(Client, path, allowed);
    if (!allowed) {
        Answer = "550 '" + path + "': can't remove directory.";
    } else if (IsFolder(path, Client->HomeDir())) {
        if (NormalisePath(path) == NormalisePath(Client->HomeDir()) || !RemoveFolder(path, Client->HomeDir()))
            Answer = "550 '" + path + "': can't remove directory.";
        else
            Answer = "250 '" + path + "': directory removed.";
    } else {
        Answer = "550 '" + path + "': no such directory.";
    }
}

void TPortlorn::CommandMDTM(TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params, TFtpString& Answer)
{
    if (!CheckLogin(Client, Answer)) return;
    Client->CurrentCommand = ftpcMDTM;
    if (Params.empty()) {
        Answer = "501 Syntax error in MDTM parameter.";
        return;
    }
    try {
        std::string path = ResolveClientPath(Client, Params);
        if (!IsRegularFile(path, Client->HomeDir()))
            Answer = "550 '" + path + "': no such file or directory.";
        else
            Answer = "213 " + FileUTCTimeString(path, Client->HomeDir());
    } catch (rtl::Exception& E) {
        Answer = "550 Command failed: " + E.Message() + ".";
    }
}

void TPortlorn::CommandABOR(TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params, TFtpString& Answer)
{
    TAsyncSocket* data = Client->DataSocket.get();
    // A transfer still waiting for its connection is ended too, so it gets
    // its one final reply before the 225.
    bool pending = Client->TransferCommand != ftpcNone &&
                   (Client->PassiveStartPending || data->State() == wsConnecting);
    if (data->State() == wsConnected || pending) {
        Client->TransferError = "ABORT requested by client";
        Client->Aborting = true;
        data->CloseSession();
    }
    Answer = "225 ABOR command successful.";
}

// --- events -------------------------------------------------------------

void TPortlorn::FireStart() { if (OnStart) OnStart(this); }
void TPortlorn::FireStop() { if (OnStop) OnStop(this); }

void TPortlorn::FireAuthenticate(TFtpCtrlSocket* Client, const std::string& UserName, const std::string& Password,
                                 bool& Authenticated)
{
    if (OnAuthenticate) OnAuthenticate(this, Client, UserName, Password, Authenticated);
}

void TPortlorn::FireChangeDirectory(TFtpCtrlSocket* Client, const std::string& Directory, bool& Allowed)
{
    if (OnChangeDirectory) OnChangeDirectory(this, Client, Directory, Allowed);
}

void TPortlorn::FireMakeDirectory(TFtpCtrlSocket* Client, const std::string& Directory, bool& Allowed)
{
    if (OnMakeDirectory) OnMakeDirectory(this, Client, Directory, Allowed);
}

void TPortlorn::FireAnswerToClient(TFtpCtrlSocket* Client, TFtpString& Answer)
{
    if (OnAnswerToClient) OnAnswerToClient(this, Client, Answer);
}

void TPortlorn::FireClientConnect(TFtpCtrlSocket* Client, std::uint16_t Error)
{
    if (OnClientConnect) OnClientConnect(this, Client, Error);
}

void TPortlorn::FireClientDisconnect(TFtpCtrlSocket* Client, std::uint16_t Error)
{
    if (OnClientDisconnect) OnClientDisconnect(this, Client, Error);
}

void TPortlorn::FireClientCommand(TFtpCtrlSocket* Client, TFtpString& KeyWord, TFtpString& Params, TFtpString& Answer)
{
    if (OnClientCommand) OnClientCommand(this, Client, KeyWord, Params, Answer);
}

void TPortlorn::FireStorSessionConnected(TFtpCtrlSocket* Client, TAsyncSocket* Data, std::uint16_t Error)
{
    if (OnStorSessionConnected) OnStorSessionConnected(this, Client, Data, Error);
}

void TPortlorn::FireStorSessionClosed(TFtpCtrlSocket* Client, TAsyncSocket* Data, std::uint16_t Error)
{
    if (OnStorSessionClosed) OnStorSessionClosed(this, Client, Data, Error);
}

void TPortlorn::FireValidatePut(TFtpCtrlSocket* Client, TFtpString& FilePath, bool& Allowed)
{
    if (OnValidatePut) OnValidatePut(this, Client, FilePath, Allowed);
}

void TPortlorn::FireValidateDele(TFtpCtrlSocket* Client, TFtpString& FilePath, bool& Allowed)
{
    if (OnValidateDele) OnValidateDele(this, Client, FilePath, Allowed);
}

void TPortlorn::FireValidateRnFr(TFtpCtrlSocket* Client, TFtpString& FilePath, bool& Allowed)
{
    if (OnValidateRnFr) OnValidateRnFr(this, Client, FilePath, Allowed);
}

void TPortlorn::FireValidateRnTo(TFtpCtrlSocket* Client, TFtpString& FilePath, bool& Allowed)
{
    if (OnValidateRnTo) OnValidateRnTo(this, Client, FilePath, Allowed);
}

void TPortlorn::FireRetrSessionConnected(TFtpCtrlSocket* Client, TAsyncSocket* Data, std::uint16_t Error)
{
    if (OnRetrSessionConnected) OnRetrSessionConnected(this, Client, Data, Error);
}

void TPortlorn::FireRetrSessionClosed(TFtpCtrlSocket* Client, TAsyncSocket* Data, std::uint16_t Error)
{
    if (OnRetrSessionClosed) OnRetrSessionClosed(this, Client, Data, Error);
}

void TPortlorn::FireValidateGet(TFtpCtrlSocket* Client, TFtpString& FilePath, bool& Allowed)
{
    if (OnValidateGet) OnValidateGet(this, Client, FilePath, Allowed);
}

void TPortlorn::FireStorDataAvailable(TFtpCtrlSocket* Client, TAsyncSocket* Data, const char* Buf, int Len,
                                      std::uint16_t Error)
{
    if (OnStorDataAvailable) OnStorDataAvailable(this, Client, Data, Buf, Len, Error);
}

void TPortlorn::FireRetrDataSent(TFtpCtrlSocket* Client, TAsyncSocket* Data, std::uint16_t Error)
{
    if (OnRetrDataSent) OnRetrDataSent(this, Client, Data, Error);
}

void TPortlorn::FireBuildDirectory(TFtpCtrlSocket* Client, TFtpString& Directory, bool Detailed)
{
    if (OnBuildDirectory) OnBuildDirectory(this, Client, Directory, Detailed);
}

void TPortlorn::FireAlterDirectory(TFtpCtrlSocket* Client, TFtpString& Directory, bool Detailed)
{
    if (OnAlterDirectory) OnAlterDirectory(this, Client, Directory, Detailed);
}
