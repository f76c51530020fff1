#pragma once
// Two edits bound to the current row of a report list (columns 0 and 1): the
// row's texts are loaded when the current row changes, each keystroke goes
// back to the row the edits came from (never to whatever is selected later),
// and with no row the edits are disabled.
#include <QObject>

class QLineEdit;
class QTreeWidget;
class QTreeWidgetItem;

class TRowEdits : public QObject {
public:
    TRowEdits(QTreeWidget* list, QLineEdit* first, QLineEdit* second);

    void Load(QTreeWidgetItem* row);
    // Adds an empty row, makes it current and focuses the first edit.
    void AddRow();
    // Deletes the current row; the edits are emptied and disabled.
    void RemoveRow();

private:
    QTreeWidget* list_;
    QLineEdit* first_;
    QLineEdit* second_;
    QTreeWidgetItem* row_ = nullptr;
};
