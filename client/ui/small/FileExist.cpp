#include "client/ui/small/FileExist.h"

#include "platform/dialogs/EventHandler.h"
#include "ui_FileExist.h"

TfmFileExists::TfmFileExists(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TfmFileExists>())
{
    ui->setupUi(this);
    for (QPushButton* b : {ui->Button1, ui->Button2, ui->Button3, ui->Button4, ui->Button5, ui->Button6}) {
        b->setAutoDefault(false);
        ConnectHandler(b, &QPushButton::clicked, this, [this, b] {
            Choice = std::uint8_t(b->property("tag").toInt());
            done(QDialog::Accepted);
        });
    }
}

TfmFileExists::~TfmFileExists() = default;

void TfmFileExists::SetLocalPath(const std::string& localPath)
{
    ui->lbInfo->setText(QString::fromStdString("This local file exists!\n" + localPath));
}

std::uint8_t TfmFileExists::Ask(const std::string& localPath)
{
    SetLocalPath(localPath);
    exec();
    return Choice;
}

void TfmFileExists::reject()
{
    Choice = 2;
    QDialog::reject();
}
