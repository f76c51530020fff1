#pragma once
// Edits the custom commands: names and raw command lines, kept as two lists
// of one length in the settings.
#include <QDialog>
#include <memory>
#include <string>
#include <vector>

namespace Ui { class TfmCustomCmd; }

class TfmCustomCmd : public QDialog {
public:
    // Works on a copy; Close hands the rows back to names and cmds.
    TfmCustomCmd(std::vector<std::string>& names, std::vector<std::string>& cmds, QWidget* parent = nullptr);
    ~TfmCustomCmd() override;

    void FormCreate();
    void Button1Click(); // Add
    void Button2Click(); // Remove
    void Button3Click(); // Close

private:
    std::unique_ptr<Ui::TfmCustomCmd> ui;
    std::vector<std::string>& names_;
    std::vector<std::string>& cmds_;
    class TRowEdits* rowEdits_ = nullptr; // Edit1 and Edit2 on the current row
};
