// The menus and tool bar: their items and what each runs, and which of them
// are enabled.
#include "client/ui/main/Main.h"

#include <QActionGroup>
#include <QClipboard>
#include <QDesktopServices>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTimer>

#include "client/engine/CommFunc.h"
#include "client/engine/DesktopShortcut.h"
#include "client/engine/FtpManager.h"
#include "client/ui/connbook/AddCurrSite.h"
#include "client/ui/connbook/ConnectBook.h"
#include "client/ui/main/DesktopTies.h"
#include "client/ui/main/Launcher.h"
#include "client/ui/main/LocalPathCombo.h"
#include "client/ui/main/MainCommon.h"
#include "client/ui/main/MenuEnabling.h"
#include "client/ui/main/PanePopupMenus.h"
#include "client/ui/small/About.h"
#include "client/ui/small/EditBookmark.h"
#include "client/ui/small/EditDirectoryList.h"
#include "client/ui/small/ViewRawDir.h"
#include "platform/dialogs/Dialogs.h"
#include "platform/dialogs/EventHandler.h"
#include "ui_Main.h"

using namespace mainwin;

void TfmMain::BuildBookmarkItems()
{
    BuildBookmarkMenu(ui->mnBookmarks, FSettings.BookmarkList, [this](int i) {
        if (FSessionState != ssConnected || std::size_t(i) >= FSettings.BookmarkList.size()) return;
        SetSessionState(ssChangingDir);
        FManager->ChangeRemoteDir(BookmarkFolder(FSettings.BookmarkList[std::size_t(i)]));
    });
}

void TfmMain::BuildDirectoryItems()
{
    // The folder items follow the menu's fixed items and their separator.
    const int fixed = int(ui->mnDirectory->actions().indexOf(ui->miEditLocalDirectory)) + 2;
    BuildDirectoryMenu(ui->mnDirectory, fixed, FSettings.LocalDirList, [this](int i) {
        if (std::size_t(i) >= FSettings.LocalDirList.size()) return;
        LocalPath = WithSlash(FSettings.LocalDirList[std::size_t(i)]);
        ListLocalDir(LocalPath);
    });
}

void TfmMain::UpdateEnabling()
{
    TEnablingInput in;
    in.State = FSessionState;
    in.LocalFocused = ui->lvLocal->HasFocusWithin();
    in.RemoteFocused = ui->lvHost->HasFocusWithin();
    const int localFirst = ui->lvLocal->FirstSelectedRow(), remoteFirst = ui->lvHost->FirstSelectedRow();
    in.LocalSelected = localFirst >= 0;
    in.RemoteSelected = remoteFirst >= 0;
    const TlvFileInfo* localRow = PaneRow(true, localFirst);
    const TlvFileInfo* remoteRow = PaneRow(false, remoteFirst);
    in.LocalFirstIsDir = localRow && localRow->IsDir;
    in.RemoteFirstIsDir = remoteRow && remoteRow->IsDir;
    QTreeWidgetItem* node = ui->tvQuene->currentItem();
    in.BrokenNodeSelected = node && node->isSelected() && !node->parent() && !node->text(0).contains("Current");
    in.HostGiven = !ui->cbHostName->currentText().isEmpty();
    for (const auto& [name, on] : ComputeEnabling(in)) {
        if (auto* a = findChild<QAction*>(Q(name))) a->setEnabled(on);
        else if (auto* m = findChild<QMenu*>(Q(name))) m->setEnabled(on);
    }
    ui->sbConnect->setEnabled(ui->miConnect->isEnabled());
    const bool connected = FSessionState == ssConnected;
    const auto bookmarkItems = ui->mnBookmarks->actions();
    for (int i = 3; i < bookmarkItems.size(); ++i) {
        if (RemoveAmpersands(S(bookmarkItems[i]->text())) == "<EMPTY>") {
            bookmarkItems[i]->setEnabled(false);
            break;
        }
        bookmarkItems[i]->setEnabled(connected);
    }
    const auto customItems = ui->miCustomCommand->actions();
    for (int i = 2; i < customItems.size(); ++i) customItems[i]->setEnabled(connected);
    const auto dirItems = ui->mnDirectory->actions();
    for (int i = int(dirItems.indexOf(ui->miEditLocalDirectory)) + 2; i < dirItems.size(); ++i) {
        if (RemoveAmpersands(S(dirItems[i]->text())) == "<EMPTY>") {
            dirItems[i]->setEnabled(false);
            break;
        }
        dirItems[i]->setEnabled(FSessionState == ssReady || connected);
    }
}

void TfmMain::SetConnectionCount(int newCount)
{
    const int old = FSettings.FtpCliNum;
    if (newCount == old) return;
    FSettings.FtpCliNum = newCount;
    ResizeLogPages(old, newCount);
    FManager->SetConnectionCount(newCount);
}

void TfmMain::miIncreaseThreadClick()
{
    if (FSettings.FtpCliNum < FSettings.MaxThreadNum) SetConnectionCount(FSettings.FtpCliNum + 1);
}

void TfmMain::miDecreaseThreadClick()
{
    // One connection is enough while connection 0 also transfers; else the
    // main connection needs a second one for the items.
    const int floor = FSettings.MainConnDownload ? 1 : 2;
    if (FSettings.FtpCliNum > floor) SetConnectionCount(FSettings.FtpCliNum - 1);
}

void TfmMain::WireActions()
{
    auto on = [this](QAction* a, std::function<void()> f) { ConnectHandler(a, &QAction::triggered, this, std::move(f)); };
    auto returnPressed = [this](QLineEdit* e) {
        ConnectHandler(e, &QLineEdit::returnPressed, this, [this] { sbConnectClick(); });
    };
    returnPressed(ui->edPort);
    returnPressed(ui->edUser);
    returnPressed(ui->edPass);
    ConnectHandler(ui->cbHostName->lineEdit(), &QLineEdit::returnPressed, this, [this] { sbConnectClick(); });
    ConnectHandler(ui->sbConnect, &QToolButton::clicked, this, [this] { sbConnectClick(); });
    ConnectHandler(ui->sbAnonymous, &QToolButton::clicked, this, [this] { sbAnonymousClick(); });
    ConnectHandler(ui->cbHostName, QOverload<int>::of(&QComboBox::activated), this, [this](int i) {
        // A history entry fills the whole bar; the box then shows its host.
        if (i < 0 || std::size_t(i) >= FSettings.QuickConnectList.size()) return;
        const TQuickSite s = ResolveQuickSite(S(ui->cbHostName->itemText(i)), {}, FSettings.QuickConnectList);
        ui->cbHostName->setEditText(Q(s.Host));
        ui->edPort->setText(Q(s.Port));
        ui->edUser->setText(Q(s.User));
        ui->edPass->setText(Q(s.Pass));
    });
    for (const bool local : {true, false}) {
        TFilePaneView* lv = local ? ui->lvLocal : ui->lvHost;
        ConnectHandler(lv, &TFilePaneView::ColumnClicked, this, [this, local](int column) {
            if (column >= 0 && column <= 2) SortPane(local, column);
        });
        ConnectHandler(lv, &TFilePaneView::RowActivated, this, [this, local](int row) { OpenPaneRow(local, row); });
    }
    // Rows dragged across: remote rows on the local pane go down, local rows up.
    ConnectHandler(ui->lvLocal, &TFilePaneView::RowsDropped, this, [this] { QueueDownloads(); });
    ConnectHandler(ui->lvHost, &TFilePaneView::RowsDropped, this, [this] { QueueUploads(); });
    ConnectHandler(ui->cbHost, QOverload<int>::of(&QComboBox::activated), this, [this](int i) {
        if (FSessionState != ssConnected || i < 0) return;
        SetSessionState(ssChangingDir);
        FManager->ChangeRemoteDir(S(ui->cbHost->itemText(i)));
    });
    ConnectHandler(ui->Splitter3, &QSplitter::splitterMoved, this, [this](int, int) { FormResize(); });
    ConnectHandler(ui->pcDisplay, &QTabWidget::currentChanged, this, [this](int) {
        if (auto* e = qobject_cast<QPlainTextEdit*>(ui->pcDisplay->currentWidget()))
            e->verticalScrollBar()->setValue(e->verticalScrollBar()->maximum());
    });
    ConnectHandler(tiAntiIdle, &QTimer::timeout, this, [this] { tiAntiIdleTimer(); });
    ConnectHandler(tmMoniterClipboard, &QTimer::timeout, this, [this] { tmMoniterClipboardTimer(); });
    ConnectHandler(tiProgress, &QTimer::timeout, this, [this] { FManager->ShowTransferStatus(); });

    // Server
    on(ui->miConnect, [this] { sbConnectClick(); });
    on(ui->tbConnect, [this] { sbConnectClick(); });
    on(ui->miDisconnect, [this] { sbDisconnectClick(); });
    on(ui->tbDisconnect, [this] { sbDisconnectClick(); });
    on(ui->miReconnect, [this] { miReconnectClick(); });
    on(ui->tbReconnect, [this] { miReconnectClick(); });
    on(ui->tbAbort, [this] { sbAbortClick(); });
    on(ui->miFtpServer, [this] {
        const std::string server = FProgramDir + "Portlorn";
        if (!StartProgram(server, {}))
            Dialogs().MessageBox("Cannot start " + server, ApplicationTitle(), MB_OK | MB_ICONERROR);
    });
    on(ui->miHide, [this] { FDesktopTies->miHideClick(); });
    on(ui->miExit, [this] { close(); });
    on(ui->tbExit, [this] { close(); });
    // Sites
    auto siteBook = [this] {
        if (auto site = RunSiteManager(FProgramDir, this)) {
            ui->cbHostName->setEditText(Q(site->Host));
            ui->edPort->setText(Q(site->Port));
            ui->edUser->setText(Q(site->User));
            ui->edPass->setText(Q(site->Pass));
            sbConnectClick();
        }
    };
    on(ui->miSiteManager, siteBook);
    on(ui->tbSiteBook, siteBook);
    on(ui->miAddCurrentSite, [this] {
        RunAddCurrentSite(FProgramDir,
                          {S(ui->cbHostName->currentText()), S(ui->edPort->text()), S(ui->edUser->text()), S(ui->edPass->text())},
                          this);
    });
    on(ui->miEditCurrentSite, [this] { RunEditCurrentSite(FProgramDir, S(ui->cbHostName->currentText()), this); });
    on(ui->miCreateShortcut, [this] {
        const std::string text = TDesktopTies::ShortcutText(
            S(ui->cbHostName->currentText()),
            {S(ui->cbHostName->currentText()), S(ui->edPort->text()), S(ui->edUser->text()), S(ui->edPass->text())},
            FSettings.QuickConnectList);
        if (!text.empty() && !CreateDesktopShortcut(text))
            Dialogs().MessageBox("Cannot create the shortcut on the desktop.", ApplicationTitle(), MB_OK | MB_ICONERROR);
    });
    on(ui->miBrowseServer, [this] { BrowserServer1Click(); });
    on(ui->miNewSession, [this] {
        if (!StartProgram(S(QCoreApplication::applicationFilePath()), {NewSessionArgument}))
            Dialogs().MessageBox("Cannot start a new session", ApplicationTitle(), MB_OK | MB_ICONERROR);
    });
    // Command
    on(ui->miIncreaseThread, [this] { miIncreaseThreadClick(); });
    on(ui->tbIncreaseThread, [this] { miIncreaseThreadClick(); });
    on(ui->miDecreaseThread, [this] { miDecreaseThreadClick(); });
    on(ui->tbDecreaseThread, [this] { miDecreaseThreadClick(); });
    for (QAction* a : {ui->miDownload, ui->tbDownload}) on(a, [this] { QueueDownloads(); });
    for (QAction* a : {ui->miUpload, ui->tbUpload}) on(a, [this] { QueueUploads(); });
    for (QAction* a : {ui->miResumeBroken, ui->tbResumeBroken}) on(a, [this] { miResumeBrokenClick(true); });
    for (QAction* a : {ui->miDeleteBroken, ui->tbDeleteBroken}) on(a, [this] { DeleteBrokenList1Click(true); });
    for (QAction* a : {ui->miBrokenDetail, ui->tbBrokenDetail}) on(a, [this] { miDetailInfoClick(); });
    pmQuene = new QMenu(this);
    pmQuene->setObjectName("pmQuene");
    auto queneItem = [this, on](const char* name, const char* text, std::function<void()> f) {
        QAction* a = pmQuene->addAction(text);
        a->setObjectName(name);
        on(a, std::move(f));
    };
    queneItem("miResumeBrokenList", "Resume Broken List", [this] { miResumeBrokenClick(false); });
    queneItem("DeleteBrokenList1", "Delete Broken List", [this] { DeleteBrokenList1Click(false); });
    pmQuene->addSeparator();
    queneItem("miDetailInfo", "Detail Information", [this] { miDetailInfoClick(); });
    ui->tvQuene->setContextMenuPolicy(Qt::CustomContextMenu);
    ConnectHandler(ui->tvQuene, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        if (QTreeWidgetItem* node = ui->tvQuene->itemAt(at)) ui->tvQuene->setCurrentItem(node);
        if ((FSessionState == ssReady || FSessionState == ssConnected) && SelectedBrokenList() >= 0)
            pmQuene->popup(ui->tvQuene->viewport()->mapToGlobal(at));
    });
    // A click, or a double click, on a broken list shows its details.
    ConnectHandler(ui->tvQuene, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem*, int) { miDetailInfoClick(); });
    ConnectHandler(ui->tvQuene, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem*) { miDetailInfoClick(); });
    FPanePopups = new TPanePopupMenus(*this);
    FPanePopups->Attach(ui->lvLocal, true);
    FPanePopups->Attach(ui->lvHost, false);
    ui->cbLocal->setItemDelegate(new TLocalPathDelegate([this] { return FSettings.CheckFreeSpace; }, ui->cbLocal));
    ConnectHandler(ui->cbLocal, QOverload<int>::of(&QComboBox::activated), this, [this](int i) {
        const std::string path = LocalPathOfItem(ui->cbLocal, i);
        if (path.empty()) return;
        LocalPath = path;
        ListLocalDir(LocalPath);
    });
    auto both = [this, on](std::initializer_list<QAction*> actions, std::function<void(bool)> f) {
        for (QAction* a : actions) on(a, [this, f] { f(FLocalActive); });
    };
    both({ui->miMakeDirectory, ui->tbNewDirectory}, [this](bool local) { MakeDirectoryClick(local); });
    both({ui->miRename, ui->tbRename}, [this](bool local) { RenameClick(local); });
    both({ui->miMove, ui->tbMoveFile}, [this](bool local) { MoveClick(local); });
    both({ui->miDelete, ui->tbDelete}, [this](bool local) { DeleteClick(local); });
    both({ui->miChangeDirectory, ui->tbChangeDirectory}, [this](bool local) { ChangeDirectoryClick(local); });
    on(ui->miChangeMode, [this] { ChangeModeClick(); });
    on(ui->miEdit, [this] { EditViewClick(FLocalActive, false); });
    for (QAction* a : {ui->miView, ui->tbViewFile}) on(a, [this] { EditViewClick(FLocalActive, true); });
    on(ui->miCalcSize, [this] { CalcSizeClick(); });
    on(ui->miManualDownload, [this] { ManualDownloadClick(); });
    on(ui->miExecute, [this] { ExecuteClick(); });
    on(ui->tbExecute, [this] { if (FLocalActive) ExecuteClick(); });
    on(ui->miProperties, [this] { PropertiesClick(); });
    on(ui->tbProperty, [this] { if (FLocalActive) PropertiesClick(); });
    on(ui->miOpenCurrentDirectory, [this] { OpenCurrentDirectoryClick(); });
    on(ui->QuoteCommand1, [this] { QuoteCommand1Click(); });
    on(ui->Define1, [this] { Define1Click(); });
    // Bookmarks
    on(ui->miAddBookmark, [this] {
        if (FSessionState != ssConnected || ui->cbHost->currentText().isEmpty()) return;
        std::string name;
        if (!Dialogs().InputQuery("Bookmark", "Enter Bookmark Name:", name) || name.empty()) return;
        FSettings.BookmarkList.push_back(name + "|" + S(ui->cbHost->currentText()));
        BuildBookmarkItems();
    });
    on(ui->miEditBookmarks, [this] {
        {
            TfmEditBookmark dialog(FSettings.BookmarkList, this);
            dialog.exec();
        }
        BuildBookmarkItems();
    });
    // View
    on(ui->miSwitchBrowser, [this] {
        // Tab walks the quick bar, then between the panes.
        QWidget* f = QApplication::focusWidget();
        QWidget* host = ui->cbHostName;
        if (f == host || (f && host->isAncestorOf(f))) ui->edUser->setFocus();
        else if (f == ui->edUser) ui->edPass->setFocus();
        else if (f == ui->edPass) ui->edPort->setFocus();
        else if (ui->lvLocal->HasFocusWithin()) ui->lvHost->setFocus();
        else ui->lvLocal->setFocus();
    });
    auto* viewStyles = new QActionGroup(this);
    const std::pair<QAction*, int> styles[] = {{ui->miLargeIcons, 0}, {ui->miSmallIcons, 1}, {ui->miList, 2}, {ui->miDetails, 3}};
    for (const auto& [a, tag] : styles) {
        a->setCheckable(true);
        viewStyles->addAction(a);
        on(a, [this, tag = tag] { SetPaneViewStyle(FLocalActive, tag); });
    }
    // The check mark follows the active pane.
    ConnectHandler(ui->mnView, &QMenu::aboutToShow, this, [this] { ShowViewStyleChecks(); });
    const std::pair<QAction*, int> keys[] = {{ui->miByName, 0}, {ui->miBySize, 1}, {ui->miByDateTime, 2}, {ui->miByExtension, 3}};
    for (const auto& [a, key] : keys) on(a, [this, key = key] { SortPane(FLocalActive, key); });
    on(ui->miSelectAll, [this] { SelectRows(FLocalActive, false); });
    on(ui->miInvertSelection, [this] { SelectRows(FLocalActive, true); });
    on(ui->miAutoArrange, [] {}); // a check mark only, as shipped
    // Each item shows or hides its panel; the check follows.
    const std::pair<QAction*, bool TClientSettings::*> panels[] = {
        {ui->miShowToolBar, &TClientSettings::ShowToolBar},
        {ui->miShowQuickLunchBar, &TClientSettings::ShowQuickLunchBar},
        {ui->miShowStatusWindow, &TClientSettings::ShowStatusWindow},
        {ui->miShowTransferStateWindow, &TClientSettings::ShowTransferStateWindow}};
    for (const auto& [a, field] : panels)
        on(a, [this, field = field] {
            FSettings.*field = !(FSettings.*field);
            ShowPanels();
        });
    on(ui->NOSkin1, [this] { SkinClick(0); });
    on(ui->Skin11, [this] { SkinClick(1); });
    on(ui->Skin21, [this] { SkinClick(2); });
    auto refresh = [this] {
        if (ui->lvHost->HasFocusWithin()) {
            if (FSessionState != ssConnected) return;
            SetSessionState(ssRefreshing);
            FManager->RefreshRemoteDir(RemoteDir);
        } else {
            ListLocalDir(LocalPath);
        }
    };
    on(ui->miRefresh, refresh);
    on(ui->tbRefresh, refresh);
    // Tool
    on(ui->miAntiIdle, [this] {
        FSettings.AntiIdleEnable = ui->miAntiIdle->isChecked();
        SetSessionState(FSessionState);
    });
    on(ui->miEnableProxy, [this] { FSettings.ProxySetting.Enabled = ui->miEnableProxy->isChecked(); });
    on(ui->miEnableSocks, [this] { FSettings.SocksSetting.Enabled = ui->miEnableSocks->isChecked(); });
    on(ui->miOpenUrl, [this] {
        std::string url;
        if (Dialogs().InputQuery("Open URL", "Enter URL:", url) && !url.empty())
            QDesktopServices::openUrl(QUrl(Q(url)));
    });
    on(ui->miRunProgram, [this] {
        std::string program;
        // A file that cannot run itself goes to the desktop's opener, as a double click does.
        if (Dialogs().OpenFileName("Run program", "All files (*)", program) && !program.empty() &&
            !ExecuteFile(program, StartProgram))
            OpenLocal(program);
    });
    auto transferType = [this](int type) {
        FSettings.TransferType = type;
        ui->miAscii->setChecked(type == 0);
        ui->miBinary->setChecked(type == 1);
        ui->miAuto->setChecked(type == 2);
    };
    on(ui->miAscii, [transferType] { transferType(0); });
    on(ui->miBinary, [transferType] { transferType(1); });
    on(ui->miAuto, [transferType] { transferType(2); });
    on(ui->miPreference, [this] { Settings1Click(); });
    on(ui->tbPreference, [this] { Settings1Click(); });
    on(ui->miCopyUrl, [this] { miCopyUrlClick(); });
    // Directory
    on(ui->miFilterFiles, [this] { FilterFilesClick(FLocalActive); });
    on(ui->miGroupSelect, [this] { GroupSelectClick(FLocalActive); });
    on(ui->miFindFile, [this] { FindFileClick(FLocalActive); });
    on(ui->miFindNext, [this] { FindNextClick(FLocalActive); });
    on(ui->miFilterDirectorys, [this] { ShowPaneRows(FLocalActive); });
    on(ui->miViewRawDirectory, [this] {
        TfmViewRawDir view(this);
        view.SetText(FManager->GetListingText());
        view.exec();
    });
    on(ui->miResolveLinks, [this] { FSettings.ResolveLinkAsFile = ui->miResolveLinks->isChecked(); });
    on(ui->miShowLinks, [this] { FSettings.ShowLink = ui->miShowLinks->isChecked(); });
    on(ui->miAddLocalDirectory, [this] {
        FSettings.LocalDirList.push_back(LocalPath);
        BuildDirectoryItems();
    });
    on(ui->miEditLocalDirectory, [this] {
        {
            TfmEditDirectoryList dialog(FSettings.LocalDirList, this);
            dialog.exec();
        }
        BuildDirectoryItems();
    });
    // Log
    on(ui->miClearLog, [this] { LogCommand([](QPlainTextEdit* e) { e->clear(); }, false); });
    on(ui->miClearAllLog, [this] { ClearAllLogs(); });
    on(ui->miCopyLog, [this] {
        LogCommand([](QPlainTextEdit* e) { QApplication::clipboard()->setText(e->toPlainText()); }, true);
    });
    on(ui->miCopySelectedLog, [this] {
        LogCommand(
            [](QPlainTextEdit* e) {
                QApplication::clipboard()->setText(e->textCursor().selectedText().replace(QChar(0x2029), '\n'));
                QTextCursor c = e->textCursor();
                c.movePosition(QTextCursor::End);
                e->setTextCursor(c);
            },
            true);
    });
    on(ui->miNextLog, [this] {
        const int n = ui->pcDisplay->count();
        if (n) ui->pcDisplay->setCurrentIndex((ui->pcDisplay->currentIndex() + 1) % n);
    });
    on(ui->miPreviousLog, [this] {
        const int n = ui->pcDisplay->count();
        if (n) ui->pcDisplay->setCurrentIndex((ui->pcDisplay->currentIndex() + n - 1) % n);
    });
    // The log page's own menu.
    auto addLog = [this, on](const char* name, const char* text, QAction* same) {
        QAction* a = pmRichEdit->addAction(text);
        a->setObjectName(name);
        on(a, [same] { same->trigger(); });
    };
    addLog("pmCopySelect", "Copy Select", ui->miCopySelectedLog);
    addLog("pmCopyAll", "Copy All", ui->miCopyLog);
    pmRichEdit->addSeparator();
    QAction* clear = pmRichEdit->addAction("Clear");
    clear->setObjectName("pmClear");
    on(clear, [this] { LogCommand([](QPlainTextEdit* e) { e->clear(); }, true); });
    QAction* clearAll = pmRichEdit->addAction("Clear All");
    clearAll->setObjectName("pmClearAll");
    on(clearAll, [this] {
        ClearAllLogs();
        ui->cbHostName->setFocus();
    });
    // About
    on(ui->miContent, [this] {
        if (!FDesktopTies->ContentClick(FProgramDir))
            Dialogs().MessageBox("The help file " + TDesktopTies::HelpFile(FProgramDir) + " is not there.",
                                 ApplicationTitle(), MB_OK | MB_ICONINFORMATION);
    });
    FDesktopTies->AddMakerItems(ui->mnAbout, ui->miAbout);
    ui->mnAbout->insertSeparator(ui->miAbout);
    on(ui->miAbout, [this] {
        TfmAbout about(this);
        about.exec();
    });
}
