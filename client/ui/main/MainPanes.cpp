// The two file panes: their views and rows, opening a row, and the keys and
// focus they take.
#include "client/ui/main/Main.h"

#include <QDir>
#include <QHeaderView>
#include <QKeyEvent>
#include <QListView>
#include <QTreeView>

#include <algorithm>

#include "client/engine/CommFunc.h"
#include "client/engine/FtpManager.h"
#include "client/ui/main/FilePaneModel.h"
#include "client/ui/main/LocalPane.h"
#include "client/ui/main/LocalPathCombo.h"
#include "client/ui/main/MainCommon.h"
#include "client/ui/main/PaneIcons.h"
#include "client/ui/main/RemotePane.h"
#include "platform/dialogs/EventHandler.h"
#include "ui_Main.h"

using namespace mainwin;

QIcon TfmMain::ParentIcon() const
{
    // The parent-folder icon shipped beside the program, the style's own without it.
    const QIcon own(Q(FProgramDir + "ico/goup.png"));
    return own.availableSizes().isEmpty() ? style()->standardIcon(QStyle::SP_FileDialogToParent) : own;
}

void TfmMain::FillRemoteList()
{
    std::vector<TDirAnalyze> listing;
    ParseDirListing(FManager->GetListingText(), listing);
    FRemotePane.SetFiles(RemoteEntries(listing, FSettings.ShowLink, FSettings.ResolveLinkAsFile));
    ShowPaneRows(false);
}

void TfmMain::ListLocalDir(const std::string& path)
{
    BuildLocalPathCombo(path);
    FLocalPane.SetFiles(ListLocalEntries(path, FSettings.ShowHidenFile));
    ShowPaneRows(true);
}

void TfmMain::BuildLocalPathCombo(const std::string& path)
{
    FillLocalPathCombo(ui->cbLocal, LocalPathItems(path, S(QDir::homePath())));
}

void TfmMain::ShowPaneRows(bool local)
{
    TFilePane& pane = local ? FLocalPane : FRemotePane;
    pane.DirectoryOnTop = FSettings.DirectoryOnTop;
    pane.FilterFolders = ui->miFilterDirectorys->isChecked();
    pane.ShowRows();
    FillPaneView(local);
    SizeNameColumn(local);
    (local ? ui->plLocalStatus : ui->plHostStatus)->setText(Q(pane.StatusText()));
    (local ? ui->lvLocal : ui->lvHost)->ScrollToTop();
}

void TfmMain::SetupPaneViews()
{
    UseSharedIconThemes();
    // The shipped parent picture is small: "Large Icons" shows it enlarged.
    QIcon parent = ParentIcon();
    const int large = style()->pixelMetric(QStyle::PM_LargeIconSize);
    if (const QPixmap p = parent.pixmap(large, large); !p.isNull() && p.width() < large)
        parent.addPixmap(p.scaled(large, large, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    FPaneIcons = std::make_unique<TPaneIcons>(parent, style()->standardIcon(QStyle::SP_DirIcon),
                                              style()->standardIcon(QStyle::SP_FileIcon));
    FLocalModel = new TFilePaneModel(FLocalPane, false, *FPaneIcons, this);
    FRemoteModel = new TFilePaneModel(FRemotePane, true, *FPaneIcons, this);
    ui->lvLocal->SetModel(FLocalModel);
    ui->lvHost->SetModel(FRemoteModel);
    // Each pane takes the rows dragged from the other one.
    ui->lvLocal->PeerName = "lvHost";
    ui->lvHost->PeerName = "lvLocal";
    for (TFilePaneView* lv : {ui->lvLocal, ui->lvHost}) {
        for (QWidget* w : {static_cast<QWidget*>(lv->DetailsView()), static_cast<QWidget*>(lv->IconView())})
            w->installEventFilter(this);
        lv->DetailsView()->viewport()->installEventFilter(this);
    }
}

void TfmMain::ApplyPaneOptions()
{
    for (TFilePaneView* lv : {ui->lvLocal, ui->lvHost}) {
        lv->SetColumnHeaderVisible(!FSettings.HideColumnHeader);
        lv->SetEntireLineSelection(FSettings.SelectEntireLine);
    }
}

void TfmMain::FillPaneView(bool local)
{
    TFilePaneModel* model = local ? FLocalModel : FRemoteModel;
    model->FileCase = FSettings.FileCase;
    model->Refresh();
}

void TfmMain::SortPane(bool local, int column)
{
    (local ? FLocalPane : FRemotePane).Sort(column);
    FillPaneView(local);
}

void TfmMain::SetPaneViewStyle(bool local, int style)
{
    (local ? ui->lvLocal : ui->lvHost)->SetViewStyle(style);
    ShowViewStyleChecks();
}

int TfmMain::PaneViewStyle(bool local) const { return (local ? ui->lvLocal : ui->lvHost)->ViewStyle(); }

void TfmMain::ShowViewStyleChecks()
{
    const int style = PaneViewStyle(FLocalActive);
    QAction* const items[] = {ui->miLargeIcons, ui->miSmallIcons, ui->miList, ui->miDetails};
    for (int i = 0; i < 4; ++i) items[i]->setChecked(i == style);
}

const TlvFileInfo* TfmMain::PaneRow(bool local, int row) const
{
    const TFilePane& pane = local ? FLocalPane : FRemotePane;
    return row >= 0 && row < pane.RowCount() ? &pane.Row(row) : nullptr;
}

void TfmMain::OpenPaneRow(bool local, int index)
{
    const TlvFileInfo* row = PaneRow(local, index);
    if (!row) return;
    if (!row->IsDir) {
        OpenPaneFile(local, index);
        return;
    }
    if (local) {
        if (row->Name == "..") LocalPath = WithSlash(ExtractParentDir(StripTrailingSlash(LocalPath)));
        else if (IsSafeLocalName(row->Name)) LocalPath = LocalPath + row->Name + "/";
        else return;
        if (LocalPath.empty()) LocalPath = "/";
        ListLocalDir(LocalPath);
        return;
    }
    // A folder change mid-run or without a session would talk over the run.
    if (FSessionState != ssConnected) return;
    SetSessionState(ssChangingDir);
    FManager->ChangeRemoteDir(row->Name);
}

void TfmMain::OpenPaneFile(bool local, int index)
{
    TFilePaneView* lv = local ? ui->lvLocal : ui->lvHost;
    // The actions take the selection: a file opened from outside it stands alone.
    if (!lv->IsRowSelected(index)) lv->SelectOnly(index);
    switch (FSettings.DoubleClickAction) {
    case 0:
        if (local) QueueUploads();
        else QueueDownloads();
        break;
    case 1:
        EditViewClick(local, !local);
        break;
    case 2:
        EditViewClick(local, false);
        break;
    case 3:
        if (local) ExecuteClick();
        break;
    }
}

bool TfmMain::PaneKey(bool local, QKeyEvent* key)
{
    TFilePaneView* lv = local ? ui->lvLocal : ui->lvHost;
    const TFilePane& pane = local ? FLocalPane : FRemotePane;
    switch (key->key()) {
    case Qt::Key_Backspace:
        if (pane.RowCount() > 0 && pane.Row(0).Name == "..") OpenPaneRow(local, 0);
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        OpenPaneRow(local, lv->CurrentRow());
        return true;
    default:
        break;
    }
    const QString text = key->text();
    if (text.size() != 1 || text[0] < QChar('!') || text[0] > QChar('}') || key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))
        return false;
    FTypedPrefix += S(text);
    const int from = std::max(lv->FirstSelectedRow(), 0);
    const int found = pane.FindPrefix(FTypedPrefix, from);
    if (found < 0) {
        FTypedPrefix.clear();
        return true;
    }
    lv->SelectOnly(found);
    return true;
}

void TfmMain::SizeNameColumn(bool local)
{
    if (!FSettings.AutoSizeColumn) return;
    // The name column fills what the other columns leave; the last column
    // does not stretch over it.
    QTreeView* lv = (local ? ui->lvLocal : ui->lvHost)->DetailsView();
    lv->header()->setStretchLastSection(false);
    int rest = lv->viewport()->width();
    for (int c = 1; c < lv->header()->count(); ++c) {
        // Sizes and dates as wide as the rows shown need.
        lv->resizeColumnToContents(c);
        rest -= lv->columnWidth(c) + 2;
    }
    // A narrow pane keeps names readable and scrolls sideways: the widest
    // name shown, up to about twenty characters.
    const int nameNeeds = static_cast<QAbstractItemView*>(lv)->sizeHintForColumn(0);
    const int useful = std::min(nameNeeds, lv->fontMetrics().averageCharWidth() * 20 + lv->style()->pixelMetric(QStyle::PM_SmallIconSize));
    lv->setColumnWidth(0, std::max(rest, useful));
}

bool TfmMain::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Resize) {
        if (watched == ui->lvLocal->DetailsView()->viewport()) SizeNameColumn(true);
        if (watched == ui->lvHost->DetailsView()->viewport()) SizeNameColumn(false);
    }
    const bool inLocal = ui->lvLocal->Owns(watched), inPane = inLocal || ui->lvHost->Owns(watched);
    if (event->type() == QEvent::FocusIn && inPane) {
        // The active pane's status panel is green.
        const bool local = inLocal;
        QPalette green, grey;
        green.setColor(QPalette::Window, QColor(0, 128, 0));
        green.setColor(QPalette::WindowText, Qt::white);
        grey.setColor(QPalette::Window, QColor(0xbb, 0xc3, 0xba)); // 12239547 as stored
        (local ? ui->plLocalStatus : ui->plHostStatus)->setPalette(green);
        (local ? ui->plHostStatus : ui->plLocalStatus)->setPalette(grey);
        FTypedPrefix.clear();
        FLocalActive = local;
        ShowViewStyleChecks();
    }
    if (event->type() == QEvent::KeyPress && inPane) {
        bool used = false;
        Guarded([&] { used = PaneKey(inLocal, static_cast<QKeyEvent*>(event)); });
        if (used) return true;
    }
    return QMainWindow::eventFilter(watched, event);
}
