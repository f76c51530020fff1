#include "client/ui/connbook/AddCurrSite.h"

#include <QTreeWidget>

#include "platform/dialogs/EventHandler.h"
#include "client/ui/connbook/ConnectBook.h"
#include "client/ui/connbook/FieldLengthValidator.h"
#include "platform/dialogs/Dialogs.h"
#include "rtl/StrUtils.h"
#include "ui_AddCurrSite.h"

TfmAddCurrSite::TfmAddCurrSite(TfmConnBook* book, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TfmAddCurrSite>()), book_(book)
{
    ui->setupUi(this);
    ui->Edit1->setValidator(new TFieldLengthValidator(connbook::kMaxName, ui->Edit1));
    ConnectHandler(ui->Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    ConnectHandler(ui->Button2, &QPushButton::clicked, this, [this] { done(mrCancel); });
}

TfmAddCurrSite::~TfmAddCurrSite() = default;

void TfmAddCurrSite::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    Guarded([this] { FormShow(); });
}

void TfmAddCurrSite::FormShow()
{
    ui->ComboBox1->clear();
    book_->FormShow();
    for (const auto& folder : book_->Book.BuildTree().Folders) ui->ComboBox1->addItem(QString::fromStdString(folder.Name));
    if (ui->ComboBox1->count() > 0) ui->ComboBox1->setCurrentIndex(0);
}

void TfmAddCurrSite::Button1Click()
{
    // Without a folder the site would go under one that does not exist.
    if (ui->ComboBox1->currentIndex() < 0) {
        Dialogs().MessageBox("Please Select a Class!", "Add Current Site", MB_OK | MB_ICONERROR);
        return;
    }
    const std::string name = rtl::Trim(ui->Edit1->text().toStdString());
    if (name.empty()) {
        Dialogs().MessageBox("The name can not be empty!", "Add Current Site", MB_OK | MB_ICONERROR);
        return;
    }
    // The host box's text may be longer than a name holds.
    if (name.size() > connbook::kMaxName) {
        Dialogs().MessageBox("The name is too long for the site book!", "Add Current Site", MB_OK | MB_ICONERROR);
        return;
    }
    done(mrOk);
}

void RunAddCurrentSite(const std::string& programDir, const TQuickSite& site, QWidget* owner)
{
    if (site.Host.empty()) return;
    // A site the book cannot hold whole is not offered for a name at all.
    if (const std::string field = OverlongField({"", site.Host, site.Port, site.User, site.Pass, ""}); !field.empty()) {
        Dialogs().MessageBox("The " + field + " is too long for the site book; the site was not added.",
                             "Add Current Site", MB_OK | MB_ICONERROR);
        return;
    }
    TfmConnBook book(programDir, owner);
    TfmAddCurrSite dialog(&book, owner);
    dialog.findChild<QLineEdit*>("Edit1")->setText(QString::fromStdString(site.Host));
    if (dialog.exec() != TfmAddCurrSite::mrOk) return;
    const std::string folder = dialog.findChild<QComboBox*>("ComboBox1")->currentText().toStdString();
    if (QTreeWidgetItem* node = book.FindFolderNode(nullptr, folder)) node->setExpanded(true);
    TNewSite s;
    s.Name = rtl::Trim(dialog.findChild<QLineEdit*>("Edit1")->text().toStdString());
    s.Addr = site.Host;
    s.Port = site.Port;
    s.User = site.User;
    s.Pass = site.Pass;
    if (!book.AddSite(folder, s)) return;
    book.SkipNextShow = true;
    book.ShowCurrentSite();
    book.exec();
}
