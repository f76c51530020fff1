#pragma once
// TfmDialUP, the client's "Dial-UP Dialog": shown modally before a connect
// when the client reaches the network through a modem. It offers the
// configured phonebook entry with its saved parameters, dials it through the
// main window's dialer, shows the progress, and on failure asks whether to
// retry or redials by itself after a delay, at most RetryTimes times. The
// connect goes ahead only when Connected() holds after it closed.
//
// The owner passes the dialer's events on while the dialog exists
// (OnConnected -> RasConnected, OnDialError -> RasDialError, ...).
// Creating it raises ERas when the remote access service is missing.
#include <QDialog>
#include <functional>
#include <memory>

#include "platform/dialup/DuRas.h"
#include "platform/dialup/DuRStat.h"

namespace Ui {
class TfmDialUP;
}

// The [DialUP] settings the dialog reads.
struct TDialUpOptions {
    int Index = 0;        // phonebook entry, by position
    bool ShowAuth = true; // show the status window while dialling
    bool ShowError = true; // ask before retrying
    int RetryTimes = 5;   // redials after the first attempt
    int RetrySpan = 5;    // seconds between attempts
    std::function<void()> DrawAttention; // the main window's, before a question
};

class TfmDialUP : public QDialog {
public:
    TfmDialUP(TCustomRasDialer& dialer, const TDialUpOptions& options, QWidget* parent = nullptr);
    ~TfmDialUP() override;

    // The success flag: the line is up.
    bool Connected() const { return connected_; }
    // Redials made since "Dial" was pressed.
    int Redials() const { return redials_; }
    TRasStatus* RasStatus() const { return status_.get(); }

    void RasConnected();
    void RasDialError(int error);
    void RasDialStatus(int state);
    void RasDisconnected();

    void Button1Click(); // "Dial"
    void Button2Click(); // "Cancel"
    void Timer1Timer();

    // The close box and Escape cancel like "Cancel" does.
    void reject() override;

private:
    void DialOnce();
    void SetPanel(const std::string& text);
    std::string PanelText() const;

    std::unique_ptr<Ui::TfmDialUP> ui;
    QTimer* Timer1 = nullptr;
    TCustomRasDialer& dialer_;
    TDialUpOptions options_;
    std::unique_ptr<TRasStatus> status_;
    bool connected_ = false;
    bool closing_ = false;
    int redials_ = 0;
};
