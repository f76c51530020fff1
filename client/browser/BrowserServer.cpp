#include "client/browser/BrowserServer.h"

#include "client/browser/BrTypes.h"
#include "client/browser/Remote.h"
#include "net/FtpCli.h"
#include "os/qt/QtLoopBridge.h"
#include "ui_BrowserServer.h"

namespace browser {

TfmBrowserServer::TfmBrowserServer(QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TfmBrowserServer>()), FPump(std::make_unique<os::QtLoopBridge>())
{
    ui->setupUi(this);
    FormCreate();
}

TfmBrowserServer::~TfmBrowserServer()
{
    // TRemote first, then the client, which closes its connection.
    FRemote.reset();
    FClient.reset();
}

void TfmBrowserServer::FormCreate()
{
    FClient = std::make_unique<TFtpClient>();
    // The FTP browser's reply limit: a server that stops answering ends the step.
    FClient->SetTimeout(kBrReplyTimeoutSeconds);
    FRemote = std::make_unique<TRemote>(ui->ComboBox1, ui->RichEdit1, FClient.get(), ui->Panel2, ui->ListView1);
    FRemote->Now = [] { return std::chrono::steady_clock::now(); };
}

void RunBrowseServer(QWidget* parent, const std::string& Host, const std::string& User, const std::string& PassWord,
                     const std::string& Port)
{
    TfmBrowserServer form(parent);
    form.Client().SetHostName(Host);
    form.Client().SetUserName(User);
    form.Client().SetPassWord(PassWord);
    form.Client().SetPort(Port.empty() ? "21" : Port);
    form.Remote().Connect();
    form.exec();
}

} // namespace browser
