#pragma once
// TTrayIcon puts an icon with a tool tip into the notification area and turns
// mouse actions on it into events. A window hides itself into the tray by
// setting Active and comes back on OnDblClick. Where the desktop has no
// notification area (many Linux desktops, and every offscreen test) Active is
// kept but nothing is shown: callers ask Available() before hiding a window.
#include <QIcon>
#include <functional>
#include <memory>
#include <string>

#include "rtl/Object.h"

class QMenu;
class QSystemTrayIcon;
class QWidget;
class TSingleInstance;

enum TMouseButton { mbLeft, mbRight, mbMiddle };
using TShiftState = unsigned; // no shift keys = 0

class TTrayIcon : public TObject {
public:
    static constexpr std::size_t MaxToolTip = 62;

    TTrayIcon();
    ~TTrayIcon() override;
    TTrayIcon(const TTrayIcon&) = delete;
    TTrayIcon& operator=(const TTrayIcon&) = delete;

    bool Active() const { return active_; }
    void SetActive(bool value);
    bool ShowDesigning() const { return false; }
    const QIcon& Icon() const { return icon_; }
    void SetIcon(const QIcon& icon);
    const std::string& IDMessage() const { return idMessage_; }
    void SetIDMessage(const std::string& value) { idMessage_ = value; }
    bool ShowApp() const { return showApp_; }
    void SetShowApp(bool value);
    const std::string& ToolTip() const { return toolTip_; }
    void SetToolTip(const std::string& value);
    QMenu* PopupMenu() const { return popupMenu_; }
    void SetPopupMenu(QMenu* menu) { popupMenu_ = menu; }

    // The window ShowApp shows and hides (none: ShowApp is only kept).
    QWidget* AppWindow() const { return appWindow_; }
    void SetAppWindow(QWidget* window);

    std::function<void(TObject* Sender)> OnClick;
    std::function<void(TObject* Sender)> OnDblClick;
    std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)> OnRightClick;
    // Fired in the first copy when a second copy with the same IDMessage started.
    std::function<void(TObject* Sender)> OnIDMessage;
    // Ends the program when another copy holds IDMessage; the default exits at once.
    std::function<void()> Halt;

    // Whether the desktop has a notification area at all.
    static bool Available();
    // Tests stand in a notification area where the platform has none (-1: ask the platform).
    static void SetAvailableOverride(int available);

    // After the owner's properties are set: the single-instance check of
    // IDMessage, then ShowApp applied. False when this copy must end.
    bool Loaded();
    bool BroadcastIDMessage();

    // What the shell would be told; true when it took the request.
    bool AddIcon();
    bool ModifyIcon();
    bool DeleteIcon();

    // The mouse actions, as the notification area reports them.
    void LeftButtonUp();
    void LeftButtonDblClick();
    void RightButtonUp();
    void PopupAtCursor();

    // Whether the icon is in the notification area now.
    bool Shown() const;
    QSystemTrayIcon* Handle() const { return tray_.get(); }

private:
    bool active_ = false;
    bool showApp_ = false;
    QIcon icon_;
    std::string idMessage_;
    std::string toolTip_;
    QMenu* popupMenu_ = nullptr;
    QWidget* appWindow_ = nullptr;
    std::unique_ptr<QSystemTrayIcon> tray_;
    std::unique_ptr<TSingleInstance> instance_;
};
