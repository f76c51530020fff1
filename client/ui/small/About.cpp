#include "client/ui/small/About.h"

#include <QStyle>

#include "platform/dialogs/EventHandler.h"
#include "ui_About.h"

TfmAbout::TfmAbout(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TfmAbout>())
{
    ui->setupUi(this);
    ui->Image1->setPixmap(style()->standardIcon(QStyle::SP_DriveNetIcon).pixmap(48, 48));
    // Plain labels stand in for the drawing library's caption labels.
    ui->skLabel1->setText(QString("%1 %2").arg(kDisplayName, kVersion));
    ui->skLabel2->setText(QString("Version %1    Build %2").arg(kVersion, kBuildDate));
    ConnectHandler(ui->Button1, &QPushButton::clicked, this, [this] { accept(); });
}

TfmAbout::~TfmAbout() = default;
