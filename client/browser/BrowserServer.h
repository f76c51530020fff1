#pragma once
// The "Browse Server" window: browses one server over a connection of its
// own, on the GUI thread, independently of the main window's session.
#include <QDialog>
#include <memory>
#include <string>

namespace Ui { class TfmBrowserServer; }
namespace os { class QtLoopBridge; }
class TFtpClient;
class TRemote;

class TfmBrowserServer : public QDialog {
public:
    explicit TfmBrowserServer(QWidget* parent = nullptr);
    ~TfmBrowserServer() override;

    TFtpClient& Client() { return *FClient; }
    TRemote& Remote() { return *FRemote; }

private:
    void FormCreate();

    std::unique_ptr<Ui::TfmBrowserServer> ui;
    std::unique_ptr<os::QtLoopBridge> FPump;
    std::unique_ptr<TFtpClient> FClient;
    std::unique_ptr<TRemote> FRemote;
};

// Opens the window modally, connects directly to the site and returns when
// the window closes.
void RunBrowseServer(QWidget* parent, const std::string& Host, const std::string& User, const std::string& PassWord,
                     const std::string& Port);
