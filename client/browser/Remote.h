#pragma once
// Drives the "Browse Server" window's own FTP client on the GUI thread: log
// in, list into memory, show the rows, change folders, keep the log.
#include <QObject>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "client/engine/LvFileInfo.h"
#include "net/FtpCli.h"

class QComboBox;
class QKeyEvent;
class QLabel;
class QPlainTextEdit;
class QTreeWidget;

namespace browser {

class TRemote : public QObject {
public:
    enum TState : std::uint8_t { rsIdle = 0, rsConnecting = 1, rsListing = 2, rsChangingDir = 3 };

    TRemote(QComboBox* Combo, QPlainTextEdit* Log, TFtpClient* Client, QLabel* Status, QTreeWidget* List);
    ~TRemote() override;

    void Connect();
    void List();
    void ChangeDir(const std::string& Folder);
    void Display(const std::string& Line);

    TState State() const { return FState; }
    // The clock type-ahead reads its pauses from; the window sets the real one.
    std::function<std::chrono::steady_clock::time_point()> Now;
    const std::vector<TlvFileInfo>& Rows() const { return FRows; }

    // The list's handlers.
    void ListDblClick();
    void ListKeyPress(int Key, const QString& Text);
    void ColumnClick(int Column);

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    void RequestDone(TFtpRequest Request, std::uint16_t Error);
    // Starts a request; a request the client refuses fails the step at once.
    void Start(TCustomFtpCli::TAction Request);
    void Fail();
    void FillList();
    void SortAndShow();

    QComboBox* FCombo;
    QTreeWidget* FList;
    QLabel* FStatus;
    TState FState = rsIdle;
    TFtpClient* FClient;
    QPlainTextEdit* FLog;
    TFtpMemoryStream FStream;
    std::vector<TlvFileInfo> FRows;
    std::uint8_t FSortDirection = 1;
    std::uint8_t FSortColumn = 0;
    std::string FTypeAhead;
    std::chrono::steady_clock::time_point FLastKey;
    std::string FCurrentDir;
    bool FRefused = false;
};

} // namespace browser
