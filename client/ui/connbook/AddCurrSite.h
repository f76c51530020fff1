#pragma once
// "Add Current Site": picks the folder and the name under which the quick
// bar's site goes into the site book.
#include <QDialog>
#include <memory>
#include <string>

#include "client/engine/QuickSite.h"

namespace Ui { class TfmAddCurrSite; }
class TfmConnBook;

class TfmAddCurrSite : public QDialog {
public:
    // book loads the site book when this dialog is shown.
    explicit TfmAddCurrSite(TfmConnBook* book, QWidget* parent = nullptr);
    ~TfmAddCurrSite() override;

    void FormShow();
    // OK: stays open until a folder is chosen and a name given.
    void Button1Click();

    static constexpr int mrOk = 1, mrCancel = 2;

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::unique_ptr<Ui::TfmAddCurrSite> ui;
    TfmConnBook* book_;
};

// The main window's "Add Current Site": does nothing for an empty host. site
// is the quick bar's site with a masked history entry already looked up.
void RunAddCurrentSite(const std::string& programDir, const TQuickSite& site, QWidget* owner);
