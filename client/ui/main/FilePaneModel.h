#pragma once
// The rows of one file pane as Qt sees them: row i is the pane's row i,
// with the columns "Name", "Size", "Time" (and "Attr" for the remote pane).
// Nothing is copied: the model reads the pane and is reset when its rows
// change, so a folder of any size shows at once.
#include <QAbstractTableModel>

#include "client/ui/main/FilePane.h"

class TPaneIcons;

class TFilePaneModel : public QAbstractTableModel {
public:
    // The drag data of pane rows: their names, one a line.
    static const char* const MimeType;

    TFilePaneModel(const TFilePane& pane, bool remote, TPaneIcons& icons, QObject* parent = nullptr);

    // How names are shown: 0 as stored, 1 upper case, 2 lower case (".." as it is).
    int FileCase = 0;
    // Shows the pane's rows as they are now; selections are cleared.
    void Refresh();
    bool Remote() const { return FRemote; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override { return Qt::CopyAction; }

private:
    const TlvFileInfo* RowAt(int row) const;
    QString Caption(const TlvFileInfo& row) const;

    const TFilePane& FPane;
    bool FRemote;
    TPaneIcons& FIcons;
    int FCount = 0; // the rows shown since the last Refresh
};
