#include "server/ui/About.h"

#include "platform/dialogs/EventHandler.h"
#include "server/ui/Pictures.h"
#include "ui_About.h"
#include "widgets/skLabel.h"

TfmAbout::TfmAbout(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TfmAbout>())
{
    ui->setupUi(this);
    ui->Image1->setPixmap(PortlornIcon().pixmap(48, 48));
    // Two raised captions, read from the top left.
    for (TskLabel* label : {ui->Label1, ui->Label2}) {
        label->TextOptions().SetStyle(sklsRaised);
        label->TextOptions().SetAlignment(taLeftJustify);
        label->TextOptions().SetVAlignment(vaTop);
    }
    ConnectHandler(ui->OKButton, &QPushButton::clicked, this, [this] { accept(); });
}

TfmAbout::~TfmAbout() = default;

void RunAbout(QWidget* owner)
{
    TfmAbout about(owner);
    about.exec();
}
