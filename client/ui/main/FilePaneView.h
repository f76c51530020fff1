#pragma once
// One file pane on screen: the pane's model in the four view styles
// ("Large Icons" 0, "Small Icons" 1, "List" 2, "Details" 3), which share one
// selection, so changing the style keeps the rows and what is selected.
// Rows are dragged to the other pane; a drop is taken only from the pane
// named PeerName (the drag's source as Qt reports it), from nothing else.
#include <QStackedWidget>
#include <vector>

class QAbstractItemView;
class QDropEvent;
class QItemSelectionModel;
class QListView;
class QTreeView;
class TFilePaneModel;

class TFilePaneView : public QStackedWidget {
    Q_OBJECT
public:
    enum TViewStyle { vsLargeIcons = 0, vsSmallIcons = 1, vsList = 2, vsDetails = 3 };

    explicit TFilePaneView(QWidget* parent = nullptr);

    void SetModel(TFilePaneModel* model);
    TFilePaneModel* Model() const { return FModel; }
    // The object name of the pane whose rows this one takes when dropped.
    QString PeerName;

    int ViewStyle() const { return FStyle; }
    void SetViewStyle(int style);
    QTreeView* DetailsView() const { return FTree; }
    QListView* IconView() const { return FList; }
    QAbstractItemView* CurrentView() const;
    // The pane or one of its views (key and focus events arrive at the views).
    bool Owns(const QObject* object) const;
    bool HasFocusWithin() const;

    // Rows in display order.
    std::vector<int> SelectedRowIndexes() const;
    bool HasSelection() const;
    int FirstSelectedRow() const; // -1 for none
    bool IsRowSelected(int row) const;
    int CurrentRow() const; // -1 for none
    // Selects row alone, makes it current and shows it.
    void SelectOnly(int row);
    // Selects exactly the rows picked (by row index).
    void SetSelectedRows(const std::vector<bool>& picked);
    void ClearSelection();
    void ScrollToTop();
    void SetDragEnabled(bool on);
    void SetBusy(bool busy);
    // "Details" with or without its column headers.
    void SetColumnHeaderVisible(bool visible);
    // A selected row is highlighted across the whole line, or on its name alone.
    void SetEntireLineSelection(bool on);
    bool EntireLineSelection() const { return FEntireLine; }

    // Whether a drag from source may be dropped here.
    bool AcceptsDragFrom(const QObject* source) const;
    // The drag events of the views, as they reach their viewports.
    bool DragEvent(QDropEvent* event);
    // Starts a drag of the selected rows, with this pane as its source.
    void StartDrag();

signals:
    void RowActivated(int row);   // double click
    void ColumnClicked(int column);
    void RowsDropped();           // rows of PeerName were dropped here

private:
    void ApplyListStyle(int style);

    QTreeView* FTree;
    QListView* FList;
    TFilePaneModel* FModel = nullptr;
    QItemSelectionModel* FSelection = nullptr;
    int FStyle = vsDetails;
    bool FDragEnabled = false;
    bool FEntireLine = true;
};
