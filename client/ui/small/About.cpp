#include "client/ui/small/About.h"

#include <QStyle>

#include "platform/dialogs/EventHandler.h"
#include "ui_About.h"
#include "widgets/skLabel.h"

TfmAbout::TfmAbout(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TfmAbout>())
{
    ui->setupUi(this);
    ui->Image1->setPixmap(style()->standardIcon(QStyle::SP_DriveNetIcon).pixmap(48, 48));
    // Two raised captions, read from the top left.
    for (TskLabel* label : {ui->skLabel1, ui->skLabel2}) {
        label->TextOptions().SetStyle(sklsRaised);
        label->TextOptions().SetAlignment(taLeftJustify);
        label->TextOptions().SetVAlignment(vaTop);
    }
    ui->skLabel1->SetCaption(std::string(kDisplayName) + " " + kVersion);
    ui->skLabel2->SetCaption(std::string("Version ") + kVersion + "    Build " + kBuildDate);
    ConnectHandler(ui->Button1, &QPushButton::clicked, this, [this] { accept(); });
}

TfmAbout::~TfmAbout() = default;
