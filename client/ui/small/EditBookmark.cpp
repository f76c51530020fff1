#include "client/ui/small/EditBookmark.h"

#include <QMenu>

#include "platform/dialogs/EventHandler.h"
#include "platform/dialogs/Dialogs.h"
#include "ui_EditBookmark.h"

std::string BookmarkName(const std::string& entry)
{
    return entry.substr(0, entry.find('|'));
}

std::string BookmarkFolder(const std::string& entry)
{
    const auto bar = entry.find('|');
    return bar == std::string::npos ? std::string() : entry.substr(bar + 1);
}

TfmEditBookmark::TfmEditBookmark(std::vector<std::string>& bookmarks, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TfmEditBookmark>()), list_(bookmarks)
{
    ui->setupUi(this);
    ui->ListView1->setColumnWidth(0, 140);
    ConnectHandler(ui->Button1, &QPushButton::clicked, this, [this] { AddClick(); });
    ConnectHandler(ui->Button2, &QPushButton::clicked, this, [this] { EditNameClick(); });
    ConnectHandler(ui->Button3, &QPushButton::clicked, this, [this] { EditBookmarkClick(); });
    ConnectHandler(ui->Button4, &QPushButton::clicked, this, [this] { DeleteClick(); });
    ConnectHandler(ui->Button5, &QPushButton::clicked, this, [this] { accept(); });
    Refill();
}

TfmEditBookmark::~TfmEditBookmark() = default;

void TfmEditBookmark::Refill()
{
    ui->ListView1->clear();
    for (const auto& e : list_)
        new QTreeWidgetItem(ui->ListView1,
                            {QString::fromStdString(BookmarkName(e)), QString::fromStdString(BookmarkFolder(e))});
}

int TfmEditBookmark::SelectedRow() const
{
    QTreeWidgetItem* row = ui->ListView1->currentItem();
    if (!row || !row->isSelected()) return -1;
    const int i = ui->ListView1->indexOfTopLevelItem(row);
    return i < int(list_.size()) ? i : -1;
}

void TfmEditBookmark::AddClick()
{
    std::string name, folder;
    if (!Dialogs().InputQuery("Add", "Enter Name:", name)) return;
    if (!Dialogs().InputQuery("Add", "Enter Bookmark:", folder)) return;
    list_.push_back(name + "|" + folder);
    Refill();
}

void TfmEditBookmark::EditNameClick()
{
    const int i = SelectedRow();
    if (i < 0) return;
    std::string name = BookmarkName(list_[i]);
    if (!Dialogs().InputQuery("Edit Name", "Enter New Name:", name)) return;
    list_[i] = name + "|" + BookmarkFolder(list_[i]);
    Refill();
}

void TfmEditBookmark::EditBookmarkClick()
{
    const int i = SelectedRow();
    if (i < 0) return;
    std::string folder = BookmarkFolder(list_[i]);
    if (!Dialogs().InputQuery("Edit Bookmark", "Enter New Bookmark:", folder)) return;
    list_[i] = BookmarkName(list_[i]) + "|" + folder;
    Refill();
}

void TfmEditBookmark::DeleteClick()
{
    const int i = SelectedRow();
    if (i < 0) return;
    list_.erase(list_.begin() + i);
    Refill();
}

void BuildBookmarkMenu(QMenu* menu, const std::vector<std::string>& bookmarks, std::function<void(int)> open)
{
    const auto actions = menu->actions();
    for (int i = 3; i < actions.size(); ++i) {
        menu->removeAction(actions[i]);
        delete actions[i];
    }
    if (bookmarks.empty()) {
        menu->addAction("<EMPTY>")->setEnabled(false);
        return;
    }
    for (std::size_t i = 0; i < bookmarks.size(); ++i) {
        QAction* a = menu->addAction(QString::fromStdString(BookmarkName(bookmarks[i])));
        a->setData(int(i));
        ConnectHandler(a, &QAction::triggered, menu, [open, i] { open(int(i)); });
    }
}
