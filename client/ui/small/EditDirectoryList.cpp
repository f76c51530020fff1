#include "client/ui/small/EditDirectoryList.h"

#include <QMenu>

#include "platform/dialogs/EventHandler.h"
#include "platform/dialogs/Dialogs.h"
#include "ui_EditDirectoryList.h"

std::string WithTrailingSeparator(const std::string& folder)
{
    if (!folder.empty() && folder.back() == '/') return folder;
    return folder + "/";
}

TfmEditDirectoryList::TfmEditDirectoryList(std::vector<std::string>& folders, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TfmEditDirectoryList>()), list_(folders)
{
    ui->setupUi(this);
    ConnectHandler(ui->Button1, &QPushButton::clicked, this, [this] { AddClick(); });
    ConnectHandler(ui->Button2, &QPushButton::clicked, this, [this] { EditClick(); });
    ConnectHandler(ui->Button3, &QPushButton::clicked, this, [this] { DeleteClick(); });
    ConnectHandler(ui->Button4, &QPushButton::clicked, this, [this] { accept(); });
    Refill();
}

TfmEditDirectoryList::~TfmEditDirectoryList() = default;

void TfmEditDirectoryList::Refill()
{
    ui->ListView1->clear();
    for (const auto& e : list_) new QTreeWidgetItem(ui->ListView1, {QString::fromStdString(e)});
}

int TfmEditDirectoryList::SelectedRow() const
{
    QTreeWidgetItem* row = ui->ListView1->currentItem();
    if (!row || !row->isSelected()) return -1;
    const int i = ui->ListView1->indexOfTopLevelItem(row);
    return i < int(list_.size()) ? i : -1;
}

void TfmEditDirectoryList::AddClick()
{
    std::string folder;
    if (!Dialogs().InputQuery("Add", "Enter New Directory:", folder)) return;
    list_.push_back(WithTrailingSeparator(folder));
    Refill();
}

void TfmEditDirectoryList::EditClick()
{
    const int i = SelectedRow();
    if (i < 0) return;
    std::string folder = list_[i];
    if (!Dialogs().InputQuery("Edit", "Enter New Directory Path:", folder)) return;
    list_[i] = WithTrailingSeparator(folder);
    Refill();
}

void TfmEditDirectoryList::DeleteClick()
{
    const int i = SelectedRow();
    if (i < 0) return;
    list_.erase(list_.begin() + i);
    Refill();
}

void BuildDirectoryMenu(QMenu* menu, int fixedItems, const std::vector<std::string>& folders,
                        std::function<void(int)> open)
{
    const auto actions = menu->actions();
    for (int i = fixedItems; i < actions.size(); ++i) {
        menu->removeAction(actions[i]);
        delete actions[i];
    }
    if (folders.empty()) {
        menu->addAction("<EMPTY>")->setEnabled(false);
        return;
    }
    for (std::size_t i = 0; i < folders.size(); ++i) {
        QAction* a = menu->addAction(QString::fromStdString(folders[i]));
        a->setData(int(i));
        if (i < 9) a->setShortcut(QKeySequence(Qt::CTRL | Qt::Key(Qt::Key_1 + int(i))));
        ConnectHandler(a, &QAction::triggered, menu, [open, i] { open(int(i)); });
    }
}
