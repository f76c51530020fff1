#pragma once
// The "Add User" dialog: a new account, checked before it is accepted.
#include <QDialog>
#include <functional>
#include <memory>

#include "server/ui/UserAccount.h"

namespace Ui { class TfmAddUser; }
class TLkFolderLookup;

class TfmAddUser : public QDialog {
public:
    explicit TfmAddUser(QWidget* parent = nullptr);
    ~TfmAddUser() override;

    // The home-folder edit, made at run time under the confirmation edit.
    TLkFolderLookup* HomeDirEdit() const { return homeDir_; }
    // The account the fields describe.
    TUserInfo User() const;
    // "Add": the checks in order; the first failing one shows its message and
    // keeps the dialog open.
    void Button1Click();

private:
    std::unique_ptr<Ui::TfmAddUser> ui;
    TLkFolderLookup* homeDir_;
};

// Add User: the dialog modally; on OK the account is appended and saved.
// Returns whether an account was added.
bool RunAddUser(QWidget* owner, TUserList& users, const std::function<void()>& saveUsers);
