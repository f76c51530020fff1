#pragma once
// The one service through which windows ask the user something: message
// boxes, input boxes, file and folder dialogs, and the error box. Windows never
// call QMessageBox and friends themselves, so a test can install a scripted
// service and answer every question without a person.
#include <QPointer>
#include <QWidget>
#include <exception>
#include <memory>
#include <string>

// Message box buttons and icons, and the answers, as the class library numbers them.
constexpr unsigned MB_OK = 0x00;
constexpr unsigned MB_OKCANCEL = 0x01;
constexpr unsigned MB_ABORTRETRYIGNORE = 0x02;
constexpr unsigned MB_YESNOCANCEL = 0x03;
constexpr unsigned MB_YESNO = 0x04;
constexpr unsigned MB_RETRYCANCEL = 0x05;
constexpr unsigned MB_ICONERROR = 0x10;
constexpr unsigned MB_ICONQUESTION = 0x20;
constexpr unsigned MB_ICONWARNING = 0x30;
constexpr unsigned MB_ICONINFORMATION = 0x40;
constexpr unsigned MB_DEFBUTTON2 = 0x100;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

class TDialogs {
public:
    virtual ~TDialogs() = default;

    // A message box; flags are MB_ buttons | MB_ icon; returns an ID answer.
    virtual int MessageBox(const std::string& text, const std::string& caption, unsigned flags) = 0;
    // An input box: true when confirmed, value holds the answer (prefilled on entry).
    virtual bool InputQuery(const std::string& caption, const std::string& prompt,
                            std::string& value) = 0;
    // A folder dialog: true when a folder was chosen; directory is the start
    // folder on entry and the choice on return.
    virtual bool SelectDirectory(const std::string& caption, std::string& directory) = 0;
    // File dialogs; filter as "Text files (*.txt);;All files (*)".
    virtual bool OpenFileName(const std::string& caption, const std::string& filter,
                              std::string& fileName) = 0;
    virtual bool SaveFileName(const std::string& caption, const std::string& filter,
                              std::string& fileName) = 0;
    // The error box for an exception that reached the central handler.
    virtual void ShowError(const std::string& text) = 0;

    // The window new boxes are centred on; the active window when none is set.
    void SetParentWindow(QWidget* parent) { parent_ = parent; }
    QWidget* ParentWindow() const;

    // InputBox of the class library: the answer, or the default when cancelled.
    std::string InputBox(const std::string& caption, const std::string& prompt,
                         const std::string& defaultValue);

private:
    QPointer<QWidget> parent_; // forgotten when the window goes
};

// The service in use; the Qt one until another is installed.
TDialogs& Dialogs();
// Installs a service and returns the previous one (nullptr restores the Qt one).
std::unique_ptr<TDialogs> SetDialogs(std::unique_ptr<TDialogs> dialogs);

// The caption of error boxes: the application's name.
std::string ApplicationTitle();
void SetApplicationTitle(const std::string& title);
