#include "client/ui/main/FilePaneView.h"

#include <QApplication>
#include <QDrag>
#include <QDropEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QListView>
#include <QMimeData>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QTreeView>
#include <algorithm>

#include "client/ui/main/FilePaneModel.h"

namespace {

// The two kinds of view hand their drags to the pane, so the drag's source
// is the pane (lvLocal, lvHost) whatever the style.
template <class Base>
class TPaneItemView : public Base {
public:
    explicit TPaneItemView(TFilePaneView* pane) : Base(pane), FPane(pane)
    {
        this->setSelectionMode(QAbstractItemView::ExtendedSelection);
        this->setSelectionBehavior(QAbstractItemView::SelectRows);
        this->setEditTriggers(QAbstractItemView::NoEditTriggers);
        this->setDragDropMode(QAbstractItemView::DragDrop);
        this->setAcceptDrops(true);
        this->viewport()->setAcceptDrops(true);
        this->setDragEnabled(false);
    }

protected:
    void startDrag(Qt::DropActions) override { FPane->StartDrag(); }
    void dragEnterEvent(QDragEnterEvent* e) override { FPane->DragEvent(e); }
    void dragMoveEvent(QDragMoveEvent* e) override { FPane->DragEvent(e); }
    void dropEvent(QDropEvent* e) override { FPane->DragEvent(e); }

private:
    TFilePaneView* FPane;
};

// Without whole-line selection only the name cell shows the highlight; the
// row stays selected as a whole.
class TNameHighlightDelegate : public QStyledItemDelegate {
public:
    TNameHighlightDelegate(const bool& entireLine, QObject* parent) : QStyledItemDelegate(parent), FEntireLine(entireLine) {}

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (!FEntireLine && index.column() > 0) option->state &= ~(QStyle::State_Selected | QStyle::State_HasFocus);
    }

private:
    const bool& FEntireLine;
};

} // namespace

TFilePaneView::TFilePaneView(QWidget* parent) : QStackedWidget(parent)
{
    auto* tree = new TPaneItemView<QTreeView>(this);
    tree->setObjectName("Details");
    tree->setRootIsDecorated(false);
    tree->setUniformRowHeights(true);
    tree->setItemsExpandable(false);
    tree->setAllColumnsShowFocus(true);
    tree->setSortingEnabled(false);
    tree->header()->setSectionsClickable(true);
    tree->header()->setStretchLastSection(true);
    tree->setItemDelegate(new TNameHighlightDelegate(FEntireLine, tree));
    FTree = tree;
    auto* list = new TPaneItemView<QListView>(this);
    list->setObjectName("Icons");
    list->setMovement(QListView::Static);
    list->setResizeMode(QListView::Adjust);
    list->setWrapping(true);
    list->setUniformItemSizes(true);
    FList = list;
    addWidget(FList);
    addWidget(FTree);
    setCurrentWidget(FTree);
    setFocusProxy(FTree);
    connect(FTree->header(), &QHeaderView::sectionClicked, this, &TFilePaneView::ColumnClicked);
    for (QAbstractItemView* v : {static_cast<QAbstractItemView*>(FTree), static_cast<QAbstractItemView*>(FList)})
        connect(v, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& i) { emit RowActivated(i.row()); });
}

void TFilePaneView::SetColumnHeaderVisible(bool visible)
{
    FTree->setHeaderHidden(!visible);
}

void TFilePaneView::SetEntireLineSelection(bool on)
{
    FEntireLine = on;
    FTree->setAllColumnsShowFocus(on);
    FTree->viewport()->update();
}

void TFilePaneView::SetModel(TFilePaneModel* model)
{
    FModel = model;
    FTree->setModel(model);
    FList->setModel(model);
    // One selection for every style.
    QItemSelectionModel* treeOwn = FTree->selectionModel();
    QItemSelectionModel* listOwn = FList->selectionModel();
    FSelection = new QItemSelectionModel(model, this);
    FTree->setSelectionModel(FSelection);
    FList->setSelectionModel(FSelection);
    delete treeOwn;
    delete listOwn;
}

QAbstractItemView* TFilePaneView::CurrentView() const
{
    return FStyle == vsDetails ? static_cast<QAbstractItemView*>(FTree) : static_cast<QAbstractItemView*>(FList);
}

void TFilePaneView::ApplyListStyle(int style)
{
    const int small = FList->style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, FList);
    const int large = FList->style()->pixelMetric(QStyle::PM_LargeIconSize, nullptr, FList);
    if (style == vsLargeIcons) {
        FList->setViewMode(QListView::IconMode);
        FList->setIconSize(QSize(large, large));
        FList->setFlow(QListView::LeftToRight);
        FList->setWordWrap(true);
        // Room for two lines of a name under the picture.
        const int w = std::max(large * 2 + 16, FList->fontMetrics().averageCharWidth() * 12);
        FList->setGridSize(QSize(w, large + FList->fontMetrics().height() * 2 + 10));
    } else {
        FList->setViewMode(QListView::ListMode);
        FList->setIconSize(QSize(small, small));
        FList->setWordWrap(false);
        FList->setFlow(style == vsList ? QListView::TopToBottom : QListView::LeftToRight);
        // Items of one width: names longer than a column are cut with "...".
        const int w = small + 8 + FList->fontMetrics().averageCharWidth() * 22;
        FList->setGridSize(QSize(w, std::max(small, FList->fontMetrics().height()) + 4));
    }
    FList->setWrapping(true);
    FList->setMovement(QListView::Static);
    FList->setResizeMode(QListView::Adjust);
    // The list view ties dragging to moving its items: a fixed one takes no
    // drops. Ours drag rows out and take them from the other pane.
    FList->setDragEnabled(FDragEnabled);
    FList->viewport()->setAcceptDrops(true);
}

void TFilePaneView::SetViewStyle(int style)
{
    if (style < vsLargeIcons || style > vsDetails) return;
    const bool focused = HasFocusWithin();
    QAbstractItemView* before = CurrentView();
    const QModelIndex current = FSelection ? FSelection->currentIndex() : QModelIndex();
    FStyle = style;
    if (style != vsDetails) ApplyListStyle(style);
    QAbstractItemView* now = CurrentView();
    setCurrentWidget(now);
    setFocusProxy(now);
    if (focused && now != before) now->setFocus();
    if (current.isValid()) now->scrollTo(current);
}

bool TFilePaneView::Owns(const QObject* object) const
{
    return object && (object == this || object == FTree || object == FList);
}

bool TFilePaneView::HasFocusWithin() const
{
    const QWidget* f = QApplication::focusWidget();
    return f && (f == this || isAncestorOf(f));
}

std::vector<int> TFilePaneView::SelectedRowIndexes() const
{
    std::vector<int> rows;
    if (!FSelection) return rows;
    for (const QItemSelectionRange& r : FSelection->selection())
        for (int i = r.top(); i <= r.bottom(); ++i) rows.push_back(i);
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

bool TFilePaneView::HasSelection() const { return FSelection && FSelection->hasSelection(); }

int TFilePaneView::FirstSelectedRow() const
{
    int first = -1;
    if (!FSelection) return first;
    for (const QItemSelectionRange& r : FSelection->selection())
        if (first < 0 || r.top() < first) first = r.top();
    return first;
}

bool TFilePaneView::IsRowSelected(int row) const
{
    return FSelection && FModel && FSelection->isSelected(FModel->index(row, 0));
}

int TFilePaneView::CurrentRow() const
{
    if (!FSelection) return -1;
    const QModelIndex i = FSelection->currentIndex();
    return i.isValid() ? i.row() : -1;
}

void TFilePaneView::SelectOnly(int row)
{
    if (!FModel || row < 0 || row >= FModel->rowCount()) return;
    const QModelIndex i = FModel->index(row, 0);
    FSelection->setCurrentIndex(i, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    CurrentView()->scrollTo(i);
}

void TFilePaneView::SetSelectedRows(const std::vector<bool>& picked)
{
    if (!FModel) return;
    // Runs of rows as one range each: selecting 10,000 rows stays quick.
    QItemSelection selection;
    const int n = std::min(int(picked.size()), FModel->rowCount());
    const int last = FModel->columnCount() - 1;
    for (int i = 0; i < n;) {
        if (!picked[std::size_t(i)]) {
            ++i;
            continue;
        }
        int j = i;
        while (j + 1 < n && picked[std::size_t(j + 1)]) ++j;
        selection.append(QItemSelectionRange(FModel->index(i, 0), FModel->index(j, last)));
        i = j + 1;
    }
    FSelection->select(selection, QItemSelectionModel::ClearAndSelect);
}

void TFilePaneView::ClearSelection()
{
    if (FSelection) FSelection->clearSelection();
}

void TFilePaneView::ScrollToTop()
{
    FTree->scrollToTop();
    FList->scrollToTop();
}

void TFilePaneView::SetDragEnabled(bool on)
{
    FDragEnabled = on;
    FTree->setDragEnabled(on);
    FList->setDragEnabled(on);
}

void TFilePaneView::SetBusy(bool busy)
{
    for (QWidget* w : {static_cast<QWidget*>(FTree), static_cast<QWidget*>(FList)}) {
        if (busy) w->setCursor(Qt::BusyCursor);
        else w->unsetCursor();
    }
}

bool TFilePaneView::AcceptsDragFrom(const QObject* source) const
{
    // Only the other pane: not this one, not another program (no source), not
    // a file manager's files.
    return source && source != this && !PeerName.isEmpty() && source->objectName() == PeerName &&
           qobject_cast<const TFilePaneView*>(source);
}

bool TFilePaneView::DragEvent(QDropEvent* event)
{
    if (!AcceptsDragFrom(event->source()) || !event->mimeData() || !event->mimeData()->hasFormat(TFilePaneModel::MimeType)) {
        event->ignore();
        return false;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    // The download or upload starts once the drop has returned to Qt.
    if (event->type() == QEvent::Drop) QTimer::singleShot(0, this, [this] { emit RowsDropped(); });
    return true;
}

void TFilePaneView::StartDrag()
{
    if (!FModel || !FSelection) return;
    const QModelIndexList rows = FSelection->selectedRows();
    if (rows.isEmpty()) return;
    auto* drag = new QDrag(this);
    drag->setMimeData(FModel->mimeData(rows));
    drag->exec(Qt::CopyAction, Qt::CopyAction);
}
