// Connecting from the quick bar, the session commands (disconnect, abort,
// raw and custom commands, anti-idle), the clipboard monitor and the two
// browsing windows.
#include "client/ui/main/Main.h"

#include <QClipboard>
#include <QPlainTextEdit>
#include <QTextBlock>

#include <algorithm>
#include <random>

#include "client/browser/Browser.h"
#include "client/browser/BrowserServer.h"
#include "client/engine/CommFunc.h"
#include "client/engine/FtpManager.h"
#include "client/ui/main/FtpUrl.h"
#include "client/ui/main/MainCommon.h"
#include "client/ui/small/CustomCommand.h"
#include "client/ui/small/ServerMessage.h"
#include "client/ui/small/ViewRawDir.h"
#include "platform/dialogs/Dialogs.h"
#include "platform/dialogs/EventHandler.h"
#include "ui_Main.h"

using namespace mainwin;

namespace {

const char* const kAntiIdleCommands[] = {"PWD", "REST 0", "TYPE I", "TYPE A"};
const char* const kMask = "********";

} // namespace

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
    // Asked first: a No keeps the connection as it was, its folder and its log too.
    if (FSessionState != ssReady && FSettings.ConfirmFlags.NewConnect) {
        if (Dialogs().MessageBox("Break current connection ?", "Confirm", MB_YESNO | MB_ICONQUESTION) != IDYES)
            return;
    }
    IndexViewActive = false;
    if (PendingAction != 1) RemoteDir.clear();
    if (!DialUpBeforeConnect()) return;
    ClearAllLogs();
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
    RefreshHostCompletion();
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
