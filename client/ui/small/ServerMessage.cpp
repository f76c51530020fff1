#include "client/ui/small/ServerMessage.h"

#include "client/engine/ClientSettings.h"
#include "platform/dialogs/EventHandler.h"
#include "ui_ServerMessage.h"

TfmServerMessage::TfmServerMessage(TClientSettings& settings, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TfmServerMessage>()), settings_(settings)
{
    ui->setupUi(this);
    QPalette white = ui->Memo1->palette();
    white.setColor(QPalette::Base, Qt::white);
    ui->Memo1->setPalette(white);
    ConnectHandler(ui->Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
}

TfmServerMessage::~TfmServerMessage() = default;

void TfmServerMessage::SetText(const std::string& text)
{
    ui->Memo1->setPlainText(QString::fromStdString(text));
}

void TfmServerMessage::Button1Click()
{
    settings_.ShowLoginMessage = !ui->CheckBox1->isChecked();
    accept();
}
