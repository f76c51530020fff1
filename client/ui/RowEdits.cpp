#include "client/ui/RowEdits.h"

#include <QLineEdit>
#include <QTreeWidget>

#include "client/ui/EditEnabling.h"
#include "platform/dialogs/EventHandler.h"

TRowEdits::TRowEdits(QTreeWidget* list, QLineEdit* first, QLineEdit* second)
    : QObject(list), list_(list), first_(first), second_(second)
{
    ConnectHandler(list_, &QTreeWidget::currentItemChanged, this, [this] { Load(list_->currentItem()); });
    ConnectHandler(first_, &QLineEdit::textEdited, this, [this] {
        if (row_) row_->setText(0, first_->text());
    });
    ConnectHandler(second_, &QLineEdit::textEdited, this, [this] {
        if (row_) row_->setText(1, second_->text());
    });
    Load(nullptr);
}

void TRowEdits::Load(QTreeWidgetItem* row)
{
    row_ = row;
    first_->setText(row ? row->text(0) : QString());
    second_->setText(row ? row->text(1) : QString());
    EnableEdits({first_, second_}, row != nullptr);
}

void TRowEdits::AddRow()
{
    auto* row = new QTreeWidgetItem(list_, {QString(), QString()});
    list_->setCurrentItem(row);
    Load(row);
    first_->setFocus();
}

void TRowEdits::RemoveRow()
{
    QTreeWidgetItem* row = list_->currentItem();
    if (!row || !row->isSelected()) return;
    row_ = nullptr;
    delete row;
    list_->setCurrentItem(nullptr);
    Load(nullptr);
}
