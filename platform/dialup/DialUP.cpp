#include "platform/dialup/DialUP.h"

#include <QTimer>
#include <algorithm>

#include "platform/dialogs/Dialogs.h"
#include "platform/dialogs/EventHandler.h"
#include "ui_DialUP.h"

TfmDialUP::TfmDialUP(TCustomRasDialer& dialer, const TDialUpOptions& options, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TfmDialUP>()), dialer_(dialer), options_(options)
{
    ui->setupUi(this);
    setFixedSize(size());
    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setSingleShot(true);
    ConnectHandler(ui->Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    ConnectHandler(ui->Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    ConnectHandler(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });

    // FormCreate
    std::vector<std::string> entries;
    dialer_.ReadPhonebookEntries(&entries);
    for (const std::string& name : entries)
        ui->ListBox1->addItem(QString::fromStdString(name));
    if (options_.Index >= 0 && options_.Index < static_cast<int>(entries.size())) {
        const std::string& entry = entries[static_cast<std::size_t>(options_.Index)];
        ui->EntrySelect->setText(QString::fromStdString(entry));
        dialer_.SetEntryName(entry);
    } else {
        // No entry at that position (an empty phonebook among others): nothing to dial.
        ui->Button1->setEnabled(false);
        SetPanel("No Dial-UP entry to dial");
    }
    ui->edUser->setText(QString::fromStdString(dialer_.UserName));
    ui->edPass->setText(QString::fromStdString(dialer_.Password));
    ui->edDomain->setText(QString::fromStdString(dialer_.Domain));
    ui->edPhone->setText(QString::fromStdString(dialer_.PhoneNumber));
    Timer1->setInterval(std::max(options_.RetrySpan, 0) * 1000);
    if (options_.ShowAuth) {
        status_ = std::make_unique<TRasStatus>();
        status_->SetRasDialer(&dialer_);
        // Cancelling in the status window ends the dialling here too.
        status_->OnCancel = [this](TObject*) { Button2Click(); };
    }
}

TfmDialUP::~TfmDialUP() = default;

void TfmDialUP::SetPanel(const std::string& text)
{
    ui->Panel1->setText(QString::fromStdString(text));
}

std::string TfmDialUP::PanelText() const
{
    return ui->Panel1->text().toStdString();
}

void TfmDialUP::Button1Click()
{
    redials_ = 0;
    DialOnce();
}

void TfmDialUP::Timer1Timer()
{
    Timer1->stop();
    ++redials_;
    DialOnce();
}

void TfmDialUP::DialOnce()
{
    closing_ = false;
    dialer_.UserName = ui->edUser->text().toStdString();
    dialer_.Password = ui->edPass->text().toStdString();
    dialer_.Domain = ui->edDomain->text().toStdString();
    dialer_.PhoneNumber = ui->edPhone->text().toStdString();
    int result = dialer_.Dial();
    // A dial the service refuses at once sends no event: it is a dial error all the same.
    if (result != 0)
        RasDialError(result);
}

void TfmDialUP::RasDialStatus(int state)
{
    SetPanel(dialer_.DialStatusText(state));
}

void TfmDialUP::RasDialError(int error)
{
    if (closing_)
        return;
    SetPanel(dialer_.DialErrorText(error));
    std::string question = "Error : " + PanelText();
    if (redials_ >= std::max(options_.RetryTimes, 0)) {
        // The redials are used up: say so once and stop.
        if (options_.ShowError) {
            if (options_.DrawAttention)
                options_.DrawAttention();
            Dialogs().MessageBox(question, "Dial Error", MB_OK | MB_ICONERROR);
        }
        Button2Click();
        return;
    }
    if (options_.ShowError) {
        if (options_.DrawAttention)
            options_.DrawAttention();
        if (Dialogs().MessageBox(question + "\nRetry?", "Dial Error", MB_YESNO | MB_ICONQUESTION) != IDYES) {
            Button2Click();
            return;
        }
    }
    SetPanel("Wait for next Dial-UP");
    Timer1->start();
}

void TfmDialUP::RasConnected()
{
    if (closing_)
        return;
    connected_ = true;
    Timer1->stop();
    done(QDialog::Accepted);
}

void TfmDialUP::RasDisconnected()
{
    // Every dial first hangs up and so reports a disconnection: nothing to do.
}

void TfmDialUP::Button2Click()
{
    if (closing_)
        return;
    closing_ = true; // what the service still reports no longer redials
    Timer1->stop();
    dialer_.HangUpConnection();
    QDialog::reject();
}

void TfmDialUP::reject()
{
    Button2Click();
}
