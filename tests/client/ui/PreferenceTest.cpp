#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTest>
#include <QTreeWidget>
#include <variant>

#include "FindChild.h"
#include "client/engine/ClientSettings.h"
#include "client/ui/preference/Preference.h"
#include "platform/dialogs/ScriptedDialogs.h"
#include "rtl/IniFile.h"
#include "tests/support/TestSupport.h"

namespace {

// A control and the value the test gives it: a check, a text or a number.
struct Control {
    const char* name;
    std::variant<bool, const char*, double> value;
};

// Every control whose setting OK copies back, each set away from its default.
const Control kControls[] = {
    {"cbShowSiteManagerStartup", true}, {"ShowLoginMessage", false}, {"HideOnMinimize", true},
    {"cbMoniterClipboard", false}, {"cbIgnoreLinks", false}, {"edAnonymousPassword", "me@example.net"},
    {"seConnectionRetryTimes", 150.0}, {"DoubleClickAction", 2.0}, {"cbSaveLogsToFile", true},
    {"edLogFileName", "/tmp/ftp.Log"}, {"cbEnableAntiIdle", false}, {"spAntiIdleInterval", 90.0},
    {"cbEnableProxy", true}, {"edProxyHost", "proxy.example"}, {"edProxyPort", "2121"},
    {"edProxyUser", "pu"}, {"edProxyPass", "pp"}, {"rbFtpProxySiteSite", true}, {"cbPasvMode", true},
    {"cbEnableSocks", true}, {"edSocksHost", "socks.example"}, {"edSocksPort", "1080"},
    {"edSocksUser", "su"}, {"edSocksPass", "sp"}, {"rbFtpSocks5", true},
    {"seMaxThreadNum", 200.0}, {"seThreadNumber", 150.0}, {"seSplitDownloadFileSize", 6000000000.0},
    {"EnableSplitDownload", false}, {"seSplitNum", 4.0}, {"cbInterceptFtp", false},
    {"rbDonothing", true}, {"cbAutoSizeColumn", false}, {"cbDirectoryOnTop", false},
    {"cbShowHidenFile", true}, {"cbCheckFreeSpace", false}, {"SelectEntireLine", true},
    {"HideColumnHeader", true}, {"rbLowCaseAll", true}, {"rbKBytes", true},
    {"cbShowAuthWindow", false}, {"cbDialUPShowError", false}, {"cbDialUPDisconnect", true},
    {"RetryTimes", 7.0}, {"RetryTimeSpan", 30.0}, {"edDefaultEditView", "/usr/bin/gedit"},
    {"cbOverwriteconfirm", false}, {"cbAbort", false}, {"cbDisconnect", false}, {"cbDelete", false},
    {"cbTransferOver", false}, {"cbNewConnect", false}, {"cbMoveFiles", false}, {"cbResumeBroken", false},
    {"cbDeleteBroken", false}, {"seMaxIndexFileSize", 250.0}, {"cbDisableIndexFeature", true},
};

void Set(QWidget* d, const Control& c)
{
    QObject* w = d->findChild<QObject*>(c.name);
    ASSERT_NE(w, nullptr) << c.name;
    if (auto* b = qobject_cast<QAbstractButton*>(w)) b->setChecked(std::get<bool>(c.value));
    else if (auto* e = qobject_cast<QLineEdit*>(w)) e->setText(std::get<const char*>(c.value));
    else if (auto* s = qobject_cast<QSpinBox*>(w)) s->setValue(int(std::get<double>(c.value)));
    else if (auto* s = qobject_cast<QDoubleSpinBox*>(w)) s->setValue(std::get<double>(c.value));
    else if (auto* cb = qobject_cast<QComboBox*>(w)) cb->setCurrentIndex(int(std::get<double>(c.value)));
    else FAIL() << c.name;
}

bool Shows(QWidget* d, const Control& c)
{
    QObject* w = d->findChild<QObject*>(c.name);
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->isChecked() == std::get<bool>(c.value);
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text() == std::get<const char*>(c.value);
    if (auto* s = qobject_cast<QSpinBox*>(w)) return s->value() == int(std::get<double>(c.value));
    if (auto* s = qobject_cast<QDoubleSpinBox*>(w)) return s->value() == std::get<double>(c.value);
    if (auto* cb = qobject_cast<QComboBox*>(w)) return cb->currentIndex() == int(std::get<double>(c.value));
    return false;
}

std::string IniText(const TClientSettings& s, const std::string& path)
{
    rtl::TIniFile ini(path);
    s.Save(ini);
    return ini.Text();
}

class PreferenceTest : public ::testing::Test {
protected:
    testsupport::TempDir dir;
    TScriptedDialogsScope scripted;
    TScriptedDialogs* dialogs = scripted.get();
};

TEST_F(PreferenceTest, CaptionTreeAndPages)
{
    TClientSettings s;
    TfmPreference d(s);
    EXPECT_EQ(d.windowTitle(), "Preference");
    EXPECT_EQ(Child<QStackedWidget>(&d, "Notebook1")->count(), 15);
    const char* pages[] = {"General", "AntiIdle", "Proxy", "Socks", "MultipleThread", "ASCIIExtension", "Fonts",
                           "QuickConnect", "Advanced", "DialUP", "Transfer", "RenameExt", "CustomCommand", "Index",
                           "Sounds"};
    for (int i = 0; i < 15; ++i)
        EXPECT_EQ(Child<QStackedWidget>(&d, "Notebook1")->widget(i)->objectName(), pages[i]);
    auto* tree = Child<QTreeWidget>(&d, "TreeView1");
    struct Node { const char* text; int page; };
    std::vector<std::pair<std::string, int>> seen;
    std::function<void(QTreeWidgetItem*)> walk = [&](QTreeWidgetItem* n) {
        EXPECT_TRUE(n->childCount() == 0 || n->isExpanded()) << n->text(0).toStdString();
        seen.emplace_back(n->text(0).toStdString(), n->data(0, Qt::UserRole).toInt());
        for (int i = 0; i < n->childCount(); ++i) walk(n->child(i));
    };
    walk(tree->topLevelItem(0));
    EXPECT_EQ(seen, (std::vector<std::pair<std::string, int>>{
                        {"+", 0}, {"Connect", 0}, {"Anti Idle", 1}, {"Dial-UP", 9}, {"Proxy", 2}, {"Socks", 3},
                        {"Index", 13}, {"Transfer", 10}, {"Multiple Thread", 4}, {"ASCII Extension", 5},
                        {"Rename Ext", 11}, {"Display", 8}, {"Fonts", 6}, {"Quick Launch", 7}, {"Sounds", 14}}));
    tree->setCurrentItem(tree->topLevelItem(0)->child(1)->child(2)); // Rename Ext
    EXPECT_EQ(Child<QStackedWidget>(&d, "Notebook1")->currentIndex(), TfmPreference::pgRenameExt);
    EXPECT_EQ(Child<QPushButton>(&d, "Button1")->text(), "OK");
    EXPECT_EQ(Child<QPushButton>(&d, "Button2")->text(), "Cancel");
    EXPECT_EQ(Child<QPushButton>(&d, "Apply")->text(), "Apply");
    EXPECT_EQ(Child<QRadioButton>(&d, "rbFtpProxyUserHost")->isChecked(), true);
    EXPECT_EQ(Child<QRadioButton>(&d, "rbFtpSocks4")->isChecked(), true);
}

TEST_F(PreferenceTest, EverySettingReachesTheFileAndComesBack)
{
    TClientSettings s;
    const std::string file = dir / "setting.ini";
    {
        TfmPreference d(s);
        for (const auto& c : kControls) Set(&d, c);
        // Lists of the pages that OK rebuilds.
        Child<QPushButton>(&d, "Button6")->click();
        QTest::keyClicks(Child<QLineEdit>(&d, "edLocal"), ".htm");
        QTest::keyClicks(Child<QLineEdit>(&d, "edHost"), "html");
        Child<QPushButton>(&d, "Button6")->click(); // an empty pair is not kept
        dialogs->ReplyText("index.txt");
        Child<QPushButton>(&d, "Button8")->click();
        auto* sounds = Child<QTreeWidget>(&d, "lvSounds");
        sounds->setCurrentItem(sounds->topLevelItem(3));
        dialogs->ReplyText("/snd/done.wav");
        emit sounds->itemDoubleClicked(sounds->topLevelItem(3), 0);
        Child<QPushButton>(&d, "Button1")->click();
        EXPECT_EQ(d.result(), QDialog::Accepted);
        EXPECT_EQ(dialogs->Calls.back().caption, "Sound for Transfer Complete");
    }
    ASSERT_TRUE(s.SaveToFile(file));
    TClientSettings back;
    back.LoadFromFile(file, dir.path());
    EXPECT_EQ(IniText(back, dir / "a.ini"), IniText(s, dir / "b.ini"));

    // The fields mean what their controls say.
    EXPECT_EQ(back.ProxySetting.Type, 6);
    EXPECT_EQ(back.SocksSetting.Type, 4);
    EXPECT_EQ(back.FtpCliNum, 150);
    EXPECT_EQ(back.ConnectionRetryTimes, 150);
    EXPECT_EQ(back.PromoteMethod, 2);
    EXPECT_EQ(back.FileCase, 2);
    EXPECT_EQ(back.SpeedFormat, 1);
    EXPECT_EQ(back.DoubleClickAction, 2);
    EXPECT_FALSE(back.ConfirmFlags.DeleteBroken);
    EXPECT_EQ(back.RenameExtList, (std::vector<TRenameExt>{{"htm", "html"}}));
    EXPECT_EQ(back.IndexFileList, std::vector<std::string>{"index.txt"});
    EXPECT_EQ(back.SoundFiles[3], "/snd/done.wav");
    EXPECT_EQ(back.MTFileSize, 6000000000LL);

    // A dialog on the settings read back shows every control as it was set
    // (ranges come before values, so 150 is not clamped).
    TfmPreference again(back);
    for (const auto& c : kControls) {
        if (std::string(c.name) != "seSplitDownloadFileSize") {
            EXPECT_TRUE(Shows(&again, c)) << c.name;
        }
    }
}

TEST_F(PreferenceTest, CancelChangesNothingAndApplyHandsOverTheConnectionCount)
{
    TClientSettings s;
    const std::string before = IniText(s, dir / "a.ini");
    {
        TfmPreference d(s);
        int calls = 0;
        d.OnSetConnectionCount = [&](int, int) { ++calls; };
        for (const auto& c : kControls) Set(&d, c);
        Child<QPushButton>(&d, "Button6")->click();
        QTest::keyClicks(Child<QLineEdit>(&d, "edLocal"), "a");
        Child<QPushButton>(&d, "Button2")->click();
        EXPECT_EQ(calls, 0);
    }
    EXPECT_EQ(IniText(s, dir / "b.ini"), before);

    TfmPreference d(s);
    d.show();
    std::vector<std::pair<int, int>> counts;
    d.OnSetConnectionCount = [&](int from, int to) { counts.emplace_back(from, to); };
    int applied = 0;
    d.OnApplied = [&] { ++applied; };
    Child<QSpinBox>(&d, "seThreadNumber")->setValue(5);
    Child<QPushButton>(&d, "Apply")->click();
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(s.FtpCliNum, 5);
    Child<QSpinBox>(&d, "seThreadNumber")->setValue(2);
    Child<QPushButton>(&d, "Button1")->click();
    EXPECT_EQ(counts, (std::vector<std::pair<int, int>>{{3, 5}, {5, 2}}));
    EXPECT_EQ(applied, 2);
}

TEST_F(PreferenceTest, ThreadCountRangesFollowTheMainConnectionAndTheMaximum)
{
    TClientSettings s;
    s.FtpCliNum = 1;
    TfmPreference d(s);
    auto* count = Child<QSpinBox>(&d, "seThreadNumber");
    EXPECT_EQ(count->value(), 1);
    EXPECT_EQ(count->maximum(), 7);
    Child<QSpinBox>(&d, "seMaxThreadNum")->setValue(40);
    EXPECT_EQ(count->maximum(), 40);
    Child<QCheckBox>(&d, "cbUseMainThreadTransfer")->click(); // unchecked
    EXPECT_EQ(count->value(), 2);
    EXPECT_EQ(count->minimum(), 2);
    Child<QCheckBox>(&d, "cbUseMainThreadTransfer")->click();
    EXPECT_EQ(count->minimum(), 1);
    auto* idle = Child<QSpinBox>(&d, "spAntiIdleInterval");
    EXPECT_EQ(idle->minimum(), 1);
    EXPECT_EQ(idle->maximum(), TfmPreference::kMaxAntiIdle);
}

TEST_F(PreferenceTest, ExtensionsRefuseEmptyAndDuplicateEntriesAndDropTheDot)
{
    TClientSettings s;
    s.TextExtList = {"txt"};
    TfmPreference d(s);
    struct Case { const char* typed; std::vector<std::string> list; const char* message; };
    const Case cases[] = {
        {".htm", {"txt", "htm"}, nullptr},
        {"", {"txt", "htm"}, "The extension can not be empty!"},
        {" . ", {"txt", "htm"}, "The extension can not be empty!"},
        {".txt", {"txt", "htm"}, "This extension exists!"},
    };
    for (const auto& c : cases) {
        dialogs->Calls.clear();
        dialogs->ReplyText(c.typed);
        Child<QPushButton>(&d, "btAscAdd")->click();
        EXPECT_EQ(s.TextExtList, c.list) << c.typed;
        EXPECT_EQ(Child<QListWidget>(&d, "ListBox1")->count(), int(c.list.size())) << c.typed;
        auto boxes = dialogs->Texts(TDialogCall::kMessageBox);
        EXPECT_EQ(boxes.empty() ? nullptr : boxes[0].c_str(), c.message ? boxes[0].c_str() : nullptr) << c.typed;
        if (c.message) {
            EXPECT_EQ(boxes.at(0), c.message);
        }
    }
    auto* list = Child<QListWidget>(&d, "ListBox1");
    list->item(0)->setSelected(true);
    Child<QPushButton>(&d, "btAscDelete")->click();
    EXPECT_EQ(s.TextExtList, std::vector<std::string>{"htm"});
}

TEST_F(PreferenceTest, DeletingQuickConnectEntriesKeepsHostsAndPasswordsInStep)
{
    TClientSettings s;
    s.QuickConnectList = {"a:21:ua:pa", "b:21:ub:pb", "c:21:uc:pc", "d:21:ud:pd"};
    TfmPreference d(s);
    int changed = 0;
    d.OnQuickConnectChanged = [&] { ++changed; };
    auto* list = Child<QListWidget>(&d, "lbQuickConnect");
    EXPECT_EQ(list->item(0)->text(), "a:21:ua:********");
    list->item(1)->setSelected(true);
    list->item(3)->setSelected(true);
    dialogs->ReplyId(IDYES);
    Child<QPushButton>(&d, "btDeleteQuickConnect")->click();
    EXPECT_EQ(s.QuickConnectList, (std::vector<std::string>{"a:21:ua:pa", "c:21:uc:pc"}));
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(1)->text(), "c:21:uc:********");
    EXPECT_EQ(dialogs->Calls[0].caption, "Clear");
    EXPECT_EQ(dialogs->Calls[0].text, "Are you sure?");
    dialogs->ReplyId(IDNO);
    Child<QPushButton>(&d, "btClearQuickConnect")->click();
    EXPECT_EQ(s.QuickConnectList.size(), 2u);
    dialogs->ReplyId(IDYES);
    Child<QPushButton>(&d, "btClearQuickConnect")->click();
    EXPECT_TRUE(s.QuickConnectList.empty());
    EXPECT_EQ(list->count(), 0);
    EXPECT_EQ(changed, 2);
}

TEST_F(PreferenceTest, OpensWithoutTheRemoteAccessServiceAndListsPhoneBookEntries)
{
    TClientSettings s;
    s.DialUPType = 1;
    TfmPreference d(s);
    d.FormCreate([]() -> std::vector<std::string> { throw std::runtime_error("no remote access service"); });
    EXPECT_EQ(Child<QComboBox>(&d, "cbDialUP")->count(), 0);
    EXPECT_FALSE(Child<QRadioButton>(&d, "ConnectUseMOdem")->isEnabled());
    // The stored choice shows, and stays unless the user picks the LAN.
    EXPECT_TRUE(Child<QRadioButton>(&d, "ConnectUseMOdem")->isChecked());
    EXPECT_FALSE(Child<QRadioButton>(&d, "ConnectUseLan")->isChecked());

    s.DialUPIndex = 1;
    d.FormCreate([] { return std::vector<std::string>{"Office", "Home"}; });
    EXPECT_TRUE(Child<QRadioButton>(&d, "ConnectUseMOdem")->isChecked());
    EXPECT_EQ(Child<QComboBox>(&d, "cbDialUP")->currentText(), "Home");
}

TEST_F(PreferenceTest, RenamePairEditsGoToTheirRowAndFileButtonsFillTheEdits)
{
    TClientSettings s;
    s.RenameExtList = {{"htm", "html"}, {"jpg", "jpeg"}};
    TfmPreference d(s);
    auto* rows = Child<QTreeWidget>(&d, "edRenameExt");
    auto* local = Child<QLineEdit>(&d, "edLocal");
    EXPECT_FALSE(local->isEnabled());
    rows->setCurrentItem(rows->topLevelItem(1));
    QTest::keyClicks(local, "x");
    rows->setCurrentItem(rows->topLevelItem(0));
    EXPECT_EQ(rows->topLevelItem(1)->text(0), "jpgx");
    EXPECT_EQ(local->text(), "htm");
    Child<QPushButton>(&d, "Button7")->click();
    EXPECT_FALSE(local->isEnabled());
    EXPECT_EQ(rows->topLevelItemCount(), 1);

    struct Case { const char* button; const char* edit; const char* chosen; const char* shown; };
    for (Case c : {Case{"Button5", "edLogFileName", "/var/log/ftp", "/var/log/ftp.Log"},
                   Case{"Button5", "edLogFileName", "/var/log/ftp.txt", "/var/log/ftp.txt"},
                   Case{"SpeedButton1", "edDefaultEditView", "/usr/bin/vi", "/usr/bin/vi"}}) {
        dialogs->ReplyText(c.chosen);
        Child<QPushButton>(&d, c.button)->click();
        EXPECT_EQ(Child<QLineEdit>(&d, c.edit)->text(), c.shown);
    }
    Child<QPushButton>(&d, "Button1")->click();
    EXPECT_EQ(s.RenameExtList, (std::vector<TRenameExt>{{"jpgx", "jpeg"}}));
}

TEST_F(PreferenceTest, FontButtonsChangeTheFontAtOnce)
{
    TClientSettings s;
    TfmPreference d(s);
    std::vector<int> changed;
    d.OnFontChanged = [&](int which) { changed.push_back(which); };
    d.ChooseFont = [](TFontSetting& f) {
        f.Name = "DejaVu Sans";
        f.SetSize(12);
        return true;
    };
    Child<QPushButton>(&d, "Button4")->click();
    EXPECT_TRUE(s.RichEditFont);
    EXPECT_EQ(s.RichEditFontInfo.Name, "DejaVu Sans");
    EXPECT_EQ(Child<QLabel>(&d, "LogWindowFontPanel")->font().pointSize(), 12);
    EXPECT_FALSE(s.ProgramFont);
    d.ChooseFont = [](TFontSetting&) { return false; };
    Child<QPushButton>(&d, "Button3")->click();
    EXPECT_FALSE(s.ProgramFont);
    EXPECT_EQ(changed, std::vector<int>{1});
}

} // namespace
