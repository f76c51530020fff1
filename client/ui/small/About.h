#pragma once
// The client's about box.
#include <QDialog>
#include <memory>

namespace Ui { class TfmAbout; }

class TfmAbout : public QDialog {
public:
    explicit TfmAbout(QWidget* parent = nullptr);
    ~TfmAbout() override;

    static constexpr const char* kDisplayName = "Skelwick";
    static constexpr const char* kVersion = "1.0.1.1";
    static constexpr const char* kBuildDate = "2001-08-01";

private:
    std::unique_ptr<Ui::TfmAbout> ui;
};
