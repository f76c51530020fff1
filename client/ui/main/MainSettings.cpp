// Settings the user changes while the program runs: the preferences dialog
// and what its OK and Apply change at once, the skin choice, and the panels
// the View menu shows or hides.
#include "client/ui/main/Main.h"

#include <QCompleter>
#include <QPlainTextEdit>
#include <QStringListModel>
#include <QTimer>

#include "client/engine/FtpManager.h"
#include "client/ui/main/MainCommon.h"
#include "client/ui/preference/Preference.h"
#include "platform/dialogs/Dialogs.h"
#include "platform/dialup/DuRas.h"
#include "ui_Main.h"

using namespace mainwin;

void TfmMain::Settings1Click()
{
    TfmPreference dialog(FSettings, this);
    // The dialog has stored the new count already: resize from the old one.
    dialog.OnSetConnectionCount = [this](int oldCount, int n) {
        FSettings.FtpCliNum = oldCount;
        SetConnectionCount(n);
    };
    dialog.OnApplied = [this] { ApplyPreferences(); };
    dialog.OnFontChanged = [this](int which) { ApplyFont(which); };
    dialog.OnQuickConnectChanged = [this] { FillHostBox(); };
    dialog.FormCreate([this] {
        std::vector<std::string> entries;
        RasDialer1->ReadPhonebookEntries(&entries);
        return entries;
    });
    dialog.exec();
    ui->miAntiIdle->setChecked(FSettings.AntiIdleEnable);
    ui->miEnableProxy->setChecked(FSettings.ProxySetting.Enabled);
    ui->miEnableSocks->setChecked(FSettings.SocksSetting.Enabled);
}

void TfmMain::ApplyPreferences()
{
    FManager->SetSplitFileSize(FSettings.MTFileSize);
    ApplyPaneOptions();
    if (FSettings.MoniterClipboard) tmMoniterClipboard->start();
    else tmMoniterClipboard->stop();
    // Hidden files, folders on top and the name case show at once.
    ListLocalDir(LocalPath);
    ShowPaneRows(false);
    FormResize();
    // The anti-idle timer follows the new interval.
    SetSessionState(FSessionState);
}

void TfmMain::ApplyFont(int which)
{
    if (which == 0) {
        setFont(QFont(Q(FSettings.ProgramFontInfo.Name), FSettings.ProgramFontInfo.Size));
        return;
    }
    const QFont f(Q(FSettings.RichEditFontInfo.Name), FSettings.RichEditFontInfo.Size);
    for (QPlainTextEdit* e : LogEdits)
        if (e) e->setFont(f);
}

void TfmMain::FillHostBox()
{
    QComboBox* box = ui->cbHostName;
    const QString text = box->currentText();
    box->blockSignals(true);
    box->clear();
    for (const auto& item : FSettings.QuickConnectHostBoxItems()) box->addItem(Q(item));
    box->setCurrentIndex(-1);
    box->setEditText(text);
    box->blockSignals(false);
    RefreshHostCompletion();
}

void TfmMain::RefreshHostCompletion()
{
    // Completion offers the hosts only: a completed text never stands for a
    // history entry, whose port, user and password would replace the typed ones.
    if (!FHostCompleter) {
        FHostCompleter = new QCompleter(this);
        FHostCompleter->setObjectName("HostCompleter");
        FHostCompleter->setCaseSensitivity(Qt::CaseInsensitive);
        FHostCompleter->setCompletionMode(QCompleter::InlineCompletion);
        FHostCompleter->setModel(new QStringListModel(FHostCompleter));
        ui->cbHostName->setCompleter(nullptr);
        ui->cbHostName->lineEdit()->setCompleter(FHostCompleter);
    }
    QStringList hosts;
    for (const auto& entry : FSettings.QuickConnectList) {
        const QString host = Q(entry.substr(0, entry.find(':')));
        if (!host.isEmpty() && !hosts.contains(host)) hosts << host;
    }
    static_cast<QStringListModel*>(FHostCompleter->model())->setStringList(hosts);
}

void TfmMain::SkinClick(int useSkin)
{
    QAction* const items[] = {ui->NOSkin1, ui->Skin11, ui->Skin21};
    for (int i = 0; i < 3; ++i) items[i]->setChecked(i == useSkin);
    if (!TClientSettings::WriteSkinChoice(FProgramDir + "setting.ini", useSkin)) {
        Dialogs().MessageBox("Cannot write " + FProgramDir + "setting.ini", ApplicationTitle(), MB_OK | MB_ICONERROR);
        return;
    }
    Dialogs().MessageBox("Your select will take effect next time!", ApplicationTitle(), MB_OK | MB_ICONINFORMATION);
}

void TfmMain::ShowPanels()
{
    ui->ToolBar1->setVisible(FSettings.ShowToolBar);
    ui->pnQuickConnect->setVisible(FSettings.ShowQuickLunchBar);
    ui->tvQuene->setVisible(FSettings.ShowTransferStateWindow);
    ui->lvStatus->setVisible(FSettings.ShowStatusWindow);
    ui->miShowToolBar->setChecked(FSettings.ShowToolBar);
    ui->miShowQuickLunchBar->setChecked(FSettings.ShowQuickLunchBar);
    ui->miShowTransferStateWindow->setChecked(FSettings.ShowTransferStateWindow);
    ui->miShowStatusWindow->setChecked(FSettings.ShowStatusWindow);
}
