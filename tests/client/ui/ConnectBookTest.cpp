#include <gtest/gtest.h>

#include <filesystem>

#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "FindChild.h"
#include "ModalHelper.h"
#include "client/engine/ClientSettings.h"
#include "client/engine/ConnBook.h"
#include "client/ui/connbook/AddCurrSite.h"
#include "client/ui/connbook/ConnectBook.h"
#include "platform/dialogs/ScriptedDialogs.h"
#include "tests/support/TestSupport.h"

namespace {

using testsupport::ReadFile;
using testsupport::WriteFile;

const std::string kAnon = TClientSettings{}.AnonymousEmail;

class ConnectBookTest : public ::testing::Test {
protected:
    void SetUp() override { WriteBook(TConnBookData{}); }

    void WriteBook(const TConnBookData& d) { WriteFile(dir / "book20.dat", d.Encode()); }
    std::string Book() const { return ReadFile(dir / "book20.dat"); }

    QTreeWidget* Tree(TfmConnBook& b) { return Child<QTreeWidget>(&b, "sitetree"); }
    QTreeWidgetItem* Node(TfmConnBook& b, const std::string& folder, const std::string& site = "")
    {
        QTreeWidgetItem* f = b.FindFolderNode(nullptr, folder);
        return site.empty() || !f ? f : b.FindFolderNode(f, site);
    }
    // A click on a node, as the user makes it.
    void Click(TfmConnBook& b, QTreeWidgetItem* node)
    {
        Tree(b)->setCurrentItem(node);
        emit Tree(b)->itemClicked(node, 0);
    }
    void Press(TfmConnBook& b, const char* button) { Child<QPushButton>(&b, button)->click(); }
    void Edit(TfmConnBook& b, const char* name, const char* text) { Child<QLineEdit>(&b, name)->setText(text); }
    std::string EditText(TfmConnBook& b, const char* name) { return Child<QLineEdit>(&b, name)->text().toStdString(); }

    // A book of two folders and three sites, written through the codec.
    static TConnBookData Sample()
    {
        TConnBookData d;
        d.FolderNames[0] = "Work";
        d.FolderNames[1] = "Home";
        d.Sites[0] = {1, "alpha", "a.example", "21", "ann", "pw1", "note"};
        d.Sites[1] = {1, "beta", "b.example", "2121", "bob", "pw2", ""};
        d.Sites[2] = {2, "gamma", "g.example", "21", "gus", "pw3", ""};
        return d;
    }

    testsupport::TempDir dir;
    TScriptedDialogsScope scripted;
    TScriptedDialogs* dialogs = scripted.get();
};

TEST_F(ConnectBookTest, FormHasItsCaptionComponentsAndMenu)
{
    TfmConnBook b(dir.path());
    EXPECT_EQ(b.windowTitle(), "Site Manager");
    for (auto [name, text] : {std::pair{"Button3", "Apply"}, {"Button2", "New Site"}, {"Button4", "New Class"},
                              {"Button5", "Delete"}, {"BitBtn1", "OK"}, {"BitBtn2", "Cancel"}, {"Button1", "Import"},
                              {"Button6", "Backup"}, {"Button7", "Restore"}})
        EXPECT_EQ(Child<QPushButton>(&b, name)->text(), text);
    for (auto name : {"name", "addr", "port", "username", "password"}) Child<QLineEdit>(&b, name);
    EXPECT_EQ(Child<QLineEdit>(&b, "password")->echoMode(), QLineEdit::Password);
    Child<QPlainTextEdit>(&b, "Memo1");
    QMenu* popup = Child<QMenu>(&b, "PopupMenu1");
    QStringList captions;
    for (QAction* a : popup->actions()) captions << (a->isSeparator() ? "-" : a->text());
    EXPECT_EQ(captions, QStringList({"New Class...", "New Site...", "-", "Rename", "Delete"}));

    TfmAddCurrSite add(&b);
    EXPECT_EQ(add.windowTitle(), "Add Current Site");
    Child<QComboBox>(&add, "ComboBox1");
    Child<QLineEdit>(&add, "Edit1");
}

TEST_F(ConnectBookTest, ShowBuildsTheTreeWithStateImages)
{
    WriteBook(Sample());
    TfmConnBook b(dir.path());
    b.show();
    QTreeWidget* t = Tree(b);
    ASSERT_EQ(t->topLevelItemCount(), 2);
    EXPECT_EQ(t->topLevelItem(0)->text(0), "Work");
    EXPECT_EQ(t->topLevelItem(0)->data(0, Qt::UserRole).toInt(), 2);
    EXPECT_EQ(t->topLevelItem(0)->child(1)->text(0), "beta");
    EXPECT_EQ(t->topLevelItem(0)->child(1)->data(0, Qt::UserRole).toInt(), 1);
    Click(b, Node(b, "Work", "beta"));
    EXPECT_EQ(b.CurrentSite, 2);
    EXPECT_EQ(EditText(b, "addr"), "b.example");
    EXPECT_EQ(EditText(b, "port"), "2121");
    Click(b, Node(b, "Home"));
    EXPECT_EQ(b.CurrentSite, 0);
    EXPECT_EQ(EditText(b, "addr"), "");
}

TEST_F(ConnectBookTest, RoundTripThroughTheDialogEndsInTheExpectedBytes)
{
    TfmConnBook b(dir.path());
    b.show();
    TConnBookData want;

    dialogs->ReplyText("Work"); // New Class
    Press(b, "Button4");
    want.FolderNames[0] = "Work";
    EXPECT_EQ(Book(), want.Encode()) << "new class";

    Click(b, Node(b, "Work"));
    dialogs->ReplyText("alpha"); // New Site
    dialogs->ReplyId(IDOK);      // "Please Finish ..."
    Press(b, "Button2");
    want.Sites[0] = {1, "alpha", "", "21", "anonymous", kAnon, ""};
    EXPECT_EQ(Book(), want.Encode()) << "new site applies its defaults";
    EXPECT_EQ(dialogs->Texts(TDialogCall::kMessageBox).back(),
              "Please Finish the information of this site and press Apply Button");

    Edit(b, "addr", "ftp.example.org");
    Edit(b, "port", "2121");
    Edit(b, "username", "ann");
    Edit(b, "password", "secret");
    Edit(b, "name", "ignored"); // names change only through Rename
    Child<QPlainTextEdit>(&b, "Memo1")->setPlainText("line 1\nline 2");
    Press(b, "Button3");
    want.Sites[0] = {1, "alpha", "ftp.example.org", "2121", "ann", "secret", "line 1\r\nline 2"};
    EXPECT_EQ(Book(), want.Encode()) << "apply";

    dialogs->ReplyText("Home");
    Press(b, "Button4");
    Click(b, Node(b, "Home"));
    dialogs->ReplyText("beta");
    dialogs->ReplyId(IDOK);
    Press(b, "Button2");
    want.FolderNames[1] = "Home";
    want.Sites[1] = {2, "beta", "", "21", "anonymous", kAnon, ""};
    EXPECT_EQ(Book(), want.Encode()) << "second folder";

    dialogs->ReplyId(IDYES); // Backup
    Press(b, "Button6");
    const std::string backup = want.Encode();
    EXPECT_EQ(ReadFile(dir / "book20_.dat"), backup);

    Click(b, Node(b, "Work"));
    dialogs->ReplyText("Job"); // Rename the folder: its site keeps every field
    b.RenameClick();
    want.FolderNames[0] = "Job";
    EXPECT_EQ(Book(), want.Encode()) << "rename folder";

    Click(b, Node(b, "Job", "alpha"));
    dialogs->ReplyText("a2");
    b.RenameClick();
    want.Sites[0].Name = "a2";
    EXPECT_EQ(Book(), want.Encode()) << "rename site";
    // The renamed site stays current, so Apply goes to it.
    Edit(b, "port", "21");
    Press(b, "Button3");
    want.Sites[0].Port = "21";
    EXPECT_EQ(Book(), want.Encode()) << "apply after rename";

    Click(b, Node(b, "Job"));
    dialogs->ReplyId(IDYES); // Delete the folder and its site
    Press(b, "Button5");
    want.FolderNames[0] = "Home";
    want.FolderNames[1] = "";
    want.Sites[0] = {1, "beta", "", "21", "anonymous", kAnon, ""};
    want.Sites[1] = {};
    EXPECT_EQ(Book(), want.Encode()) << "delete";

    dialogs->ReplyId(IDYES); // Restore
    Press(b, "Button7");
    EXPECT_EQ(Book(), backup) << "restore";
    EXPECT_EQ(Tree(b)->topLevelItemCount(), 2);
    EXPECT_EQ(b.CurrentSite, 0);
}

TEST_F(ConnectBookTest, AfterDeleteOrRestoreApplyTouchesNoOtherSite)
{
    WriteBook(Sample());
    TfmConnBook b(dir.path());
    b.show();
    Click(b, Node(b, "Work", "alpha"));
    dialogs->ReplyId(IDYES);
    Press(b, "Button5");
    EXPECT_EQ(b.CurrentSite, 0);
    EXPECT_EQ(EditText(b, "addr"), "");
    const std::string after = Book();
    Edit(b, "addr", "evil.example");
    Press(b, "Button3");
    EXPECT_EQ(Book(), after);

    WriteFile(dir / "book20_.dat", Sample().Encode());
    Click(b, Node(b, "Work", "beta"));
    dialogs->ReplyId(IDYES);
    Press(b, "Button7");
    EXPECT_EQ(b.CurrentSite, 0);
    Edit(b, "addr", "evil.example");
    Press(b, "Button3");
    EXPECT_EQ(Book(), Sample().Encode());
}

TEST_F(ConnectBookTest, RefusedNamesAndFullBookLeaveTheFileAlone)
{
    TConnBookData full = Sample();
    WriteBook(full);
    struct Case { const char* what; const char* button; const char* select; const char* answer; std::string message; };
    const Case cases[] = {
        {"empty class", "Button4", nullptr, "  ", "The name can not be empty!"},
        {"duplicate class", "Button4", nullptr, "Work", "Duplicate Class Name!"},
        {"duplicate site", "Button2", "Work", "beta", "Duplicate Site Name!"},
        {"empty site", "Button2", "Work", "", "The name can not be empty!"},
        {"site without a class", "Button2", nullptr, nullptr, "Please Select a Class!"},
        {"site under a site", "Button2", nullptr, nullptr, "Please Select a Class!"},
    };
    for (const auto& c : cases) {
        TfmConnBook b(dir.path());
        b.show();
        if (c.select) Click(b, Node(b, c.select));
        if (std::string(c.what) == "site under a site") Click(b, Node(b, "Work", "alpha"));
        dialogs->Calls.clear();
        if (c.answer) dialogs->ReplyText(c.answer);
        Press(b, c.button);
        EXPECT_EQ(dialogs->Texts(TDialogCall::kMessageBox).back(), c.message) << c.what;
        EXPECT_EQ(Book(), full.Encode()) << c.what;
        EXPECT_EQ(dialogs->PendingReplies(), 0u) << c.what;
    }

    TConnBookData fifty;
    for (int f = 0; f < 50; ++f) fifty.FolderNames[f] = "f" + std::to_string(f);
    for (int i = 0; i < 500; ++i) fifty.Sites[i] = {i < 10 ? 1 : 2, "s" + std::to_string(i), "h", "21", "u", "p", ""};
    WriteBook(fifty);
    TfmConnBook b(dir.path());
    b.show();
    dialogs->Calls.clear();
    dialogs->ReplyText("one more");
    Press(b, "Button4");
    Click(b, Node(b, "f0"));
    dialogs->ReplyText("one more");
    Press(b, "Button2");
    EXPECT_EQ(dialogs->Texts(TDialogCall::kMessageBox),
              (std::vector<std::string>{"The site book holds no more than 50 classes.",
                                        "The site book holds no more than 500 sites."}));
    EXPECT_EQ(Book(), fifty.Encode());
}

TEST_F(ConnectBookTest, InputLongerThanItsFieldIsRefusedNotCut)
{
    WriteBook(Sample());
    const std::string before = Book();
    TfmConnBook b(dir.path());
    b.show();
    Click(b, Node(b, "Work", "alpha"));
    // Typing and pasting stop at the field's bytes; a character of two bytes
    // that would not fit whole is refused too.
    struct Case { const char* edit; std::size_t max; };
    for (const Case c : {Case{"name", 49}, {"addr", 49}, {"port", 9}, {"username", 49}, {"password", 49}}) {
        auto* e = Child<QLineEdit>(&b, c.edit);
        e->clear();
        QTest::keyClicks(e, QString(int(c.max) + 25, 'h'));
        EXPECT_EQ(std::size_t(e->text().size()), c.max) << c.edit;
        e->clear();
        e->insert(QString(int(c.max) - 1, 'h'));
        e->insert(QString::fromUtf8("\xC3\xA9"));
        EXPECT_EQ(std::size_t(e->text().toUtf8().size()), c.max - 1) << c.edit;
        e->insert(QString(40, 'x'));
        EXPECT_EQ(std::size_t(e->text().toUtf8().size()), c.max - 1) << c.edit;
    }
    // The description counts its line ends as the book stores them (CR LF).
    auto* memo = Child<QPlainTextEdit>(&b, "Memo1");
    memo->clear();
    QTest::keyClicks(memo, QString(190, 'm'));
    QTest::keyClick(memo, Qt::Key_Return);
    QTest::keyClicks(memo, QString(30, 'n'));
    EXPECT_EQ(memo->toPlainText(), QString(190, 'm') + "\n" + QString(8, 'n'));
    memo->insertPlainText("tail");
    EXPECT_EQ(memo->toPlainText().size(), 199);
    // Replacing the whole text by as many characters of more bytes each is refused too.
    memo->selectAll();
    memo->insertPlainText(QString(199, QChar(0x20AC)));
    EXPECT_EQ(memo->toPlainText(), QString(190, 'm') + "\n" + QString(8, 'n'));
    // Text put in another way is refused at Apply, with a word, and not cut.
    Edit(b, "addr", std::string(74, 'a').c_str());
    dialogs->Calls.clear();
    Press(b, "Button3");
    EXPECT_EQ(dialogs->Texts(TDialogCall::kMessageBox),
              std::vector<std::string>{"The address is too long for the site book!"});
    EXPECT_EQ(Book(), before);

    // Names asked for in an input box: refused with a word, nothing stored.
    struct NameCase { const char* button; const char* select; };
    for (const NameCase c : {NameCase{"Button4", nullptr}, {"Button2", "Work"}}) {
        if (c.select) Click(b, Node(b, c.select));
        dialogs->Calls.clear();
        dialogs->ReplyText(std::string(50, 'n'));
        Press(b, c.button);
        EXPECT_EQ(dialogs->Texts(TDialogCall::kMessageBox).back(), "The name is too long for the site book!")
            << c.button;
        EXPECT_EQ(Book(), before) << c.button;
    }
    Click(b, Node(b, "Work", "alpha"));
    dialogs->ReplyText(std::string(50, 'r'));
    dialogs->ReplyText("x");
    b.RenameClick();
    EXPECT_EQ(Book(), before);

    // Add Current Site with a host longer than an address holds: refused
    // before a name is asked for, the book untouched.
    dialogs->Calls.clear();
    RunAddCurrentSite(dir.path(), {std::string(74, 'h'), "21", "u", "p"}, nullptr);
    EXPECT_EQ(dialogs->Texts(TDialogCall::kMessageBox),
              std::vector<std::string>{"The address is too long for the site book; the site was not added."});
    EXPECT_EQ(Book(), before);
}

TEST_F(ConnectBookTest, OkClosesOnlyWithASiteAndHandsItsFieldsOver)
{
    WriteBook(Sample());
    {
        TfmConnBook b(dir.path());
        b.show();
        Click(b, Node(b, "Work"));
        Press(b, "BitBtn1");
        EXPECT_TRUE(b.isVisible());
    }
    WhenModal([this](QWidget* d) {
        auto* b = static_cast<TfmConnBook*>(d);
        Click(*b, Node(*b, "Work", "beta"));
        Edit(*b, "addr", "  b.example  ");
        Press(*b, "BitBtn1");
    });
    auto site = RunSiteManager(dir.path(), nullptr);
    ASSERT_TRUE(site.has_value());
    EXPECT_EQ(*site, (TQuickSite{"b.example", "2121", "bob", "pw2"}));

    WhenModal([this](QWidget* d) { Press(*static_cast<TfmConnBook*>(d), "BitBtn2"); });
    EXPECT_FALSE(RunSiteManager(dir.path(), nullptr).has_value());
}

TEST_F(ConnectBookTest, EditCurrentSiteFindsTheSiteByAddress)
{
    WriteBook(Sample());
    EXPECT_FALSE(RunEditCurrentSite(dir.path(), "nowhere.example", nullptr));
    std::string shown;
    WhenModal([&](QWidget* d) {
        auto* b = static_cast<TfmConnBook*>(d);
        shown = EditText(*b, "name") + "/" + std::to_string(b->CurrentSite);
        b->done(TfmConnBook::mrCancel);
    });
    EXPECT_TRUE(RunEditCurrentSite(dir.path(), "g.example", nullptr));
    EXPECT_EQ(shown, "gamma/3");
}

TEST_F(ConnectBookTest, AddCurrentSiteWaitsForAFolderThenAddsTheSite)
{
    // No folder at all: OK stays open.
    int messages = 0;
    WhenModal([&](QWidget* d) {
        Child<QPushButton>(d, "Button1")->click();
        messages = int(dialogs->Texts(TDialogCall::kMessageBox).size());
        EXPECT_TRUE(d->isVisible());
        Child<QPushButton>(d, "Button2")->click();
    });
    RunAddCurrentSite(dir.path(), {"h.example", "21", "u", "p"}, nullptr);
    EXPECT_EQ(messages, 1);
    EXPECT_EQ(Book(), TConnBookData{}.Encode());

    WriteBook(Sample());
    WhenModal([&](QWidget* d) {
        auto* combo = Child<QComboBox>(d, "ComboBox1");
        EXPECT_EQ(combo->count(), 2);
        EXPECT_EQ(Child<QLineEdit>(d, "Edit1")->text(), "new.example");
        combo->setCurrentIndex(1);
        WhenModal([&](QWidget* book) {
            EXPECT_EQ(book->windowTitle(), "Site Manager");
            EXPECT_EQ(Child<QLineEdit>(book, "addr")->text(), "new.example");
            static_cast<QDialog*>(book)->done(2);
        });
        Child<QPushButton>(d, "Button1")->click();
    });
    RunAddCurrentSite(dir.path(), {"new.example", "2100", "nina", "pw"}, nullptr);
    TConnBookData want = Sample();
    want.Sites[3] = {2, "new.example", "new.example", "2100", "nina", "pw", ""};
    EXPECT_EQ(Book(), want.Encode());
}

TEST_F(ConnectBookTest, ImportsBothListFormatsWithForeignLineEnds)
{
    WriteBook(Sample());
    WriteFile(dir / "SITES.INI",
              "[_Groups_]\r\ng1=Work\r\ng2=Mirrors\r\n"
              "[_Work_]\r\ns1=One\r\n"
              "[_Mirrors_]\r\ns1=Two\r\ns2=" + std::string(60, 'L') + "\r\n"
              "[One]\r\nIP=one.example\r\nPort=2121\r\nUser=u1\r\nPass=p1\r\nn1=first\r\nn2=second\r\n"
              "[Two]\r\nIP=two.example\r\n");
    TfmConnBook b(dir.path());
    b.show();
    dialogs->ReplyText(dir / "SITES.INI");
    dialogs->ReplyText("Work2"); // the group "Work" exists: asked for a new name
    dialogs->ReplyText("Long");  // a name longer than the book holds: asked again, never cut
    Press(b, "Button1");
    EXPECT_EQ(dialogs->Calls[1].caption, "Duplicate Class Name");
    EXPECT_EQ(dialogs->Calls[1].text, "Old = Work");
    EXPECT_EQ(dialogs->Calls[2].caption, "Name Too Long");
    EXPECT_EQ(dialogs->Calls[2].text, "Old = " + std::string(60, 'L'));
    TConnBookData got;
    got.LoadFromFile(dir / "book20.dat");
    EXPECT_EQ(got.FolderNames[2], "Work2");
    EXPECT_EQ(got.FolderNames[3], "Mirrors");
    EXPECT_EQ(got.Sites[3], (SiteBookRecord{3, "One", "one.example", "2121", "u1", "p1", "\rfirst\rsecond"}));
    EXPECT_EQ(got.Sites[4], (SiteBookRecord{4, "Two", "two.example", "21", "anonymous", kAnon, ""}));
    EXPECT_EQ(got.Sites[5].Name, "Long");

    WriteFile(dir / "list.txt",
              "Site Label: Alpha\r\nHostName: alpha.example\r\nUser Name: ann\r\nPassword: pw\r\nPort: 2121\r\n"
              "Comments: see HostName: other.example\r\n"
              "Site Label: Beta\r\n  HostName: not-a-label.example\r\nHostName: beta.example\r\n");
    dialogs->Calls.clear();
    dialogs->ReplyText(dir / "list.txt");
    dialogs->ReplyText("Text");
    Press(b, "Button1");
    EXPECT_EQ(dialogs->Calls[1].caption, "New class name");
    EXPECT_EQ(dialogs->Calls[1].text, "name = ");
    got.LoadFromFile(dir / "book20.dat");
    EXPECT_EQ(got.FolderNames[4], "Text");
    EXPECT_EQ(got.Sites[6], (SiteBookRecord{5, "Alpha", "alpha.example", "2121", "ann", "pw", "see HostName: other.example"}));
    EXPECT_EQ(got.Sites[7], (SiteBookRecord{5, "Beta", "beta.example", "21", "anonymous", kAnon, ""}));
}

TEST_F(ConnectBookTest, DamagedBookOpensWithoutCrashing)
{
    std::string bytes(connbook::kBookSize, '\x7f');
    WriteFile(dir / "book20.dat", bytes);
    {
        TfmConnBook b(dir.path());
        b.show();
        EXPECT_EQ(Tree(b)->topLevelItemCount(), 50);
        Click(b, Node(b, Tree(b)->topLevelItem(0)->text(0).toStdString()));
    }
    WriteFile(dir / "book20.dat", bytes.substr(0, 1000));
    TfmConnBook b(dir.path());
    b.show();
    EXPECT_EQ(Tree(b)->topLevelItemCount(), 20);
    std::remove((dir / "book20.dat").c_str());
    dialogs->Calls.clear();
    TfmConnBook missing(dir.path());
    missing.show();
    EXPECT_EQ(dialogs->Calls.size(), 1u);
    EXPECT_EQ(dialogs->Calls[0].kind, TDialogCall::kError);
}

TEST_F(ConnectBookTest, DamagedBookIsToldOnceAndKeptInACopy)
{
    const std::string sound = Sample().Encode();
    TConnBookData stray = Sample();
    stray.Sites[3] = {1, "late", "l.example", "21", "u", "p", ""}; // behind folder 2's sites
    std::string unended = sound;
    unended.replace(connbook::kSitesOffset + connbook::kOffAddr, 50, std::string(50, 'a'));
    struct Case { const char* what; std::string bytes; std::string told; };
    const Case cases[] = {
        {"larger", sound + std::string(connbook::kRecordSize, 'x'),
         "it holds 416 bytes more than a site book (210500 bytes); they are not kept when the book is saved"},
        {"cut short", sound.substr(0, 3000), "it is cut short: 3000 of 210500 bytes"},
        {"stray site", stray.Encode(), "1 sites are not stored with the folder they name"},
        {"text without end", unended, "1 texts have no end in their field"},
    };
    const std::string file = dir / "book20.dat";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::remove((file + ".damaged").c_str());
        WriteFile(file, c.bytes);
        dialogs->Calls.clear();
        {
            TfmConnBook b(dir.path());
            b.show();
            const auto told = dialogs->Texts(TDialogCall::kMessageBox);
            ASSERT_EQ(told.size(), 1u);
            EXPECT_EQ(told[0], file + " could not be read whole:\n- " + c.told + "\nA copy of it was kept as " + file +
                                   ".damaged.");
            EXPECT_EQ(ReadFile(file + ".damaged"), c.bytes);
        }
        // Opened again before anything was saved: told once only.
        dialogs->Calls.clear();
        {
            TfmConnBook b(dir.path());
            b.show();
            EXPECT_TRUE(dialogs->Calls.empty());
            // The first save writes a book of the format's size; the copy stays.
            Click(b, Node(b, "Work", "alpha"));
            Press(b, "Button3");
        }
        EXPECT_EQ(Book().size(), connbook::kBookSize);
        EXPECT_EQ(ReadFile(file + ".damaged"), c.bytes);
    }
    // A sound book says nothing and leaves no copy.
    std::remove((file + ".damaged").c_str());
    WriteFile(file, sound);
    dialogs->Calls.clear();
    TfmConnBook b(dir.path());
    b.show();
    EXPECT_TRUE(dialogs->Calls.empty());
    EXPECT_FALSE(std::filesystem::exists(file + ".damaged"));

    // A folder where the book should be is refused as a file that cannot be opened.
    std::remove(file.c_str());
    std::filesystem::create_directory(file);
    dialogs->Calls.clear();
    TfmConnBook folder(dir.path());
    folder.show();
    ASSERT_EQ(dialogs->Calls.size(), 1u);
    EXPECT_EQ(dialogs->Calls[0].kind, TDialogCall::kError);
    EXPECT_NE(dialogs->Calls[0].text.find("it is a folder, not a file"), std::string::npos) << dialogs->Calls[0].text;
}

} // namespace
