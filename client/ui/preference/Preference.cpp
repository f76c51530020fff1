#include "client/ui/preference/Preference.h"

#include <QFontDialog>
#include <algorithm>
#include <climits>

#include "client/engine/ClientSettings.h"
#include "client/ui/RowEdits.h"
#include "platform/dialogs/EventHandler.h"
#include "platform/dialogs/Dialogs.h"
#include "rtl/StrUtils.h"
#include "ui_Preference.h"

namespace {

const char* const kSoundEvents[5] = {"Connected", "Disconnected", "Transfer Begin", "Transfer Complete",
                                     "Inforamtion Promotion"};

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

// The range first: a spin box clamps the value to the range it has when set.
void SetSpin(QSpinBox* spin, int min, int max, int value)
{
    spin->setRange(min, max);
    spin->setValue(value);
}

QFont ToQFont(const TFontSetting& f)
{
    QFont font(Q(f.Name));
    if (f.Size > 0) font.setPointSize(f.Size);
    return font;
}

bool QtChooseFont(TFontSetting& f, QWidget* parent)
{
    bool ok = false;
    const QFont chosen = QFontDialog::getFont(&ok, ToQFont(f), parent);
    if (!ok) return false;
    f.Name = S(chosen.family());
    if (chosen.pointSize() > 0) f.SetSize(chosen.pointSize());
    return true;
}

} // namespace

std::string CleanExtension(const std::string& text)
{
    std::string ext = rtl::Trim(text);
    while (!ext.empty() && ext.front() == '.') ext.erase(0, 1);
    return ext;
}

TfmPreference::TfmPreference(TClientSettings& settings, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TfmPreference>()), settings_(settings)
{
    ui->setupUi(this);
    ChooseFont = [this](TFontSetting& f) { return QtChooseFont(f, this); };
    ui->edRenameExt->setColumnWidth(0, 150);
    ui->edRenameExt->setColumnWidth(1, 140);
    ui->lvSounds->setColumnWidth(0, 150);
    ui->lvSounds->setColumnWidth(1, 150);
    BuildTree();

    ConnectHandler(ui->TreeView1, &QTreeWidget::currentItemChanged, this, [this] {
        if (QTreeWidgetItem* node = ui->TreeView1->currentItem()) ShowPage(node->data(0, Qt::UserRole).toInt());
    });
    ConnectHandler(ui->Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    ConnectHandler(ui->Button2, &QPushButton::clicked, this, [this] { reject(); });
    ConnectHandler(ui->Apply, &QPushButton::clicked, this, [this] { ApplyClick(); });
    ConnectHandler(ui->cbUseMainThreadTransfer, &QCheckBox::clicked, this, [this] { cbUseMainThreadTransferClick(); });
    ConnectHandler(ui->seMaxThreadNum, &QSpinBox::valueChanged, this, [this] { seMaxThreadNumChange(); });
    ConnectHandler(ui->btAscAdd, &QPushButton::clicked, this, [this] { btAscAddClick(); });
    ConnectHandler(ui->btAscDelete, &QPushButton::clicked, this, [this] { btAscDeleteClick(); });
    ConnectHandler(ui->Button3, &QPushButton::clicked, this, [this] { Button3Click(ui->Button3->property("tag").toInt()); });
    ConnectHandler(ui->Button4, &QPushButton::clicked, this, [this] { Button3Click(ui->Button4->property("tag").toInt()); });
    ConnectHandler(ui->btDeleteQuickConnect, &QPushButton::clicked, this, [this] { btDeleteQuickConnectClick(); });
    ConnectHandler(ui->btClearQuickConnect, &QPushButton::clicked, this, [this] { btClearQuickConnectClick(); });
    ConnectHandler(ui->Button5, &QPushButton::clicked, this, [this] { Button5Click(); });
    ConnectHandler(ui->SpeedButton1, &QPushButton::clicked, this, [this] { SpeedButton1Click(); });
    ConnectHandler(ui->Button6, &QPushButton::clicked, this, [this] { Button6Click(); });
    ConnectHandler(ui->Button7, &QPushButton::clicked, this, [this] { Button7Click(); });
    renameEdits_ = new TRowEdits(ui->edRenameExt, ui->edLocal, ui->edHost);
    ConnectHandler(ui->lvSounds, &QTreeWidget::itemDoubleClicked, this, [this] { lvSoundsDblClick(); });
    ConnectHandler(ui->Button10, &QPushButton::clicked, this, [this] { Button10Click(); });
    ConnectHandler(ui->Button11, &QPushButton::clicked, this, [this] { Button11Click(); });
    ConnectHandler(ui->Button8, &QPushButton::clicked, this, [this] { Button8Click(); });
    ConnectHandler(ui->Button9, &QPushButton::clicked, this, [this] { Button9Click(); });

    FormCreate({});
}

TfmPreference::~TfmPreference() = default;

void TfmPreference::BuildTree()
{
    auto node = [this](QTreeWidgetItem* parent, const char* text, int page) {
        auto* item = parent ? new QTreeWidgetItem(parent, QStringList(text))
                            : new QTreeWidgetItem(ui->TreeView1, QStringList(text));
        item->setData(0, Qt::UserRole, page); // the page the node shows
        return item;
    };
    QTreeWidgetItem* root = node(nullptr, "+", pgGeneral);
    QTreeWidgetItem* connect = node(root, "Connect", pgGeneral);
    node(connect, "Anti Idle", pgAntiIdle);
    node(connect, "Dial-UP", pgDialUP);
    node(connect, "Proxy", pgProxy);
    node(connect, "Socks", pgSocks);
    node(connect, "Index", pgIndex);
    QTreeWidgetItem* transfer = node(root, "Transfer", pgTransfer);
    node(transfer, "Multiple Thread", pgMultipleThread);
    node(transfer, "ASCII Extension", pgASCIIExtension);
    node(transfer, "Rename Ext", pgRenameExt);
    QTreeWidgetItem* display = node(root, "Display", pgAdvanced);
    node(display, "Fonts", pgFonts);
    node(display, "Quick Launch", pgQuickConnect);
    node(root, "Sounds", pgSounds);
    root->setExpanded(true);
    ui->TreeView1->expandAll();
}

void TfmPreference::ShowPage(int page)
{
    ui->Notebook1->setCurrentIndex(page);
}

void TfmPreference::FormCreate(const std::function<std::vector<std::string>()>& phoneBook)
{
    const TClientSettings& s = settings_;
    // General
    ui->cbShowSiteManagerStartup->setChecked(s.ShowSiteManager);
    ui->ShowLoginMessage->setChecked(s.ShowLoginMessage);
    ui->HideOnMinimize->setChecked(s.HideOnMinimize);
    ui->cbMoniterClipboard->setChecked(s.MoniterClipboard);
    ui->cbIgnoreLinks->setChecked(s.IgnoreLinksOnGet);
    ui->edAnonymousPassword->setText(Q(s.AnonymousEmail));
    SetSpin(ui->seConnectionRetryTimes, 0, 9999, s.ConnectionRetryTimes);
    ui->DoubleClickAction->setCurrentIndex(std::clamp(s.DoubleClickAction, 0, 3));
    ui->cbSaveLogsToFile->setChecked(s.SaveLogToFile);
    ui->edLogFileName->setText(Q(s.LogFileName));
    // Anti idle
    ui->cbEnableAntiIdle->setChecked(s.AntiIdleEnable);
    SetSpin(ui->spAntiIdleInterval, kMinAntiIdle, kMaxAntiIdle, s.AntiIdleInterval);
    // Proxy and SOCKS
    ui->cbEnableProxy->setChecked(s.ProxySetting.Enabled);
    ui->edProxyHost->setText(Q(s.ProxySetting.Host));
    ui->edProxyPort->setText(Q(s.ProxySetting.Port));
    ui->edProxyUser->setText(Q(s.ProxySetting.User));
    ui->edProxyPass->setText(Q(s.ProxySetting.Pass));
    switch (s.ProxySetting.Type) {
    case 1: ui->rbFtpProxyUserHost->setChecked(true); break;
    case 5: ui->rbFtpProxyUser->setChecked(true); break;
    case 6: ui->rbFtpProxySiteSite->setChecked(true); break;
    case 7: ui->rbFtpProxySiteUserHost->setChecked(true); break;
    default: break;
    }
    ui->cbPasvMode->setChecked(s.PasvMode);
    ui->cbEnableSocks->setChecked(s.SocksSetting.Enabled);
    ui->edSocksHost->setText(Q(s.SocksSetting.Host));
    ui->edSocksPort->setText(Q(s.SocksSetting.Port));
    ui->edSocksUser->setText(Q(s.SocksSetting.User));
    ui->edSocksPass->setText(Q(s.SocksSetting.Pass));
    switch (s.SocksSetting.Type) {
    case 2: ui->rbFtpSocks4->setChecked(true); break;
    case 3: ui->rbFtpSocks4A->setChecked(true); break;
    case 4: ui->rbFtpSocks5->setChecked(true); break;
    default: break;
    }
    // Multiple thread: connection 0 always transfers, so one connection is enough.
    ui->cbUseMainThreadTransfer->setChecked(true);
    SetSpin(ui->seMaxThreadNum, 5, 255, s.MaxThreadNum);
    SetSpin(ui->seThreadNumber, 1, ui->seMaxThreadNum->value(), s.FtpCliNum);
    ui->seSplitDownloadFileSize->setRange(0, 1e15);
    ui->seSplitDownloadFileSize->setValue(double(s.MTFileSize));
    ui->EnableSplitDownload->setChecked(s.EnableSplitDownload);
    SetSpin(ui->seSplitNum, 0, 5, s.SplitNum);
    // ASCII extensions
    ui->ListBox1->clear();
    for (const auto& e : s.TextExtList) ui->ListBox1->addItem(Q(e));
    // Fonts
    ShowFonts();
    // Quick connect
    ui->lbQuickConnect->clear();
    for (const auto& e : s.QuickConnectHostBoxItems()) ui->lbQuickConnect->addItem(Q(e));
    ui->cbInterceptFtp->setChecked(s.InterceptFtpURL);
    // Display
    (s.PromoteMethod == 0 ? ui->rbBringWindowTop : s.PromoteMethod == 1 ? ui->rbFlashWindow : ui->rbDonothing)
        ->setChecked(true);
    ui->cbAutoSizeColumn->setChecked(s.AutoSizeColumn);
    ui->cbDirectoryOnTop->setChecked(s.DirectoryOnTop);
    ui->cbShowHidenFile->setChecked(s.ShowHidenFile);
    ui->cbCheckFreeSpace->setChecked(s.CheckFreeSpace);
    ui->SelectEntireLine->setChecked(s.SelectEntireLine);
    ui->HideColumnHeader->setChecked(s.HideColumnHeader);
    if (s.FileCase == 0) ui->rbRemainOrigin->setChecked(true);
    if (s.FileCase == 1) ui->rbUpcaseAll->setChecked(true);
    if (s.FileCase == 2) ui->rbLowCaseAll->setChecked(true);
    if (s.SpeedFormat == 0) ui->rbBytes->setChecked(true);
    if (s.SpeedFormat == 1) ui->rbKBytes->setChecked(true);
    // Dial-up: without the remote access service there is no phone book, and
    // the dialog must open all the same.
    ui->cbDialUP->clear();
    std::vector<std::string> entries;
    bool haveDialer = false;
    if (phoneBook) {
        try {
            entries = phoneBook();
            haveDialer = true;
        } catch (...) {
            entries.clear();
        }
    }
    for (const auto& e : entries) ui->cbDialUP->addItem(Q(e));
    // Without the dialer the modem cannot be chosen anew, but a stored modem
    // choice is shown as it is: the user may still switch to the LAN.
    ui->ConnectUseMOdem->setEnabled(haveDialer);
    ui->cbDialUP->setEnabled(haveDialer);
    if (s.DialUPType == 1)
        ui->ConnectUseMOdem->setChecked(true);
    else
        ui->ConnectUseLan->setChecked(true);
    if (s.DialUPIndex >= 0 && s.DialUPIndex < ui->cbDialUP->count()) ui->cbDialUP->setCurrentIndex(s.DialUPIndex);
    ui->cbShowAuthWindow->setChecked(s.DialUPShowAuth);
    ui->cbDialUPShowError->setChecked(s.DialUPShowError);
    ui->cbDialUPDisconnect->setChecked(s.DialUPDisconnect);
    SetSpin(ui->RetryTimes, 0, 9999, s.DialUPRetryTimes);
    SetSpin(ui->RetryTimeSpan, 0, 9999, s.DialUPRetrySpan);
    // Transfer
    ui->edDefaultEditView->setText(Q(s.DefaultEditView));
    const TConfirmFlags& c = s.ConfirmFlags;
    ui->cbOverwriteconfirm->setChecked(c.Overwrite);
    ui->cbAbort->setChecked(c.Abort);
    ui->cbDisconnect->setChecked(c.Disconnect);
    ui->cbDelete->setChecked(c.Delete);
    ui->cbTransferOver->setChecked(c.TransferOver);
    ui->cbNewConnect->setChecked(c.NewConnect);
    ui->cbMoveFiles->setChecked(c.MoveFiles);
    ui->cbResumeBroken->setChecked(c.ResumeBroken);
    ui->cbDeleteBroken->setChecked(c.DeleteBroken);
    // Rename pairs
    ui->edRenameExt->clear();
    for (const auto& p : s.RenameExtList) new QTreeWidgetItem(ui->edRenameExt, {Q(p.Local), Q(p.Host)});
    ui->edRenameExt->setCurrentItem(nullptr);
    renameEdits_->Load(nullptr);
    // Index files
    ui->lbIndexFiles->clear();
    for (const auto& e : s.IndexFileList) ui->lbIndexFiles->addItem(Q(e));
    SetSpin(ui->seMaxIndexFileSize, 0, 1000000, s.IndexFileMaxSize);
    ui->cbDisableIndexFeature->setChecked(s.IndexFileDisable);
    // Sounds
    ui->lvSounds->clear();
    for (int i = 0; i < 5; ++i) new QTreeWidgetItem(ui->lvSounds, {kSoundEvents[i], Q(s.SoundFiles[i])});

    ui->TreeView1->setCurrentItem(ui->TreeView1->topLevelItem(0));
    ShowPage(pgGeneral);
}

void TfmPreference::ShowFonts()
{
    ui->ProgramFontPanel->setFont(ToQFont(settings_.ProgramFontInfo));
    ui->LogWindowFontPanel->setFont(ToQFont(settings_.RichEditFontInfo));
}

void TfmPreference::Button1Click()
{
    CopyBack();
    accept();
}

void TfmPreference::ApplyClick()
{
    CopyBack();
}

void TfmPreference::CopyBack()
{
    TClientSettings& s = settings_;
    s.MainConnDownload = true;
    const int oldCount = s.FtpCliNum;
    s.FtpCliNum = ui->seThreadNumber->value();
    if (OnSetConnectionCount) OnSetConnectionCount(oldCount, s.FtpCliNum);
    s.MTFileSize = std::int64_t(ui->seSplitDownloadFileSize->value());

    s.ProxySetting.Enabled = ui->cbEnableProxy->isChecked();
    s.ProxySetting.Host = S(ui->edProxyHost->text());
    s.ProxySetting.Port = S(ui->edProxyPort->text());
    s.ProxySetting.User = S(ui->edProxyUser->text());
    s.ProxySetting.Pass = S(ui->edProxyPass->text());
    s.SocksSetting.Enabled = ui->cbEnableSocks->isChecked();
    s.SocksSetting.Host = S(ui->edSocksHost->text());
    s.SocksSetting.Port = S(ui->edSocksPort->text());
    s.SocksSetting.User = S(ui->edSocksUser->text());
    s.SocksSetting.Pass = S(ui->edSocksPass->text());
    s.PasvMode = ui->cbPasvMode->isChecked();
    if (ui->rbFtpProxyUserHost->isChecked()) s.ProxySetting.Type = 1;
    if (ui->rbFtpProxyUser->isChecked()) s.ProxySetting.Type = 5;
    if (ui->rbFtpProxySiteSite->isChecked()) s.ProxySetting.Type = 6;
    if (ui->rbFtpProxySiteUserHost->isChecked()) s.ProxySetting.Type = 7;
    if (ui->rbFtpSocks4->isChecked()) s.SocksSetting.Type = 2;
    if (ui->rbFtpSocks4A->isChecked()) s.SocksSetting.Type = 3;
    if (ui->rbFtpSocks5->isChecked()) s.SocksSetting.Type = 4;

    s.AntiIdleEnable = ui->cbEnableAntiIdle->isChecked();
    s.AntiIdleInterval = std::clamp(ui->spAntiIdleInterval->value(), kMinAntiIdle, kMaxAntiIdle);

    s.ShowSiteManager = ui->cbShowSiteManagerStartup->isChecked();
    s.AnonymousEmail = S(ui->edAnonymousPassword->text());
    s.ConnectionRetryTimes = ui->seConnectionRetryTimes->value();
    s.DoubleClickAction = ui->DoubleClickAction->currentIndex();

    s.HideColumnHeader = ui->HideColumnHeader->isChecked();
    s.SelectEntireLine = ui->SelectEntireLine->isChecked();
    s.HideOnMinimize = ui->HideOnMinimize->isChecked();
    s.EnableSplitDownload = ui->EnableSplitDownload->isChecked();
    s.ShowLoginMessage = ui->ShowLoginMessage->isChecked();
    s.MoniterClipboard = ui->cbMoniterClipboard->isChecked();

    s.DialUPType = ui->ConnectUseLan->isChecked() ? 0 : 1;
    s.DialUPIndex = ui->cbDialUP->count() > 0 ? ui->cbDialUP->currentIndex() : s.DialUPIndex;
    s.DialUPShowAuth = ui->cbShowAuthWindow->isChecked();
    s.DialUPShowError = ui->cbDialUPShowError->isChecked();
    s.DialUPDisconnect = ui->cbDialUPDisconnect->isChecked();
    s.DialUPRetryTimes = ui->RetryTimes->value();
    s.DialUPRetrySpan = ui->RetryTimeSpan->value();

    s.PromoteMethod = ui->rbBringWindowTop->isChecked() ? 0 : ui->rbFlashWindow->isChecked() ? 1 : 2;
    s.SaveLogToFile = ui->cbSaveLogsToFile->isChecked();
    s.LogFileName = S(ui->edLogFileName->text());
    s.FileCase = ui->rbRemainOrigin->isChecked() ? 0 : ui->rbUpcaseAll->isChecked() ? 1 : 2;
    s.SpeedFormat = ui->rbBytes->isChecked() ? 0 : 1;

    s.AutoSizeColumn = ui->cbAutoSizeColumn->isChecked();
    s.ShowHidenFile = ui->cbShowHidenFile->isChecked();
    s.DirectoryOnTop = ui->cbDirectoryOnTop->isChecked();
    s.CheckFreeSpace = ui->cbCheckFreeSpace->isChecked();
    s.InterceptFtpURL = ui->cbInterceptFtp->isChecked();
    s.IgnoreLinksOnGet = ui->cbIgnoreLinks->isChecked();
    s.DefaultEditView = S(ui->edDefaultEditView->text());

    TConfirmFlags& c = s.ConfirmFlags;
    c.Overwrite = ui->cbOverwriteconfirm->isChecked();
    c.Abort = ui->cbAbort->isChecked();
    c.Disconnect = ui->cbDisconnect->isChecked();
    c.Delete = ui->cbDelete->isChecked();
    c.TransferOver = ui->cbTransferOver->isChecked();
    c.NewConnect = ui->cbNewConnect->isChecked();
    c.MoveFiles = ui->cbMoveFiles->isChecked();
    c.ResumeBroken = ui->cbResumeBroken->isChecked();
    c.DeleteBroken = ui->cbDeleteBroken->isChecked();

    // A pair with an empty side would rename every file without an extension.
    s.RenameExtList.clear();
    for (int i = 0; i < ui->edRenameExt->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = ui->edRenameExt->topLevelItem(i);
        TRenameExt pair{CleanExtension(S(row->text(0))), CleanExtension(S(row->text(1)))};
        if (!pair.Local.empty() && !pair.Host.empty()) s.RenameExtList.push_back(pair);
    }
    for (int i = 0; i < 5; ++i) s.SoundFiles[i] = S(ui->lvSounds->topLevelItem(i)->text(1));
    s.IndexFileList.clear();
    for (int i = 0; i < ui->lbIndexFiles->count(); ++i) s.IndexFileList.push_back(S(ui->lbIndexFiles->item(i)->text()));
    s.IndexFileMaxSize = ui->seMaxIndexFileSize->value();
    s.IndexFileDisable = ui->cbDisableIndexFeature->isChecked();
    s.SplitNum = ui->seSplitNum->value();
    s.MaxThreadNum = ui->seMaxThreadNum->value();
    if (OnApplied) OnApplied();
}

void TfmPreference::cbUseMainThreadTransferClick()
{
    const int max = ui->seThreadNumber->maximum();
    if (ui->cbUseMainThreadTransfer->isChecked()) {
        ui->seThreadNumber->setRange(1, max);
    } else {
        ui->seThreadNumber->setRange(2, std::max(2, max)); // a value of 1 becomes 2
    }
}

void TfmPreference::seMaxThreadNumChange()
{
    ui->seThreadNumber->setMaximum(ui->seMaxThreadNum->value());
}

void TfmPreference::btAscAddClick()
{
    std::string text;
    if (!Dialogs().InputQuery("Add Extension", "New = ", text)) return;
    // An empty extension would send every file without one in ASCII and corrupt it.
    const std::string ext = CleanExtension(text);
    if (ext.empty()) {
        Dialogs().MessageBox("The extension can not be empty!", "Add Extension", MB_OK | MB_ICONERROR);
        return;
    }
    auto& list = settings_.TextExtList;
    if (std::find(list.begin(), list.end(), ext) != list.end()) {
        Dialogs().MessageBox("This extension exists!", "Add Extension", MB_OK | MB_ICONINFORMATION);
        return;
    }
    list.push_back(ext);
    ui->ListBox1->addItem(Q(ext));
}

void TfmPreference::btAscDeleteClick()
{
    for (int i = 0; i < ui->ListBox1->count(); ++i) {
        if (!ui->ListBox1->item(i)->isSelected()) continue;
        auto& list = settings_.TextExtList;
        if (i < int(list.size())) list.erase(list.begin() + i);
        delete ui->ListBox1->takeItem(i);
        return;
    }
}

void TfmPreference::Button3Click(int tag)
{
    TClientSettings& s = settings_;
    TFontSetting font = tag == 0 ? s.ProgramFontInfo : s.RichEditFontInfo;
    if (!ChooseFont || !ChooseFont(font)) return;
    if (tag == 0) {
        s.ProgramFont = true;
        s.ProgramFontInfo = font;
    } else {
        s.RichEditFont = true;
        s.RichEditFontInfo = font;
    }
    ShowFonts();
    if (OnFontChanged) OnFontChanged(tag);
}

void TfmPreference::btDeleteQuickConnectClick()
{
    if (Dialogs().MessageBox("Are you sure?", "Clear", MB_YESNO | MB_ICONQUESTION) != IDYES) return;
    // From the last position down, list box and entries together: removing from
    // the front would shift the positions and take the wrong entries.
    auto& list = settings_.QuickConnectList;
    for (int i = ui->lbQuickConnect->count() - 1; i >= 0; --i) {
        if (!ui->lbQuickConnect->item(i)->isSelected()) continue;
        delete ui->lbQuickConnect->takeItem(i);
        if (i < int(list.size())) list.erase(list.begin() + i);
    }
    if (OnQuickConnectChanged) OnQuickConnectChanged();
}

void TfmPreference::btClearQuickConnectClick()
{
    if (Dialogs().MessageBox("Are you sure?", "Clear", MB_YESNO | MB_ICONQUESTION) != IDYES) return;
    ui->lbQuickConnect->clear();
    settings_.QuickConnectList.clear();
    if (OnQuickConnectChanged) OnQuickConnectChanged();
}

void TfmPreference::Button5Click()
{
    std::string name = S(ui->edLogFileName->text());
    if (!Dialogs().OpenFileName("", "Log File(*.Log) (*.Log)", name)) return;
    const auto slash = name.rfind('/');
    const std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
    if (base.find('.') == std::string::npos) name += ".Log";
    ui->edLogFileName->setText(Q(name));
}

void TfmPreference::SpeedButton1Click()
{
    std::string name = S(ui->edDefaultEditView->text());
    if (!Dialogs().OpenFileName("", "Execute File(*.EXE) (*)", name)) return;
    ui->edDefaultEditView->setText(Q(name));
}

void TfmPreference::Button6Click()
{
    renameEdits_->AddRow();
}

void TfmPreference::Button7Click()
{
    renameEdits_->RemoveRow();
}

void TfmPreference::lvSoundsDblClick()
{
    QTreeWidgetItem* row = ui->lvSounds->currentItem();
    if (!row) return;
    std::string file = S(row->text(1));
    if (!Dialogs().OpenFileName("Sound for " + S(row->text(0)), "Wave File(*.wav) (*.wav)", file)) return;
    row->setText(1, Q(file));
}

void TfmPreference::Button10Click()
{
    if (QTreeWidgetItem* row = ui->lvSounds->currentItem()) row->setText(1, QString());
}

void TfmPreference::Button11Click()
{
    for (int i = 0; i < ui->lvSounds->topLevelItemCount(); ++i) ui->lvSounds->topLevelItem(i)->setText(1, QString());
}

void TfmPreference::Button8Click()
{
    std::string name;
    if (!Dialogs().InputQuery("New Index:", "Index File Name = ", name)) return;
    name = rtl::Trim(name);
    if (name.empty()) return;
    ui->lbIndexFiles->addItem(Q(name));
}

void TfmPreference::Button9Click()
{
    for (int i = 0; i < ui->lbIndexFiles->count(); ++i) {
        if (ui->lbIndexFiles->item(i)->isSelected()) {
            delete ui->lbIndexFiles->takeItem(i);
            return;
        }
    }
}
