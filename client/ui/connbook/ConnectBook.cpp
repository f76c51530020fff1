#include "client/ui/connbook/ConnectBook.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QStyle>
#include <QTreeWidget>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QTextCursor>
#include <algorithm>
#include <fstream>

#include "client/engine/ClientSettings.h"
#include "client/engine/DamagedFile.h"
#include "client/ui/connbook/FieldLengthValidator.h"
#include "platform/dialogs/EventHandler.h"
#include "platform/dialogs/Dialogs.h"
#include "rtl/IniFile.h"
#include "rtl/StrUtils.h"
#include "ui_ConnectBook.h"

using namespace connbook;

namespace {

constexpr int kStateRole = Qt::UserRole; // the node's state image: 2 folder, 1 site
constexpr int kFolderImage = 2, kSiteImage = 1;

std::string Text(const QTreeWidgetItem* item) { return item->text(0).toStdString(); }
std::string Text(const QLineEdit* edit) { return edit->text().toStdString(); }
QString Q(const std::string& s) { return QString::fromStdString(s); }

// The memo shows lines; the book keeps them with CR LF (or the lone CRs of an import).
QString MemoToEdit(std::string memo)
{
    QString text = Q(memo);
    text.replace("\r\n", "\n");
    text.replace('\r', '\n');
    return text;
}

std::string MemoFromEdit(const QString& text)
{
    QString t = text;
    t.replace('\n', "\r\n");
    return t.toStdString();
}

std::string AnonymousPassword() { return TClientSettings{}.AnonymousEmail; }

TNewSite NewSiteDefaults(const std::string& name)
{
    return {name, "", "21", "anonymous", AnonymousPassword(), ""};
}

const char* const kTooLongName = "The name is too long for the site book!";

// The fields stored of a site (the name is not: it changes only through Rename).
std::string OverlongStoredField(TNewSite site)
{
    site.Name.clear();
    return OverlongField(site);
}

} // namespace

TfmConnBook::TfmConnBook(std::string programDir, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TfmConnBook>()), programDir_(std::move(programDir))
{
    ui->setupUi(this);
    popup_ = new QMenu(this);
    popup_->setObjectName("PopupMenu1");
    auto addItem = [this](const char* name, const char* caption, void (TfmConnBook::*handler)()) {
        QAction* a = popup_->addAction(caption);
        a->setObjectName(name);
        ConnectHandler(a, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    };
    addItem("NewClass1", "New Class...", &TfmConnBook::Button4Click);
    addItem("NewSite1", "New Site...", &TfmConnBook::Button2Click);
    popup_->addSeparator();
    addItem("Rename1", "Rename", &TfmConnBook::RenameClick);
    addItem("Delete1", "Delete", &TfmConnBook::Button5Click);
    ConnectHandler(ui->sitetree, &QTreeWidget::customContextMenuRequested, this, [this] {
        popup_->popup(QCursor::pos());
    });

    ConnectHandler(ui->sitetree, &QTreeWidget::itemClicked, this, [this] { sitetreeClick(); });
    ConnectHandler(ui->sitetree, &QTreeWidget::itemDoubleClicked, this, [this] { sitetreeDblClick(); });
    // Each edit holds what its field holds: longer text is refused, never cut.
    const std::pair<QLineEdit*, std::size_t> limits[] = {{ui->name, kMaxName}, {ui->addr, kMaxAddr},
                                                         {ui->port, kMaxPort}, {ui->username, kMaxUser},
                                                         {ui->password, kMaxPass}};
    for (auto [edit, max] : limits) edit->setValidator(new TFieldLengthValidator(max, edit));
    ConnectHandler(ui->Memo1, &QPlainTextEdit::textChanged, this, [this] { LimitMemo(); });
    ConnectHandler(ui->BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    ConnectHandler(ui->BitBtn2, &QPushButton::clicked, this, [this] { done(mrCancel); });
    ConnectHandler(ui->Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
    ConnectHandler(ui->Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    ConnectHandler(ui->Button4, &QPushButton::clicked, this, [this] { Button4Click(); });
    ConnectHandler(ui->Button5, &QPushButton::clicked, this, [this] { Button5Click(); });
    ConnectHandler(ui->Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    ConnectHandler(ui->Button6, &QPushButton::clicked, this, [this] { Button6Click(); });
    ConnectHandler(ui->Button7, &QPushButton::clicked, this, [this] { Button7Click(); });
}

TfmConnBook::~TfmConnBook() = default;

// The program folder is handed over with or without its closing "/"; the
// names shown to the user carry one.
std::string TfmConnBook::BookFile() const { return InProgramDir("book20.dat"); }
std::string TfmConnBook::BackupFile() const { return InProgramDir("book20_.dat"); }

std::string TfmConnBook::InProgramDir(const std::string& name) const
{
    return !programDir_.empty() && programDir_.back() == '/' ? programDir_ + name : programDir_ + "/" + name;
}

void TfmConnBook::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    Guarded([this] { FormShow(); });
}

void TfmConnBook::FormShow()
{
    if (SkipNextShow) {
        SkipNextShow = false;
        return;
    }
    ClearEdits();
    CurrentSite = 0;
    ui->sitetree->clear();
    Book.LoadFromFile(BookFile());
    BuildTree();
    if (!Book.Damage.empty()) {
        const std::string text = KeepDamagedFile(BookFile(), Book.Damage);
        if (!text.empty()) Dialogs().MessageBox(text, "Site Manager", MB_OK | MB_ICONWARNING);
    }
}

void TfmConnBook::SaveBook()
{
    Book.SaveToFile(BookFile());
}

QTreeWidgetItem* TfmConnBook::AddFolderNode(const std::string& name)
{
    auto* node = new QTreeWidgetItem(ui->sitetree, QStringList(Q(name)));
    node->setData(0, kStateRole, kFolderImage);
    node->setIcon(0, style()->standardIcon(QStyle::SP_DirIcon));
    return node;
}

QTreeWidgetItem* TfmConnBook::AddSiteNode(QTreeWidgetItem* folder, const std::string& name)
{
    auto* node = new QTreeWidgetItem(folder, QStringList(Q(name)));
    node->setData(0, kStateRole, kSiteImage);
    node->setIcon(0, style()->standardIcon(QStyle::SP_DriveNetIcon));
    return node;
}

void TfmConnBook::BuildTree()
{
    ui->sitetree->clear();
    for (const auto& folder : Book.BuildTree().Folders) {
        QTreeWidgetItem* node = AddFolderNode(folder.Name);
        for (const auto& site : folder.Sites) AddSiteNode(node, site);
    }
}

void TfmConnBook::RebuildArrays()
{
    TBookTree tree;
    TRebuildRequest rq;
    QTreeWidgetItem* selected = ui->sitetree->currentItem();
    if (selected && !selected->isSelected()) selected = nullptr;
    for (int f = 0; f < ui->sitetree->topLevelItemCount(); ++f) {
        QTreeWidgetItem* folder = ui->sitetree->topLevelItem(f);
        TBookTree::Folder entry{Text(folder), {}};
        for (int c = 0; c < folder->childCount(); ++c) {
            entry.Sites.push_back(Text(folder->child(c)));
            if (folder->child(c) == selected) {
                rq.SelectedFolder = f;
                rq.SelectedSite = c;
            }
        }
        tree.Folders.push_back(std::move(entry));
    }
    rq.RenameOldName = RenameOldName;
    rq.RenameNewName = RenameNewName;
    rq.RenameIsFolder = RenameIsFolder;
    rq.RenameFolder = RenameFolder;
    rq.FindByAddress = FindByAddress;
    rq.FindAddress = FindAddress;
    TRebuildResult r = Book.RebuildArrays(tree, rq);
    RenameNewName = rq.RenameNewName;
    CurrentSite = r.CurrentSite;
    if (r.FoundFolder >= 0) {
        QTreeWidgetItem* found = ui->sitetree->topLevelItem(r.FoundFolder)->child(r.FoundSite);
        ui->sitetree->setCurrentItem(found);
        ui->sitetree->scrollToItem(found);
        FillEdits(Book.SiteFields(CurrentSite));
    }
}

QTreeWidgetItem* TfmConnBook::FindFolderNode(QTreeWidgetItem* node, const std::string& text) const
{
    const int n = node ? node->childCount() : ui->sitetree->topLevelItemCount();
    for (int i = 0; i < n; ++i) {
        QTreeWidgetItem* child = node ? node->child(i) : ui->sitetree->topLevelItem(i);
        if (Text(child) == text) return child;
    }
    return nullptr;
}

bool TfmConnBook::SiteBookNameExists(QTreeWidgetItem* node, const std::string& text) const
{
    return FindFolderNode(node, text) != nullptr;
}

int TfmConnBook::SiteCount() const
{
    int n = 0;
    for (int f = 0; f < ui->sitetree->topLevelItemCount(); ++f) n += ui->sitetree->topLevelItem(f)->childCount();
    return n;
}

bool TfmConnBook::RoomForFolder()
{
    if (ui->sitetree->topLevelItemCount() < int(kFolderCount)) return true;
    Dialogs().MessageBox("The site book holds no more than 50 classes.", "Site Manager", MB_OK | MB_ICONERROR);
    return false;
}

bool TfmConnBook::RoomForSite()
{
    if (SiteCount() < int(kSiteCount)) return true;
    Dialogs().MessageBox("The site book holds no more than 500 sites.", "Site Manager", MB_OK | MB_ICONERROR);
    return false;
}

bool TfmConnBook::AskUniqueName(const char* caption, QTreeWidgetItem* parent, std::string& name)
{
    while (name.empty() || name.size() > kMaxName || SiteBookNameExists(parent, name)) {
        std::string answer = name;
        const char* why = name.size() > kMaxName ? "Name Too Long" : caption;
        if (!Dialogs().InputQuery(why, "Old = " + name, answer)) return false;
        name = rtl::Trim(answer);
    }
    return true;
}

bool TfmConnBook::AddFolderUnique(std::string name)
{
    if (!RoomForFolder() || !AskUniqueName("Duplicate Class Name", nullptr, name)) return false;
    AddFolderNode(name);
    RebuildArrays();
    SaveBook();
    return true;
}

bool TfmConnBook::AddSite(const std::string& folderName, TNewSite site)
{
    QTreeWidgetItem* folder = FindFolderNode(nullptr, folderName);
    if (!folder || !RoomForSite()) return false;
    if (const std::string field = OverlongStoredField(site); !field.empty()) {
        Dialogs().MessageBox("The " + field + " of the site \"" + site.Name +
                                 "\" is too long for the site book; the site was not added.",
                             "Site Manager", MB_OK | MB_ICONERROR);
        return false;
    }
    if (!AskUniqueName("Duplicate Site Name", folder, site.Name)) return false;
    QTreeWidgetItem* node = AddSiteNode(folder, site.Name);
    ui->sitetree->setCurrentItem(node);
    RebuildArrays();
    StoreCurrentSite(site);
    SaveBook();
    return true;
}

bool TfmConnBook::SelectSiteByAddress(const std::string& host)
{
    FindByAddress = true;
    FormShow();
    SkipNextShow = true;
    FindAddress = host;
    RebuildArrays();
    FindByAddress = false;
    return CurrentSite != 0;
}

void TfmConnBook::StoreCurrentSite(const TNewSite& site)
{
    if (CurrentSite == 0) return;
    // The name is not stored: names change only through Rename. The callers
    // refused fields too long for the book.
    SiteBookRecord& r = Book.Sites[std::size_t(CurrentSite - 1)];
    r.Addr = site.Addr;
    r.Port = site.Port;
    r.User = site.User;
    r.Pass = site.Pass;
    r.Memo = site.Memo;
}

void TfmConnBook::ClearEdits()
{
    for (QLineEdit* e : {ui->name, ui->addr, ui->port, ui->username, ui->password}) e->clear();
    ui->Memo1->clear();
}

void TfmConnBook::FillEdits(const TNewSite& s)
{
    memoAccepted_ = MemoToEdit(s.Memo); // the book's own text is never refused
    ui->name->setText(Q(s.Name));
    ui->addr->setText(Q(s.Addr));
    ui->port->setText(Q(s.Port));
    ui->username->setText(Q(s.User));
    ui->password->setText(Q(s.Pass));
    ui->Memo1->setPlainText(MemoToEdit(s.Memo));
}

void TfmConnBook::LimitMemo()
{
    // The book keeps the memo with CR LF line ends: those are the bytes that count.
    const QString text = ui->Memo1->toPlainText();
    // Within the field, or no longer than what was there (a book's own text
    // may be longer once its lone CRs count as CR LF): taken.
    const std::size_t bytes = MemoFromEdit(text).size();
    if (bytes <= kMaxMemo || bytes <= MemoFromEdit(memoAccepted_).size()) {
        memoAccepted_ = text;
        return;
    }
    // Typed or pasted past the field: refused, as the line edits refuse it.
    const int at = std::max(0, ui->Memo1->textCursor().position() - int(text.size() - memoAccepted_.size()));
    QSignalBlocker block(ui->Memo1);
    ui->Memo1->setPlainText(memoAccepted_);
    QTextCursor cursor = ui->Memo1->textCursor();
    cursor.setPosition(std::min(at, int(memoAccepted_.size())));
    ui->Memo1->setTextCursor(cursor);
}

TNewSite TfmConnBook::EditedSite() const
{
    return {Text(ui->name), Text(ui->addr), Text(ui->port), Text(ui->username), Text(ui->password),
            MemoFromEdit(ui->Memo1->toPlainText())};
}

void TfmConnBook::ShowCurrentSite()
{
    if (CurrentSite != 0)
        FillEdits(Book.SiteFields(CurrentSite));
    else
        ClearEdits();
}

void TfmConnBook::sitetreeClick()
{
    RebuildArrays();
    ShowCurrentSite();
}

void TfmConnBook::sitetreeDblClick()
{
    setResult(0);
    QTreeWidgetItem* node = ui->sitetree->currentItem();
    if (node && node->isSelected() && node->parent()) done(mrOk);
}

void TfmConnBook::BitBtn1Click()
{
    for (QLineEdit* e : {ui->addr, ui->port, ui->username, ui->password}) e->setText(e->text().trimmed());
    sitetreeDblClick();
}

void TfmConnBook::Button3Click()
{
    if (CurrentSite == 0) return;
    const TNewSite site = EditedSite();
    if (const std::string field = OverlongStoredField(site); !field.empty()) {
        Dialogs().MessageBox("The " + field + " is too long for the site book!", "Apply", MB_OK | MB_ICONERROR);
        return;
    }
    StoreCurrentSite(site);
    SaveBook();
}

void TfmConnBook::Button4Click()
{
    std::string name;
    if (!AskNewName("New Class", "Name: ", nullptr, "Duplicate Class Name!", name) || !RoomForFolder()) return;
    AddFolderNode(name);
    RebuildArrays();
    SaveBook();
}

bool TfmConnBook::AskNewName(const char* caption, const char* prompt, QTreeWidgetItem* parent,
                             const char* duplicate, std::string& name)
{
    if (!Dialogs().InputQuery(caption, prompt, name)) return false;
    name = rtl::Trim(name);
    if (name.size() > kMaxName) {
        Dialogs().MessageBox(kTooLongName, caption, MB_OK | MB_ICONERROR);
        return false;
    }
    if (name.empty()) {
        // An empty folder slot would end the folder list and lose every later folder.
        Dialogs().MessageBox("The name can not be empty!", caption, MB_OK | MB_ICONERROR);
        return false;
    }
    // Sites are matched by name: a second of one name would take the first's fields.
    if (SiteBookNameExists(parent, name)) {
        Dialogs().MessageBox(duplicate, caption, MB_OK | MB_ICONERROR);
        return false;
    }
    return true;
}

void TfmConnBook::Button2Click()
{
    QTreeWidgetItem* folder = ui->sitetree->currentItem();
    if (!folder || !folder->isSelected() || folder->parent()) {
        Dialogs().MessageBox("Please Select a Class!", "New Site", MB_OK | MB_ICONERROR);
        return;
    }
    std::string name;
    if (!AskNewName("Add New Site", "Site Name: ", folder, "Duplicate Site Name!", name) || !RoomForSite()) return;
    Dialogs().MessageBox("Please Finish the information of this site and press Apply Button", "New Site",
                         MB_OK | MB_ICONINFORMATION);
    QTreeWidgetItem* node = AddSiteNode(folder, name);
    folder->setExpanded(true);
    ui->sitetree->setCurrentItem(node);
    FillEdits(NewSiteDefaults(name));
    RebuildArrays();
    Button3Click();
}

void TfmConnBook::Button5Click()
{
    if (Dialogs().MessageBox("Confirm to delete?", "Delete", MB_YESNO | MB_ICONQUESTION) != IDYES) return;
    QTreeWidgetItem* node = ui->sitetree->currentItem();
    if (!node || !node->isSelected()) return;
    delete node;
    // The edits named the deleted site: nothing is current until the next click.
    ui->sitetree->clearSelection();
    ui->sitetree->setCurrentItem(nullptr);
    RebuildArrays();
    ShowCurrentSite();
    SaveBook();
}

void TfmConnBook::RenameClick()
{
    QTreeWidgetItem* node = ui->sitetree->currentItem();
    if (!node || !node->isSelected()) return;
    std::string name;
    if (!AskNewName("Rename: ", "NewName = ", node->parent(), "This name already exists !\nplease change another .",
                    name))
        return;
    RenameIsFolder = node->parent() == nullptr;
    RenameFolder = RenameIsFolder ? std::string() : Text(node->parent());
    RenameOldName = Text(node);
    RenameNewName = name;
    const bool wasCurrent = node->parent() != nullptr;
    ui->sitetree->setUpdatesEnabled(false);
    RebuildArrays();
    SaveBook();
    RenameNewName.clear();
    BuildTree();
    ui->sitetree->setUpdatesEnabled(true);
    // The tree is new: select the renamed node again so the edits and Apply name it.
    QTreeWidgetItem* renamed = nullptr;
    if (wasCurrent) {
        if (QTreeWidgetItem* folder = FindFolderNode(nullptr, RenameFolder)) renamed = FindFolderNode(folder, name);
    } else {
        renamed = FindFolderNode(nullptr, name);
    }
    if (renamed) {
        if (renamed->parent()) renamed->parent()->setExpanded(true);
        ui->sitetree->setCurrentItem(renamed);
    }
    RebuildArrays();
    ShowCurrentSite();
}

void TfmConnBook::Button1Click()
{
    std::string fileName;
    if (!Dialogs().OpenFileName("Import", "LeapFtp (SITES.INI) (*.ini);;CuteFtp Exported List (*.TXT) (*.txt)",
                                fileName))
        return;
    if (rtl::LowerCase(fileName).ends_with(".ini"))
        ImportSitesIni(fileName);
    else
        ImportTextList(fileName);
}

void TfmConnBook::ImportSitesIni(const std::string& fileName)
{
    std::ifstream probe(fileName);
    if (!probe) return; // a missing list imports nothing
    rtl::TIniFile ini(fileName);
    for (int g = 1; g <= int(kFolderCount) * 4; ++g) {
        const std::string folder = ini.ReadString("_Groups_", "g" + std::to_string(g), "");
        if (folder.empty()) break;
        if (!RoomForFolder()) return;
        if (!AddFolderUnique(folder)) continue;
        // The folder may have been renamed: it is the last one added.
        const int last = ui->sitetree->topLevelItemCount() - 1;
        const std::string added = Text(ui->sitetree->topLevelItem(last));
        const std::string section = "_" + folder + "_";
        for (int s = 1;; ++s) {
            const std::string siteName = ini.ReadString(section, "s" + std::to_string(s), "");
            if (siteName.empty()) break;
            TNewSite site;
            site.Name = siteName;
            site.Addr = ini.ReadString(siteName, "IP", "");
            site.Port = ini.ReadString(siteName, "Port", "21");
            site.User = ini.ReadString(siteName, "User", "anonymous");
            site.Pass = ini.ReadString(siteName, "Pass", AnonymousPassword());
            for (int k = 1;; ++k) {
                const std::string line = ini.ReadString(siteName, "n" + std::to_string(k), "");
                if (line.empty()) break;
                site.Memo += "\r" + line;
                if (site.Memo.size() > kMaxMemo) break;
            }
            if (SiteCount() >= int(kSiteCount)) {
                RoomForSite();
                return;
            }
            AddSite(added, site);
        }
    }
}

void TfmConnBook::ImportTextList(const std::string& fileName)
{
    std::string folder;
    if (!Dialogs().InputQuery("New class name", "name = ", folder)) return;
    std::ifstream in(fileName, std::ios::binary);
    if (!in) throw rtl::Exception("I/O error: cannot open \"" + fileName + "\"");
    if (!AddFolderUnique(rtl::Trim(folder))) return;
    const std::string added = Text(ui->sitetree->topLevelItem(ui->sitetree->topLevelItemCount() - 1));

    TNewSite pending;
    auto flush = [&]() -> bool {
        if (pending.Name.empty()) return true;
        if (SiteCount() >= int(kSiteCount)) {
            RoomForSite();
            return false;
        }
        AddSite(added, pending);
        return true;
    };
    std::string line;
    while (std::getline(in, line)) {
        line = StripCR(line);
        // Labels count only at the start of a line, so a comment mentioning one changes nothing.
        auto value = [&line](std::string_view label, std::string& into) {
            if (!line.starts_with(label)) return false;
            into = line.substr(label.size());
            return true;
        };
        std::string v;
        if (value("Site Label: ", v)) {
            if (!flush()) return;
            pending = NewSiteDefaults(v);
        } else if (value("HostName: ", v)) {
            pending.Addr = v;
        } else if (value("User Name: ", v)) {
            pending.User = v;
        } else if (value("Password: ", v)) {
            pending.Pass = v;
        } else if (value("Port: ", v)) {
            pending.Port = v;
        } else if (value("Comments: ", v)) {
            pending.Memo = v;
        }
    }
    flush();
}

void TfmConnBook::Button6Click()
{
    if (Dialogs().MessageBox("Are you sure ?", "Backup", MB_YESNO | MB_ICONQUESTION) != IDYES) return;
    CopyBookFile(BookFile(), BackupFile());
}

void TfmConnBook::Button7Click()
{
    if (Dialogs().MessageBox("Are you sure ?", "Restore", MB_YESNO | MB_ICONQUESTION) != IDYES) return;
    CopyBookFile(BackupFile(), BookFile());
    FormShow();
}

std::optional<TQuickSite> RunSiteManager(const std::string& programDir, QWidget* owner)
{
    TfmConnBook book(programDir, owner);
    if (book.exec() != TfmConnBook::mrOk) return std::nullopt;
    const TNewSite s = book.EditedSite();
    return TQuickSite{s.Addr, s.Port, s.User, s.Pass};
}

bool RunEditCurrentSite(const std::string& programDir, const std::string& host, QWidget* owner)
{
    TfmConnBook book(programDir, owner);
    if (!book.SelectSiteByAddress(host)) return false;
    book.exec();
    return true;
}
