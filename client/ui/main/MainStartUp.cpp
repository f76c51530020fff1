// The main window's start-up and shutdown: building the window, loading the
// settings and lists, the first show, the close query and the saves at exit.
#include "client/ui/main/Main.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "client/engine/DamagedFile.h"
#include "client/engine/FtpManager.h"
#include "client/engine/LocalFiles.h"
#include "client/ui/main/DesktopTies.h"
#include "client/ui/main/FilePaneModel.h"
#include "client/ui/main/InstanceTempFolder.h"
#include "client/ui/main/Launcher.h"
#include "client/ui/main/MainCommon.h"
#include "client/ui/main/PaneIcons.h"
#include "platform/dialogs/Dialogs.h"
#include "platform/dialogs/EventHandler.h"
#include "platform/dialup/DuRas.h"
#include "platform/dragdrop/DropURLTarget.h"
#include "ui_Main.h"

using namespace mainwin;

namespace fs = std::filesystem;

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
    WireDialer();
    SetupStatusBar();
    SetupToolBarIcons();
    SetupPaneViews();
    FLayoutBuilt = true;
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

void TfmMain::SetupStatusBar()
{
    auto& panels = ui->sbStatus->Panels();
    // 0 state, 1 bytes and speed, 2 spare, 3 elapsed, 4 remaining, 5 the
    // gauge; their widths follow the font and the bar's width.
    for (int i = 0; i < 6; ++i) panels.Add()->SetBevel(pbLowered);
    panels.GetPanel(5)->SetStyle(psControl);
    // Already the bar's child, so the panel does not show it on its first paint.
    ui->Gauge1->setParent(ui->sbStatus);
    panels.GetPanel(5)->SetComponent(ui->Gauge1);
    ui->Gauge1->setVisible(false);
    ui->sbStatus->OnResize = [this](TskCustomStatusBar*) { FitStatusPanels(); };
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
    // Files that could not be read whole are told of once the window shows,
    // and copied now, before the save at exit rewrites them from what was read.
    const auto keepDamaged = [this](const std::string& file, const std::vector<std::string>& damage) {
        if (damage.empty()) return;
        const std::string text = KeepDamagedFile(file, damage);
        if (!text.empty()) FDamageText += (FDamageText.empty() ? "" : "\n\n") + text;
    };
    keepDamaged(FProgramDir + "setting.ini", FSettings.LoadFromFile(FProgramDir + "setting.ini", FProgramDir));
    FillHostBox();
    ui->cbHostName->setCurrentIndex(FSettings.QuickConnectSelection());
    if (FSettings.QuickConnectSelection() >= 0) {
        // The selected entry fills the bar as the site book's choice would.
        const TQuickSite site = ResolveQuickSite(S(ui->cbHostName->currentText()), {}, FSettings.QuickConnectList);
        ui->cbHostName->setEditText(Q(site.Host));
        ui->edPort->setText(Q(site.Port.empty() ? "21" : site.Port));
        ui->edUser->setText(Q(site.User.empty() ? "anonymous" : site.User));
        ui->edPass->setText(Q(site.Pass));
    }
    const QRect bounds = SavedBoundsOnScreen();
    resize(bounds.size());
    if (FSettings.Left || FSettings.Top) move(bounds.topLeft());
    if (FSettings.Maximized) setWindowState(windowState() | Qt::WindowMaximized);
    // 8-9. Menus and check marks.
    BuildCustomCommandMenu();
    BuildBookmarkItems();
    BuildDirectoryItems();
    ui->miAntiIdle->setChecked(FSettings.AntiIdleEnable);
    ui->miEnableProxy->setChecked(FSettings.ProxySetting.Enabled);
    ui->miEnableSocks->setChecked(FSettings.SocksSetting.Enabled);
    ShowPanels();
    ui->NOSkin1->setChecked(FSettings.UseSkin == 0);
    ui->Skin11->setChecked(FSettings.UseSkin == 1);
    ui->Skin21->setChecked(FSettings.UseSkin == 2);
    ui->miAscii->setChecked(FSettings.TransferType == 0);
    ui->miBinary->setChecked(FSettings.TransferType == 1);
    ui->miAuto->setChecked(FSettings.TransferType == 2);
    ui->miResolveLinks->setChecked(FSettings.ResolveLinkAsFile);
    ui->miShowLinks->setChecked(FSettings.ShowLink);
    // 10. The clipboard monitor; the text it last saw starts empty, so a URL
    // copied before the start is offered too.
    FLastClipboard.clear();
    if (FSettings.MoniterClipboard) tmMoniterClipboard->start();
    // 11. Fonts.
    if (FSettings.ProgramFont) {
        QFont f(Q(FSettings.ProgramFontInfo.Name), FSettings.ProgramFontInfo.Size);
        setFont(f);
    }
    // 12. Broken lists.
    try {
        std::vector<std::string> damage;
        LoadOldQuenes(FProgramDir + "oldquene.ini", FBrokenLists, &damage);
        keepDamaged(FProgramDir + "oldquene.ini", damage);
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
    FitLayoutToFont();
    ApplyPaneOptions();
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
    if (!FDamageText.empty()) {
        const std::string text = std::move(FDamageText);
        FDamageText.clear();
        Dialogs().MessageBox(text, "Skelwick", MB_OK | MB_ICONWARNING);
    }
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
    for (const bool local : {true, false}) SizeNameColumn(local);
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
    if (!close) {
        event->ignore();
        return;
    }
    NoteWindowBounds();
    event->accept();
}

void TfmMain::NoteWindowBounds()
{
    FSettings.Maximized = isMaximized();
    if (isMaximized() || isMinimized()) return;
    FSettings.Left = x();
    FSettings.Top = y();
    FSettings.Width = width();
    FSettings.Height = height();
}

void TfmMain::FormDestroy()
{
    if (FDestroyed) return;
    FDestroyed = true;
    tiAntiIdle->stop();
    tmMoniterClipboard->stop();
    tiProgress->stop();
    // Closing hid the window and noted its bounds then; a window destroyed
    // while shown notes them now.
    if (isVisible()) NoteWindowBounds();
    FSettings.ServerIPItemIndex = ui->cbHostName->currentIndex();
    // [ServerIP] holds the host box's entries: Count is the box's.
    FSettings.QuickConnectList.resize(std::size_t(ui->cbHostName->count()));
    FSettings.LocalPath = LocalPath;
    // Whatever cannot be written is reported: the user's settings and queues
    // must not vanish without a word.
    if (!FSettings.SaveToFile(FProgramDir + "setting.ini")) FSaveFailures.push_back(FProgramDir + "setting.ini");
    // Gone in the middle of a run (a forced close): its journal stays a
    // broken list, also one that was resumed in this session.
    if (FManager && FManager->RunActive())
        FRemovedBrokenKeys.erase(OldQueneKey({FManager->GetRunListDateTime(), FManager->GetHostInfo(), {}}));
    try {
        SaveOldQuenes(FProgramDir + "oldquene.ini", FBrokenLists, FRemovedBrokenKeys);
    } catch (const std::exception&) {
        FSaveFailures.push_back(FProgramDir + "oldquene.ini");
    }
    if (FLogFile.Failed()) FSaveFailures.push_back(FLogFile.FailedFileName());
    if (DropURLTarget1) DropURLTarget1->RevokeTarget();
    HangUpAtExit();
    if (!FSaveFailures.empty()) {
        std::string text = "These files could not be written:";
        for (const auto& f : FSaveFailures) text += "\n" + f;
        // Closed by a signal nobody may be there to answer a box (or the
        // display is gone): the failure goes to standard error and the
        // program ends.
        if (FForceClose)
            std::fprintf(stderr, "Skelwick: %s\n", text.c_str());
        else
            Guarded([&] { Dialogs().MessageBox(text, "Skelwick", MB_OK | MB_ICONERROR); });
    }
    FTemp.reset();
}
