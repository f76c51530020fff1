#pragma once
// Bookmarks of remote folders: entries name + "|" + folder, edited in place
// (there is no cancel), and the "Bookmarks" menu built from them.
#include <QDialog>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace Ui { class TfmEditBookmark; }
class QMenu;

class TfmEditBookmark : public QDialog {
public:
    explicit TfmEditBookmark(std::vector<std::string>& bookmarks, QWidget* parent = nullptr);
    ~TfmEditBookmark() override;

    void AddClick();
    void EditNameClick();
    void EditBookmarkClick();
    void DeleteClick();

private:
    void Refill();
    int SelectedRow() const;

    std::unique_ptr<Ui::TfmEditBookmark> ui;
    std::vector<std::string>& list_;
};

// The text before the first "|", and the folder after it.
std::string BookmarkName(const std::string& entry);
std::string BookmarkFolder(const std::string& entry);

// Rebuilds the menu after its first three items ("Add Bookmark", "Edit
// Bookmarks", separator): one item per entry, or a disabled "<EMPTY>".
// open(i) runs when entry i is chosen.
void BuildBookmarkMenu(QMenu* menu, const std::vector<std::string>& bookmarks, std::function<void(int)> open);
