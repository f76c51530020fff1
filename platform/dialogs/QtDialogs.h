#pragma once
// The service a person answers: Qt's standard boxes and dialogs.
#include "platform/dialogs/Dialogs.h"

class TQtDialogs : public TDialogs {
public:
    int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override;
    bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) override;
    bool SelectDirectory(const std::string& caption, std::string& directory) override;
    bool OpenFileName(const std::string& caption, const std::string& filter,
                      std::string& fileName) override;
    bool SaveFileName(const std::string& caption, const std::string& filter,
                      std::string& fileName) override;
    void ShowError(const std::string& text) override;
};
