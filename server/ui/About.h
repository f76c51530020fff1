#pragma once
// The about box.
#include <QDialog>
#include <memory>

namespace Ui { class TfmAbout; }

class TfmAbout : public QDialog {
public:
    explicit TfmAbout(QWidget* parent = nullptr);
    ~TfmAbout() override;

private:
    std::unique_ptr<Ui::TfmAbout> ui;
};

void RunAbout(QWidget* owner);
