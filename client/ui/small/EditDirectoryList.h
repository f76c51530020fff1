#pragma once
// The list of local folders, edited in place, and the lower part of the
// "Directory" menu built from it.
#include <QDialog>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace Ui { class TfmEditDirectoryList; }
class QMenu;

class TfmEditDirectoryList : public QDialog {
public:
    explicit TfmEditDirectoryList(std::vector<std::string>& folders, QWidget* parent = nullptr);
    ~TfmEditDirectoryList() override;

    void AddClick();
    void EditClick();
    void DeleteClick();

private:
    void Refill();
    int SelectedRow() const;

    std::unique_ptr<Ui::TfmEditDirectoryList> ui;
    std::vector<std::string>& list_;
};

// A folder with its trailing separator ensured.
std::string WithTrailingSeparator(const std::string& folder);

// Rebuilds the menu after its first fixedItems items: one item per folder,
// the first nine with Ctrl+1 .. Ctrl+9 (later ones get none, so they clash
// with no other shortcut), or a disabled "<EMPTY>". open(i) runs when folder
// i is chosen.
void BuildDirectoryMenu(QMenu* menu, int fixedItems, const std::vector<std::string>& folders,
                        std::function<void(int)> open);
