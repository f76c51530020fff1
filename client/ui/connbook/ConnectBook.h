#pragma once
// The site book dialog: the sites of "book20.dat" as a tree of folders
// ("classes") and sites, one site edited at a time, the imports of other
// clients' site lists, and the backup copy "book20_.dat".
#include <QDialog>
#include <QString>
#include <memory>
#include <optional>
#include <string>

#include "client/engine/ConnBook.h"
#include "client/engine/QuickSite.h"

namespace Ui { class TfmConnBook; }
class QTreeWidgetItem;
class QMenu;

class TfmConnBook : public QDialog {
public:
    // programDir holds "book20.dat" and "book20_.dat".
    explicit TfmConnBook(std::string programDir, QWidget* parent = nullptr);
    ~TfmConnBook() override;

    std::string RenameOldName;
    std::string RenameNewName;
    bool RenameIsFolder = false;
    std::string RenameFolder;
    int CurrentSite = 0; // 1-based slot of the site in the edits, 0 = none
    TConnBookData Book;  // FolderNames and Sites
    bool SkipNextShow = false;
    bool FindByAddress = false;
    std::string FindAddress;

    std::string BookFile() const;
    std::string InProgramDir(const std::string& name) const;
    std::string BackupFile() const;

    void FormShow();
    void SaveBook();
    void BuildTree();
    void RebuildArrays();
    QTreeWidgetItem* FindFolderNode(QTreeWidgetItem* node, const std::string& text) const;
    bool SiteBookNameExists(QTreeWidgetItem* node, const std::string& text) const;
    // False when the folder was not added (refused or the question cancelled).
    bool AddFolderUnique(std::string name);
    bool AddSite(const std::string& folderName, TNewSite site);
    bool SelectSiteByAddress(const std::string& host);
    void ImportSitesIni(const std::string& fileName);
    void ImportTextList(const std::string& fileName);

    // The six edits as they stand, and the site they show as a tree click does.
    TNewSite EditedSite() const;
    void ShowCurrentSite();

    // The handlers of the form.
    void sitetreeClick();
    void sitetreeDblClick();
    void BitBtn1Click();  // OK
    void Button3Click();  // Apply
    void Button2Click();  // New Site
    void Button4Click();  // New Class
    void Button5Click();  // Delete
    void RenameClick();
    void Button1Click();  // Import
    void Button6Click();  // Backup
    void Button7Click();  // Restore

    // Result codes of the dialog.
    static constexpr int mrOk = 1, mrCancel = 2;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void ClearEdits();
    void FillEdits(const TNewSite& s);
    // Undoes an edit of the memo that made it longer than its field.
    void LimitMemo();
    bool RoomForFolder();
    bool RoomForSite();
    int SiteCount() const;
    QTreeWidgetItem* AddFolderNode(const std::string& name);
    QTreeWidgetItem* AddSiteNode(QTreeWidgetItem* folder, const std::string& name);
    // Asks for a new name under parent (the top level when none): false, with
    // a message, for an empty name or one that parent has already.
    bool AskNewName(const char* caption, const char* prompt, QTreeWidgetItem* parent, const char* duplicate,
                    std::string& name);
    // Addr, Port, User, Pass and Memo into the current site's record.
    void StoreCurrentSite(const TNewSite& site);
    // Asks until name is free and not empty; false when cancelled.
    bool AskUniqueName(const char* caption, QTreeWidgetItem* parent, std::string& name);

    std::unique_ptr<Ui::TfmConnBook> ui;
    QMenu* popup_ = nullptr;
    std::string programDir_;
    QString memoAccepted_;
};

// The main window's site entries, given the quick bar's site rather than the
// window. Site Manager: the site chosen with OK (Addr, Port, User, Pass), or
// none.
std::optional<TQuickSite> RunSiteManager(const std::string& programDir, QWidget* owner);
// Edit Current Site: shows the book on the site whose address is host;
// false (nothing shown) when no site has it.
bool RunEditCurrentSite(const std::string& programDir, const std::string& host, QWidget* owner);
