#pragma once
// Edits the custom commands: names and raw command lines, kept as two lists
// of one length in the settings.
#include <QDialog>
#include <memory>
#include <string>
#include <vector>

namespace Ui { class TfmCustomCmd; }
class QTreeWidgetItem;

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
    // Loads the current row into the edits, or disables them with none.
    void LoadRow(QTreeWidgetItem* row);

    std::unique_ptr<Ui::TfmCustomCmd> ui;
    std::vector<std::string>& names_;
    std::vector<std::string>& cmds_;
    // The row the edits came from: their text goes back there and nowhere else.
    QTreeWidgetItem* editRow_ = nullptr;
};
