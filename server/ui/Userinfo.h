#pragma once
// The "User Info" dialog: browse, change, add and delete accounts. It edits
// the live account list, so the server's checks see a change at once.
#include <QDialog>
#include <functional>
#include <memory>

#include "server/ui/UserAccount.h"

namespace Ui { class TfmUserInfo; }
class TLkFolderLookup;

class TfmUserInfo : public QDialog {
public:
    TfmUserInfo(QWidget* owner, TUserList& users, std::function<void()> saveUsers);
    ~TfmUserInfo() override;

    TLkFolderLookup* HomeDirEdit() const { return homeDir_; }
    int EditIndex() const { return index_; }

    void lbUserNameClick(int index);
    // Stores the fields into the selected account; false when nothing was stored.
    bool btnApplyClick();
    void btnOKClick();
    void Button2Click();   // Delete User
    void btnAddUserClick();

private:
    void FillList();

    std::unique_ptr<Ui::TfmUserInfo> ui;
    TUserList& users_;
    std::function<void()> saveUsers_;
    TLkFolderLookup* homeDir_;
    int index_ = -1;
};

// User Info: the dialog modally, owned by the main window.
void RunUserInfo(QWidget* owner, TUserList& users, const std::function<void()>& saveUsers);
