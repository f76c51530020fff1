#include "server/ui/Userinfo.h"

#include "platform/dialogs/Dialogs.h"
#include "platform/dialogs/EventHandler.h"
#include "server/ui/AddUser.h"
#include "server/ui/LkTFolderLookup.h"
#include "server/ui/Pictures.h"
#include "ui_Userinfo.h"

TfmUserInfo::TfmUserInfo(QWidget* owner, TUserList& users, std::function<void()> saveUsers)
    : QDialog(owner), ui(std::make_unique<Ui::TfmUserInfo>()), users_(users), saveUsers_(std::move(saveUsers))
{
    ui->setupUi(this);
    ui->Image1->setPixmap(UserPicture().scaled(36, 36, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    ui->cbAcessRight->setCurrentIndex(-1);
    homeDir_ = new TLkFolderLookup(ui->Panel1);
    homeDir_->setObjectName("edHomeDir");
    homeDir_->SetLookupCaption("HomeDir:");
    const QRect r = ui->edUserName->geometry();
    homeDir_->setGeometry(r.x(), ui->edPassword->geometry().bottom() + 1 + 10, r.width(), r.height());
    setTabOrder(ui->edPassword, homeDir_);
    setTabOrder(homeDir_, ui->cbAcessRight);
    FillList();
    ConnectHandler(ui->lbUserName, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { lbUserNameClick(ui->lbUserName->row(item)); });
    ConnectHandler(ui->btnApply, &QPushButton::clicked, this, [this] { btnApplyClick(); });
    ConnectHandler(ui->btnOK, &QPushButton::clicked, this, [this] { btnOKClick(); });
    ConnectHandler(ui->Button1, &QPushButton::clicked, this, [this] { reject(); });
    ConnectHandler(ui->Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    ConnectHandler(ui->btnAddUser, &QPushButton::clicked, this, [this] { btnAddUserClick(); });
}

TfmUserInfo::~TfmUserInfo() = default;

void TfmUserInfo::FillList()
{
    ui->lbUserName->clear();
    for (const TUserInfo& u : users_)
        ui->lbUserName->addItem(QString::fromStdString(u.UserName));
}

void TfmUserInfo::lbUserNameClick(int index)
{
    if (index < 0 || static_cast<std::size_t>(index) >= users_.size())
        return;
    index_ = index;
    if (ui->lbUserName->currentRow() != index)
        ui->lbUserName->setCurrentRow(index);
    const TUserInfo& u = users_[static_cast<std::size_t>(index)];
    ui->edUserName->setText(QString::fromStdString(u.UserName));
    ui->edPassword->setText(QString::fromStdString(u.PassWord));
    homeDir_->SetText(u.HomeDir);
    ui->cbAcessRight->setCurrentIndex(u.AcessRight ? 1 : 0);
}

bool TfmUserInfo::btnApplyClick()
{
    if (index_ < 0 || static_cast<std::size_t>(index_) >= users_.size())
        return false;
    TUserInfo& u = users_[static_cast<std::size_t>(index_)];
    const std::string password = ui->edPassword->text().toStdString();
    if (password != u.PassWord) {
        // A new password is confirmed by typing it once more; giving up applies nothing.
        for (;;) {
            std::string answer;
            if (!Dialogs().InputQuery("CONFIRM PASSWORD", "=", answer))
                return false;
            if (answer == password)
                break;
        }
    }
    u.UserName = ui->edUserName->text().toStdString();
    u.PassWord = password;
    u.HomeDir = homeDir_->Text();
    u.AcessRight = static_cast<std::uint8_t>(std::max(0, ui->cbAcessRight->currentIndex()));
    if (saveUsers_)
        saveUsers_();
    // The list shows names; a renamed account shows its new one.
    if (QListWidgetItem* item = ui->lbUserName->item(index_))
        item->setText(QString::fromStdString(u.UserName));
    return true;
}

void TfmUserInfo::btnOKClick()
{
    btnApplyClick();
    accept();
}

void TfmUserInfo::Button2Click()
{
    if (index_ < 0 || static_cast<std::size_t>(index_) >= users_.size())
        return;
    users_.erase(users_.begin() + index_);
    index_ = -1;
    if (saveUsers_)
        saveUsers_();
    FillList();
}

void TfmUserInfo::btnAddUserClick()
{
    RunAddUser(this, users_, saveUsers_);
    FillList();
}

void RunUserInfo(QWidget* owner, TUserList& users, const std::function<void()>& saveUsers)
{
    TfmUserInfo dialog(owner, users, saveUsers);
    dialog.exec();
}
