#pragma once
// TRasStatus, the status window a dialer drives while it dials: a small form
// with the entry's name in its caption, the progress in its panel, and a
// Cancel button that hangs the line up.
#include <QDialog>
#include <functional>
#include <memory>
#include <string>

#include "os/MessageTarget.h"
#include "platform/dialup/DuRas.h"

namespace Ui {
class TRasStatusDisplay;
}

class TRasStatusDisplay : public QDialog {
public:
    // owner: the hidden window of the TRasStatus that shows this form.
    TRasStatusDisplay(os::HWND owner, QWidget* parent = nullptr);
    ~TRasStatusDisplay() override;

    void SetStatusText(const std::string& text);
    std::string StatusText() const;
    void CancelBtnClick();

    TCustomRasDialer* RasDialer = nullptr;

private:
    std::unique_ptr<Ui::TRasStatusDisplay> ui;
    os::HWND owner_;
};

class TRasStatus : public TAbstractRasStatus {
public:
    // The request the form's Cancel posts to its owner (wParam 1: hang up).
    static constexpr os::UINT WM_RASSTATUSCANCEL = 0xB19;

    TRasStatus();
    ~TRasStatus() override;
    TRasStatus(const TRasStatus&) = delete;
    TRasStatus& operator=(const TRasStatus&) = delete;

    void SetStatusText(const std::string& text) override;
    void ShowStatus(const std::string& entryName) override;
    void HideStatus() override;

    // The form while one is shown.
    TRasStatusDisplay* Form() const { return form_.get(); }
    // After the form's Cancel hung the line up: the owner stops dialling.
    std::function<void(TObject* Sender)> OnCancel;

private:
    void WndProc(os::UINT message, os::WPARAM wParam, os::LPARAM lParam);

    os::HWND handle_ = 0;
    std::unique_ptr<TRasStatusDisplay> form_;
};
