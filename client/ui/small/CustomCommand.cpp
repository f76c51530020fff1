#include "client/ui/small/CustomCommand.h"

#include <QHeaderView>

#include "client/ui/EditEnabling.h"
#include "client/ui/UiHandler.h"
#include "ui_CustomCommand.h"

TfmCustomCmd::TfmCustomCmd(std::vector<std::string>& names, std::vector<std::string>& cmds, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TfmCustomCmd>()), names_(names), cmds_(cmds)
{
    ui->setupUi(this);
    setFixedSize(size());
    ui->ListView1->header()->setStretchLastSection(false);
    ui->ListView1->setColumnWidth(0, 120);
    ui->ListView1->setColumnWidth(1, 200);
    ConnectHandler(ui->Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    ConnectHandler(ui->Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    ConnectHandler(ui->Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
    ConnectHandler(ui->ListView1, &QTreeWidget::currentItemChanged, this,
                   [this] { LoadRow(ui->ListView1->currentItem()); });
    // Each keystroke goes to the row the edits were loaded from.
    ConnectHandler(ui->Edit1, &QLineEdit::textEdited, this, [this] {
        if (editRow_) editRow_->setText(0, ui->Edit1->text());
    });
    ConnectHandler(ui->Edit2, &QLineEdit::textEdited, this, [this] {
        if (editRow_) editRow_->setText(1, ui->Edit2->text());
    });
    FormCreate();
}

TfmCustomCmd::~TfmCustomCmd() = default;

void TfmCustomCmd::FormCreate()
{
    for (std::size_t i = 0; i < names_.size(); ++i) {
        const std::string cmd = i < cmds_.size() ? cmds_[i] : std::string();
        new QTreeWidgetItem(ui->ListView1, {QString::fromStdString(names_[i]), QString::fromStdString(cmd)});
    }
    ui->ListView1->setCurrentItem(nullptr);
    LoadRow(nullptr);
}

void TfmCustomCmd::LoadRow(QTreeWidgetItem* row)
{
    editRow_ = row;
    ui->Edit1->setText(row ? row->text(0) : QString());
    ui->Edit2->setText(row ? row->text(1) : QString());
    EnableEdits({ui->Edit1, ui->Edit2}, row != nullptr);
}

void TfmCustomCmd::Button1Click()
{
    auto* row = new QTreeWidgetItem(ui->ListView1, {QString(), QString()});
    ui->ListView1->setCurrentItem(row);
    LoadRow(row);
    ui->Edit1->setFocus();
}

void TfmCustomCmd::Button2Click()
{
    QTreeWidgetItem* row = ui->ListView1->currentItem();
    if (!row || !row->isSelected()) return;
    editRow_ = nullptr;
    delete row;
    ui->ListView1->setCurrentItem(nullptr);
    LoadRow(nullptr);
}

void TfmCustomCmd::Button3Click()
{
    names_.clear();
    cmds_.clear();
    for (int i = 0; i < ui->ListView1->topLevelItemCount(); ++i) {
        names_.push_back(ui->ListView1->topLevelItem(i)->text(0).toStdString());
        cmds_.push_back(ui->ListView1->topLevelItem(i)->text(1).toStdString());
    }
    accept();
}
