#include "client/ui/main/Main.h"

#include "client/browser/Browser.h"
#include "client/browser/BrowserServer.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDate>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLocale>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProcess>
#include <QScrollBar>
#include <QStandardPaths>
#include <QStyle>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>
#include <QTreeView>
#include <QListView>
#include <QUrl>

#include <algorithm>
#include <filesystem>
#include <random>

#include "client/engine/CommFunc.h"
#include "client/engine/DirListing.h"
#include "client/engine/FtpManager.h"
#include "client/engine/LocalFiles.h"
#include "client/engine/QuickSite.h"
#include "client/ui/connbook/AddCurrSite.h"
#include "client/ui/connbook/ConnectBook.h"
#include "client/ui/main/FtpUrl.h"
#include "client/ui/main/InstanceTempFolder.h"
#include "client/engine/DesktopShortcut.h"
#include "client/ui/main/DesktopTies.h"
#include "client/ui/main/Launcher.h"
#include "client/ui/main/BrokenList.h"
#include "client/ui/main/LocalPane.h"
#include "client/ui/main/LocalPathCombo.h"
#include "client/ui/main/PanePopupMenus.h"
#include "client/ui/main/QueneInfo.h"
#include "client/ui/main/PaneActions.h"
#include "client/ui/main/FilePaneModel.h"
#include "client/ui/main/FilePaneView.h"
#include "client/ui/main/PaneIcons.h"
#include "client/ui/main/IndexFile.h"
#include "client/ui/main/RemotePane.h"
#include "client/ui/main/MenuEnabling.h"
#include "client/ui/preference/Preference.h"
#include "client/ui/small/About.h"
#include "client/ui/small/CommFail.h"
#include "client/ui/small/CustomCommand.h"
#include "client/ui/small/EditBookmark.h"
#include "client/ui/small/EditDirectoryList.h"
#include "client/ui/small/FileExist.h"
#include "client/ui/small/FileProperties.h"
#include "client/ui/small/ServerMessage.h"
#include "client/ui/small/ViewRawDir.h"
#include "net/FtpCli.h"
#include "platform/dialogs/Dialogs.h"
#include "platform/dialogs/EventHandler.h"
#include "platform/dialup/DialUP.h"
#include "platform/dialup/DuExcept.h"
#include "platform/dialup/DuRas.h"
#include "platform/dragdrop/DropURLTarget.h"
#include "ui_Main.h"
#include "widgets/skStatusBar.h"

namespace fs = std::filesystem;

namespace {

const char* const kAntiIdleCommands[] = {"PWD", "REST 0", "TYPE I", "TYPE A"};
const char* const kMask = "********";

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

bool FileExists(const std::string& path)
{
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

// The small pictures of the status rows: 0 idle, 1 busy, 2 connected.
QIcon RowIcon(int image)
{
    static const QColor colours[] = {QColor(128, 128, 128), QColor(230, 160, 0), QColor(0, 160, 0)};
    QPixmap p(12, 12);
    p.fill(Qt::transparent);
    QPainter painter(&p);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(colours[std::clamp(image, 0, 2)]);
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(1, 1, 10, 10);
    return QIcon(p);
}

QColor LogColour(TLogColor c)
{
    switch (c) {
    case TLogColor::Blue: return QColor(0, 0, 255);
    case TLogColor::Green: return QColor(0, 128, 0);
    default: return QColor(255, 0, 0);
    }
}

std::string NowText()
{
    return S(QLocale::system().toString(QDateTime::currentDateTime(), QLocale::ShortFormat));
}

std::string WithSlash(std::string p)
{
    if (p.empty() || p.back() != '/') p += '/';
    return p;
}

} // namespace

const std::string& TfmMain::Title()
{
    static const std::string title = "BrantelFTP Pro 1.0.1.1";
    return title;
}

const std::string& TfmMain::ProgramTitle() const { return Title(); }

TfmMain::TfmMain(std::string programDir, QWidget* parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::TfmMain>()), FProgramDir(WithSlash(std::move(programDir)))
{
    ui->setupUi(this);
    tiProgress = new QTimer(this);
    tiProgress->setObjectName("tiProgress");
    tiProgress->setInterval(1000);
    tiAntiIdle = new QTimer(this);
    tiAntiIdle->setObjectName("tiAntiIdle");
    tmMoniterClipboard = new QTimer(this);
    tmMoniterClipboard->setObjectName("tmMoniterClipboard");
    tmMoniterClipboard->setInterval(300);
    pmRichEdit = new QMenu(this);
    pmRichEdit->setObjectName("pmRichEdit");
    StartProgram = [](const std::string& program, const std::vector<std::string>& args) {
        return StartDetached(program, args);
    };
    FDesktopTies = std::make_unique<TDesktopTies>(
        this, [this] { return FSettings.PromoteMethod; }, [this] { return FSettings.HideOnMinimize; });
    SetupStatusBar();
    SetupToolBarIcons();
    SetupPaneViews();
    WireActions();
    FormCreate();
}

TfmMain::~TfmMain()
{
    FormDestroy();
    // The engine's clients call back into the window while they close.
    FManager.reset();
    // The views outlive the panes their models read.
    delete FLocalModel;
    delete FRemoteModel;
    FLocalModel = FRemoteModel = nullptr;
}

std::string TfmMain::TempDir() const { return FTemp ? FTemp->Path() : std::string(); }

TskStatusBar* TfmMain::StatusBar() const { return ui->sbStatus; }

std::string TfmMain::StatusText(int panel) const
{
    auto& panels = ui->sbStatus->Panels();
    return panel < panels.Count() ? panels.GetPanel(panel)->Text() : std::string();
}

// ---- start-up --------------------------------------------------------------------

void TfmMain::SetupStatusBar()
{
    auto& panels = ui->sbStatus->Panels();
    // 0 state, 1 bytes and speed, 2 spare, 3 elapsed, 4 remaining, 5 the gauge.
    const char* widths[] = {"90", "230", "60", "130", "130", "150"};
    for (const char* w : widths) {
        auto* p = panels.Add();
        p->SetWidth(w);
        p->SetBevel(pbLowered);
    }
    panels.GetPanel(5)->SetStyle(psControl);
    // Already the bar's child, so the panel does not show it on its first paint.
    ui->Gauge1->setParent(ui->sbStatus);
    panels.GetPanel(5)->SetComponent(ui->Gauge1);
    ui->Gauge1->setVisible(false);
}

void TfmMain::SetupToolBarIcons()
{
    const std::pair<QAction*, QStyle::StandardPixmap> icons[] = {
        {ui->tbConnect, QStyle::SP_DialogYesButton},     {ui->tbReconnect, QStyle::SP_BrowserReload},
        {ui->tbSiteBook, QStyle::SP_DirHomeIcon},        {ui->tbAbort, QStyle::SP_BrowserStop},
        {ui->tbDisconnect, QStyle::SP_DialogNoButton},   {ui->tbDownload, QStyle::SP_ArrowDown},
        {ui->tbUpload, QStyle::SP_ArrowUp},              {ui->tbViewFile, QStyle::SP_FileDialogContentsView},
        {ui->tbRefresh, QStyle::SP_BrowserReload},       {ui->tbProperty, QStyle::SP_FileDialogInfoView},
        {ui->tbExecute, QStyle::SP_MediaPlay},           {ui->tbDelete, QStyle::SP_TrashIcon},
        {ui->tbRename, QStyle::SP_FileDialogDetailedView}, {ui->tbMoveFile, QStyle::SP_FileLinkIcon},
        {ui->tbNewDirectory, QStyle::SP_FileDialogNewFolder}, {ui->tbChangeDirectory, QStyle::SP_DirOpenIcon},
        {ui->tbResumeBroken, QStyle::SP_MediaSeekForward}, {ui->tbDeleteBroken, QStyle::SP_DialogDiscardButton},
        {ui->tbBrokenDetail, QStyle::SP_MessageBoxInformation}, {ui->tbIncreaseThread, QStyle::SP_ArrowRight},
        {ui->tbDecreaseThread, QStyle::SP_ArrowLeft},    {ui->tbPreference, QStyle::SP_FileDialogListView},
        {ui->tbExit, QStyle::SP_DialogCloseButton},
    };
    for (auto& [action, pixmap] : icons) action->setIcon(style()->standardIcon(pixmap));
    // The reconnect and refresh buttons would look alike.
    ui->tbRefresh->setIcon(style()->standardIcon(QStyle::SP_FileDialogToParent));
}

void TfmMain::FormCreate()
{
    // 1. The files a start needs, from their shipped copies.
    for (const char* name : {"book20.dat", "setting.ini", "oldquene.ini"}) CopyDefaultFile(FProgramDir, name);
    // 2. URLs dropped on the host box.
    DropURLTarget1 = std::make_unique<TDropURLTarget>();
    DropURLTarget1->OnDrop = [this](TObject*, TShiftState, QPoint, int& effect) {
        if (DropURLTarget1->URL.empty()) return;
        ui->cbHostName->setEditText(Q(DropURLTarget1->URL));
        effect = DROPEFFECT_LINK;
    };
    DropURLTarget1->SetTarget(ui->cbHostName);
    // 6-7. Titles and settings.
    SetApplicationTitle(ProgramTitle());
    FSettings.Width = width();
    FSettings.Height = height();
    FSettings.LoadFromFile(FProgramDir + "setting.ini", FProgramDir);
    ui->cbHostName->clear();
    for (const auto& item : FSettings.QuickConnectHostBoxItems()) ui->cbHostName->addItem(Q(item));
    ui->cbHostName->setCurrentIndex(FSettings.QuickConnectSelection());
    if (FSettings.QuickConnectSelection() >= 0) {
        // The selected entry fills the bar as the site book's choice would.
        const TQuickSite site = ResolveQuickSite(S(ui->cbHostName->currentText()), {}, FSettings.QuickConnectList);
        ui->cbHostName->setEditText(Q(site.Host));
        ui->edPort->setText(Q(site.Port.empty() ? "21" : site.Port));
        ui->edUser->setText(Q(site.User.empty() ? "anonymous" : site.User));
        ui->edPass->setText(Q(site.Pass));
    }
    resize(FSettings.Width, FSettings.Height);
    if (FSettings.Left || FSettings.Top) move(FSettings.Left, FSettings.Top);
    // 8-9. Menus and check marks.
    BuildCustomCommandMenu();
    BuildBookmarkItems();
    BuildDirectoryItems();
    ui->miAntiIdle->setChecked(FSettings.AntiIdleEnable);
    ui->miEnableProxy->setChecked(FSettings.ProxySetting.Enabled);
    ui->miEnableSocks->setChecked(FSettings.SocksSetting.Enabled);
    ui->miShowToolBar->setChecked(FSettings.ShowToolBar);
    ui->miShowQuickLunchBar->setChecked(FSettings.ShowQuickLunchBar);
    ui->miShowStatusWindow->setChecked(FSettings.ShowStatusWindow);
    ui->miShowTransferStateWindow->setChecked(FSettings.ShowTransferStateWindow);
    ui->ToolBar1->setVisible(FSettings.ShowToolBar);
    ui->pnQuickConnect->setVisible(FSettings.ShowQuickLunchBar);
    ui->lvStatus->setVisible(FSettings.ShowTransferStateWindow);
    ui->pcDisplay->setVisible(FSettings.ShowStatusWindow);
    ui->miAscii->setChecked(FSettings.TransferType == 0);
    ui->miBinary->setChecked(FSettings.TransferType == 1);
    ui->miAuto->setChecked(FSettings.TransferType == 2);
    ui->miResolveLinks->setChecked(FSettings.ResolveLinkAsFile);
    ui->miShowLinks->setChecked(FSettings.ShowLink);
    // 10. The clipboard monitor.
    FLastClipboard = S(QApplication::clipboard()->text()).substr(0, 4096);
    std::transform(FLastClipboard.begin(), FLastClipboard.end(), FLastClipboard.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    if (FSettings.MoniterClipboard) tmMoniterClipboard->start();
    // 11. Fonts.
    if (FSettings.ProgramFont) {
        QFont f(Q(FSettings.ProgramFontInfo.Name), FSettings.ProgramFontInfo.Size);
        setFont(f);
    }
    // 12. Broken lists.
    try {
        LoadOldQuenes(FProgramDir + "oldquene.ini", FBrokenLists);
    } catch (const std::exception& e) {
        DisplayLine(0, std::string("<ERROR>      ") + e.what());
    }
    // 13-14. Log pages and the connection pool.
    BuildLogPages();
    FManager = std::make_unique<TFtpManager>(*this);
    FManager->CreateConnections(FSettings.FtpCliNum);
    // 16. This copy's temporary folder; those of copies that are gone go.
    FTemp = std::make_unique<TInstanceTempFolder>(FProgramDir + "tmp");
    // 17. The local folder.
    std::error_code ec;
    if (FSettings.LocalPath.empty() || !fs::is_directory(FSettings.LocalPath, ec)) FSettings.LocalPath = FProgramDir;
    LocalPath = WithSlash(FSettings.LocalPath);
    ListLocalDir(LocalPath);
    // 18. The queue tree.
    SeedQueueTree();
    // 20-22.
    BuildStatusRows();
    SetSessionState(ssReady);
    FManager->SetSplitFileSize(FSettings.MTFileSize);
    ui->Splitter1->setSizes({170, 630});
    ui->Splitter2->setSizes({330, 190});
    ui->Splitter4->setSizes({300, 500});
    ui->lvStatus->setColumnWidth(0, 50);
    ui->lvStatus->setColumnWidth(1, 90);
    ui->lvStatus->setColumnWidth(2, 100);
    for (TFilePaneView* lv : {ui->lvLocal, ui->lvHost}) {
        lv->DetailsView()->setColumnWidth(1, 80);
        lv->DetailsView()->setColumnWidth(2, 110);
    }
    ui->plLocalStatus->setText(Q(FLocalPane.StatusText()));
    // A long count must not push the panes apart.
    for (QWidget* w : {static_cast<QWidget*>(ui->plLocalStatus), static_cast<QWidget*>(ui->plHostStatus)})
        w->setSizePolicy(QSizePolicy::Ignored, w->sizePolicy().verticalPolicy());
    ui->plHostStatus->setText("Remote");
    // Enabling also follows focus and selection, which change without a
    // state change: refresh it whenever the program is idle.
    auto* idle = new QTimer(this);
    idle->setObjectName("tiIdle");
    idle->setInterval(100);
    ConnectHandler(idle, &QTimer::timeout, this, [this] { UpdateEnabling(); });
    idle->start();
    UpdateEnabling();
}

void TfmMain::SeedQueueTree()
{
    ui->tvQuene->clear();
    CurrentNode = new QTreeWidgetItem(ui->tvQuene, {Q(S(QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat)) + " - Current")});
    DownloadNode = new QTreeWidgetItem(CurrentNode, {"Download"});
    UploadNode = new QTreeWidgetItem(CurrentNode, {"Upload"});
    for (const bool down : {true, false})
        for (std::size_t i = 0; i < (down ? FQueueTree.Download : FQueueTree.Upload).size(); ++i)
            new QTreeWidgetItem(down ? DownloadNode : UploadNode, {""});
    for (const bool down : {true, false})
        for (std::size_t i = 0; i < (down ? FQueueTree.Download : FQueueTree.Upload).size(); ++i) ShowQueueNode(down, int(i));
    for (const auto& q : FBrokenLists) {
        const TBrokenQueueNodeTexts t = BrokenQueueNodeTexts(q);
        auto* root = new QTreeWidgetItem(ui->tvQuene, {Q(t.Root)});
        for (const auto& h : t.HostInfo) new QTreeWidgetItem(root, {Q(h)});
        if (!t.Downloads.empty()) {
            auto* d = new QTreeWidgetItem(root, {"download"});
            for (const auto& p : t.Downloads) new QTreeWidgetItem(d, {Q(p)});
        }
        if (!t.Uploads.empty()) {
            auto* u = new QTreeWidgetItem(root, {"upload"});
            for (const auto& p : t.Uploads) new QTreeWidgetItem(u, {Q(p)});
        }
    }
    CurrentNode->setExpanded(true);
}

void TfmMain::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (FFirstShow) QTimer::singleShot(0, this, EventHandler([this] { FormShow(); }));
}

void TfmMain::FormShow()
{
    if (!FFirstShow) return;
    FFirstShow = false;
    if (ui->pnQuickConnect->isVisible()) ui->cbHostName->setFocus();
    if (!CommandLineUrl.empty()) {
        ui->cbHostName->setEditText(Q(CommandLineUrl));
        if (ParseFtpURL(CommandLineUrl)) {
            // Reconnect opens the URL's folder after the login.
            PendingAction = RemoteDir.empty() ? 0 : 1;
            THostInfo host = QuickBarHost();
            if (ValidHost(host)) ConnectTo(host);
        }
    }
    QTimer::singleShot(0, this, EventHandler([this] { WMStartUp(); }));
}

void TfmMain::WMStartUp()
{
    if (FSettings.ShowSiteManager) ui->miSiteManager->trigger();
}

void TfmMain::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    FormResize();
}

void TfmMain::FormResize()
{
    // The host box text is left alone: cutting it at ":" turned a typed URL into "ftp".
    const int w = ui->Splitter3->width();
    if (w > 0) ui->Splitter3->setSizes({w / 2, w - w / 2});
    if (FSettings.AutoSizeColumn) {
        for (TFilePaneView* pane : {ui->lvLocal, ui->lvHost}) {
            QTreeView* lv = pane->DetailsView();
            const int rest = lv->viewport()->width() - lv->columnWidth(1) - 2 - lv->columnWidth(2) - 2;
            if (rest > 40) lv->setColumnWidth(0, rest);
        }
    }
}

bool TfmMain::FormCloseQuery()
{
    switch (FSessionState) {
    case ssReady: return true;
    case ssTransfering:
        Dialogs().MessageBox("Please Abort transferring first!", "Transferring", MB_OK | MB_ICONINFORMATION);
        return false;
    default:
        return Dialogs().MessageBox("Still connected to host, Quit anyway?", "Quit", MB_YESNO | MB_ICONQUESTION) ==
               IDYES;
    }
}

void TfmMain::CloseWithoutQuery()
{
    FForceClose = true;
    close();
}

void TfmMain::closeEvent(QCloseEvent* event)
{
    bool close = FForceClose;
    if (!close) Guarded([&] { close = FormCloseQuery(); });
    if (close) event->accept();
    else event->ignore();
}

void TfmMain::FormDestroy()
{
    if (FDestroyed) return;
    FDestroyed = true;
    tiAntiIdle->stop();
    tmMoniterClipboard->stop();
    tiProgress->stop();
    if (!isMaximized() && isVisible()) {
        FSettings.Left = x();
        FSettings.Top = y();
        FSettings.Width = width();
        FSettings.Height = height();
    }
    FSettings.Maximized = isMaximized();
    FSettings.LocalPath = LocalPath;
    // Whatever cannot be written is reported: the user's settings and queues
    // must not vanish without a word.
    if (!FSettings.SaveToFile(FProgramDir + "setting.ini")) FSaveFailures.push_back(FProgramDir + "setting.ini");
    try {
        SaveOldQuenes(FProgramDir + "oldquene.ini", FBrokenLists, FRemovedBrokenKeys);
    } catch (const std::exception&) {
        FSaveFailures.push_back(FProgramDir + "oldquene.ini");
    }
    if (FLogFile.Failed()) FSaveFailures.push_back(FLogFile.FailedFileName());
    if (DropURLTarget1) DropURLTarget1->RevokeTarget();
    if (FSettings.DialUPType == 1 && FSettings.DialUPDisconnect) {
        Guarded([] {
            TRasDialer dialer;
            dialer.HangUpConnection();
        });
    }
    if (!FSaveFailures.empty()) {
        std::string text = "These files could not be written:";
        for (const auto& f : FSaveFailures) text += "\n" + f;
        Guarded([&] { Dialogs().MessageBox(text, "Skelwick", MB_OK | MB_ICONERROR); });
    }
    FTemp.reset();
}

// ---- session state ---------------------------------------------------------------

void TfmMain::SetSessionState(int value)
{
    static const char* const panelTexts[] = {"Ready", "Connecting", "Connected", "Changing dir", "Preparing",
                                             "Transfering"};
    static const char* const rowTexts[] = {"Ready", "Connecting", "Connected", "ChangingDir", "Preparing"};
    static const int rowImages[] = {0, 1, 2, 1, 1};
    FSessionState = value;
    if (value <= ssTransfering) SetStatusText(0, panelTexts[value]);
    const bool idle = value == ssReady || value == ssConnected;
    FBusy = !idle;
    for (TFilePaneView* lv : {ui->lvLocal, ui->lvHost}) {
        lv->SetBusy(!idle);
        lv->SetDragEnabled(value == ssConnected);
    }
    if (value == ssReady) setWindowTitle(Q(ProgramTitle() + " - Not connected"));
    else setWindowTitle(Q(ProgramTitle() + " - " + (FManager ? FManager->GetHostInfo().HostName : std::string())));
    if (value == ssReady) {
        // No edit or view outlives its session.
        ViewOnly = false;
        IndexViewActive = false;
        ResetRemoteView();
    }
    // A 0 s interval would send a command on every pass of the loop.
    if (FSettings.AntiIdleEnable && value == ssConnected && FSettings.AntiIdleInterval >= 1) {
        tiAntiIdle->setInterval(std::min(FSettings.AntiIdleInterval, 2000000) * 1000);
        tiAntiIdle->start();
    } else {
        tiAntiIdle->stop();
    }
    if (value <= ssPreparing && ui->lvStatus->topLevelItemCount() > 0)
        SetRowTexts(0, rowTexts[value], S(ui->lvStatus->topLevelItem(0)->text(2)), S(ui->lvStatus->topLevelItem(0)->text(3)), rowImages[value]);
    // The buttons follow the state at once: waiting for the idle tick would
    // leave Abort disabled for the first moments of a connect.
    UpdateEnabling();
}

void TfmMain::ResetRemoteView()
{
    FRemotePane.SetFiles({});
    if (FRemoteModel) FRemoteModel->Refresh();
    // The counts of the listing that went must not stay under the empty pane.
    ui->plHostStatus->setText("Remote");
    ui->cbHost->clear();
    ClearStatusRows(false);
    ClearPanels1To4();
    tiProgress->stop();
    ui->Gauge1->setVisible(false);
    if (PendingAction != 2 && DownloadNode) ClearQueueNodes();
}

void TfmMain::ClearStatusRows(bool connectedRow0)
{
    for (int i = 0; i < ui->lvStatus->topLevelItemCount(); ++i)
        SetRowTexts(i, i == 0 && connectedRow0 ? "Connected" : "Ready", "", "", i == 0 && connectedRow0 ? 2 : 0);
}

void TfmMain::ClearPanels1To4()
{
    for (int i = 1; i <= 4; ++i) SetStatusText(i, "");
}

void TfmMain::SetRowTexts(int row, const std::string& state, const std::string& file, const std::string& pos, int image)
{
    QTreeWidgetItem* item = ui->lvStatus->topLevelItem(row);
    if (!item) return;
    item->setText(1, Q(state));
    item->setText(2, Q(file));
    item->setText(3, Q(pos));
    item->setIcon(0, RowIcon(image));
}

void TfmMain::Later(std::function<void()> f)
{
    QTimer::singleShot(0, this, EventHandler(std::move(f)));
}

void TfmMain::OperationDone()
{
    if (FDestroyed || !FManager) return; // the pool closing its clients as the window goes
    SetApplicationTitle(ProgramTitle());
    // Pending messages are not pumped here: an engine event arriving inside
    // this handler would run the state machine twice.
    switch (FSessionState) {
    case ssConnecting:
        SetSessionState(ssConnected);
        AddQuickConnectEntry();
        if (PendingAction == 1) {
            PendingAction = 0;
            FStartFolderListing = true;
            SetSessionState(ssChangingDir);
            FManager->ChangeRemoteDir(RemoteDir);
            return;
        }
        AfterListing(true);
        if (PendingAction == 2) {
            // The broken list leaves the store only now that its run starts.
            PendingAction = 0;
            TakeResumedList();
            SetSessionState(ssTransfering);
            FManager->StartTransfer(FTransferQueue, 1);
            return;
        }
        PlaySoundFile(FSettings.SoundFiles[0]);
        DrawAttention();
        AutoViewIndexFile();
        Later([this] { ShowLoginMessage(); });
        break;
    case ssChangingDir:
        SetSessionState(ssConnected);
        AfterListing(false);
        if (std::exchange(FStartFolderListing, false)) AutoViewIndexFile();
        break;
    case ssPreparing:
        // A folder of the selection has been walked: its files join the queue.
        AddExpandedFiles();
        QueueDownloadLoop();
        break;
    case ssTransfering: {
        tiProgress->stop();
        ui->Gauge1->setVisible(false);
        ClearStatusRows(true);
        ClearPanels1To4();
        const bool empty = FManager->GetTransferQueue().empty();
        MoveQueueToBroken();
        if (PendingAction != 2) ClearQueueNodes();
        ListLocalDir(LocalPath);
        if (!empty) {
            SetSessionState(ssConnected);
            break;
        }
        if (!QueuedFromDir.empty()) {
            FManager->InvalidateListing(QueuedFromDir);
            SetSessionState(ssChangingDir);
            const std::string dir = QueuedFromDir;
            QueuedFromDir.clear();
            FManager->ChangeRemoteDir(dir);
        } else {
            SetSessionState(ssRefreshing);
            FManager->RefreshRemoteDir(RemoteDir);
        }
        PlaySoundFile(FSettings.SoundFiles[3]);
        DrawAttention();
        if (FSettings.ConfirmFlags.TransferOver) {
            Later([this] {
                if (Dialogs().MessageBox("Transferring Completed ! Open Local Directory ?", "Completed",
                                         MB_YESNO | MB_ICONINFORMATION) == IDYES)
                    QDesktopServices::openUrl(QUrl::fromLocalFile(Q(LocalPath)));
            });
        }
        break;
    }
    case ssPreparingUpload:
        SetSessionState(ssTransfering);
        FManager->StartTransfer(FTransferQueue, 0);
        break;
    case ssRefreshing:
        SetSessionState(ssConnected);
        FillRemoteList();
        break;
    case ssMakingDir:
    case ssDeleting:
    case ssChmod:
    case ssRenaming:
        SetSessionState(ssRefreshing);
        FManager->RefreshRemoteDir(RemoteDir);
        break;
    case ssEditView:
        EditViewFinished();
        break;
    case ssMoving:
        SetSessionState(ssChangingDir);
        FManager->ChangeRemoteDir(MoveDestination);
        break;
    default:
        break;
    }
}

void TfmMain::AfterListing(bool)
{
    RemoteDir = WithSlash(FManager->GetRemoteDir());
    AddRemotePathHistory(RemoteDir);
    FillRemoteList();
}

void TfmMain::OperationFailed()
{
    if (FDestroyed || !FManager) return;
    SetApplicationTitle(ProgramTitle());
    const int state = FSessionState;
    FStartFolderListing = false;
    switch (state) {
    case ssReady:
        // The connection was lost before the failure arrived: it stays lost.
        return;
    case ssConnecting:
        CancelResume();
        ShowConnectionFailure();
        SetSessionState(ssReady);
        return;
    case ssChangingDir:
        ShowConnectionFailure();
        if (!FManager->Client(0) || !FManager->Client(0)->HasSession()) {
            SetSessionState(ssReady);
            return;
        }
        RemoteDir.clear();
        SetSessionState(ssRefreshing);
        FManager->RefreshRemoteDir(RemoteDir);
        return;
    case ssMakingDir:
    case ssMoving:
    case ssDeleting:
    case ssChmod:
        ShowConnectionFailure();
        break;
    case ssEditView:
        ViewOnly = false;
        IndexViewActive = false;
        ShowConnectionFailure();
        break;
    case ssPreparing:
    case ssPreparingUpload:
        // Nothing was sent: the queue goes, the failure is shown.
        FQueuedRows.clear();
        FExpandList.clear();
        FTransferQueue.clear();
        ClearQueueNodes();
        PendingAction = 0;
        ShowConnectionFailure();
        break;
    case ssTransfering:
        ClearStatusRows(true);
        ClearPanels1To4();
        MoveQueueToBroken();
        ListLocalDir(LocalPath);
        tiProgress->stop();
        ui->Gauge1->setVisible(false);
        ShowConnectionFailure();
        break;
    default:
        break;
    }
    // Without a control connection "Connected" would be a lie.
    const bool up = FManager->Client(0) && FManager->Client(0)->HasSession();
    SetSessionState(up ? ssConnected : ssReady);
}

void TfmMain::ShowConnectionFailure()
{
    if (FManager->GetUserAborted()) {
        FManager->ClearUserAborted();
        return;
    }
    PlaySoundFile(FSettings.SoundFiles[4]);
    DrawAttention();
    const std::string reply = FManager->GetLastReply();
    Later([this, reply] {
        TfmCommFail box(this);
        box.SetResponse(reply);
        box.exec();
    });
}

void TfmMain::EditViewFinished()
{
    if (IndexViewActive) {
        IndexViewActive = false;
        ViewOnly = false;
        if (FileExists(EditLocalFile)) {
            const std::string file = EditLocalFile;
            Later([this, file] {
                TfmViewRawDir view(this);
                view.setWindowTitle("Directory Inforamtion");
                view.SetText(ReadTextFile(file));
                view.exec();
            });
        }
        SetSessionState(ssConnected);
        return;
    }
    if (FileExists(EditLocalFile)) OpenForEditOrView(EditLocalFile, FSettings.DefaultEditView, StartProgram);
    SetSessionState(ssConnected);
    if (!ViewOnly) {
        const std::string local = EditLocalFile, remote = EditRemoteFile;
        Later([this, local, remote] {
            if (Dialogs().MessageBox("Click Yes to upload back edited file, No to cancel", "Edit", MB_YESNO) != IDYES)
                return;
            if (FSessionState != ssConnected) return;
            FTransferQueue.clear();
            TTransferFileInfo item;
            item.IsDownload = false;
            item.HostPath = remote;
            item.LocalPath = local;
            item.FileSize = GetLocalFileSize(local);
            item.BeginPos = 0;
            item.EndPos = item.FileSize;
            FTransferQueue.push_back(item);
            SetSessionState(ssTransfering);
            FManager->StartTransfer(FTransferQueue, 0);
        });
    }
    ViewOnly = false;
}

// ---- connecting ------------------------------------------------------------------

THostInfo TfmMain::QuickBarHost() const
{
    return {S(ui->cbHostName->currentText()), S(ui->edPort->text()), S(ui->edUser->text()), S(ui->edPass->text())};
}

bool TfmMain::ValidHost(THostInfo& host) const
{
    auto trim = [](std::string& s) {
        s.erase(0, s.find_first_not_of(" \t"));
        s.erase(s.find_last_not_of(" \t") + 1);
    };
    trim(host.HostName);
    trim(host.HostPort);
    trim(host.UserName);
    if (host.HostName.empty() || host.UserName.empty()) return false;
    if (!IsValidPort(host.HostPort)) {
        Dialogs().MessageBox("Invalid port \"" + host.HostPort + "\": the port is a number from 1 to 65535.",
                             "Connect", MB_OK | MB_ICONWARNING);
        return false;
    }
    return true;
}

bool TfmMain::ParseFtpURL(const std::string& text)
{
    TQuickBarFields bar{S(ui->cbHostName->currentText()), S(ui->edPort->text()), S(ui->edUser->text()),
                        S(ui->edPass->text())};
    const TFtpUrlResult r = ::ParseFtpURL(text, bar, FSettings.AnonymousEmail);
    if (!r.Ok) {
        Dialogs().MessageBox(r.Error, "Connect", MB_OK | MB_ICONWARNING);
        return false;
    }
    ui->cbHostName->setEditText(Q(bar.Host));
    ui->edPort->setText(Q(bar.Port));
    ui->edUser->setText(Q(bar.User));
    ui->edPass->setText(Q(bar.Pass));
    if (!r.RemoteDir.empty()) RemoteDir = r.RemoteDir;
    return true;
}

void TfmMain::ConnectTo(const THostInfo& host)
{
    FStartFolderListing = false;
    SetSessionState(ssConnecting);
    FManager->ConnectHost(host);
}

void TfmMain::sbConnectClick()
{
    // Connecting in the middle of an operation would log connection 0 in
    // again under it.
    if (FSessionState != ssReady && FSessionState != ssConnected) return;
    IndexViewActive = false;
    if (PendingAction != 1) RemoteDir.clear();
    if (FSettings.DialUPType == 1) try {
        TRasDialer dialer;
        if (dialer.QueryConnectState() == 0) {
            TDialUpOptions o;
            o.Index = FSettings.DialUPIndex;
            o.ShowAuth = FSettings.DialUPShowAuth;
            o.ShowError = FSettings.DialUPShowError;
            o.RetryTimes = FSettings.DialUPRetryTimes;
            o.RetrySpan = FSettings.DialUPRetrySpan;
            o.DrawAttention = [this] { DrawAttention(); };
            TfmDialUP dial(dialer, o, this);
            dial.exec();
            if (!dial.Connected()) return;
        }
    } catch (const ERasLoadFail& e) {
        // No remote access service on this system: the network is reached
        // without dialling, so say so and connect as over a LAN.
        Dialogs().MessageBox(e.what(), ApplicationTitle(), MB_OK | MB_ICONWARNING);
    }
    ClearAllLogs();
    if (FSessionState != ssReady && FSettings.ConfirmFlags.NewConnect) {
        if (Dialogs().MessageBox("Break current connection ?", "Confirm", MB_YESNO | MB_ICONQUESTION) != IDYES)
            return;
    }
    ResetRemoteView();
    std::string text = S(ui->cbHostName->currentText());
    if (FSettings.InterceptFtpURL && (text.find(':') != std::string::npos || text.find('/') != std::string::npos ||
                                      text.find('@') != std::string::npos)) {
        const std::string keep = RemoteDir;
        RemoteDir.clear();
        if (text.find(kMask) != std::string::npos) {
            // A masked history entry stands for its full entry; one that is no
            // entry (typed by hand) keeps the bar's password.
            const TQuickSite site = ResolveQuickSite(text, {}, FSettings.QuickConnectList);
            if (site.Host != text) {
                ui->cbHostName->setEditText(Q(site.Host));
                ui->edPort->setText(Q(site.Port));
                ui->edUser->setText(Q(site.User));
                ui->edPass->setText(Q(site.Pass));
            } else {
                std::string pass = S(ui->edPass->text());
                if (!ParseFtpURL(text)) return;
                if (S(ui->edPass->text()) == kMask) ui->edPass->setText(Q(pass));
            }
        } else if (!ParseFtpURL(text)) {
            return;
        }
        if (RemoteDir.empty() && PendingAction == 1) RemoteDir = keep;
        if (!RemoteDir.empty()) PendingAction = 1;
    }
    THostInfo host = QuickBarHost();
    if (!ValidHost(host)) {
        PendingAction = 0;
        return;
    }
    ui->lvLocal->setFocus();
    ConnectTo(host);
}

void TfmMain::miReconnectClick()
{
    if (FSessionState != ssReady && FSessionState != ssConnected) return;
    PendingAction = RemoteDir.empty() ? 0 : 1;
    sbConnectClick();
}

void TfmMain::sbDisconnectClick()
{
    if (FSettings.ConfirmFlags.Disconnect &&
        Dialogs().MessageBox("Disconnect Now ?", "Disconnect", MB_YESNO) != IDYES)
        return;
    FManager->DisconnectAll();
    FTransferQueue.clear();
    SetSessionState(ssReady);
}

void TfmMain::sbAbortClick()
{
    IndexViewActive = false;
    if (FSettings.ConfirmFlags.Abort && Dialogs().MessageBox("Abort now ?", "Abort", MB_YESNO) != IDYES) return;
    FManager->AbortOperation();
    if (FSessionState != ssTransfering) SetSessionState(FSessionState);
}

void TfmMain::sbAnonymousClick()
{
    ui->edUser->setText("anonymous");
    ui->edPass->setText(Q(FSettings.AnonymousEmail));
}

void TfmMain::AddQuickConnectEntry()
{
    auto trim = [](std::string s) {
        s.erase(0, s.find_first_not_of(" \t"));
        s.erase(s.find_last_not_of(" \t") + 1);
        return s;
    };
    const THostInfo h = FManager->GetHostInfo();
    const std::string entry =
        trim(h.HostName) + ":" + trim(h.HostPort) + ":" + trim(h.UserName) + ":" + trim(h.PassWord);
    if (!StoreQuickConnectEntry(FSettings.QuickConnectList, entry)) return;
    const std::string masked = MaskPassword(entry);
    ui->cbHostName->blockSignals(true);
    const QString text = ui->cbHostName->currentText();
    ui->cbHostName->addItem(Q(masked));
    ui->cbHostName->setEditText(text);
    ui->cbHostName->blockSignals(false);
}

void TfmMain::tiAntiIdleTimer()
{
    // The raw command waits for its reply and pumps the loop meanwhile: a
    // second tick must not start another inside it.
    if (FInAntiIdle || FInRawCommand || FSessionState != ssConnected) return;
    FInAntiIdle = true;
    static std::mt19937 random{std::random_device{}()};
    const char* cmd = kAntiIdleCommands[std::uniform_int_distribution<int>(0, 3)(random)];
    FManager->SendRawCommand(cmd);
    FInAntiIdle = false;
}

void TfmMain::tmMoniterClipboardTimer()
{
    if (FSessionState != ssReady && FSessionState != ssConnected) return;
    std::string text = S(QApplication::clipboard()->text()).substr(0, 4096);
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    if (text == FLastClipboard) return;
    FLastClipboard = text;
    if (FCopyingUrl || text.compare(0, 6, "ftp://") != 0) return;
    DrawAttention();
    tmMoniterClipboard->stop();
    // The original text: only the scheme and host are case-insensitive.
    const std::string original = S(QApplication::clipboard()->text()).substr(0, 4096);
    const bool yes = Dialogs().MessageBox("Connect to " + original + " now ?", "Moniter Clipboard", MB_YESNO) == IDYES;
    if (FSettings.MoniterClipboard) tmMoniterClipboard->start();
    if (yes) {
        ui->cbHostName->setEditText(Q(original));
        sbConnectClick();
    }
}

void TfmMain::miCopyUrlClick()
{
    // Remote file rows come with the panes; the URL of the current folder
    // stands in until then. The monitor must not offer our own text back.
    const THostInfo h = FManager->GetHostInfo();
    std::string path = RemoteDir.empty() || RemoteDir.front() != '/' ? "/" + RemoteDir : RemoteDir;
    if (const TlvFileInfo* row = PaneRow(false, ui->lvHost->CurrentRow()); row && row->Name != "..") path += row->Name;
    QUrl u;
    u.setScheme("ftp");
    u.setHost(Q(h.HostName));
    if (!h.HostPort.empty() && h.HostPort != "21") u.setPort(Q(h.HostPort).toInt());
    if (!h.UserName.empty() && h.UserName != "anonymous" && h.UserName != "ftp") u.setUserName(Q(h.UserName));
    u.setPath(Q(path));
    const std::string url = u.toEncoded().toStdString();
    FCopyingUrl = true;
    QApplication::clipboard()->setText(Q(url));
    std::string lower = url;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    FLastClipboard = lower;
    FCopyingUrl = false;
}

void TfmMain::QuoteCommand1Click()
{
    if (FSessionState != ssConnected || FInRawCommand) return;
    std::string command;
    if (!Dialogs().InputQuery("Raw Command", "Enter Command:", command) || command.empty()) return;
    if (FSessionState != ssConnected) return; // the session went while the box was open
    FInRawCommand = true;
    FManager->SendRawCommand(command);
    FInRawCommand = false;
}

void TfmMain::BuildCustomCommandMenu()
{
    QMenu* menu = ui->miCustomCommand;
    const auto actions = menu->actions();
    for (int i = 2; i < actions.size(); ++i) {
        menu->removeAction(actions[i]);
        delete actions[i];
    }
    for (std::size_t i = 0; i < FSettings.CustomCommandNames.size(); ++i) {
        QAction* a = menu->addAction(Q(FSettings.CustomCommandNames[i]));
        a->setData(int(i));
        ConnectHandler(a, &QAction::triggered, this, [this, i] { CustomCommandClick(int(i)); });
    }
}

bool TfmMain::ExpandCustomCommand(std::string& text)
{
    std::size_t pos = 0;
    while (pos < text.size()) {
        if (text.compare(pos, 2, "%[") == 0) {
            const auto close = text.find(']', pos);
            if (close == std::string::npos) return false;
            const std::string prompt = text.substr(pos + 2, close - pos - 2);
            text.erase(pos, close - pos + 1);
            std::string answer;
            if (!Dialogs().InputQuery(text, prompt, answer)) return false;
            text.insert(pos, answer);
            pos += answer.size();
            continue;
        }
        if (text.compare(pos, 2, "%F") == 0 || text.compare(pos, 2, "%f") == 0) {
            text.erase(pos, 2);
            const int current = ui->lvHost->CurrentRow();
            const TlvFileInfo* row = PaneRow(false, current);
            if (!row || !ui->lvHost->IsRowSelected(current) || row->IsDir || row->Name == "..") return false;
            const std::string name = row->Name;
            text.insert(pos, name);
            pos += name.size();
            continue;
        }
        ++pos;
    }
    return true;
}

void TfmMain::CustomCommandClick(int index)
{
    if (FSessionState != ssConnected || FInRawCommand) return;
    if (index < 0 || std::size_t(index) >= FSettings.CustomCommandCmds.size()) return;
    std::string text = FSettings.CustomCommandCmds[std::size_t(index)];
    if (!ExpandCustomCommand(text)) return;
    if (FSessionState != ssConnected) return;
    FInRawCommand = true;
    FManager->SendRawCommand(text);
    FInRawCommand = false;
    ShowCommandResponse(text);
}

void TfmMain::ShowCommandResponse(const std::string& command)
{
    QPlainTextEdit* edit = LogEdit(0);
    if (!edit) return;
    std::vector<std::string> lines;
    for (int i = edit->document()->blockCount() - 1; i >= 1; --i) {
        const std::string line = S(edit->document()->findBlockByNumber(i).text());
        lines.insert(lines.begin(), line);
        if (line.find("<COMMAND>    " + command) != std::string::npos) break;
    }
    std::string text;
    for (const auto& l : lines) text += l + "\n";
    TfmViewRawDir view(this);
    view.setWindowTitle(Q("Command Response of " + command));
    view.SetText(text);
    view.exec();
}

void TfmMain::Define1Click()
{
    {
        TfmCustomCmd dialog(FSettings.CustomCommandNames, FSettings.CustomCommandCmds, this);
        dialog.exec();
    }
    BuildCustomCommandMenu();
}

void TfmMain::ShowLoginMessage()
{
    if (!FSettings.ShowLoginMessage) return;
    QPlainTextEdit* edit = LogEdit(0);
    if (!edit) return;
    std::string text;
    bool inside = false;
    for (QTextBlock b = edit->document()->begin(); b.isValid(); b = b.next()) {
        const std::string line = S(b.text());
        if (line.find("<COMMAND>    SYST") != std::string::npos) break;
        if (!line.empty() && line[0] == '<') continue;
        std::string trimmed = line;
        trimmed.erase(0, trimmed.find_first_not_of(' '));
        trimmed.erase(trimmed.find_last_not_of(' ') + 1);
        const bool coded = trimmed.size() >= 3 && std::isdigit((unsigned char)trimmed[0]) &&
                           std::isdigit((unsigned char)trimmed[1]) && std::isdigit((unsigned char)trimmed[2]);
        if (!coded) {
            if (inside) text += line + "\n";
        } else if (trimmed.find("220") != std::string::npos || trimmed.find("230") != std::string::npos) {
            text += trimmed + "\n";
            inside = true;
        }
    }
    if (text.empty()) return;
    TfmServerMessage box(FSettings, this);
    box.SetText(text);
    box.exec();
}

// ---- log pages -------------------------------------------------------------------

QPlainTextEdit* TfmMain::LogEdit(int connection) const
{
    return connection >= 0 && connection < int(LogEdits.size()) ? LogEdits[std::size_t(connection)] : nullptr;
}

int TfmMain::LogPageCount() const { return ui->pcDisplay->count(); }

void TfmMain::BuildLogPages()
{
    while (ui->pcDisplay->count() > 0) {
        QWidget* page = ui->pcDisplay->widget(0);
        ui->pcDisplay->removeTab(0);
        delete page;
    }
    LogEdits.fill(nullptr);
    ResizeLogPages(0, FSettings.FtpCliNum);
}

void TfmMain::ResizeLogPages(int oldCount, int newCount)
{
    for (int i = oldCount - 1; i >= newCount; --i) {
        if (i < ui->pcDisplay->count()) {
            QWidget* page = ui->pcDisplay->widget(i);
            ui->pcDisplay->removeTab(i);
            delete page;
        }
        delete ui->lvStatus->takeTopLevelItem(i);
        LogEdits[std::size_t(i)] = nullptr;
    }
    for (int i = oldCount; i < newCount; ++i) {
        auto* edit = new QPlainTextEdit;
        edit->setObjectName(Q("LogEdit" + std::to_string(i)));
        edit->setReadOnly(true);
        edit->setLineWrapMode(QPlainTextEdit::NoWrap);
        edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        edit->setContextMenuPolicy(Qt::CustomContextMenu);
        edit->setUndoRedoEnabled(false);
        connect(edit, &QWidget::customContextMenuRequested, this,
                EventHandler([this, edit](const QPoint& p) { pmRichEdit->exec(edit->mapToGlobal(p)); }));
        if (FSettings.RichEditFont) edit->setFont(QFont(Q(FSettings.RichEditFontInfo.Name), FSettings.RichEditFontInfo.Size));
        else edit->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        if (FSettings.UseSkin != 0 && oldCount == 0) {
            const auto c = FSettings.SkinColor; // stored as 0x00BBGGRR
            QPalette pal = edit->palette();
            pal.setColor(QPalette::Base, QColor(int(c & 0xff), int((c >> 8) & 0xff), int((c >> 16) & 0xff)));
            edit->setPalette(pal);
        }
        LogEdits[std::size_t(i)] = edit;
        ui->pcDisplay->addTab(edit, Q(std::to_string(i)));
        if (ui->lvStatus->topLevelItemCount() <= i && oldCount > 0) {
            auto* row = new QTreeWidgetItem(ui->lvStatus, {Q(std::to_string(i)), "Ready", "", ""});
            row->setIcon(0, RowIcon(0));
        }
    }
}

void TfmMain::BuildStatusRows()
{
    ui->lvStatus->clear();
    for (int i = 0; i < FSettings.FtpCliNum; ++i) {
        auto* row = new QTreeWidgetItem(ui->lvStatus, {Q(std::to_string(i)), "Ready", "", ""});
        row->setIcon(0, RowIcon(0));
    }
}

void TfmMain::ClearAllLogs()
{
    for (QPlainTextEdit* e : LogEdits)
        if (e) e->clear();
}

void TfmMain::ClientDisplay(TObject* Sender, std::string& Msg)
{
    DisplayLine(static_cast<TCustomFtpCli*>(Sender)->Tag(), Msg);
}

void TfmMain::DisplayLine(int connection, std::string line)
{
    if (line.empty() || IsTraceLine(line)) return;
    QPlainTextEdit* edit = LogEdit(connection);
    if (!edit) return;
    line = MaskLogLine(line);
    QScrollBar* bar = edit->verticalScrollBar();
    const int keep = bar->value();
    QTextCursor c(edit->document());
    c.movePosition(QTextCursor::End);
    if (!edit->document()->isEmpty()) c.insertBlock();
    QTextCharFormat f;
    f.setForeground(LogColour(LogLineColor(line)));
    c.insertText(Q(line), f);
    // The user reading a focused page keeps his place. The others follow
    // the last line once per pass of the loop, not once per line: a busy
    // transfer writes thousands.
    if (ui->pcDisplay->currentWidget() == edit && !edit->hasFocus()) {
        if (!FScrollPending) {
            FScrollPending = true;
            Later([this] {
                FScrollPending = false;
                auto* current = qobject_cast<QPlainTextEdit*>(ui->pcDisplay->currentWidget());
                if (current && !current->hasFocus())
                    current->verticalScrollBar()->setValue(current->verticalScrollBar()->maximum());
            });
        }
    } else {
        bar->setValue(keep);
    }
    if (FSettings.SaveLogToFile && !FSettings.LogFileName.empty()) {
        const bool firstFailure = !FLogFile.Failed();
        if (!FLogFile.Append(FSettings.LogFileName, line, NowText()) && firstFailure) {
            QTextCursor e(edit->document());
            e.movePosition(QTextCursor::End);
            e.insertBlock();
            QTextCharFormat ef;
            ef.setForeground(LogColour(TLogColor::Red));
            e.insertText(Q("<ERROR>      The log file " + FSettings.LogFileName + " cannot be written."), ef);
        }
    }
}

void TfmMain::LogCommand(std::function<void(QPlainTextEdit*)> action, bool focusHost)
{
    auto* edit = qobject_cast<QPlainTextEdit*>(ui->pcDisplay->currentWidget());
    if (!edit) return;
    action(edit);
    if (focusHost) ui->cbHostName->setFocus();
}

// ---- the engine's notices ----------------------------------------------------------

void TfmMain::TransferSessionClosed(TObject* Sender, std::uint16_t)
{
    DisplayLine(static_cast<TCustomFtpCli*>(Sender)->Tag(), "Connection Lost");
}

void TfmMain::MainSessionClosed(TObject*, std::uint16_t)
{
    PlaySoundFile(FSettings.SoundFiles[1]);
    DisplayLine(0, "Connection Lost");
    // While connecting it is the old session that closed under the new
    // connect, whose own failure comes through OperationFailed.
    if (FSessionState != ssTransfering && FSessionState != ssConnecting && !FDestroyed) SetSessionState(ssReady);
}

void TfmMain::ShowSlotItem(const TTransferFileInfo& Item, int Slot)
{
    const int i = FQueueTree.ShowSlot(Item.IsDownload, Item.HostPath, Slot);
    if (i < 0) return;
    ShowQueueNode(Item.IsDownload, i);
    const std::string file = Item.LocalPath.substr(Item.LocalPath.find_last_of('/') + 1);
    SetRowTexts(Slot, "Transfering", file, "", 1);
}

void TfmMain::UnmarkSlotItem(int Slot)
{
    bool down = true;
    if (const TQueueNode* n = FQueueTree.Unmark(Slot, &down)) ShowQueueNode(down, FQueueTree.Find(down, n->Path));
}

void TfmMain::ItemCompleted(const TTransferFileInfo& Item, int Slot)
{
    const int i = FQueueTree.Completed(Item.IsDownload, Item.HostPath, Slot);
    if (i >= 0) ShowQueueNode(Item.IsDownload, i);
    SetRowTexts(Slot, "Completed", "", "", 0);
}

void TfmMain::ShowQueueNode(bool isDownload, int index)
{
    QTreeWidgetItem* parent = isDownload ? DownloadNode : UploadNode;
    const auto& nodes = isDownload ? FQueueTree.Download : FQueueTree.Upload;
    if (!parent || index < 0 || std::size_t(index) >= nodes.size()) return;
    QTreeWidgetItem* node = parent->child(index);
    if (!node) return;
    const TQueueNode& n = nodes[std::size_t(index)];
    node->setText(0, Q(n.Text()));
    node->setData(0, Qt::UserRole, n.StateImage());
    node->setIcon(0, QueueIcon(n.StateImage()));
}

QIcon TfmMain::QueueIcon(int image) const
{
    switch (image) {
    case 5: return style()->standardIcon(QStyle::SP_ArrowRight);
    case 3: return style()->standardIcon(QStyle::SP_DialogApplyButton);
    default: return style()->standardIcon(QStyle::SP_FileIcon);
    }
}

void TfmMain::AddQueueItem(const TTransferFileInfo& item)
{
    FTransferQueue.push_back(item);
    const auto& nodes = item.IsDownload ? FQueueTree.Download : FQueueTree.Upload;
    const std::size_t before = nodes.size();
    const int i = FQueueTree.Add(item.IsDownload, item.HostPath);
    QTreeWidgetItem* parent = item.IsDownload ? DownloadNode : UploadNode;
    if (nodes.size() != before && parent) new QTreeWidgetItem(parent, {""});
    ShowQueueNode(item.IsDownload, i);
    if (parent) parent->setExpanded(true);
    if (CurrentNode) CurrentNode->setExpanded(true);
}

void TfmMain::ClearQueueNodes()
{
    FQueueTree.Clear();
    if (DownloadNode) qDeleteAll(DownloadNode->takeChildren());
    if (UploadNode) qDeleteAll(UploadNode->takeChildren());
}

int TfmMain::SelectedBrokenList() const
{
    QTreeWidgetItem* node = ui->tvQuene->currentItem();
    if (!node || !node->isSelected()) return -1;
    while (node->parent()) node = node->parent();
    if (node == CurrentNode) return -1;
    const int i = ui->tvQuene->indexOfTopLevelItem(node) - 1; // the current queue's node comes first
    return i >= 0 && std::size_t(i) < FBrokenLists.size() ? i : -1;
}

void TfmMain::SelectBrokenList(int index)
{
    if (QTreeWidgetItem* node = ui->tvQuene->topLevelItem(index + 1)) {
        ui->tvQuene->setCurrentItem(node);
        node->setSelected(true);
    }
}

int TfmMain::ConfirmedBrokenList(bool askSelection, bool confirm, const std::string& caption) const
{
    if (FSessionState != ssReady && FSessionState != ssConnected) return -1;
    const int index = SelectedBrokenList();
    if (index < 0) {
        if (askSelection) Dialogs().MessageBox("Please select a broken list !", ApplicationTitle(), MB_OK | MB_ICONINFORMATION);
        return -1;
    }
    if (confirm && Dialogs().MessageBox("Are you sure ?", caption, MB_YESNO | MB_ICONINFORMATION) != IDYES) return -1;
    return index;
}

void TfmMain::miResumeBrokenClick(bool askSelection)
{
    const int index = ConfirmedBrokenList(askSelection, FSettings.ConfirmFlags.ResumeBroken, "Resume Broken List");
    if (index < 0) return;
    const TOldQuene& list = FBrokenLists[std::size_t(index)];
    const bool sameSite = FSessionState == ssConnected && SameSite(list.Host, QuickBarHost());
    ui->cbHostName->setEditText(Q(list.Host.HostName));
    ui->edPort->setText(Q(list.Host.HostPort));
    ui->edUser->setText(Q(list.Host.UserName));
    ui->edPass->setText(Q(list.Host.PassWord));
    FTransferQueue.clear();
    ClearQueueNodes();
    for (const TTransferFileInfo& item : list.Items) AddQueueItem(item);
    FResumingKey = OldQueneKey(list);
    if (sameSite) {
        PendingAction = 0;
        TakeResumedList();
        SetSessionState(ssTransfering);
        FManager->StartTransfer(FTransferQueue, 1);
        return;
    }
    PendingAction = 2;
    sbConnectClick();
    // Refused or cancelled before connecting: the list stays where it was.
    if (FSessionState != ssConnecting) CancelResume();
}

void TfmMain::TakeResumedList()
{
    for (std::size_t i = 0; i < FBrokenLists.size(); ++i) {
        if (OldQueneKey(FBrokenLists[i]) != FResumingKey) continue;
        FRemovedBrokenKeys.insert(FResumingKey);
        FBrokenLists.erase(FBrokenLists.begin() + std::ptrdiff_t(i));
        break;
    }
    FResumingKey.clear();
    SeedQueueTree();
    CurrentNode->setExpanded(true);
    DownloadNode->setExpanded(true);
    UploadNode->setExpanded(true);
}

void TfmMain::CancelResume()
{
    if (PendingAction != 2) return;
    PendingAction = 0;
    FResumingKey.clear();
    FTransferQueue.clear();
    ClearQueueNodes();
}

void TfmMain::DeleteBrokenList1Click(bool askSelection)
{
    const int index = ConfirmedBrokenList(askSelection, FSettings.ConfirmFlags.DeleteBroken, "Delete Broken List");
    if (index < 0) return;
    FRemovedBrokenKeys.insert(OldQueneKey(FBrokenLists[std::size_t(index)]));
    FBrokenLists.erase(FBrokenLists.begin() + index);
    SeedQueueTree();
}

void TfmMain::miDetailInfoClick()
{
    if (FSessionState != ssReady && FSessionState != ssConnected) return;
    const int index = SelectedBrokenList();
    if (index < 0) return;
    TfmQueneInfo info(FBrokenLists[std::size_t(index)], this);
    if (info.exec() == 1) {
        SelectBrokenList(index);
        miResumeBrokenClick(false);
    }
}

std::vector<std::string> TfmMain::SelectedNames(bool local) const
{
    std::vector<std::string> names;
    for (const TlvFileInfo* r : SelectedRows(local))
        if (r->Name != "..") names.push_back(r->Name);
    return names;
}

void TfmMain::LocalResult(const std::string& error)
{
    ListLocalDir(LocalPath);
    if (!error.empty()) Dialogs().MessageBox(error, ApplicationTitle(), MB_OK | MB_ICONWARNING);
}

// Asks for a text; false when cancelled or left empty.
static bool AskText(const std::string& caption, const std::string& prompt, std::string& text)
{
    if (!Dialogs().InputQuery(caption, prompt, text)) return false;
    text.erase(0, text.find_first_not_of(' '));
    text.erase(text.find_last_not_of(' ') + 1);
    return !text.empty();
}

void TfmMain::MakeDirectoryClick(bool local)
{
    std::string name;
    if (local) {
        if (FSessionState != ssReady && FSessionState != ssConnected) return;
        if (!AskText("Make Directory", "Name: ", name)) return;
        LocalResult(LocalMakeDir(LocalPath, name));
        return;
    }
    if (FSessionState != ssConnected || !AskText("Make Directory", "Name: ", name)) return;
    SetSessionState(ssMakingDir);
    FManager->MakeRemoteDirs({name});
}

void TfmMain::RenameClick(bool local)
{
    const auto names = SelectedNames(local);
    if (names.empty()) return;
    std::string name = names.front();
    if (local) {
        if (FSessionState != ssReady && FSessionState != ssConnected) return;
        if (!AskText("Rename", "New Name: ", name) || name == names.front()) return;
        LocalResult(LocalRename(LocalPath, names.front(), name));
        return;
    }
    if (FSessionState != ssConnected || !AskText("Rename", "New Name: ", name) || name == names.front()) return;
    SetSessionState(ssRenaming);
    FManager->RenameRemoteFiles({{RemoteDir + names.front(), RemoteDir + name}});
}

void TfmMain::MoveClick(bool local)
{
    const auto names = SelectedNames(local);
    if (names.empty()) return;
    std::string dest = local ? std::string() : RemoteDir;
    if (local ? (FSessionState != ssReady && FSessionState != ssConnected) : FSessionState != ssConnected) return;
    if (!AskText("Move File", "Destination Directory: ", dest)) return;
    if (FSettings.ConfirmFlags.MoveFiles && Dialogs().MessageBox("Move Now ?", "Move", MB_YESNO) != IDYES) return;
    if (local) {
        LocalResult(LocalMove(LocalPath, names, dest));
        return;
    }
    if (dest.back() != '/') dest += '/';
    std::vector<THostMoveFileInfo> list;
    for (const auto& n : names) list.push_back({RemoteDir + n, dest + n});
    MoveDestination = dest;
    SetSessionState(ssMoving);
    FManager->RenameRemoteFiles(std::move(list));
}

void TfmMain::EditViewClick(bool local, bool view)
{
    const auto rows = SelectedRows(local);
    const TlvFileInfo* row = nullptr;
    for (const TlvFileInfo* r : rows)
        if (!r->IsDir && !row) row = r;
    if (local) {
        if (!row || (FSessionState != ssReady && FSessionState != ssConnected)) return;
        OpenForEditOrView(LocalPath + row->Name, FSettings.DefaultEditView, StartProgram);
        return;
    }
    if (row) EditRemoteRow(*row, view);
}

void TfmMain::EditRemoteRow(const TlvFileInfo& row, bool view)
{
    if (FSessionState != ssConnected || row.IsDir || !IsSafeLocalName(row.Name)) return;
    ViewOnly = view;
    IndexViewActive = false;
    TTransferFileInfo item;
    item.IsDownload = true;
    item.HostPath = RemoteDir + row.Name;
    item.LocalPath = TempDir() + row.Name;
    item.FileSize = RowSize(row);
    item.BeginPos = 0;
    item.EndPos = item.FileSize;
    EditLocalFile = item.LocalPath;
    EditRemoteFile = item.HostPath;
    SetSessionState(ssEditView);
    FManager->StartTransfer({item}, 0);
    tiProgress->stop();
    ui->Gauge1->setVisible(false);
}

void TfmMain::CalcSizeClick()
{
    if (FSessionState != ssConnected) return;
    PendingAction = 3;
    QueueDownloads();
    if (FSessionState != ssPreparing) PendingAction = 0;
}

void TfmMain::ManualDownloadClick()
{
    if (FSessionState != ssConnected) return;
    std::string name;
    if (!AskText("Manual Download", "Enter FileName:", name)) return;
    TTransferFileInfo item;
    // Size 0 is unknown: the engine completes the item only on the
    // server's clean end. Its sub-folders stay inside the local folder.
    if (!MakeDownloadItem(RemoteDir, LocalPath, name, 0, {}, item)) {
        Dialogs().MessageBox("\"" + name + "\" is no file name inside the local folder.", "Manual Download",
                             MB_OK | MB_ICONWARNING);
        return;
    }
    FTransferQueue.clear();
    ClearQueueNodes();
    QueuedFromDir.clear();
    AddQueueItem(item);
    StartQueuedDownloads();
}

void TfmMain::AutoViewIndexFile()
{
    const int i = IndexFileRow(FRemotePane.Rows, FSettings.IndexFileList, FSettings.IndexFileMaxSize,
                               FSettings.IndexFileDisable);
    if (i < 0) return;
    EditRemoteRow(FRemotePane.Row(i), true);
    // After the View has started: its start clears the flag.
    if (FSessionState == ssEditView) IndexViewActive = true;
}

void TfmMain::DeleteClick(bool local)
{
    const auto rows = SelectedRows(local);
    if (rows.empty()) return;
    if (local ? (FSessionState != ssReady && FSessionState != ssConnected) : FSessionState != ssConnected) return;
    if (FSettings.ConfirmFlags.Delete && Dialogs().MessageBox("Delete Now ?", "Delete", MB_YESNO) != IDYES) return;
    if (local) {
        LocalResult(LocalDelete(LocalPath, SelectedNames(true)));
        return;
    }
    std::vector<TDelFileInfo> list;
    for (const TlvFileInfo* r : rows) list.push_back({r->Name, r->IsDir});
    SetSessionState(ssDeleting);
    FManager->DeleteRemoteFiles(std::move(list));
}

void TfmMain::ChangeModeClick()
{
    const auto names = SelectedNames(false);
    std::string mode;
    if (FSessionState != ssConnected || names.empty() || !AskText("Change Mode", "New Mode: ", mode)) return;
    SetSessionState(ssChmod);
    FManager->ChmodRemoteFiles(names, mode);
}

void TfmMain::ChangeDirectoryClick(bool local)
{
    std::string path;
    if (local) {
        if (!AskText("Change Directory", "Name: ", path)) return;
        if (path[0] != '/') path = LocalPath + path;
        std::error_code ec;
        if (!fs::is_directory(path, ec)) {
            Dialogs().MessageBox(path + " is not a folder", ApplicationTitle(), MB_OK | MB_ICONWARNING);
            return;
        }
        LocalPath = WithSlash(path);
        ListLocalDir(LocalPath);
        return;
    }
    if (FSessionState != ssConnected || !AskText("Change Directory", "Name: ", path)) return;
    SetSessionState(ssChangingDir);
    FManager->ChangeRemoteDir(path);
}

void TfmMain::SelectRows(bool local, bool invert)
{
    TFilePaneView* lv = local ? ui->lvLocal : ui->lvHost;
    const TFilePane& pane = local ? FLocalPane : FRemotePane;
    std::vector<bool> picked(std::size_t(pane.RowCount()));
    for (int i = 0; i < pane.RowCount(); ++i)
        picked[std::size_t(i)] = pane.Row(i).Name != ".." && (!invert || !lv->IsRowSelected(i));
    lv->SetSelectedRows(picked);
}

void TfmMain::FilterFilesClick(bool local)
{
    TFilePane& pane = local ? FLocalPane : FRemotePane;
    std::string filter = pane.Filter;
    if (!Dialogs().InputQuery(local ? "Local Filter" : "Remote Filter", local ? "Enter New Filter:" : "Enter New Filter",
                              filter))
        return;
    pane.Filter = filter;
    ShowPaneRows(local);
}

void TfmMain::GroupSelectClick(bool local)
{
    if (!local && FSessionState != ssConnected) return;
    std::string selector;
    if (!Dialogs().InputQuery("Group Select", "Enter Selector:", selector)) return;
    const auto picked = (local ? FLocalPane : FRemotePane).GroupSelect(selector);
    (local ? ui->lvLocal : ui->lvHost)->SetSelectedRows(picked);
}

void TfmMain::FindFileClick(bool local)
{
    if (!local && FSessionState != ssConnected) return;
    TFilePane& pane = local ? FLocalPane : FRemotePane;
    std::string text;
    if (!Dialogs().InputQuery("Find", "Enter Find FileName:", text)) return;
    pane.FindText = text;
    pane.FindStart = 0;
    FindNextClick(local);
}

void TfmMain::FindNextClick(bool local)
{
    if (!local && FSessionState != ssConnected) return;
    TFilePaneView* lv = local ? ui->lvLocal : ui->lvHost;
    lv->ClearSelection();
    const int found = (local ? FLocalPane : FRemotePane).FindNext();
    if (found < 0) {
        Dialogs().MessageBox("File not find!", "Find", MB_OK | MB_ICONINFORMATION);
        return;
    }
    lv->SelectOnly(found);
}

std::vector<const TlvFileInfo*> TfmMain::SelectedRows(bool local) const
{
    std::vector<const TlvFileInfo*> rows;
    for (int i : (local ? ui->lvLocal : ui->lvHost)->SelectedRowIndexes())
        if (const TlvFileInfo* row = PaneRow(local, i); row && row->Name != "..") rows.push_back(row);
    return rows;
}

void TfmMain::QueueDownloads()
{
    if (FSessionState != ssConnected) return;
    FQueuedRows.clear();
    for (const TlvFileInfo* r : SelectedRows(false)) FQueuedRows.push_back(*r);
    if (FQueuedRows.empty()) return;
    QueuedFromDir = RemoteDir;
    NextRowToQueue = 0;
    FTransferQueue.clear();
    ClearQueueNodes();
    SetSessionState(ssPreparing);
    QueueDownloadLoop();
}

void TfmMain::QueueDownloadLoop()
{
    while (NextRowToQueue < FQueuedRows.size()) {
        const TlvFileInfo row = FQueuedRows[NextRowToQueue++];
        if (row.IsDir) {
            if (!IsSafeLocalName(row.Name)) continue;
            // The walk ends in OperationDone, which comes back here.
            FExpandList.clear();
            FExpandBase = QueuedFromDir;
            FManager->ExpandRemoteDir(row.Name, FExpandList);
            return;
        }
        TTransferFileInfo item;
        if (MakeDownloadItem(QueuedFromDir, LocalPath, row.Name, RowSize(row), FSettings.RenameExtList, item))
            AddQueueItem(item);
    }
    FQueuedRows.clear();
    if (PendingAction == 3) {
        PendingAction = 0;
        std::int64_t total = 0;
        for (const auto& item : FTransferQueue) total += item.FileSize;
        Later([this, total] {
            if (FSessionState != ssPreparing) return;
            if (Dialogs().MessageBox("Total FileSize = " + FormatBytes(total) + "\rDownload Now ?", "Calculate Size",
                                     MB_YESNO | MB_ICONQUESTION) == IDYES)
                StartQueuedDownloads();
            else {
                FTransferQueue.clear();
                ClearQueueNodes();
                SetSessionState(ssConnected);
            }
        });
        return;
    }
    StartQueuedDownloads();
}

void TfmMain::AddExpandedFiles()
{
    for (const TGetFileInfo& f : FExpandList) {
        if (f.FileName.compare(0, FExpandBase.size(), FExpandBase) != 0) continue;
        TTransferFileInfo item;
        if (MakeDownloadItem(FExpandBase, LocalPath, f.FileName.substr(FExpandBase.size()), f.FileSize,
                             FSettings.RenameExtList, item))
            AddQueueItem(item);
    }
    FExpandList.clear();
}

void TfmMain::StartQueuedDownloads()
{
    if (FTransferQueue.empty()) {
        ClearQueueNodes();
        SetSessionState(ssConnected);
        return;
    }
    std::string failed;
    if (!MakeLocalFolders(FTransferQueue, &failed)) {
        FTransferQueue.clear();
        ClearQueueNodes();
        SetSessionState(ssConnected);
        Later([failed] { Dialogs().MessageBox("Cannot create the folder " + failed, ApplicationTitle(), MB_OK | MB_ICONERROR); });
        return;
    }
    SetSessionState(ssTransfering);
    FManager->StartTransfer(FTransferQueue, 0);
}

void TfmMain::QueueUploads()
{
    if (FSessionState != ssConnected) return;
    const auto rows = SelectedRows(true);
    if (rows.empty()) return;
    FTransferQueue.clear();
    ClearQueueNodes();
    for (const auto& item : MakeUploadItems(LocalPath, RemoteDir, rows, FSettings.RenameExtList)) AddQueueItem(item);
    if (FTransferQueue.empty()) {
        ClearQueueNodes();
        return;
    }
    QueuedFromDir.clear();
    SetSessionState(ssPreparingUpload);
    FManager->MakeRemoteDirs(RemoteFoldersToMake(FTransferQueue, RemoteDir));
}

void TfmMain::ShowSlotProgress(int Slot, std::int64_t Count)
{
    if (QTreeWidgetItem* item = ui->lvStatus->topLevelItem(Slot)) item->setText(3, Q(std::to_string(Count)));
}

void TfmMain::ShowSlotFailed(int Slot)
{
    if (QTreeWidgetItem* item = ui->lvStatus->topLevelItem(Slot)) item->setText(1, "Failed");
}

void TfmMain::DrawAttention()
{
    FDesktopTies->DrawAttention();
}

void TfmMain::AddRemotePathHistory(const std::string& Path)
{
    const int i = ui->cbHost->findText(Q(Path), Qt::MatchFixedString | Qt::MatchCaseSensitive);
    ui->cbHost->blockSignals(true);
    if (i >= 0) ui->cbHost->setCurrentIndex(i);
    else {
        ui->cbHost->insertItem(0, Q(Path));
        ui->cbHost->setCurrentIndex(0);
    }
    ui->cbHost->blockSignals(false);
}

void TfmMain::SetRemoteDirText(const std::string& Path) { ui->cbHost->setEditText(Q(Path)); }

void TfmMain::MoveQueueToBroken()
{
    if (!FManager) return;
    auto left = FManager->TakeTransferQueue();
    if (left.empty()) return;
    TOldQuene q;
    q.DateTime = NowText();
    q.Host = FManager->GetHostInfo();
    q.Items.assign(std::make_move_iterator(left.begin()), std::make_move_iterator(left.end()));
    FBrokenLists.push_back(q);
    try {
        AppendBrokenList(FProgramDir + "oldquene.ini", q);
    } catch (const std::exception& e) {
        DisplayLine(0, std::string("<ERROR>      ") + e.what());
    }
    FTransferQueue.clear();
    FQueueTree.Clear();
    SeedQueueTree();
}

void TfmMain::SetRunItems(const std::vector<TTransferFileInfo>& Items) { FRunItems = Items; }

void TfmMain::PlaySoundFile(const std::string& FileName)
{
    if (FileName.empty() || !FileExists(FileName)) return;
    for (const char* player : {"paplay", "aplay"}) {
        const QString exe = QStandardPaths::findExecutable(player);
        if (!exe.isEmpty()) {
            QProcess::startDetached(exe, {Q(FileName)});
            return;
        }
    }
}

void TfmMain::SetStatusText(int Panel, const std::string& Text)
{
    auto& panels = ui->sbStatus->Panels();
    if (Panel >= 0 && Panel < panels.Count()) panels.GetPanel(Panel)->SetText(Text);
}

void TfmMain::SetGauge(int Percent) { ui->Gauge1->setValue(std::clamp(Percent, 0, 100)); }

void TfmMain::SetGaugeVisible(bool Visible) { ui->Gauge1->setVisible(Visible); }

void TfmMain::SetApplicationTitle(const std::string& Text)
{
    ::SetApplicationTitle(Text);
}

void TfmMain::SetProgressTimer(bool Enabled)
{
    if (Enabled) tiProgress->start();
    else tiProgress->stop();
}

int TfmMain::AskFileExists(const std::string& Text)
{
    TfmFileExists box(this);
    const std::string prefix = "This local file exists!\r\n";
    return box.Ask(Text.compare(0, prefix.size(), prefix) == 0 ? Text.substr(prefix.size()) : Text);
}

bool TfmMain::AskFreeSpace(const std::string& Text)
{
    return Dialogs().MessageBox(Text, "Space not enough", MB_YESNO | MB_ICONWARNING) == IDYES;
}

void TfmMain::ShowMessage(const std::string& Text)
{
    Later([Text] { Dialogs().MessageBox(Text, ApplicationTitle(), MB_OK); });
}

// ---- panes ------------------------------------------------------------------------

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

void TfmMain::ExecuteClick()
{
    if (FSessionState != ssReady && FSessionState != ssConnected) return;
    const auto rows = SelectedRows(true);
    // A folder opens by a double click; it is not executed.
    if (rows.empty() || rows.front()->IsDir) return;
    OpenLocal(LocalPath + rows.front()->Name);
}

void TfmMain::OpenLocal(const std::string& path)
{
    if (!OpenWithDesktop(path, StartProgram))
        Dialogs().MessageBox("Cannot open " + path, ApplicationTitle(), MB_OK | MB_ICONWARNING);
}

void TfmMain::PropertiesClick()
{
    if (FSessionState != ssReady && FSessionState != ssConnected) return;
    const auto names = SelectedNames(true);
    if (names.empty()) return;
    const std::string path = LocalPath + names.front();
    const auto info = ReadFileProperties(path);
    if (!info) {
        // Gone since it was listed: the pane shows what is there now.
        LocalResult("Cannot read the properties of " + path);
        return;
    }
    TfmFileProperties dialog(*info, this);
    dialog.exec();
}

void TfmMain::OpenCurrentDirectoryClick()
{
    if (FSessionState != ssReady && FSessionState != ssConnected) return;
    OpenLocal(LocalPath);
}

void TfmMain::ShowPaneRows(bool local)
{
    TFilePane& pane = local ? FLocalPane : FRemotePane;
    pane.DirectoryOnTop = FSettings.DirectoryOnTop;
    pane.FilterFolders = ui->miFilterDirectorys->isChecked();
    pane.ShowRows();
    FillPaneView(local);
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
    for (TFilePaneView* lv : {ui->lvLocal, ui->lvHost})
        for (QWidget* w : {static_cast<QWidget*>(lv->DetailsView()), static_cast<QWidget*>(lv->IconView())})
            w->installEventFilter(this);
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

// ---- menus, tool bar, enabling -------------------------------------------------------

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
    QMenu* menu = ui->mnDirectory;
    const auto actions = menu->actions();
    const int fixed = int(actions.indexOf(ui->miEditLocalDirectory)) + 2;
    for (int i = fixed; i < actions.size(); ++i) {
        menu->removeAction(actions[i]);
        delete actions[i];
    }
    if (FSettings.LocalDirList.empty()) {
        menu->addAction("<EMPTY>")->setEnabled(false);
        return;
    }
    for (std::size_t i = 0; i < FSettings.LocalDirList.size(); ++i) {
        QAction* a = menu->addAction(Q(FSettings.LocalDirList[i]));
        ConnectHandler(a, &QAction::triggered, this, [this, i] {
            if (i >= FSettings.LocalDirList.size()) return;
            LocalPath = WithSlash(FSettings.LocalDirList[i]);
            ListLocalDir(LocalPath);
        });
    }
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
    // Connection 0 carries a run's items too: it stays while the run needs it.
    const int floor = FSessionState == ssTransfering ? 2 : 1;
    if (FSettings.FtpCliNum > floor) SetConnectionCount(FSettings.FtpCliNum - 1);
}

bool TfmMain::eventFilter(QObject* watched, QEvent* event)
{
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
        if (!StartProgram(S(QCoreApplication::applicationFilePath()), {}))
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
    on(ui->miShowToolBar, [this] {
        FSettings.ShowToolBar = ui->miShowToolBar->isChecked();
        ui->ToolBar1->setVisible(FSettings.ShowToolBar);
    });
    on(ui->miShowQuickLunchBar, [this] {
        FSettings.ShowQuickLunchBar = ui->miShowQuickLunchBar->isChecked();
        ui->pnQuickConnect->setVisible(FSettings.ShowQuickLunchBar);
    });
    on(ui->miShowStatusWindow, [this] {
        FSettings.ShowStatusWindow = ui->miShowStatusWindow->isChecked();
        ui->pcDisplay->setVisible(FSettings.ShowStatusWindow);
    });
    on(ui->miShowTransferStateWindow, [this] {
        FSettings.ShowTransferStateWindow = ui->miShowTransferStateWindow->isChecked();
        ui->lvStatus->setVisible(FSettings.ShowTransferStateWindow);
    });
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
        if (Dialogs().OpenFileName("Run Program", "All files (*)", program) && !program.empty())
            ExecuteFile(program, StartProgram);
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
    auto preference = [this] {
        TfmPreference dialog(FSettings, this);
        // The dialog has stored the new count already: resize from the old one.
        dialog.OnSetConnectionCount = [this](int oldCount, int n) {
            FSettings.FtpCliNum = oldCount;
            SetConnectionCount(n);
        };
        dialog.FormCreate({});
        dialog.exec();
        FManager->SetSplitFileSize(FSettings.MTFileSize);
        SetSessionState(FSessionState);
    };
    on(ui->miPreference, preference);
    on(ui->tbPreference, preference);
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

TQuickSite TfmMain::QuickBarSite() const
{
    const std::string text = S(ui->cbHostName->currentText());
    return ResolveQuickSite(text, {text, S(ui->edPort->text()), S(ui->edUser->text()), S(ui->edPass->text())},
                            FSettings.QuickConnectList);
}

void TfmMain::BrowserServer1Click()
{
    if (ui->cbHostName->currentText().trimmed().isEmpty()) return;
    const TQuickSite site = QuickBarSite();
    browser::RunBrowseServer(this, site.Host, site.User, site.Pass, site.Port);
}

// Carried by no menu item: the FTP browser opens only from here.
void TfmMain::SiteBrowser1Click()
{
    if (ui->cbHostName->currentText().trimmed().isEmpty()) return;
    const TQuickSite site = QuickBarSite();
    browser::RunFtpBrowser(this, browser::TBrHostInfo{site.Host, site.Port, site.User, site.Pass});
}
