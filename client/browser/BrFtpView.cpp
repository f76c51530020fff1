#include "client/browser/BrFtpView.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QEvent>
#include <QScrollBar>
#include <QSplitter>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "client/browser/LogLine.h"
#include "client/engine/CommFunc.h"
#include "platform/dialogs/Dialogs.h"
#include "platform/dialogs/EventHandler.h"
#include "rtl/StrUtils.h"

namespace {

// Node data: the folder to change to, and the path its listing is cached under
// (the PWD reply; empty while the folder was not listed).
constexpr int PathRole = Qt::UserRole;
constexpr int ListingRole = Qt::UserRole + 1;
const char* const kPlaceholder = "<DO NOT KNOW>";
const char* const kCaptions[] = {"RECONNECT", "CDUP", "REFRESH", "NEW DIR", "DELETE", "ABORT", "RENAME"};

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

std::string Kilobytes(std::int64_t Bytes) { return FormatThousands(Bytes / 1024) + " KB"; }

} // namespace

TFtpView::TFtpView(QWidget* parent, TFtpThreadConfig Config)
    : QWidget(parent), FManager(std::make_unique<TFtpManager>(1, std::move(Config)))
{
    setObjectName("FtpView");
    auto& cb = FManager->CallBack;
    cb.RootListingReady = EventHandler([this](const std::vector<int>& i) { RootListingReady(i); });
    cb.FoldersReady = EventHandler(
        [this](const std::vector<int>& i, const std::string& requested) { FoldersReady(i, requested); });
    cb.DebugLine = EventHandler([this](const std::string& l) { AddLog("<DEBUG>      " + l, "red"); });
    cb.DisplayLine = EventHandler([this](const std::string& l) { DisplayLine(l); });
    cb.Refresh = EventHandler([this](bool ErrorShown) {
        if (!ErrorShown) ButtonClick("REFRESH");
    });
    BuildControls();
}

TFtpView::~TFtpView()
{
    // The workers go first: nothing may call back into half-freed controls.
    FManager.reset();
}

void TFtpView::BuildControls()
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    FButtonPanel = new QWidget(this);
    FButtonPanel->setObjectName("ButtonPanel");
    FButtonPanel->setFixedHeight(24);
    auto* buttons = new QHBoxLayout(FButtonPanel);
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSpacing(0);
    for (const char* caption : kCaptions) {
        auto* b = new QPushButton(caption, FButtonPanel);
        b->setObjectName(QString("btn") + QString(caption).remove(' '));
        b->setFixedWidth(b->fontMetrics().horizontalAdvance(caption) + 30);
        b->setFocusPolicy(Qt::NoFocus);
        ConnectHandler(b, &QPushButton::clicked, this, [this, b] { ButtonClick(b->text()); });
        buttons->addWidget(b);
        FButtons.push_back(b);
    }
    buttons->addStretch();
    layout->addWidget(FButtonPanel);

    FLogSplitter = new QSplitter(Qt::Vertical, this);
    FLogSplitter->setHandleWidth(5);
    FTreeSplitter = new QSplitter(Qt::Horizontal, FLogSplitter);
    FTreeSplitter->setHandleWidth(5);

    FTree = new QTreeWidget(FTreeSplitter);
    FTree->setObjectName("tvFolder");
    FTree->setHeaderHidden(true);
    FTree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ConnectHandler(FTree, &QTreeWidget::currentItemChanged, this,
                   [this](QTreeWidgetItem* current) { NodeSelected(current); });
    ConnectHandler(FTree, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* n) { NodeExpanding(n); });

    auto* listPanel = new QWidget(FTreeSplitter);
    listPanel->setObjectName("ListPanel");
    auto* listLayout = new QVBoxLayout(listPanel);
    listLayout->setContentsMargins(0, 0, 0, 0);
    listLayout->setSpacing(0);
    FList = new QTreeWidget(listPanel);
    FList->setObjectName("lvFile");
    FList->setRootIsDecorated(false);
    FList->setHeaderLabels({"Name", "Size", "Date", "Time", "Attr"});
    FList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    FList->setSelectionBehavior(QAbstractItemView::SelectRows);
    FList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    FList->header()->setSectionsClickable(true);
    FList->header()->setSortIndicatorShown(false);
    ConnectHandler(FList->header(), &QHeaderView::sectionClicked, this, [this](int c) { ColumnClick(c); });
    ConnectHandler(FList, &QTreeWidget::itemDoubleClicked, this, [this] { FileListDblClick(); });
    listLayout->addWidget(FList);
    FStatusBar = new QLabel(listPanel);
    FStatusBar->setObjectName("StatusBar");
    FStatusBar->setFrameShape(QFrame::StyledPanel);
    listLayout->addWidget(FStatusBar);

    FLog = new QPlainTextEdit(FLogSplitter);
    FLog->setObjectName("reLog");
    FLog->setReadOnly(true);
    FLog->setLineWrapMode(QPlainTextEdit::NoWrap);
    FLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    layout->addWidget(FLogSplitter);

    // The tree a quarter of the width, the log a quarter of the height.
    FTreeSplitter->setStretchFactor(0, 1);
    FTreeSplitter->setStretchFactor(1, 3);
    FLogSplitter->setStretchFactor(0, 3);
    FLogSplitter->setStretchFactor(1, 1);
    FTreeSplitter->setSizes({200, 600});
    FLogSplitter->setSizes({450, 150});
    FList->installEventFilter(this);
}

bool TFtpView::eventFilter(QObject* Watched, QEvent* Event)
{
    if (Watched == FList && Event->type() == QEvent::Resize) FitColumns();
    return QWidget::eventFilter(Watched, Event);
}

void TFtpView::FitColumns()
{
    // The name takes two shares of the width, the other four columns one each.
    const int share = std::max(40, (FList->width() - 8) / 6);
    FList->setColumnWidth(0, 2 * share);
    for (int c = 1; c < 5; ++c) FList->setColumnWidth(c, share);
}

void TFtpView::SetHostName(const std::string& Host)
{
    FHost = Host;
    FRootPath.clear();
    FShown.reset();
    FTree->clear();
    auto* root = new QTreeWidgetItem(FTree, {Q(Host)});
    root->setIcon(0, style()->standardIcon(QStyle::SP_DriveNetIcon));
    FTree->setCurrentItem(root);
    FList->clear();
    FStatusBar->clear();
}

QTreeWidgetItem* TFtpView::Root() const { return FTree->topLevelItemCount() ? FTree->topLevelItem(0) : nullptr; }

std::shared_ptr<TBufferList> TFtpView::ListingOf(QTreeWidgetItem* Node) const
{
    if (!Node) return nullptr;
    const std::string key = S(Node->data(0, ListingRole).toString());
    return key.empty() ? nullptr : FManager->DirBuffer().Get(key);
}

std::string TFtpView::JoinPath(const std::string& Folder, const std::string& Name)
{
    if (!Folder.empty() && (Folder.back() == '/' || Folder.back() == '\\')) return Folder + Name;
    return Folder + "/" + Name;
}

void TFtpView::NodeSelected(QTreeWidgetItem* Node)
{
    if (!Node || Node->text(0) == kPlaceholder) return;
    if (auto entry = ListingOf(Node)) {
        ShowEntry(entry);
        return;
    }
    if (Node == Root()) {
        if (!FRootPath.empty()) FManager->OpenDir(FRootPath);
        return;
    }
    if (ListingOf(Node->parent())) {
        FShown.reset();
        FList->clear();
        FManager->OpenDir(S(Node->data(0, PathRole).toString()));
    }
}

void TFtpView::NodeExpanding(QTreeWidgetItem* Node)
{
    if (ListingOf(Node)) return;
    // Only a listed folder opens; another is selected instead, which lists it.
    Node->setExpanded(false);
    FTree->setCurrentItem(Node);
}

void TFtpView::AddFolderNodes(QTreeWidgetItem* Node, const TBufferList& Entry)
{
    // Children built once per listing; REFRESH deletes them first.
    if (Node->childCount() > 0 && Node->child(0)->text(0) != kPlaceholder) return;
    while (Node->childCount()) delete Node->takeChild(0);
    for (const auto& item : Entry.Items) {
        if (!item.IsFolder) continue;
        const std::string name = EntryName(item.Name);
        auto* child = new QTreeWidgetItem(Node, {Q(name)});
        child->setIcon(0, style()->standardIcon(QStyle::SP_DirIcon));
        child->setData(0, PathRole, Q(JoinPath(Entry.Path, name)));
        new QTreeWidgetItem(child, {kPlaceholder});
    }
}

void TFtpView::GiveListing(QTreeWidgetItem* Node, int Index)
{
    const auto entry = FManager->DirBuffer().Get(Index);
    if (!entry) return;
    Node->setData(0, ListingRole, Q(entry->Path));
    if (S(Node->data(0, PathRole).toString()).empty()) Node->setData(0, PathRole, Q(entry->Path));
    AddFolderNodes(Node, *entry);
    Node->setExpanded(true);
    ShowEntry(entry);
}

void TFtpView::RootListingReady(const std::vector<int>& Indexes)
{
    auto* root = Root();
    if (!root || Indexes.empty() || ListingOf(root)) return;
    const auto entry = FManager->DirBuffer().Get(Indexes.front());
    if (!entry) return;
    FRootPath = entry->Path;
    GiveListing(root, Indexes.front());
}

QTreeWidgetItem* TFtpView::FindNode(const std::string& Path) const
{
    auto* node = Root();
    if (!node || FRootPath.empty()) return nullptr;
    if (rtl::SameText(Path, FRootPath)) return node;
    // Below the root only; a path elsewhere names no node.
    std::string rootPrefix = FRootPath.back() == '/' ? FRootPath : FRootPath + "/";
    if (Path.compare(0, rootPrefix.size(), rootPrefix) != 0) return nullptr;
    std::string rest = Path.substr(rootPrefix.size());
    std::size_t at = 0;
    while (at < rest.size()) {
        std::size_t slash = rest.find('/', at);
        if (slash == std::string::npos) slash = rest.size();
        const std::string name = rest.substr(at, slash - at);
        at = slash + 1;
        if (name.empty()) continue;
        QTreeWidgetItem* next = nullptr;
        for (int i = 0; i < node->childCount() && !next; ++i)
            if (S(node->child(i)->text(0)) == name) next = node->child(i);
        if (!next) return nullptr;
        node = next;
    }
    return node;
}

void TFtpView::FoldersReady(const std::vector<int>& Indexes, const std::string& Requested)
{
    for (int index : Indexes) {
        const auto entry = FManager->DirBuffer().Get(index);
        if (!entry) continue;
        QTreeWidgetItem* node = FindNode(entry->Path);
        if (!node) {
            // A link's PWD names its target: the node is the one that asked.
            for (QTreeWidgetItemIterator it(FTree); *it && !node; ++it)
                if (!Requested.empty() && S((*it)->data(0, PathRole).toString()) == Requested) node = *it;
        }
        if (node) GiveListing(node, index);
    }
}

void TFtpView::ShowEntry(const std::shared_ptr<TBufferList>& Entry)
{
    FShown = Entry;
    // A new or re-sorted listing has other rows: no old selection may stay.
    FList->clearSelection();
    FList->clear();
    int folders = 0, files = 0;
    std::int64_t total = 0;
    for (const auto& item : Entry->Items) {
        auto* row = new QTreeWidgetItem(
            FList, {Q(item.Name), Q(Kilobytes(item.Size)), Q(item.Date), Q(item.Time), Q(item.Attr)});
        row->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        row->setIcon(0, style()->standardIcon(item.IsFolder ? QStyle::SP_DirIcon : QStyle::SP_FileIcon));
        if (item.IsFolder) {
            ++folders;
        } else {
            ++files;
            total += item.Size;
        }
    }
    std::string text = std::to_string(folders) + (folders < 2 ? " folder and " : " folders and ");
    text += std::to_string(files) + (files < 2 ? " file listed." : " files listed.");
    text += " (" + Kilobytes(total) + ")";
    FStatusBar->setText(Q(text));
}

void TFtpView::FileListDblClick()
{
    auto* row = FList->currentItem();
    auto* node = FTree->currentItem();
    if (!row || !node || !FShown) return;
    const int i = FList->indexOfTopLevelItem(row);
    if (i < 0 || i >= static_cast<int>(FShown->Items.size()) || !FShown->Items[i].IsFolder) return;
    const std::string name = EntryName(FShown->Items[i].Name);
    for (int c = 0; c < node->childCount(); ++c)
        if (S(node->child(c)->text(0)) == name) {
            FTree->setCurrentItem(node->child(c));
            return;
        }
}

void TFtpView::ColumnClick(int Column)
{
    static const int modes[] = {brSortName, brSortSize, brSortDate, brSortDate};
    if (Column < 0 || Column > 3) return;
    FManager->DirBuffer().SetSortMode(static_cast<std::uint8_t>(modes[Column]));
    if (FShown) ShowEntry(FShown);
}

std::vector<int> TFtpView::SelectedRows() const
{
    std::vector<int> rows;
    for (int i = 0; i < FList->topLevelItemCount(); ++i)
        if (FList->topLevelItem(i)->isSelected()) rows.push_back(i);
    return rows;
}

void TFtpView::ButtonClick(const QString& Caption)
{
    auto* node = FTree->currentItem();
    const auto listing = ListingOf(node);
    if (Caption == "RECONNECT") {
        SetHostName(FHost);
        FManager->Reconnect();
    } else if (Caption == "CDUP") {
        if (node && node->parent()) FTree->setCurrentItem(node->parent());
    } else if (Caption == "REFRESH") {
        if (!node) return;
        while (node->childCount()) delete node->takeChild(0);
        if (listing) FManager->DirBuffer().Remove(listing->Path);
        node->setData(0, ListingRole, QString());
        if (node == Root()) {
            if (!FRootPath.empty()) FManager->OpenDir(FRootPath);
        } else {
            NodeSelected(node);
        }
    } else if (Caption == "NEW DIR") {
        std::string name;
        if (!Dialogs().InputQuery("NEW DIR", "NAME =", name) || name.empty() || !listing) return;
        FManager->MakeDirs({JoinPath(listing->Path, name)});
    } else if (Caption == "DELETE") {
        const auto rows = SelectedRows();
        if (!listing || rows.empty() || FShown != listing) return;
        std::vector<TDeleteFileItem> items;
        for (int r : rows)
            items.push_back({FShown->Items[r].IsFolder, JoinPath(listing->Path, EntryName(FShown->Items[r].Name))});
        const std::string question = items.size() == 1 ? "Delete " + EntryName(FShown->Items[rows[0]].Name) + "?"
                                                       : "Delete these " + std::to_string(items.size()) + " items?";
        if (Dialogs().MessageBox(question, "DELETE", MB_YESNO | MB_ICONQUESTION) != IDYES) return;
        FManager->DeleteItems(items);
    } else if (Caption == "ABORT") {
        FManager->Abort();
    } else if (Caption == "RENAME") {
        auto* row = FList->currentItem();
        if (!row || !listing || FShown != listing) return;
        const int i = FList->indexOfTopLevelItem(row);
        if (i < 0 || i >= static_cast<int>(FShown->Items.size())) return;
        const std::string old = EntryName(FShown->Items[i].Name);
        std::string name = old;
        if (!Dialogs().InputQuery("RENAME", old + " ->", name) || name.empty() || name == old) return;
        FManager->Rename(JoinPath(listing->Path, old), JoinPath(listing->Path, name));
    }
}

void TFtpView::AddLog(const std::string& Line, const char* Colour)
{
    AppendLogLine(FLog, Line, Colour);
}

void TFtpView::DisplayLine(const std::string& Line)
{
    const char* colour = "black";
    if (Line.rfind("<COMMAND>", 0) == 0) colour = "green";
    else if (Line.rfind("<STATUS>", 0) == 0) colour = "blue";
    AddLog(Line, colour);
}
