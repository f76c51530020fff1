#include "client/browser/Browser.h"

#include "os/qt/QtLoopBridge.h"
#include "ui_Browser.h"

TfmBrowser::TfmBrowser(QWidget* parent, TFtpThreadConfig Config)
    : QDialog(parent), ui(std::make_unique<Ui::TfmBrowser>()), FPump(std::make_unique<os::QtLoopBridge>())
{
    ui->setupUi(this);
    FormCreate(std::move(Config));
}

TfmBrowser::~TfmBrowser()
{
    // The view (with its workers) before the pump that carries their results.
    delete FView;
    FView = nullptr;
}

void TfmBrowser::FormCreate(TFtpThreadConfig Config)
{
    FView = new TFtpView(this, std::move(Config));
    ui->mainLayout->addWidget(FView);
    FView->show();
}

void RunFtpBrowser(QWidget* parent, const TBrHostInfo& Host)
{
    TfmBrowser form(parent);
    form.View().SetHostName(Host.HostName);
    form.View().Manager().Connect(Host);
    form.exec();
}
