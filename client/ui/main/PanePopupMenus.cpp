#include "client/ui/main/PanePopupMenus.h"

#include <QAbstractScrollArea>
#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QPointer>
#include <stdexcept>
#include <string>

#include "client/ui/main/Main.h"
#include "platform/dialogs/EventHandler.h"

const char* PanePopupMenuName(bool local, int state, bool rowSelected)
{
    if (local) {
        if (state != ssReady && state != ssConnected) return nullptr;
        return rowSelected ? "pmLocalSelected" : "pmLocalNoSelect";
    }
    if (state != ssConnected) return nullptr;
    return rowSelected ? "pmHostSelected" : "pmHostNoSelect";
}

TPanePopupMenus::TPanePopupMenus(TfmMain& window) : QObject(&window), window_(window)
{
    QMenu* m = NewMenu("pmHostSelected");
    AddItem(m, "Download", "miDownload");
    AddItem(m, "Edit", "miEdit");
    AddItem(m, "View", "miView");
    AddItem(m, "Move", "miMove");
    AddItem(m, "Copy URL", "miCopyUrl");
    AddItem(m, "Invert Selection", "miInvertSelection");
    AddItem(m, "Delete", "miDelete");
    AddItem(m, "Change Mode", "miChangeMode");
    AddItem(m, "Rename", "miRename");
    AddItem(m, "Calculate Size", "miCalcSize");

    for (const bool local : {false, true}) {
        m = NewMenu(local ? "pmLocalNoSelect" : "pmHostNoSelect");
        AddViewItems(m, local);
        AddItem(m, "Select All", "miSelectAll");
        AddItem(m, "Make Directory", "miMakeDirectory");
        AddItem(m, "Change Directory", "miChangeDirectory");
        AddItem(m, "Refresh", "miRefresh");
        if (local) AddItem(m, "Open Current Directory", "miOpenCurrentDirectory");
    }

    m = NewMenu("pmLocalSelected");
    AddItem(m, "Upload", "miUpload");
    AddItem(m, "Edit", "miEdit");
    AddItem(m, "View", "miView");
    AddItem(m, "Move", "miMove");
    AddItem(m, "Execute", "miExecute");
    AddItem(m, "Invert Selection", "miInvertSelection");
    AddItem(m, "Delete", "miDelete");
    AddItem(m, "Rename", "miRename");
    AddItem(m, "Properties", "miProperties");
}

QMenu* TPanePopupMenus::NewMenu(const char* name)
{
    auto* menu = new QMenu(&window_);
    menu->setObjectName(name);
    return menu;
}

void TPanePopupMenus::AddItem(QMenu* menu, const char* text, const char* action)
{
    QAction* same = window_.findChild<QAction*>(action);
    if (!same) throw std::logic_error(std::string("the main window has no action ") + action);
    QAction* item = menu->addAction(text);
    item->setObjectName(menu->objectName() + QString(text).remove(' '));
    // Enabled exactly when the main menu's item is; a disabled action ignores trigger().
    item->setEnabled(same->isEnabled());
    ConnectHandler(same, &QAction::changed, item, [item, same] { item->setEnabled(same->isEnabled()); });
    ConnectHandler(item, &QAction::triggered, item, [same] { same->trigger(); });
}

void TPanePopupMenus::AddViewItems(QMenu* menu, bool local)
{
    const QString prefix = local ? "pmLocal" : "pmHost";
    QMenu* view = menu->addMenu("View");
    view->setObjectName(prefix + "View");
    auto* group = new QActionGroup(view);
    const char* styles[] = {"Large Icons", "Small Icons", "List", "Details"};
    for (int tag = 0; tag < 4; ++tag) {
        QAction* item = view->addAction(styles[tag]);
        item->setObjectName(prefix + QString(styles[tag]).remove(' '));
        item->setCheckable(true);
        group->addAction(item);
        ConnectHandler(item, &QAction::triggered, item, [this, local, tag] { window_.SetPaneViewStyle(local, tag); });
    }
    // The check mark shows this pane's style, whoever changed it last.
    ConnectHandler(view, &QMenu::aboutToShow, view, [this, view, local] {
        const int current = window_.PaneViewStyle(local);
        const auto items = view->actions();
        for (int tag = 0; tag < items.size(); ++tag) items[tag]->setChecked(tag == current);
    });
    QMenu* arrange = menu->addMenu("Arrange Icons");
    arrange->setObjectName(prefix + "ArrangeIcons");
    AddItem(arrange, "By Name", "miByName");
    AddItem(arrange, "By Extension", "miByExtension");
    AddItem(arrange, "By Size", "miBySize");
    AddItem(arrange, "By DateTime", "miByDateTime");
}

void TPanePopupMenus::Attach(QWidget* pane, bool local)
{
    pane->setContextMenuPolicy(Qt::CustomContextMenu);
    QPointer<QWidget> guard(pane);
    ConnectHandler(pane, &QWidget::customContextMenuRequested, this, [this, guard, local](const QPoint& at) {
        if (!guard) return;
        // A scroll area reports the place in its viewport.
        auto* area = qobject_cast<QAbstractScrollArea*>(guard.data());
        const QWidget* origin = area ? area->viewport() : guard.data();
        // The commands act on the focused pane: the one the menu is for.
        guard->setFocus(Qt::OtherFocusReason);
        Popup(local, origin->mapToGlobal(at));
    });
}

QMenu* TPanePopupMenus::Popup(bool local, const QPoint& global)
{
    const char* name = PanePopupMenuName(local, window_.SessionState(), !window_.SelectedRows(local).empty());
    if (!name) return nullptr;
    auto* menu = window_.findChild<QMenu*>(name, Qt::FindDirectChildrenOnly);
    if (!menu) return nullptr;
    window_.UpdateEnabling();
    menu->popup(global);
    return menu;
}
