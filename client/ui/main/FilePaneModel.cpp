#include "client/ui/main/FilePaneModel.h"

#include <QMimeData>
#include <set>

#include "client/ui/main/PaneIcons.h"

const char* const TFilePaneModel::MimeType = "application/x-skelwick-pane-rows";

TFilePaneModel::TFilePaneModel(const TFilePane& pane, bool remote, TPaneIcons& icons, QObject* parent)
    : QAbstractTableModel(parent), FPane(pane), FRemote(remote), FIcons(icons), FCount(pane.RowCount())
{
}

void TFilePaneModel::Refresh()
{
    beginResetModel();
    FCount = FPane.RowCount();
    endResetModel();
}

const TlvFileInfo* TFilePaneModel::RowAt(int row) const
{
    // The pane may have changed before Refresh: never read past either count.
    return row >= 0 && row < FCount && row < FPane.RowCount() ? &FPane.Row(row) : nullptr;
}

QString TFilePaneModel::Caption(const TlvFileInfo& row) const
{
    const QString name = QString::fromStdString(row.Name);
    if (row.Name == "..") return name;
    switch (FileCase) {
    case 1: return name.toUpper();
    case 2: return name.toLower();
    default: return name;
    }
}

int TFilePaneModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : FCount; }

int TFilePaneModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : FRemote ? 4 : 3; }

QVariant TFilePaneModel::data(const QModelIndex& index, int role) const
{
    const TlvFileInfo* row = RowAt(index.row());
    if (!row) return {};
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case 0: return Caption(*row);
        case 1: return QString::fromStdString(row->Size);
        case 2: return QString::fromStdString(row->DateTime);
        case 3: return QString::fromStdString(row->Attr);
        default: return {};
        }
    case Qt::DecorationRole:
        if (index.column() != 0) return {};
        if (row->Name == "..") return FIcons.Parent();
        if (row->IsDir) return FIcons.Folder();
        return FIcons.FileType(QString::fromStdString(row->Name));
    case Qt::TextAlignmentRole:
        if (index.column() == 1) return int(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    default: return {};
    }
}

QVariant TFilePaneModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const char* const names[] = {"Name", "Size", "Time", "Attr"};
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) return {};
    if (role == Qt::DisplayRole) return QString(names[section]);
    if (role == Qt::TextAlignmentRole && section == 1) return int(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

Qt::ItemFlags TFilePaneModel::flags(const QModelIndex& index) const
{
    if (!RowAt(index.row())) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemNeverHasChildren;
}

QStringList TFilePaneModel::mimeTypes() const { return {MimeType}; }

QMimeData* TFilePaneModel::mimeData(const QModelIndexList& indexes) const
{
    std::set<int> rows;
    for (const QModelIndex& i : indexes) rows.insert(i.row());
    QByteArray names;
    for (int r : rows)
        if (const TlvFileInfo* row = RowAt(r); row && row->Name != "..") names += QByteArray::fromStdString(row->Name) + '\n';
    auto* data = new QMimeData;
    data->setData(MimeType, names);
    return data;
}
