#pragma once
// The server's welcome and login replies, with the choice to stop showing them.
#include <QDialog>
#include <memory>
#include <string>

namespace Ui { class TfmServerMessage; }
class TClientSettings;

class TfmServerMessage : public QDialog {
public:
    // settings.ShowLoginMessage follows the check box when OK is pressed.
    explicit TfmServerMessage(TClientSettings& settings, QWidget* parent = nullptr);
    ~TfmServerMessage() override;

    void SetText(const std::string& text);
    void Button1Click();

private:
    std::unique_ptr<Ui::TfmServerMessage> ui;
    TClientSettings& settings_;
};
