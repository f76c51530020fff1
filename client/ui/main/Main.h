#pragma once
// The client's main window: the quick-connect bar, the file panes, the queue
// tree, the status rows and log pages, menus and tool bar. It runs one FTP
// session at a time through the engine; the engine reports the end of every
// operation of connection 0 through OperationDone or OperationFailed, which
// decide by the session state what comes next.
#include "client/engine/QuickSite.h"
#include <QMainWindow>
#include <QPointer>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "client/engine/ClientSettings.h"
#include "client/engine/FtpManagerWindow.h"
#include "client/engine/OldQuene.h"
#include "client/engine/TransferFileInfo.h"
#include "client/ui/main/FilePane.h"
#include "client/ui/main/LogLine.h"
#include "client/ui/main/QueueTree.h"

namespace Ui { class TfmMain; }
class QAction;
class QKeyEvent;
class QMenu;
class QPlainTextEdit;
class QTimer;
class QTreeWidgetItem;
class TDesktopTies;
class TDropURLTarget;
class TFilePaneModel;
class TPaneIcons;
class TInstanceTempFolder;
class TPanePopupMenus;
class TRasDialer;
class TfmDialUP;
class TskStatusBar;
class QCompleter;

class TfmMain : public QMainWindow, public TFtpManagerWindow {
public:
    // programDir: the folder of the program's files, with or without a
    // trailing "/". The window is built as FormCreate describes.
    explicit TfmMain(std::string programDir, QWidget* parent = nullptr);
    ~TfmMain() override;

    static const std::string& Title();

    // ---- start-up and shutdown ----
    void FormCreate();
    void FormShow();
    bool FormCloseQuery();
    void FormDestroy();
    void FormResize();
    void WMStartUp(); // the private start message
    // Closes without the close query (the session ends with the program), as
    // a SIGTERM asks; files that cannot be saved are then told on standard
    // error, not in a box.
    void CloseWithoutQuery();
    // The first command-line argument, connected on first show.
    std::string CommandLineUrl;
    // New Session starts the next copy with it: that copy opens maximised.
    static constexpr const char* NewSessionArgument = "--maximized";
    const std::string& ProgramDir() const { return FProgramDir; }
    // Attention, the tray and the help items.
    TDesktopTies& DesktopTies() { return *FDesktopTies; }
    // This copy's folder for edit and view copies, ending "/".
    std::string TempDir() const;

    // ---- session state ----
    void SetSessionState(int value);
    int SessionState() const override { return FSessionState; }
    void OperationDone() override;
    void OperationFailed() override;
    void ShowConnectionFailure();
    // Tells which files the run that ended did not transfer; false when it
    // transferred every one. Without a run (ran false) only the names left
    // out are told: the engine's failed items are an older run's.
    bool TellNotTransferred(bool ran = true);
    void ResetRemoteView();
    std::uint8_t PendingAction = 0;
    std::string RemoteDir;
    std::string LocalPath;
    std::string QueuedFromDir, EditLocalFile, EditRemoteFile, MoveDestination;
    // The single item of an edit or view download.
    std::vector<TTransferFileInfo> EditQueue;
    bool ViewOnly = false, IndexViewActive = false;
    bool Busy() const { return FBusy; }

    // ---- connecting and commands ----
    void sbConnectClick();
    void miReconnectClick();
    void sbDisconnectClick();
    void sbAbortClick();
    void sbAnonymousClick();
    // The two browsing windows, for the site in the quick bar.
    void BrowserServer1Click();
    void SiteBrowser1Click();
    // Fills the quick bar from a URL or a quick-connect entry; false (after a
    // message) when the text is refused.
    bool ParseFtpURL(const std::string& text);
    void AddQuickConnectEntry();
    void tiAntiIdleTimer();
    void tmMoniterClipboardTimer();
    void QuoteCommand1Click();
    void Define1Click();
    void CustomCommandClick(int index);
    // The expansion of a custom command text; false when a prompt was
    // cancelled or "%f" had no file to stand for.
    bool ExpandCustomCommand(std::string& text);
    void BuildCustomCommandMenu();
    void ShowLoginMessage();
    void ShowCommandResponse(const std::string& command);
    void miCopyUrlClick();

    // ---- log pages ----
    void BuildLogPages();
    void ResizeLogPages(int oldCount, int newCount);
    void BuildStatusRows();
    QPlainTextEdit* LogEdit(int connection) const;
    int LogPageCount() const;
    void ClearAllLogs();
    // The hook of the engine's display lines, also the window's own lines.
    void ClientDisplay(TObject* Sender, std::string& Msg) override;
    void DisplayLine(int connection, std::string line);
    const TLogFile& LogFile() const { return FLogFile; }

    // ---- settings changed while running ----
    // "Preference...": the dialog, and what its OK and Apply change at once.
    void Settings1Click();
    // The skin items (0 none, 1, 2): written to setting.ini at once.
    void SkinClick(int useSkin);
    // The host box's entries from the quick-connect list, the typed text kept.
    void FillHostBox();
    // The dialer the connect button dials through when a modem is set.
    TRasDialer& RasDialer() { return *RasDialer1; }

    // ---- menus and tool bar ----
    void UpdateEnabling();
    void SetConnectionCount(int newCount);
    void miIncreaseThreadClick();
    void miDecreaseThreadClick();

    // ---- the engine's window interface ----
    void TransferSessionClosed(TObject* Sender, std::uint16_t Error) override;
    void MainSessionClosed(TObject* Sender, std::uint16_t Error) override;
    void ShowSlotItem(const TTransferFileInfo& Item, int Slot) override;
    void UnmarkSlotItem(int Slot) override;
    void ItemCompleted(const TTransferFileInfo& Item, int Slot) override;
    void ShowSlotProgress(int Slot, std::int64_t Count) override;
    void ShowSlotFailed(int Slot) override;
    void DrawAttention() override;
    void AddRemotePathHistory(const std::string& Path) override;
    void SetRemoteDirText(const std::string& Path) override;
    void MoveQueueToBroken() override;
    std::string BrokenListFile() const override;
    std::string BrokenListDateTime() const override;
    void SetRunItems(const std::vector<TTransferFileInfo>& Items) override;
    void PlaySoundFile(const std::string& FileName) override;
    void SetStatusText(int Panel, const std::string& Text) override;
    void SetGauge(int Percent) override;
    void SetGaugeVisible(bool Visible) override;
    void SetApplicationTitle(const std::string& Text) override;
    const std::string& ProgramTitle() const override;
    void SetProgressTimer(bool Enabled) override;
    const TClientSettings& Settings() const override { return FSettings; }
    int AskFileExists(const std::string& Text) override;
    bool AskFreeSpace(const std::string& Text) override;
    void ShowMessage(const std::string& Text) override;

    // Re-reads the local pane from path.
    void ListLocalDir(const std::string& path);
    // The local path box: the root, each level down to path, home.
    void BuildLocalPathCombo(const std::string& path);
    // The local pane's desktop actions on the first selected row, and on the folder.
    void ExecuteClick();
    void PropertiesClick();
    void OpenCurrentDirectoryClick();
    // ---- queueing ----
    void AddQueueItem(const TTransferFileInfo& item);
    void ClearQueueNodes();
    void QueueDownloads();
    void QueueUploads();
    std::vector<const TlvFileInfo*> SelectedRows(bool local) const;
    // ---- broken lists ----
    // The broken list of the selected tree node, -1 for none.
    int SelectedBrokenList() const;
    void SelectBrokenList(int index);
    // The menu items say so when no list is selected (askSelection).
    void miResumeBrokenClick(bool askSelection);
    void DeleteBrokenList1Click(bool askSelection);
    void miDetailInfoClick();
    // ---- pane actions (on the local pane or the remote one) ----
    void MakeDirectoryClick(bool local);
    void RenameClick(bool local);
    void MoveClick(bool local);
    void DeleteClick(bool local);
    void ChangeModeClick();
    // Edit or View: a local file opens in the editor; a remote one is fetched
    // into this copy's folder first (View never offers the upload back).
    void EditViewClick(bool local, bool view);
    void CalcSizeClick();
    // One remote file by a name typed by hand, of unknown size.
    void ManualDownloadClick();
    // After a connect's first listing: Views a small index file of it.
    void AutoViewIndexFile();
    // Selects every row but "..", or turns each row's selection over.
    void SelectRows(bool local, bool invert);
    void FilterFilesClick(bool local);
    void GroupSelectClick(bool local);
    void FindFileClick(bool local);
    void FindNextClick(bool local);
    void ChangeDirectoryClick(bool local);
    std::vector<std::string> SelectedNames(bool local) const;
    const TQueueTree& QueueTree() const { return FQueueTree; }
    std::size_t NextRowToQueue = 0;
    TFilePane& LocalPane() { return FLocalPane; }
    TFilePane& RemotePane() { return FRemotePane; }
    // Row `row` of lvLocal (local) or lvHost; nullptr outside the rows.
    const TlvFileInfo* PaneRow(bool local, int row) const;
    // The view style of a pane: 0 "Large Icons", 1 "Small Icons", 2 "List",
    // 3 "Details"; the View menu's items show the active pane's.
    void SetPaneViewStyle(bool local, int style);
    int PaneViewStyle(bool local) const;
    TClientSettings& MutableSettings() { return FSettings; }
    TFtpManager& Engine() { return *FManager; }
    std::vector<TTransferFileInfo>& TransferQueue() { return FTransferQueue; }
    std::vector<TOldQuene>& BrokenLists() { return FBrokenLists; }
    TskStatusBar* StatusBar() const;
    std::string StatusText(int panel) const;
    // What could not be saved at exit (settings, broken lists, log file).
    const std::vector<std::string>& SaveFailures() const { return FSaveFailures; }

    // Runs a modal question or box after the engine callback that asked for
    // it has returned, so no engine event arrives inside its own handler.
    void Later(std::function<void()> f);

    // Tests: the edit/view opener and the executer (argument vectors only).
    std::function<bool(const std::string& program, const std::vector<std::string>& args)> StartProgram;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The quick bar's site, a masked history entry looked up in full.
    TQuickSite QuickBarSite() const;
    void SetupStatusBar();
    // Sizes the port box, the status bar and the status rows' columns for
    // the font they show their texts in.
    void FitLayoutToFont();
    // The gauge keeps its room: the other panels give way when the bar is narrow.
    void FitStatusPanels();
    // The saved bounds, moved onto a screen when their title bar is off every one.
    QRect SavedBoundsOnScreen() const;
    void SetupToolBarIcons();
    void WireActions();
    void BuildBookmarkItems();
    void BuildDirectoryItems();
    void SeedQueueTree();
    void FillRemoteList();
    void ShowPaneRows(bool local);
    void ShowQueueNode(bool isDownload, int index);
    QIcon QueueIcon(int image) const;
    void SetQueueImage(QTreeWidgetItem* node, int image) const;
    void QueueDownloadLoop();
    void AddExpandedFiles();
    void StartQueuedDownloads();
    void TakeResumedList();
    // Takes the resumed list and starts its run (mode 1).
    void StartResumedRun();
    // The selected broken list once the selection and the confirmation hold, else -1.
    int ConfirmedBrokenList(bool askSelection, bool confirm, const std::string& caption) const;
    void CancelResume();
    void LocalResult(const std::string& error);
    void FillPaneView(bool local);
    void SortPane(bool local, int column);
    void OpenPaneRow(bool local, int row);
    // A file row: the double-click action of the settings.
    void OpenPaneFile(bool local, int index);
    // Opens a local file or folder with the desktop; says so when nothing starts.
    void OpenLocal(const std::string& path);
    // The editor of the preferences, else a text editor or the desktop's opener; says why none started.
    void EditLocal(const std::string& path);
    void SetupPaneViews();
    void ShowViewStyleChecks();
    bool PaneKey(bool local, QKeyEvent* key);
    QIcon ParentIcon() const;
    void ClearStatusRows(bool connectedRow0);
    void ClearPanels1To4();
    void SetRowTexts(int row, const std::string& state, const std::string& file, const std::string& pos, int image);
    THostInfo QuickBarHost() const;
    bool ValidHost(THostInfo& host) const;
    void ConnectTo(const THostInfo& host);
    void EditViewFinished();
    void EditRemoteRow(const TlvFileInfo& row, bool view);
    void AfterListing(bool connect);
    void LogCommand(std::function<void(QPlainTextEdit*)> action, bool focusHost);
    void NoteWindowBounds();
    void ApplyPreferences();
    void RefreshHostCompletion();
    void ApplyFont(int which);
    void ApplyPaneOptions();
    void SizeNameColumn(bool local);
    void ShowPanels();
    // Dials first when a modem is set and no line is up; false when the
    // connect must not go on.
    bool DialUpBeforeConnect();
    void HangUpAtExit();
    void WireDialer();

    std::unique_ptr<Ui::TfmMain> ui;
    std::string FProgramDir; // ends "/"
    TClientSettings FSettings;
    std::unique_ptr<TFtpManager> FManager;
    std::unique_ptr<TDropURLTarget> DropURLTarget1;
    std::unique_ptr<TDesktopTies> FDesktopTies;
    std::unique_ptr<TInstanceTempFolder> FTemp;
    std::unique_ptr<TRasDialer> RasDialer1;
    TfmDialUP* FDialUp = nullptr; // the dial-up dialog while it is open
    QCompleter* FHostCompleter = nullptr;
    std::array<QPlainTextEdit*, 256> LogEdits{};
    QTimer* tiProgress;
    QTimer* tiAntiIdle;
    QTimer* tmMoniterClipboard;
    QMenu* pmRichEdit;
    QTreeWidgetItem* CurrentNode = nullptr;
    QTreeWidgetItem* DownloadNode = nullptr;
    QTreeWidgetItem* UploadNode = nullptr;
    std::vector<TTransferFileInfo> FTransferQueue, FRunItems;
    std::vector<TOldQuene> FBrokenLists;
    TFilePane FLocalPane, FRemotePane;
    std::unique_ptr<TPaneIcons> FPaneIcons;
    TFilePaneModel* FLocalModel = nullptr;
    TFilePaneModel* FRemoteModel = nullptr;
    TQueueTree FQueueTree;
    std::vector<TlvFileInfo> FQueuedRows; // the remote selection being queued, by value
    std::vector<TGetFileInfo> FExpandList;
    std::string FExpandBase;
    std::vector<std::string> FSkippedNames; // left out of the queue being made, told when its run ends
    std::vector<std::string> FUnlistedDirs;  // why its walks left folders out ("Not listed: ...")
    std::string FResumingKey; // the broken list being resumed, until its run starts
    std::string FResumedDateTime; // its DateTime while its run starts: the journal takes its place
    QMenu* pmQuene = nullptr;
    TPanePopupMenus* FPanePopups = nullptr;
    bool FLocalActive = true; // the pane the shared menu commands act on
    std::string FTypedPrefix;
    std::unordered_set<std::string> FRemovedBrokenKeys;
    std::vector<std::string> FSaveFailures;
    std::string FDamageText; // files read damaged, told once the window shows
    TLogFile FLogFile;
    std::string FLastClipboard;
    int FSessionState = 0;
    bool FBusy = false;
    bool FFirstShow = true;
    bool FDestroyed = false;
    // The widgets FitLayoutToFont sizes are built.
    bool FLayoutBuilt = false;
    bool FInAntiIdle = false;
    bool FInRawCommand = false;
    bool FCopyingUrl = false;
    bool FScrollPending = false;
    bool FForceClose = false;
    bool FStartFolderListing = false; // the folder change ends a connect with a start folder
};
