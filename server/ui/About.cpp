#include "server/ui/About.h"

#include "platform/dialogs/EventHandler.h"
#include "server/ui/Pictures.h"
#include "ui_About.h"

TfmAbout::TfmAbout(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TfmAbout>())
{
    ui->setupUi(this);
    ui->Image1->setPixmap(PortlornIcon().pixmap(48, 48));
    ConnectHandler(ui->OKButton, &QPushButton::clicked, this, [this] { accept(); });
}

TfmAbout::~TfmAbout() = default;

void RunAbout(QWidget* owner)
{
    TfmAbout about(owner);
    about.exec();
}
