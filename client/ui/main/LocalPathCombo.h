#pragma once
// The local path box: the host's stand-in for drives and path levels. The
// root is the one drive, each folder on the way down to the current one is a
// level below it, and the user's home folder is a second drive when the path
// does not pass through it.
#include <QStyledItemDelegate>
#include <functional>
#include <string>
#include <vector>

class QComboBox;

struct TLocalPathItem {
    std::string Path;  // the folder, ending "/"
    std::string Text;  // what the box shows: the folder's name, the root and home in full
    int Depth = 1;     // 1 for a drive (the root, home), one more per level below it
    bool Current = false;
};

// The items for path (ending "/"): "/" at depth 1, then each folder of path
// below the root, then home (when given) at depth 1 unless path is home or
// lies below it. The last item on path's way down is the current one.
std::vector<TLocalPathItem> LocalPathItems(const std::string& path, const std::string& home);

// Fills box with items (folder icons, the current one open and selected).
void FillLocalPathCombo(QComboBox* box, const std::vector<TLocalPathItem>& items);

// The path of a box item, as FillLocalPathCombo stored it.
std::string LocalPathOfItem(const QComboBox* box, int index);

// Draws the dropped-down list: each item indented by its depth, drives
// followed by their free space while freeSpace() holds.
class TLocalPathDelegate : public QStyledItemDelegate {
public:
    TLocalPathDelegate(std::function<bool()> freeSpace, QObject* parent);
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    // The text drawn for an item: its name, and for a drive its free space when asked.
    std::string ItemText(const QModelIndex& index) const;

private:
    std::function<bool()> freeSpace_;
};
