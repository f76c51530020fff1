#pragma once
// Asked by a download run when its local file exists: overwrite or skip, once
// or for all. The two "Smart Resume" buttons are there but hidden.
#include <QDialog>
#include <cstdint>
#include <memory>
#include <string>

namespace Ui { class TfmFileExists; }

class TfmFileExists : public QDialog {
public:
    explicit TfmFileExists(QWidget* parent = nullptr);
    ~TfmFileExists() override;

    // 0 overwrite, 1 overwrite all, 2 skip, 3 skip all, 4 Smart Resume,
    // 5 Smart Resume all: the tag of the button last pressed.
    std::uint8_t Choice = 0;

    // lbInfo for the file asked about.
    void SetLocalPath(const std::string& localPath);
    // Shows the dialog for one file and returns the answer.
    std::uint8_t Ask(const std::string& localPath);

protected:
    // The close box (and Escape) answer skip: repeating the last answer could
    // overwrite a file nobody chose to overwrite.
    void reject() override;

private:
    std::unique_ptr<Ui::TfmFileExists> ui;
};
