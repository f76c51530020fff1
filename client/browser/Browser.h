#pragma once
// The "FTP browser" window: one TFtpView filling it.
#include <QDialog>
#include <memory>

#include "client/browser/BrFtpView.h"
#include "client/browser/BrTypes.h"

namespace Ui { class TfmBrowser; }
namespace os { class QtLoopBridge; }

class TfmBrowser : public QDialog {
public:
    explicit TfmBrowser(QWidget* parent = nullptr, TFtpThreadConfig Config = {});
    ~TfmBrowser() override;

    TFtpView& View() { return *FView; }

private:
    void FormCreate(TFtpThreadConfig Config);

    std::unique_ptr<Ui::TfmBrowser> ui;
    // The GUI thread's message loop carries the worker's results.
    std::unique_ptr<os::QtLoopBridge> FPump;
    TFtpView* FView = nullptr;
};

// Opens the window modally for a site, connects and returns when it closes.
void RunFtpBrowser(QWidget* parent, const TBrHostInfo& Host);
