#include "server/ui/AddUser.h"

#include "platform/dialogs/Dialogs.h"
#include "platform/dialogs/EventHandler.h"
#include "server/ui/LkTFolderLookup.h"
#include "server/ui/Pictures.h"
#include "ui_AddUser.h"

TfmAddUser::TfmAddUser(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TfmAddUser>())
{
    ui->setupUi(this);
    setWindowFlag(Qt::MSWindowsFixedSizeDialogHint);
    ui->Image1->setPixmap(UserPicture());
    ui->cbAcessRight->setCurrentIndex(0);
    homeDir_ = new TLkFolderLookup(this);
    homeDir_->setObjectName("edHomeDir");
    homeDir_->SetLookupCaption("HomeDir:");
    const QRect r = ui->edUserName->geometry();
    homeDir_->setGeometry(r.x(), ui->edConfirm->geometry().bottom() + 1 + 3, r.width(), r.height());
    setTabOrder(ui->edConfirm, homeDir_);
    setTabOrder(homeDir_, ui->cbAcessRight);
    ConnectHandler(ui->Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    ConnectHandler(ui->Button2, &QPushButton::clicked, this, [this] { reject(); });
}

TfmAddUser::~TfmAddUser() = default;

TUserInfo TfmAddUser::User() const
{
    TUserInfo user;
    user.UserName = ui->edUserName->text().toStdString();
    user.PassWord = ui->edPassWord->text().toStdString();
    user.HomeDir = homeDir_->Text();
    user.AcessRight = static_cast<std::uint8_t>(std::max(0, ui->cbAcessRight->currentIndex()));
    return user;
}

void TfmAddUser::Button1Click()
{
    const char* problem = nullptr;
    if (ui->edPassWord->text() != ui->edConfirm->text())
        problem = "Recheck password input!";
    else if (ui->edUserName->text().isEmpty())
        problem = "Must input user name!";
    else if (ui->edPassWord->text().isEmpty())
        problem = "Must input password!";
    else if (homeDir_->text().isEmpty())
        problem = "Must select home directory!";
    if (problem) {
        Dialogs().MessageBox(problem, ApplicationTitle(), MB_OK | MB_ICONWARNING);
        return;
    }
    accept();
}

bool RunAddUser(QWidget* owner, TUserList& users, const std::function<void()>& saveUsers)
{
    TfmAddUser dialog(owner);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    users.push_back(dialog.User());
    if (saveUsers)
        saveUsers();
    return true;
}
