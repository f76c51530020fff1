#include "client/ui/small/ViewRawDir.h"

#include "platform/dialogs/EventHandler.h"
#include "ui_ViewRawDir.h"

TfmViewRawDir::TfmViewRawDir(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TfmViewRawDir>())
{
    ui->setupUi(this);
    ConnectHandler(ui->Button1, &QPushButton::clicked, this, [this] { close(); });
    ConnectHandler(ui->CheckBox1, &QCheckBox::clicked, this, [this] { CheckBox1Click(); });
}

TfmViewRawDir::~TfmViewRawDir() = default;

void TfmViewRawDir::SetText(const std::string& text)
{
    ui->Memo1->setPlainText(QString::fromStdString(text));
}

void TfmViewRawDir::CheckBox1Click()
{
    const bool wrap = ui->CheckBox1->isChecked();
    ui->Memo1->setLineWrapMode(wrap ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
    // Wrapped text needs no horizontal bar.
    ui->Memo1->setHorizontalScrollBarPolicy(wrap ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAlwaysOn);
}
