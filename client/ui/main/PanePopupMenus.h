#pragma once
// The file panes' pop-up menus. Each item runs the main window's action of
// the same command (found by object name), so a command's enabling stays
// with the main menu's rules; the items only carry their own captions.
#include <QObject>
#include <QPoint>

class QAction;
class QMenu;
class QWidget;
class TfmMain;

// The menu a pane shows for a session state and whether a row is selected:
// "pmHostSelected", "pmHostNoSelect", "pmLocalSelected", "pmLocalNoSelect",
// or nullptr when the pane shows none (the remote pane only while
// connected, the local pane while ready or connected).
const char* PanePopupMenuName(bool local, int state, bool rowSelected);

class TPanePopupMenus : public QObject {
public:
    // Builds the four menus as children of window.
    explicit TPanePopupMenus(TfmMain& window);

    // Shows the pane's menu when the pane (any widget) asks for a context
    // menu, by the mouse or by the keyboard.
    void Attach(QWidget* pane, bool local);
    // Shows the menu that fits the pane now at global; the menu shown or nullptr.
    QMenu* Popup(bool local, const QPoint& global);

private:
    QMenu* NewMenu(const char* name);
    // An item captioned text that runs the window's action named action.
    void AddItem(QMenu* menu, const char* text, const char* action);
    // The "View" sub-menu (the pane's own view style) and "Arrange Icons".
    void AddViewItems(QMenu* menu, bool local);

    TfmMain& window_;
};
