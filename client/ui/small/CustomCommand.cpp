#include "client/ui/small/CustomCommand.h"

#include <QHeaderView>

#include "client/ui/RowEdits.h"
#include "platform/dialogs/EventHandler.h"
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
    rowEdits_ = new TRowEdits(ui->ListView1, ui->Edit1, ui->Edit2);
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
    rowEdits_->Load(nullptr);
}

void TfmCustomCmd::Button1Click()
{
    rowEdits_->AddRow();
}

void TfmCustomCmd::Button2Click()
{
    rowEdits_->RemoveRow();
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
