#pragma once
// A read-only text viewer: a downloaded index file or a custom command's response.
#include <QDialog>
#include <memory>
#include <string>

namespace Ui { class TfmViewRawDir; }

class TfmViewRawDir : public QDialog {
public:
    explicit TfmViewRawDir(QWidget* parent = nullptr);
    ~TfmViewRawDir() override;

    void SetText(const std::string& text);
    void CheckBox1Click();

private:
    std::unique_ptr<Ui::TfmViewRawDir> ui;
};
