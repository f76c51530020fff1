#include "client/ui/small/CommFail.h"

#include <QStyle>

#include "platform/dialogs/EventHandler.h"
#include "ui_CommFail.h"

TfmCommFail::TfmCommFail(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TfmCommFail>())
{
    ui->setupUi(this);
    ui->Image1->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxCritical).pixmap(32, 32));
    ConnectHandler(ui->Button1, &QPushButton::clicked, this, [this] { accept(); });
}

TfmCommFail::~TfmCommFail() = default;

void TfmCommFail::SetResponse(const std::string& reply)
{
    ui->lbResponse->setText(QString::fromStdString(reply));
}
