#pragma once
// The FTP browser's panel: a row of tool buttons, the folder tree, the file
// list with its status line, and the log. It drives a TFtpManager with one
// worker; results come back on the GUI thread through the manager.
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "client/browser/DirBuffer.h"
#include "client/browser/FtpManager.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QSplitter;
class QTreeWidget;
class QTreeWidgetItem;

class TFtpView : public QWidget {
public:
    explicit TFtpView(QWidget* parent = nullptr, TFtpThreadConfig Config = {});
    ~TFtpView() override;

    void SetHostName(const std::string& Host);
    TFtpManager& Manager() { return *FManager; }
    const std::string& RootPath() const { return FRootPath; }
    // The entry the file list shows (nullptr before the first listing).
    std::shared_ptr<const TBufferList> Shown() const { return FShown; }

    // The buttons' handler, by caption.
    void ButtonClick(const QString& Caption);

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    void BuildControls();
    void FitColumns();
    QTreeWidgetItem* Root() const;
    std::shared_ptr<TBufferList> ListingOf(QTreeWidgetItem* Node) const;
    void NodeSelected(QTreeWidgetItem* Node);
    void NodeExpanding(QTreeWidgetItem* Node);
    void AddFolderNodes(QTreeWidgetItem* Node, const TBufferList& Entry);
    void GiveListing(QTreeWidgetItem* Node, int Index);
    QTreeWidgetItem* FindNode(const std::string& Path) const;
    void RootListingReady(const std::vector<int>& Indexes);
    void FoldersReady(const std::vector<int>& Indexes, const std::string& Requested);
    void ShowEntry(const std::shared_ptr<TBufferList>& Entry);
    void FileListDblClick();
    void ColumnClick(int Column);
    void AddLog(const std::string& Line, const char* Colour);
    void DisplayLine(const std::string& Line);
    std::vector<int> SelectedRows() const;
    static std::string JoinPath(const std::string& Folder, const std::string& Name);

    std::unique_ptr<TFtpManager> FManager;
    std::string FHost;
    std::string FRootPath;
    std::shared_ptr<TBufferList> FShown;
    QWidget* FButtonPanel = nullptr;
    std::vector<QPushButton*> FButtons;
    QTreeWidget* FTree = nullptr;
    QTreeWidget* FList = nullptr;
    QLabel* FStatusBar = nullptr;
    QPlainTextEdit* FLog = nullptr;
    QSplitter* FTreeSplitter = nullptr;
    QSplitter* FLogSplitter = nullptr;
};
