#pragma once
// The main window's ties to the desktop: drawing the user's attention, hiding
// into the notification area and coming back from it, and the help items that
// hand an address to the desktop. Where there is no notification area a
// hidden window could never be found again, so "Hide" minimises instead.
#include <QObject>
#include <QUrl>
#include <functional>
#include <string>
#include <vector>

#include "client/engine/QuickSite.h"
#include "platform/tray/Trayicon.h"

class QAction;
class QMenu;
class QWidget;

class TDesktopTies : public QObject {
public:
    // promoteMethod and hideOnMinimize read the current settings.
    TDesktopTies(QWidget* window, std::function<int()> promoteMethod, std::function<bool()> hideOnMinimize);
    ~TDesktopTies() override;

    // PromoteMethod 0 brings the window to the front, 1 flashes it, 2 does nothing.
    void DrawAttention();
    void miHideClick();
    void TrayIcon1DblClick();
    TTrayIcon& TrayIcon1() { return tray_; }

    // The help page shipped beside the program.
    static constexpr const char* kHelpFile = "Skelwick.html";
    static std::string HelpFile(const std::string& programDir) { return programDir + kHelpFile; }
    // The project's own addresses behind the maker items.
    static constexpr const char* kHomePage = "https://skelwick.example.org/";
    static constexpr const char* kNewVersionPage = "https://skelwick.example.org/releases/";
    static constexpr const char* kAuthorMail = "mailto:skelwick@example.org";
    static QUrl TellAFriendMail();

    // "&Content" opens the help page; false when it is missing or nothing showed it.
    bool ContentClick(const std::string& programDir);
    // Adds the maker items to menu, before the item before (appended when none).
    void AddMakerItems(QMenu* menu, QAction* before);

    // The text a desktop shortcut starts the program with: the host box text
    // when it holds a ":" (a masked history entry looked up in full), else the
    // bar's host:port:user:password; empty for an empty host box.
    static std::string ShortcutText(const std::string& hostBox, const TQuickSite& bar,
                                    const std::vector<std::string>& quickConnectList);

    // How addresses and flashing reach the desktop; tests put recorders here.
    std::function<bool(const QUrl&)> OpenUrl;
    std::function<void(QWidget*)> Flash;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* window_;
    std::function<int()> promoteMethod_;
    std::function<bool()> hideOnMinimize_;
    TTrayIcon tray_;
    bool offScreenWhileMinimised_ = false;  // unexposed since it was minimised
};
