#include "server/ui/FtpServ1.h"

#include <QCloseEvent>
#include <QDir>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <unistd.h>

#include "platform/dialogs/Dialogs.h"
#include "platform/dialogs/EventHandler.h"
#include "platform/tray/SingleInstance.h"
#include "platform/tray/Trayicon.h"
#include "rtl/Exception.h"
#include "rtl/IniFile.h"
#include "server/FtpSrv.h"
#include "server/FtpSrvPath.h"
#include "server/ui/About.h"
#include "server/ui/AddUser.h"
#include "server/ui/Pictures.h"
#include "server/ui/PortlornSettings.h"
#include "server/ui/Userinfo.h"
#include "ui_FtpServ1.h"

namespace {

const char* const kProgramTitle = "Quenlow";
// Lines are appended together at this pace: one append per line made a busy
// client's traffic cost more in the memo than in the server.
const int kLogFlushMs = 100;

std::string LocalHostAddress()
{
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || !*name)
        return "";
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(name, nullptr, &hints, &found) != 0 || !found)
        return "";
    char text[INET_ADDRSTRLEN] = {};
    auto* sin = reinterpret_cast<sockaddr_in*>(found->ai_addr);
    ::inet_ntop(AF_INET, &sin->sin_addr, text, sizeof text);
    ::freeaddrinfo(found);
    return text;
}

std::string Canonical(const std::string& folder)
{
    QString c = QDir(QString::fromStdString(folder)).canonicalPath();
    return c.isEmpty() ? folder : c.toStdString();
}

} // namespace

TPortlornForm::TPortlornForm(const std::string& programFolder, const std::string& programName, QWidget* parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::TPortlornForm>()), programFolder_(Canonical(programFolder)),
      programName_(programName)
{
    ui->setupUi(this);
    setWindowIcon(PortlornIcon());
    ui->GreenImage->setPixmap(LampPixmap(true));
    ui->RedImage->setPixmap(LampPixmap(false));
    ui->InfoMemo->setMaximumBlockCount(MaxLogLines);
    logTimer_ = new QTimer(this);
    logTimer_->setSingleShot(true);
    ConnectHandler(logTimer_, &QTimer::timeout, this, [this] { LogTimerElapsed(); });
    ui->GreenImage->installEventFilter(this);
    ui->RedImage->installEventFilter(this);
    trayIcon1_ = std::make_unique<TTrayIcon>();
    trayIcon1_->SetIcon(PortlornIcon());
    trayIcon1_->SetToolTip(kProgramTitle);
    trayIcon1_->OnDblClick = [this](TObject*) { RestoreFromTray(); };

    ConnectHandler(ui->Start1, &QAction::triggered, this, [this] { Start1Click(); });
    ConnectHandler(ui->Stop1, &QAction::triggered, this, [this] { Stop1Click(); });
    ConnectHandler(ui->HidetoTray1, &QAction::triggered, this, [this] { HidetoTray1Click(); });
    ConnectHandler(ui->Quit1, &QAction::triggered, this, [this] { Quit1Click(); });
    ConnectHandler(ui->Cleardisplay1, &QAction::triggered, this, [this] { Cleardisplay1Click(); });
    ConnectHandler(ui->AddUser1, &QAction::triggered, this, [this] { AddUser1Click(); });
    ConnectHandler(ui->UserInfo1, &QAction::triggered, this, [this] { UserInfo1Click(); });
    ConnectHandler(ui->ServerPort1, &QAction::triggered, this, [this] { ServerPort1Click(); });
    ConnectHandler(ui->About1, &QAction::triggered, this, [this] { About1Click(); });
    FormCreate();
}

TPortlornForm::~TPortlornForm()
{
    if (!closing_)
        FormClose();
    portlorn1_.reset();
}

std::string TPortlornForm::TitleLine() const
{
    return std::string(kProgramTitle) + " - " + localAddr_;
}

void TPortlornForm::FormCreate()
{
    settingsPath_ = SettingsPath(programFolder_, programName_);

    // One copy per program folder; a second copy learns it here, before anything is shown.
    instance_ = std::make_unique<TSingleInstance>();
    alreadyRunning_ = !instance_->Claim(TSingleInstance::NameFor("portlorn", programFolder_));
    // The boxes of start-up (the first-run question, a listening error) belong to this window.
    if (!alreadyRunning_)
        Dialogs().SetParentWindow(this);
    instance_->OnMessage = [this](TObject*) {
        // Another copy was started: bring this one forward instead.
        if (trayIcon1_->Active())
            RestoreFromTray();
        else if (isMinimized())
            showNormal();
        raise();
        activateWindow();
    };

    // The copy that serves owns the settings: only it looks after a damaged file.
    std::vector<std::string> notes;
    if (!alreadyRunning_)
        SetDamagedSettingsAside(notes);
    const std::string iniName = settingsPath_.substr(settingsPath_.rfind('/') + 1);
    if (settingsWritable_) {
        // A default file that cannot be read would leave the built-in
        // defaults in force without a word: it is told like the settings file.
        const std::string defaultPath = programFolder_ + "/def_" + iniName;
        std::string problem;
        CopyDefaultSettings(defaultPath, settingsPath_, &problem);
        if (!problem.empty() && !alreadyRunning_)
            notes.push_back("! " + defaultPath + " " + problem + "; the built-in defaults apply");
    }
    // What could not be kept aside (or is the serving copy's to look after)
    // is still there: when it is no file, the defaults apply and nothing is saved.
    const bool noFile = IsOtherThanAFile(settingsPath_);
    if (noFile)
        settingsWritable_ = false;
    ini_ = std::make_unique<rtl::TIniFile>(noFile ? std::string() : settingsPath_);
    ini_->SetFileMode(0600); // passwords are kept in plain text
    std::string damage;
    users_ = LoadUsers(*ini_, &damage);
    if (!damage.empty() && !alreadyRunning_)
        RepairAccounts(damage, notes);

    portlorn1_ = std::make_unique<TPortlorn>();
    portlorn1_->SetAddr("0.0.0.0");
    portlorn1_->SetPort("ftp");
    portlorn1_->SetBanner("220 Quenlow ready");
    portlorn1_->SetUserData(0);
    portlorn1_->SetMaxClients(0);
    WireComponent();

    ui->InfoMemo->clear();
    for (const std::string& note : notes)
        AddLog(note);
    ui->GreenImage->hide();
    ui->RedImage->show();
    localAddr_ = LocalHostAddress();
    setWindowTitle(QString::fromStdString(TitleLine()));
}

void TPortlornForm::SetDamagedSettingsAside(std::vector<std::string>& notes)
{
    const std::string problem = SettingsFileProblem(settingsPath_);
    if (problem.empty())
        return;
    notes.push_back("! " + settingsPath_ + " could not be read: " + problem);
    // Whatever it held stays: the settings made anew never go over it.
    const std::string kept = KeepSettingsAside(notes);
    if (!kept.empty())
        notes.push_back("! It was kept as " + kept + "; new settings are made in its place");
}

std::string TPortlornForm::KeepSettingsAside(std::vector<std::string>& notes)
{
    const std::string kept = KeepAside(settingsPath_);
    if (kept.empty()) {
        notes.push_back("! It could not be kept under another name (" + std::string(std::strerror(errno)) +
                        "): no settings are saved");
        settingsWritable_ = false;
    }
    return kept;
}

void TPortlornForm::RepairAccounts(const std::string& damage, std::vector<std::string>& notes)
{
    notes.push_back("! " + settingsPath_ + " could not be read as it is: " + damage);
    if (!settingsWritable_)
        return;
    const std::string kept = KeepSettingsAside(notes);
    if (kept.empty())
        return;
    // The accounts read go back at once, so the file never stands missing.
    try {
        ::SaveUsers(*ini_, users_);
        ini_->UpdateFile();
        notes.push_back("! It was kept as " + kept + "; the accounts found are saved in its place");
    } catch (const rtl::Exception& e) {
        notes.push_back("! It was kept as " + kept + "; the accounts found could not be saved: " + e.Message());
    }
}

void TPortlornForm::WireComponent()
{
    TPortlorn& c = *portlorn1_;
    c.OnStart = [this](TObject*) {
        ui->GreenImage->show();
        ui->RedImage->hide();
        AddLog("! Server started on port " + port_);
    };
    c.OnStop = [this](TObject*) {
        ui->GreenImage->hide();
        ui->RedImage->show();
        AddLog("! Server stopped");
    };
    c.OnClientConnect = [this](TObject*, TFtpCtrlSocket* client, auto) {
        AddLog("! " + client->GetPeerAddr() + " connected");
        UpdateClientCount();
    };
    c.OnClientDisconnect = [this](TObject*, TFtpCtrlSocket* client, auto) {
        AddLog("! " + client->GetPeerAddr() + " disconnected");
        UpdateClientCount();
    };
    c.OnClientCommand = [this](TObject*, TFtpCtrlSocket* client, auto& keyword, auto& params, auto&) {
        // A CR or LF in what a client sent would start a log line of its own.
        AddLog("< " + client->GetPeerAddr() + " " + std::string(keyword) + " " +
               TPortlorn::PrintableText(std::string(params)));
    };
    c.OnAnswerToClient = [this](TObject*, TFtpCtrlSocket* client, auto& answer) {
        AddLog("> " + client->GetPeerAddr() + " " + std::string(answer));
    };
    c.OnAuthenticate = [this](TObject*, TFtpCtrlSocket* client, const auto& userName, const auto& password,
                              bool& authenticated) {
        int index = FindUser(users_, std::string(userName), std::string(password));
        authenticated = index >= 0;
        if (authenticated)
            client->SetHomeDir(ClientHome(users_[static_cast<std::size_t>(index)]));
    };
    c.OnChangeDirectory = [this](TObject*, TFtpCtrlSocket* client, const auto& directory, bool& allowed) {
        // The component's own folder rule, against the account as it stands now.
        allowed = FolderAllowed(std::string(directory), ClientHome(AccountOf(client)));
    };
    c.OnMakeDirectory = [this](TObject*, TFtpCtrlSocket* client, const auto& directory, bool& allowed) {
        const TUserInfo& user = AccountOf(client);
        allowed = user.AcessRight != 0 && InsideHome(ClientHome(user), std::string(directory));
    };
    auto write = [this](TObject*, TFtpCtrlSocket* client, auto& path, bool& allowed) {
        allowed = ValidateWrite(client, std::string(path));
    };
    c.OnValidatePut = write;
    c.OnValidateDele = write;
    c.OnValidateRnFr = write;
    c.OnValidateRnTo = write;
    c.OnStorSessionConnected = [this](TObject*, TFtpCtrlSocket* client, auto*, auto error) {
        if (error != 0)
            AddLog("! " + client->GetPeerAddr() + " Data session failed to open. Error #" +
                   std::to_string(error));
    };
    auto closed = [this](TObject*, TFtpCtrlSocket* client, auto*, auto error) {
        if (error != 0)
            AddLog("! " + client->GetPeerAddr() + " Data session closed. Error #" + std::to_string(error));
        DataSessionEnded();
    };
    c.OnStorSessionClosed = closed;
    c.OnRetrSessionClosed = closed;
    c.OnRetrDataSent = [this](TObject*, TFtpCtrlSocket* client, auto*, auto error) {
        if (error != 0)
            AddLog("! " + client->GetPeerAddr() + " Data sent. Error #" + std::to_string(error));
    };
}

std::string TPortlornForm::ClientHome(const TUserInfo& user) const
{
    return ResolveHome(user.HomeDir, programFolder_);
}

const TUserInfo& TPortlornForm::AccountOf(TFtpCtrlSocket* client) const
{
    // Looked up again every time, so edits in the account dialogs apply at once;
    // a deleted account raises, and the command fails.
    return UserAt(users_, FindUser(users_, client->UserName(), client->PassWord()));
}

bool TPortlornForm::ValidateWrite(TFtpCtrlSocket* client, const std::string&) const
{
    // The component keeps every path inside the home folder; here only the right counts.
    return AccountOf(client).AcessRight != 0;
}

void TPortlornForm::AddLog(const std::string& line)
{
    // Lines the memo would drop at once are not kept either.
    if (pendingLog_.size() >= MaxLogLines)
        pendingLog_.removeFirst();
    if (pendingLog_.isEmpty())
        pendingSince_.start();
    pendingLog_.append(QString::fromStdString(line));
    if (!logTimer_->isActive())
        logTimer_->start(kLogFlushMs);
}

void TPortlornForm::LogTimerElapsed()
{
    // Drawing the memo takes the server's thread for some milliseconds (far
    // more the first time after a pause): in the middle of a transfer that
    // is a pause in the data. The lines wait for its end, or LogHoldMs.
    const qint64 waited = pendingLog_.isEmpty() ? 0 : pendingSince_.elapsed();
    if (portlorn1_ && portlorn1_->DataSessionCount() > 0 && waited < LogHoldMs) {
        logTimer_->start(static_cast<int>(LogHoldMs - waited));
        return;
    }
    FlushLog();
}

void TPortlornForm::DataSessionEnded()
{
    // Only ever sooner: transfers ending one after another must not keep
    // putting the lines off.
    if (!pendingLog_.isEmpty() && (!logTimer_->isActive() || logTimer_->remainingTime() > kLogFlushMs))
        logTimer_->start(kLogFlushMs);
}

void TPortlornForm::FlushLog()
{
    logTimer_->stop();
    if (pendingLog_.isEmpty())
        return;
    ui->InfoMemo->appendPlainText(pendingLog_.join(QLatin1Char('\n')));
    pendingLog_.clear();
}

void TPortlornForm::UpdateClientCount()
{
    int count = portlorn1_ ? portlorn1_->GetClientCount() : 0;
    ui->ClientCountLabel->setText(count == 0 ? QString("No user") : QString::number(count) + " users");
}

void TPortlornForm::setVisible(bool visible)
{
    // The first show reads and applies the bounds before the window is made:
    // the window system then puts the frame where it was. Moved once shown,
    // the window would be placed before the window manager had framed it,
    // its inside landing where the frame belongs.
    if (visible && !startedOnce_) {
        startedOnce_ = true;
        Guarded([this] { FormShow(); });
        // Started into the tray, the window is not shown at all. Shown and
        // withdrawn at once, it could be shown again before the window manager
        // had let go of it, and would come back unframed and out of its place.
        if (ui->StartMinimizedCheckBox->isChecked() && TTrayIcon::Available())
            return;
    }
    QMainWindow::setVisible(visible);
}

void TPortlornForm::FormShow()
{
    setWindowTitle(QString::fromStdString("Starting " + TitleLine()));
    QSize screen(1024, 768);
    if (QScreen* s = QGuiApplication::primaryScreen())
        screen = s->size();
    // Left and Top place the frame, Width and Height size the window inside
    // it. Without saved bounds the window takes its designed size, centred.
    const QRect designed = CentredBounds(DesignedSize, screen);
    bounds_ = QRect(static_cast<int>(ini_->ReadInteger("Window", "Left", designed.left())),
                    static_cast<int>(ini_->ReadInteger("Window", "Top", designed.top())),
                    static_cast<int>(ini_->ReadInteger("Window", "Width", designed.width())),
                    static_cast<int>(ini_->ReadInteger("Window", "Height", designed.height())));
    bool runMinimized = ini_->ReadInteger("Window", "RunMinimized", 0) != 0;
    port_ = ini_->ReadString("Data", "Port", "21");
    ini_->WriteString("Data", "Port", port_);
    bounds_ = ClampBounds(bounds_, screen);
    resize(bounds_.size());
    move(bounds_.topLeft());
    ui->StartMinimizedCheckBox->setChecked(runMinimized);
    QMetaObject::invokeMethod(this, EventHandler([this] { WMStartUp(); }), Qt::QueuedConnection);
}

void TPortlornForm::WMStartUp()
{
    if (alreadyRunning_) {
        close();
        return;
    }
    // The bounds stand since the first show, so a window hidden here comes back in its place.
    // Into the tray, it was never shown (see setVisible): here the icon appears.
    if (ui->StartMinimizedCheckBox->isChecked())
        HideToTray();
    setWindowTitle(QString::fromStdString(TitleLine()));
    repaint();
    AddLog("Local IP = " + localAddr_);
    StartServer();
    UpdateClientCount();
    if (users_.empty()) {
        Dialogs().MessageBox("This is the first time running Quenlow\nPlease add a user for acessing this server!",
                             "First Time Running", MB_OK | MB_ICONINFORMATION);
        AddUser1Click();
    }
}

void TPortlornForm::StartServer()
{
    if (portlorn1_->Active())
        return; // already listening: the lamp stays green
    ui->RedImage->show();
    ui->GreenImage->hide();
    repaint();
    // Never a port the setting does not name: the socket would take 99999 as 34463 and 0 as any.
    if (PortNumber(port_) == 0) {
        AddLog("! Port \"" + port_ + "\" is not a port from 1 to 65535: the server is not started");
        return;
    }
    portlorn1_->SetPort(port_);
    portlorn1_->Start();
}

void TPortlornForm::StopServer()
{
    portlorn1_->Stop();
    portlorn1_->DisconnectAll();
    // The clients just dropped fire no disconnect event: the count is brought up to date here.
    UpdateClientCount();
}

void TPortlornForm::SaveUsers()
{
    if (!settingsWritable_) {
        AddLog("! The accounts are not saved: " + settingsPath_ + " could not be kept under another name");
        return;
    }
    ::SaveUsers(*ini_, users_);
    ini_->UpdateFile();
}

void TPortlornForm::HideToTray()
{
    // Without a notification area the window would be lost: it is minimised instead.
    if (!TTrayIcon::Available()) {
        showMinimized();
        return;
    }
    trayIcon1_->SetActive(true);
    hide();
}

void TPortlornForm::RestoreFromTray()
{
    trayIcon1_->SetActive(false);
    showNormal();
    raise();
    activateWindow();
}

void TPortlornForm::Start1Click() { StartServer(); }
void TPortlornForm::Stop1Click() { StopServer(); }
void TPortlornForm::Quit1Click() { close(); }
void TPortlornForm::HidetoTray1Click() { HideToTray(); }
void TPortlornForm::Cleardisplay1Click()
{
    pendingLog_.clear();
    logTimer_->stop();
    ui->InfoMemo->clear();
}

void TPortlornForm::AddUser1Click()
{
    RunAddUser(this, users_, [this] { SaveUsers(); });
}

void TPortlornForm::UserInfo1Click()
{
    RunUserInfo(this, users_, [this] { SaveUsers(); });
}

void TPortlornForm::ServerPort1Click()
{
    std::string answer = port_;
    if (!Dialogs().InputQuery("Server Port", "Port = ", answer))
        return;
    if (!IsPortText(answer))
        return;
    if (PortNumber(answer) == 0) {
        Dialogs().MessageBox("Port \"" + answer + "\" is not a port from 1 to 65535.", "Server Port",
                             MB_OK | MB_ICONERROR);
        return;
    }
    port_ = answer;
    StopServer();
    StartServer();
}

void TPortlornForm::About1Click()
{
    RunAbout(this);
}

void TPortlornForm::ImageDblClick()
{
    if (portlorn1_->Active())
        StopServer();
    else
        StartServer();
}

bool TPortlornForm::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonDblClick && (watched == ui->GreenImage || watched == ui->RedImage)) {
        Guarded([this] { ImageDblClick(); });
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TPortlornForm::closeEvent(QCloseEvent* event)
{
    event->accept();
    // Qt may deliver the close twice (widget, then its window): act once.
    if (closing_)
        return;
    FormClose();
    if (OnClose)
        Guarded(OnClose);
}

void TPortlornForm::FormClose()
{
    closing_ = true;
    if (alreadyRunning_)
        return; // the other copy owns the settings
    // Nothing that fails while closing may keep the window open.
    try {
        StopServer();
    } catch (...) {
    }
    if (!startedOnce_ || !settingsWritable_)
        return; // never shown, or a file that must not be written over
    try {
        // The frame's place and the inside's size, as they are read back.
        QRect r(pos(), size());
        ini_->WriteInteger("Window", "Top", r.top());
        ini_->WriteInteger("Window", "Left", r.left());
        ini_->WriteInteger("Window", "Width", r.width());
        ini_->WriteInteger("Window", "Height", r.height());
        ini_->WriteInteger("Window", "RunMinimized", ui->StartMinimizedCheckBox->isChecked() ? 1 : 0);
        ini_->WriteString("Data", "Port", port_);
        ini_->UpdateFile();
    } catch (...) {
    }
}
