#include "platform/tray/Trayicon.h"

#include <QCursor>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>
#include <cstdlib>

#include "platform/dialogs/EventHandler.h"
#include "platform/tray/SingleInstance.h"

namespace {
int availableOverride = -1;
}

TTrayIcon::TTrayIcon() : tray_(std::make_unique<QSystemTrayIcon>())
{
    ConnectHandler(tray_.get(), &QSystemTrayIcon::activated, tray_.get(),
                     [this](QSystemTrayIcon::ActivationReason reason) {
                         switch (reason) {
                         case QSystemTrayIcon::Trigger: LeftButtonUp(); break;
                         case QSystemTrayIcon::DoubleClick: LeftButtonDblClick(); break;
                         case QSystemTrayIcon::Context: RightButtonUp(); break;
                         default: break;
                         }
                     });
    Halt = [] { std::exit(0); };
}

TTrayIcon::~TTrayIcon()
{
    if (active_)
        DeleteIcon();
}

bool TTrayIcon::Available()
{
    if (availableOverride >= 0)
        return availableOverride != 0;
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void TTrayIcon::SetAvailableOverride(int available)
{
    availableOverride = available;
}

void TTrayIcon::SetActive(bool value)
{
    if (value == active_)
        return;
    active_ = value;
    if (value)
        AddIcon();
    else
        DeleteIcon();
}

void TTrayIcon::SetIcon(const QIcon& icon)
{
    icon_ = icon;
    ModifyIcon();
}

void TTrayIcon::SetToolTip(const std::string& value)
{
    toolTip_ = value.size() > MaxToolTip ? value.substr(0, MaxToolTip) : value;
    ModifyIcon();
}

void TTrayIcon::SetAppWindow(QWidget* window)
{
    appWindow_ = window;
}

void TTrayIcon::SetShowApp(bool value)
{
    showApp_ = value;
    // Applied every time, changed or not, as the owner may have moved the window meanwhile.
    if (appWindow_)
        appWindow_->setVisible(value);
}

bool TTrayIcon::AddIcon()
{
    tray_->setIcon(icon_);
    tray_->setToolTip(QString::fromStdString(toolTip_));
    if (!Available())
        return false;
    tray_->show();
    return tray_->isVisible();
}

bool TTrayIcon::ModifyIcon()
{
    tray_->setIcon(icon_);
    tray_->setToolTip(QString::fromStdString(toolTip_));
    return true;
}

bool TTrayIcon::DeleteIcon()
{
    tray_->hide();
    return true;
}

bool TTrayIcon::Shown() const
{
    return tray_->isVisible();
}

void TTrayIcon::LeftButtonUp()
{
    if (OnClick)
        OnClick(this);
}

void TTrayIcon::LeftButtonDblClick()
{
    if (OnDblClick)
        OnDblClick(this);
}

void TTrayIcon::RightButtonUp()
{
    PopupAtCursor();
}

void TTrayIcon::PopupAtCursor()
{
    QPoint pos = QCursor::pos();
    if (popupMenu_) {
        if (appWindow_)
            appWindow_->activateWindow();
        popupMenu_->exec(pos);
    }
    if (OnRightClick)
        OnRightClick(this, mbRight, 0, pos.x(), pos.y());
}

bool TTrayIcon::BroadcastIDMessage()
{
    if (idMessage_.empty())
        return false;
    TSingleInstance knock;
    // Claiming a held name knocks on its holder; a free one is let go again.
    bool free = knock.Claim(idMessage_);
    return !free;
}

bool TTrayIcon::Loaded()
{
    if (!idMessage_.empty()) {
        instance_ = std::make_unique<TSingleInstance>();
        instance_->OnMessage = [this](TObject*) {
            if (OnIDMessage)
                OnIDMessage(this);
        };
        if (!instance_->Claim(idMessage_)) {
            instance_.reset();
            if (Halt)
                Halt();
            return false;
        }
    }
    SetShowApp(showApp_);
    return true;
}
