#pragma once
// TPortlornForm: the server's main and only window. It owns the server
// component and the account list, answers the component's login, folder and
// write checks from that list, shows a running/stopped lamp and the client
// count, logs the traffic, and keeps settings and accounts in "portlorn.ini"
// beside the program.
#include <QMainWindow>
#include <QElapsedTimer>
#include <QRect>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "server/ui/UserAccount.h"

namespace Ui { class TPortlornForm; }
namespace rtl { class TIniFile; }
class TPortlorn;
class TFtpCtrlSocket;
class TTrayIcon;
class TSingleInstance;
class QTimer;

class TPortlornForm : public QMainWindow {
public:
    // programFolder holds the program's files; programName names the settings file.
    explicit TPortlornForm(const std::string& programFolder, const std::string& programName = "Portlorn",
                           QWidget* parent = nullptr);
    ~TPortlornForm() override;

    // True when another copy already serves this program folder: that copy
    // stays, this one closes without showing anything and starts no server.
    bool AlreadyRunning() const { return alreadyRunning_; }

    TPortlorn* Portlorn1() const { return portlorn1_.get(); }
    TTrayIcon* TrayIcon1() const { return trayIcon1_.get(); }
    TUserList& Users() { return users_; }
    const std::string& PortSetting() const { return port_; }
    const std::string& SettingsFile() const { return settingsPath_; }
    const std::string& LocalAddress() const { return localAddr_; }
    std::string TitleLine() const;

    // Runs after the window closed and saved its settings (the program ends there).
    std::function<void()> OnClose;

    void StartServer();
    void StopServer();
    void SaveUsers();
    // The log keeps the newest lines; a server left running for weeks must
    // not grow without bound.
    static constexpr int MaxLogLines = 20000;
    // The window's size as designed, used when no bounds were saved.
    static constexpr QSize DesignedSize{392, 273};
    // Log lines reach the memo in batches, a short while after they come;
    // while data flows they wait, up to LogHoldMs, so that drawing the memo
    // never holds a transfer up. FlushLog appends what is waiting at once.
    static constexpr int LogHoldMs = 1000;
    void AddLog(const std::string& line);
    void FlushLog();
    void UpdateClientCount();
    void HideToTray();
    void RestoreFromTray();

    // The menu commands.
    void Start1Click();
    void Stop1Click();
    void Quit1Click();
    void HidetoTray1Click();
    void Cleardisplay1Click();
    void AddUser1Click();
    void UserInfo1Click();
    void ServerPort1Click();
    void About1Click();
    void ImageDblClick();

protected:
    void setVisible(bool visible) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    void WMStartUp();
    void FormClose();
    void WireComponent();
    // The log timer: flushes, unless data flows and the lines may wait longer.
    void LogTimerElapsed();
    // A data connection closed: what waited goes out shortly.
    void DataSessionEnded();
    // A settings file that cannot be read is moved out of the way, so that
    // nothing written later lands on it; notes get what the log says.
    void SetDamagedSettingsAside(std::vector<std::string>& notes);
    // The settings file under a name of its own ("" when it cannot be moved: nothing is saved then).
    std::string KeepSettingsAside(std::vector<std::string>& notes);
    // Accounts read past a damaged count: the file is kept and they are saved anew.
    void RepairAccounts(const std::string& damage, std::vector<std::string>& notes);
    const TUserInfo& AccountOf(TFtpCtrlSocket* client) const;
    bool ValidateWrite(TFtpCtrlSocket* client, const std::string& path) const;
    std::string ClientHome(const TUserInfo& user) const;

    std::unique_ptr<Ui::TPortlornForm> ui;
    std::string programFolder_;
    std::string programName_;
    std::string settingsPath_;
    std::unique_ptr<rtl::TIniFile> ini_;
    std::string port_ = "21";
    std::unique_ptr<TPortlorn> portlorn1_;
    std::unique_ptr<TTrayIcon> trayIcon1_;
    std::unique_ptr<TSingleInstance> instance_;
    std::string localAddr_;
    TUserList users_;
    QStringList pendingLog_;
    QTimer* logTimer_ = nullptr;
    // When the oldest line waiting came.
    QElapsedTimer pendingSince_;
    QRect bounds_;
    bool startedOnce_ = false;
    bool alreadyRunning_ = false;
    bool closing_ = false;
    // False once a damaged settings file could not be moved aside: it is never written then.
    bool settingsWritable_ = true;
};
