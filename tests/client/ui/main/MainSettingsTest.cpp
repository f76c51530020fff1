// Settings changed while the window runs: the preferences dialog as the
// window opens it, the skin items, the View menu's panels, the Directory
// menu's folders and what [ServerIP] keeps at exit.
#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>

#include "MainFixture.h"
#include "ModalHelper.h"
#include "client/engine/ClientSettings.h"
#include "client/ui/preference/Preference.h"
#include "rtl/IniFile.h"

using rtl::TIniFile;

namespace {

using MainSettingsTest = MainFixture;

template <class T>
T* InDialog(QWidget* d, const char* name)
{
    T* w = d->findChild<T*>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
}

// Opens "Preference..." and runs inDialog while it is open; inDialog ends it.
void WithPreferences(TfmMain& win, std::function<void(TfmPreference&)> inDialog)
{
    bool ran = false;
    WhenModal([&](QWidget* d) {
        auto* dialog = dynamic_cast<TfmPreference*>(d);
        ASSERT_NE(dialog, nullptr);
        ran = true;
        inDialog(*dialog);
    });
    QAction* item = win.findChild<QAction*>("miPreference");
    item->setEnabled(true);
    item->trigger();
    EXPECT_TRUE(ran);
}

TEST_F(MainSettingsTest, QuickConnectEntriesDeletedInTheDialogLeaveTheHostBoxAndTheSavedList)
{
    Open([](TClientSettings& s) {
        s.QuickConnectList = {"a.example:21:ann:pa", "b.example:2121:bob:pb", "c.example:2200:cy:pc"};
        s.ServerIPItemIndex = 0;
    });
    WithPreferences(*win, [&](TfmPreference& d) {
        auto* list = InDialog<QListWidget>(&d, "lbQuickConnect");
        ASSERT_EQ(list->count(), 3);
        list->item(1)->setSelected(true);
        dialogs.get()->ReplyId(IDYES);
        InDialog<QPushButton>(&d, "btDeleteQuickConnect")->click();
        InDialog<QPushButton>(&d, "Button1")->click();
    });
    auto* host = Find<QComboBox>("cbHostName");
    ASSERT_EQ(host->count(), 2);
    EXPECT_EQ(host->itemText(1), "c.example:2200:cy:********");
    // Choosing the second entry fills the bar with it.
    host->setCurrentIndex(1);
    emit host->activated(1);
    EXPECT_EQ(host->currentText(), "c.example");
    EXPECT_EQ(Find<QLineEdit>("edPort")->text(), "2200");
    EXPECT_EQ(Find<QLineEdit>("edUser")->text(), "cy");
    EXPECT_EQ(Find<QLineEdit>("edPass")->text(), "pc");
    win.reset();
    TIniFile ini(dir / "setting.ini");
    EXPECT_EQ(ini.ReadInteger("ServerIP", "Count", -9), 2);
    EXPECT_EQ(ini.ReadInteger("ServerIP", "ItemIndex", -9), 1);
    EXPECT_EQ(ini.ReadString("ServerIP", "1", ""), "c.example:2200:cy:pc");
}

TEST_F(MainSettingsTest, FontsChosenInTheDialogApplyAtOnce)
{
    Open();
    WithPreferences(*win, [&](TfmPreference& d) {
        d.ChooseFont = [](TFontSetting& f) {
            f.Name = "DejaVu Serif";
            f.Size = 17;
            return true;
        };
        InDialog<QPushButton>(&d, "Button3")->click(); // the program font
        d.ChooseFont = [](TFontSetting& f) {
            f.Name = "DejaVu Sans Mono";
            f.Size = 13;
            return true;
        };
        InDialog<QPushButton>(&d, "Button4")->click(); // the log font
        InDialog<QPushButton>(&d, "Button1")->click();
    });
    EXPECT_EQ(win->font().pointSize(), 17);
    EXPECT_EQ(win->font().family(), "DejaVu Serif");
    for (int i = 0; i < win->LogPageCount(); ++i) EXPECT_EQ(win->LogEdit(i)->font().pointSize(), 13) << i;
}

// The colour a selected row shows in the middle of a column's cell.
QColor CellColour(TFilePaneView* pane, int row, int column)
{
    QTreeView* tree = pane->DetailsView();
    const QRect cell = tree->visualRect(tree->model()->index(row, column));
    return tree->viewport()->grab().toImage().pixelColor(cell.center().x(), cell.top() + 1);
}

TEST_F(MainSettingsTest, ColumnHeadersAndWholeLineSelectionFollowTheSettings)
{
    testsupport::WriteFile(dir / "file.txt", "x");
    Open([](TClientSettings& s) {
        s.HideColumnHeader = true;
        s.SelectEntireLine = true;
    });
    win->resize(900, 600);
    win->show();
    TFilePaneView* local = PaneView(true);
    ASSERT_TRUE(SelectRows(true, {"file.txt"}));
    const int row = PaneRowOf(true, "file.txt");
    EXPECT_TRUE(local->DetailsView()->isHeaderHidden());
    EXPECT_TRUE(PaneView(false)->DetailsView()->isHeaderHidden());
    const QColor highlight = CellColour(local, row, 0);
    EXPECT_NE(highlight, CellColour(local, 0, 0)) << "the selected row shows its highlight";
    EXPECT_EQ(CellColour(local, row, 1), highlight);
    // Apply takes effect while the dialog stays open.
    bool headerDuring = false;
    WithPreferences(*win, [&](TfmPreference& d) {
        InDialog<QCheckBox>(&d, "HideColumnHeader")->setChecked(false);
        InDialog<QCheckBox>(&d, "SelectEntireLine")->setChecked(false);
        InDialog<QPushButton>(&d, "Apply")->click();
        headerDuring = !local->DetailsView()->isHeaderHidden();
        InDialog<QPushButton>(&d, "Button1")->click();
    });
    EXPECT_TRUE(headerDuring);
    EXPECT_FALSE(PaneView(false)->DetailsView()->isHeaderHidden());
    ASSERT_TRUE(SelectRows(true, {"file.txt"}));
    EXPECT_EQ(CellColour(local, row, 0), highlight);
    EXPECT_NE(CellColour(local, row, 1), highlight) << "only the name shows the selection";
}

TEST_F(MainSettingsTest, TheClipboardMonitorStartsEmptyAndStopsWhenTurnedOff)
{
    QApplication::clipboard()->setText("ftp://before.example/pub/");
    Open([](TClientSettings& s) { s.MoniterClipboard = true; });
    dialogs.get()->ReplyId(IDNO);
    ASSERT_TRUE(WaitFor([&] { return !dialogs.get()->Calls.empty(); }, 5000)) << "a URL copied before the start";
    EXPECT_EQ(dialogs.get()->Calls[0].text, "Connect to ftp://before.example/pub/ now ?");
    WithPreferences(*win, [&](TfmPreference& d) {
        InDialog<QCheckBox>(&d, "cbMoniterClipboard")->setChecked(false);
        InDialog<QPushButton>(&d, "Button1")->click();
    });
    EXPECT_FALSE(win->Settings().MoniterClipboard);
    EXPECT_FALSE(Find<QTimer>("tmMoniterClipboard")->isActive());
    QApplication::clipboard()->setText("ftp://after.example/");
    ASSERT_TRUE(Drain()); // the clipboard's change has been delivered, with nothing watching it
    EXPECT_EQ(dialogs.get()->Calls.size(), 1u);
}

TEST_F(MainSettingsTest, SkinItemsWriteTheChoiceAtOnce)
{
    Open();
    auto* skin = Find<QMenu>("miSkin");
    ASSERT_EQ(skin->actions().size(), 3);
    Find<QAction>("Skin21")->trigger();
    {
        TIniFile ini(dir / "setting.ini");
        EXPECT_EQ(ini.ReadInteger("Skin", "UseSkin", -1), 2);
    }
    ASSERT_EQ(dialogs.get()->Calls.size(), 1u);
    EXPECT_EQ(dialogs.get()->Calls[0].text, "Your select will take effect next time!");
    EXPECT_TRUE(Find<QAction>("Skin21")->isChecked());
    EXPECT_FALSE(Find<QAction>("Skin11")->isChecked());
    // The exit's save leaves the choice alone, and the next start shows it.
    win.reset();
    TClientSettings back;
    back.LoadFromFile(dir / "setting.ini", Program());
    EXPECT_EQ(back.UseSkin, 2);
    win = std::make_unique<TfmMain>(Program());
    EXPECT_TRUE(Find<QAction>("Skin21")->isChecked());
    Find<QAction>("NOSkin1")->trigger();
    TIniFile ini(dir / "setting.ini");
    EXPECT_EQ(ini.ReadInteger("Skin", "UseSkin", -1), 0);
}

TEST_F(MainSettingsTest, ViewItemsShowAndHideTheirOwnPanels)
{
    Open();
    win->show();
    auto* queue = Find<QTreeWidget>("tvQuene");
    auto* rows = Find<QTreeWidget>("lvStatus");
    auto* logs = Find<QWidget>("pcDisplay");
    ASSERT_TRUE(queue->isVisible() && rows->isVisible() && logs->isVisible());
    Find<QAction>("miShowTransferStateWindow")->trigger();
    EXPECT_FALSE(queue->isVisible());
    EXPECT_TRUE(rows->isVisible());
    EXPECT_FALSE(Find<QAction>("miShowTransferStateWindow")->isChecked());
    Find<QAction>("miShowStatusWindow")->trigger();
    EXPECT_FALSE(rows->isVisible());
    EXPECT_TRUE(logs->isVisible());
    EXPECT_FALSE(Find<QAction>("miShowStatusWindow")->isChecked());
    win.reset();
    TClientSettings back;
    back.LoadFromFile(dir / "setting.ini", Program());
    EXPECT_FALSE(back.ShowTransferStateWindow);
    EXPECT_FALSE(back.ShowStatusWindow);
    win = std::make_unique<TfmMain>(Program());
    win->show();
    EXPECT_FALSE(Find<QTreeWidget>("tvQuene")->isVisible());
    EXPECT_FALSE(Find<QTreeWidget>("lvStatus")->isVisible());
}

TEST_F(MainSettingsTest, TheFirstNineFoldersOfTheDirectoryMenuHaveCtrlDigits)
{
    std::vector<std::string> folders;
    for (int i = 0; i < 11; ++i) {
        folders.push_back(dir / ("d" + std::to_string(i)) + "/");
        std::filesystem::create_directory(folders.back());
    }
    Open([&](TClientSettings& s) { s.LocalDirList = folders; });
    auto* menu = Find<QMenu>("mnDirectory");
    const auto actions = menu->actions();
    const int first = int(actions.indexOf(Find<QAction>("miEditLocalDirectory"))) + 2;
    ASSERT_EQ(actions.size() - first, 11);
    for (int i = 0; i < 11; ++i) {
        QAction* a = actions[first + i];
        EXPECT_EQ(a->text().toStdString(), folders[std::size_t(i)]);
        EXPECT_EQ(a->shortcut(), i < 9 ? QKeySequence(QString("Ctrl+%1").arg(i + 1)) : QKeySequence()) << i;
    }
    actions[first + 2]->trigger();
    EXPECT_EQ(win->LocalPath, folders[2]);
    // The fixed items stay when the list is rebuilt.
    Find<QAction>("miAddLocalDirectory")->trigger();
    EXPECT_TRUE(menu->actions().contains(Find<QAction>("miEditLocalDirectory")));
    EXPECT_EQ(menu->actions().size() - first, 12);
}

} // namespace
