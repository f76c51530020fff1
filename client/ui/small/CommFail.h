#pragma once
// Shows the server's reply after a failed operation.
#include <QDialog>
#include <memory>
#include <string>

namespace Ui { class TfmCommFail; }

class TfmCommFail : public QDialog {
public:
    explicit TfmCommFail(QWidget* parent = nullptr);
    ~TfmCommFail() override;

    void SetResponse(const std::string& reply);

private:
    std::unique_ptr<Ui::TfmCommFail> ui;
};
