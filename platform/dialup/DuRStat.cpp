#include "platform/dialup/DuRStat.h"

#include <QGuiApplication>
#include <QScreen>

#include "platform/dialogs/EventHandler.h"
#include "ui_DuRStat.h"

TRasStatusDisplay::TRasStatusDisplay(os::HWND owner, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      ui(std::make_unique<Ui::TRasStatusDisplay>()), owner_(owner)
{
    ui->setupUi(this);
    setFixedSize(size());
    ConnectHandler(ui->CancelBtn, &QPushButton::clicked, this, [this] { CancelBtnClick(); });
}

TRasStatusDisplay::~TRasStatusDisplay() = default;

void TRasStatusDisplay::SetStatusText(const std::string& text)
{
    ui->Panel1->setText(QString::fromStdString(text));
}

std::string TRasStatusDisplay::StatusText() const
{
    return ui->Panel1->text().toStdString();
}

void TRasStatusDisplay::CancelBtnClick()
{
    // Posted, not called: the hang-up frees this form, which must not
    // happen inside its own click.
    os::PostMessage(owner_, TRasStatus::WM_RASSTATUSCANCEL, 1, 0);
}

TRasStatus::TRasStatus()
{
    handle_ = CreateGuardedMessageTarget(
        [this](os::UINT message, os::WPARAM wParam, os::LPARAM lParam) { WndProc(message, wParam, lParam); });
}

TRasStatus::~TRasStatus()
{
    HideStatus();
    os::DestroyMessageTarget(handle_);
}

void TRasStatus::ShowStatus(const std::string& entryName)
{
    if (form_)
        return;
    form_ = std::make_unique<TRasStatusDisplay>(handle_);
    form_->setWindowTitle(QString::fromStdString("Connecting to " + entryName + "..."));
    form_->RasDialer = RasDialer();
    if (QScreen* screen = QGuiApplication::primaryScreen())
        form_->move(screen->availableGeometry().center() - form_->rect().center());
    form_->show();
}

void TRasStatus::HideStatus()
{
    form_.reset();
}

void TRasStatus::SetStatusText(const std::string& text)
{
    if (form_)
        form_->SetStatusText(text);
}

void TRasStatus::WndProc(os::UINT message, os::WPARAM wParam, os::LPARAM)
{
    if (message != WM_RASSTATUSCANCEL || wParam != 1 || !RasDialer())
        return;
    RasDialer()->HangUpConnection();
    if (OnCancel)
        OnCancel(this);
}
