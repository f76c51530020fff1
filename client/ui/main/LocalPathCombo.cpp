#include "client/ui/main/LocalPathCombo.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QPainter>
#include <QStyle>

#include "client/engine/LocalFiles.h"

namespace {

constexpr int PathRole = Qt::UserRole;
constexpr int DepthRole = Qt::UserRole + 1;
constexpr int CurrentRole = Qt::UserRole + 2;
constexpr int IconSize = 16;

std::string WithSlash(std::string path)
{
    if (path.empty() || path.back() != '/') path += '/';
    return path;
}

} // namespace

std::vector<TLocalPathItem> LocalPathItems(const std::string& path, const std::string& home)
{
    const std::string current = path.empty() || path[0] != '/' ? std::string("/") : WithSlash(path);
    std::vector<TLocalPathItem> items{{"/", "/", 1, false}};
    int depth = 1;
    for (std::size_t slash = current.find('/', 1); slash != std::string::npos; slash = current.find('/', slash + 1)) {
        const std::string level = current.substr(0, slash + 1);
        const std::size_t nameStart = current.rfind('/', slash - 1) + 1;
        if (slash == nameStart) continue; // "//" adds no level
        items.push_back({level, current.substr(nameStart, slash - nameStart), ++depth, false});
    }
    items.back().Current = true;
    if (!home.empty() && home[0] == '/') {
        const std::string h = WithSlash(home);
        // Home shown already as a level of the path needs no drive of its own.
        if (h != "/" && current.compare(0, h.size(), h) != 0) items.push_back({h, h.substr(0, h.size() - 1), 1, false});
    }
    return items;
}

void FillLocalPathCombo(QComboBox* box, const std::vector<TLocalPathItem>& items)
{
    QStyle* style = box->style();
    const QIcon open = style->standardIcon(QStyle::SP_DirOpenIcon), closed = style->standardIcon(QStyle::SP_DirIcon);
    const QIcon home = style->standardIcon(QStyle::SP_DirHomeIcon);
    const bool blocked = box->blockSignals(true);
    box->clear();
    int current = -1;
    for (const auto& item : items) {
        const bool isHome = item.Depth == 1 && item.Path != "/";
        box->addItem(item.Current ? open : isHome ? home : closed, QString::fromStdString(item.Text));
        const int i = box->count() - 1;
        box->setItemData(i, QString::fromStdString(item.Path), PathRole);
        box->setItemData(i, item.Depth, DepthRole);
        box->setItemData(i, item.Current, CurrentRole);
        box->setItemData(i, QString::fromStdString(item.Path), Qt::ToolTipRole);
        if (item.Current) current = i;
    }
    box->setCurrentIndex(current);
    box->setToolTip(current >= 0 ? QString::fromStdString(items[std::size_t(current)].Path) : QString());
    box->blockSignals(blocked);
    // The list is as wide as its widest drawn item, free space included.
    box->view()->setMinimumWidth(box->view()->sizeHintForColumn(0) + 2 * box->view()->frameWidth());
}

std::string LocalPathOfItem(const QComboBox* box, int index)
{
    return box->itemData(index, PathRole).toString().toStdString();
}

TLocalPathDelegate::TLocalPathDelegate(std::function<bool()> freeSpace, QObject* parent)
    : QStyledItemDelegate(parent), freeSpace_(std::move(freeSpace))
{
}

std::string TLocalPathDelegate::ItemText(const QModelIndex& index) const
{
    std::string text = index.data(Qt::DisplayRole).toString().toStdString();
    if (index.data(DepthRole).toInt() == 1 && freeSpace_ && freeSpace_())
        text += DriveCaption("1:" + index.data(PathRole).toString().toStdString());
    return text;
}

void TLocalPathDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    const QIcon icon = opt.icon;
    const bool selected = opt.state & QStyle::State_Selected;
    // The style draws the row's background and highlight; the rest is drawn here.
    opt.text.clear();
    opt.icon = QIcon();
    const QWidget* widget = opt.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
    const int indent = index.data(DepthRole).toInt() * 8;
    const QRect r = option.rect;
    const QRect iconRect(r.left() + indent + 2, r.top() + (r.height() - IconSize) / 2, IconSize, IconSize);
    icon.paint(painter, iconRect, Qt::AlignCenter, selected ? QIcon::Selected : QIcon::Normal);
    const QRect textRect(r.left() + indent + IconSize + 4, r.top(), r.width() - indent - IconSize - 4, r.height());
    painter->save();
    painter->setPen(option.palette.color(QPalette::Normal, selected ? QPalette::HighlightedText : QPalette::Text));
    painter->setFont(opt.font);
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, QString::fromStdString(ItemText(index)));
    painter->restore();
}

QSize TLocalPathDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QFontMetrics fm(option.font);
    const int indent = index.data(DepthRole).toInt() * 8;
    const int text = fm.horizontalAdvance(QString::fromStdString(ItemText(index)));
    return {indent + IconSize + 4 + text + 8, std::max(IconSize + 4, fm.height() + 4)};
}
