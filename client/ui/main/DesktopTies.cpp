#include "client/ui/main/DesktopTies.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QEvent>
#include <QFileInfo>
#include <QMenu>
#include <QStyle>
#include <QTimer>
#include <QUrlQuery>
#include <QWidget>
#include <QWindow>

#include "platform/dialogs/EventHandler.h"

TDesktopTies::TDesktopTies(QWidget* window, std::function<int()> promoteMethod, std::function<bool()> hideOnMinimize)
    : window_(window), promoteMethod_(std::move(promoteMethod)), hideOnMinimize_(std::move(hideOnMinimize))
{
    OpenUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    Flash = [](QWidget* w) { QApplication::alert(w); };
    tray_.SetIcon(window->style()->standardIcon(QStyle::SP_DriveNetIcon));
    tray_.SetToolTip(QApplication::applicationName().toStdString());
    tray_.OnDblClick = [this](TObject*) { TrayIcon1DblClick(); };
    window_->installEventFilter(this);
}

TDesktopTies::~TDesktopTies()
{
    window_->removeEventFilter(this);
    if (QWindow* native = window_->windowHandle()) native->removeEventFilter(this);
    tray_.SetActive(false);
}

void TDesktopTies::DrawAttention()
{
    const int method = promoteMethod_();
    if (method == 2 || (window_->isActiveWindow() && window_->isVisible())) return;
    if (tray_.Active()) TrayIcon1DblClick();
    if (method == 0) {
        if (window_->isMinimized()) window_->setWindowState(window_->windowState() & ~Qt::WindowMinimized);
        window_->show();
        window_->raise();
        window_->activateWindow();
    } else if (method == 1) {
        Flash(window_);
    }
}

void TDesktopTies::miHideClick()
{
    if (!TTrayIcon::Available()) {
        window_->showMinimized();
        return;
    }
    tray_.SetActive(true);
    window_->hide();
}

void TDesktopTies::TrayIcon1DblClick()
{
    tray_.SetActive(false);
    if (window_->isMinimized()) window_->setWindowState(window_->windowState() & ~Qt::WindowMinimized);
    window_->show();
}

QUrl TDesktopTies::TellAFriendMail()
{
    QUrl url("mailto:");
    QUrlQuery query;
    query.addQueryItem("subject", "An FTP client worth a look: Skelwick");
    query.addQueryItem("body", "Hello,\n\nI move my files with Skelwick, a small FTP client for Linux: several "
                               "connections at once, a site book and resumable transfers. You can find it at "
                               + QString(kHomePage) + "\n");
    url.setQuery(query);
    return url;
}

std::string TDesktopTies::ShortcutText(const std::string& hostBox, const TQuickSite& bar,
                                       const std::vector<std::string>& quickConnectList)
{
    if (hostBox.empty()) return {};
    const TQuickSite site = ResolveQuickSite(hostBox, bar, quickConnectList);
    if (hostBox.find(':') != std::string::npos && site.Host == hostBox) return hostBox;
    return site.Host + ":" + site.Port + ":" + site.User + ":" + site.Pass;
}

bool TDesktopTies::ContentClick(const std::string& programDir)
{
    const std::string help = HelpFile(programDir);
    if (!QFileInfo(QString::fromStdString(help)).isFile()) return false;
    return OpenUrl(QUrl::fromLocalFile(QString::fromStdString(help)));
}

void TDesktopTies::AddMakerItems(QMenu* menu, QAction* before)
{
    const struct {
        const char* name;
        const char* text;
        QUrl url;
    } items[] = {
        {"miEMailToAuthor", "&EMail to &Author", QUrl(kAuthorMail)},
        {"miHomePage", "Skelwick &Home Page", QUrl(kHomePage)},
        {"miCheckNewVersion", "Check New &Version", QUrl(kNewVersionPage)},
        {"miTellAFriend", "Tell a friend", TellAFriendMail()},
    };
    for (const auto& item : items) {
        auto* a = new QAction(item.text, menu);
        a->setObjectName(item.name);
        ConnectHandler(a, &QAction::triggered, this, [this, url = item.url] { OpenUrl(url); });
        menu->insertAction(before, a);
    }
}

bool TDesktopTies::eventFilter(QObject* watched, QEvent* event)
{
    // Hiding inside the state change would fight the window manager's own
    // handling of it: hide once the event is done.
    if (watched == window_ && event->type() == QEvent::WindowStateChange && window_->isMinimized()
        && hideOnMinimize_() && TTrayIcon::Available())
        QTimer::singleShot(0, this, EventHandler([this] {
                               if (window_->isMinimized()) miHideClick();
                           }));
    // Back from minimised (by the window manager or by the clearing below):
    // a later minimise starts afresh.
    if (watched == window_ && event->type() == QEvent::WindowStateChange && !window_->isMinimized())
        offScreenWhileMinimised_ = false;
    // The native window comes with the first show; its exposure is watched.
    if (watched == window_ && event->type() == QEvent::Show && window_->windowHandle())
        window_->windowHandle()->installEventFilter(this);
    // A window the program minimised and the user brought back from the task
    // bar is shown again without Qt hearing of it: it would go on counting as
    // minimised (its bounds not kept, the next minimise not seen). Shown on
    // the screen again after it was taken off it, it is not minimised. An
    // exposure queued before the minimise took the window off the screen
    // (another window moving away) is no such return: undoing the minimise
    // there would keep a window from the tray.
    if (watched == window_->windowHandle() && event->type() == QEvent::Expose) {
        const bool exposed = window_->windowHandle()->isExposed();
        if (!window_->isMinimized()) offScreenWhileMinimised_ = false;
        else if (!exposed) offScreenWhileMinimised_ = true;
        else if (offScreenWhileMinimised_)
            QTimer::singleShot(0, this, EventHandler([this] {
                                   if (window_->isMinimized() && window_->windowHandle()->isExposed()) {
                                       offScreenWhileMinimised_ = false;
                                       window_->setWindowState(window_->windowState() & ~Qt::WindowMinimized);
                                   }
                               }));
    }
    return QObject::eventFilter(watched, event);
}
