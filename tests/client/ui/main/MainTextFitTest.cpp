// Texts the window shows are shown whole, at its default size and with a
// large program font: the titles of its input and message boxes, the port
// box, the status bar's panels beside the gauge, and the status rows.
#include <QAction>
#include <QApplication>
#include <QFontMetrics>
#include <QHeaderView>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QStyleOptionFrame>
#include <QTreeWidget>

#include "MainFixture.h"
#include "ModalHelper.h"
#include "client/engine/FtpManager.h"
#include "platform/dialogs/QtDialogs.h"
#include "widgets/skStatusBar.h"

namespace {

using MainTextFitTest = MainFixture;

// The width a title needs in a frame whose buttons sit beside it.
int TitleNeeds(const QString& title)
{
    return QFontMetrics(QApplication::font("QMdiSubWindowTitleBar")).horizontalAdvance(title) + 100;
}

// The room a line edit gives its text, as it lays its text out.
int EditTextRoom(QLineEdit* edit)
{
    QStyleOptionFrame opt;
    opt.initFrom(edit);
    opt.rect = edit->rect();
    opt.lineWidth = edit->hasFrame() ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &opt, edit) : 0;
    const QRect r = edit->style()->subElementRect(QStyle::SE_LineEditContents, &opt, edit).marginsRemoved(edit->textMargins());
    return r.width() - 2 * 2; // the edit's own margin each side
}

// The room a status panel gives its text: the panel draws it 2 pixels in.
int PanelTextRoom(TskStatusBar* bar, int panel) { return bar->PartRect(panel).Width() - 2 * 2; }

int PanelTextNeeds(TskStatusBar* bar, int panel)
{
    const QFontMetrics m(bar->Panels().GetPanel(panel)->Font().Font());
    return m.horizontalAdvance(QString::fromStdString(bar->Panels().GetPanel(panel)->Text()));
}

// The default program font, and a large one as the preferences set it.
const std::vector<std::pair<const char*, std::function<void(TClientSettings&)>>>& Fonts()
{
    static const std::vector<std::pair<const char*, std::function<void(TClientSettings&)>>> fonts = {
        {"default font", [](TClientSettings&) {}},
        {"14 pt", [](TClientSettings& s) {
             s.ProgramFont = true;
             s.ProgramFontInfo.Name = QApplication::font().family().toStdString();
             s.ProgramFontInfo.Size = 14;
         }}};
    return fonts;
}

TEST_F(MainTextFitTest, InputBoxTitlesFitTheirFrame)
{
    Open();
    win->show();
    auto previous = SetDialogs(std::make_unique<TQtDialogs>());
    struct Case {
        const char* title;
        std::function<void()> open;
    };
    for (const Case& c : {Case{"Change Directory", [&] { win->ChangeDirectoryClick(true); }},
                          Case{"Make Directory", [&] { win->MakeDirectoryClick(true); }},
                          Case{"Group Select", [&] { win->GroupSelectClick(true); }}}) {
        QString title;
        int width = 0, needed = 0;
        WhenModal([&](QWidget* d) {
            title = d->windowTitle();
            width = d->width();
            needed = QFontMetrics(QApplication::font("QMdiSubWindowTitleBar")).horizontalAdvance(title) + 100;
            // As shown, once laid out.
            EXPECT_TRUE(QTest::qWaitFor([&] { return d->width() >= needed; }, 1000)) << "not laid out to fit in 1 s";
            width = d->width();
            static_cast<QDialog*>(d)->reject();
        });
        c.open();
        EXPECT_EQ(title, c.title);
        EXPECT_GE(width, needed) << c.title;
    }
    SetDialogs(std::move(previous));
}

TEST_F(MainTextFitTest, TheRunsBytesAndSpeedFitTheirPanel)
{
    Open();
    win->show();
    auto* bar = win->StatusBar();
    const QFontMetrics m(bar->font());
    for (const std::string text : {"4,000 bytes/6,000 bytes(2,000 bytes/s)",
                                   "1,234,567,890 bytes/9,876,543,210 bytes(12,345,678 bytes/s)"}) {
        win->SetStatusText(1, text);
        EXPECT_EQ(win->StatusText(1), text);
        EXPECT_GE(bar->Panels().GetPanel(1)->PixelWidth(), m.horizontalAdvance(QString::fromStdString(text)) + 8) << text;
    }
}

TEST_F(MainTextFitTest, RunProgramAsksWithItsTitle)
{
    Open();
    dialogs.get()->ReplyCancel();
    Find<QAction>("miRunProgram")->trigger();
    ASSERT_EQ(dialogs.get()->Calls.size(), 1u);
    EXPECT_EQ(dialogs.get()->Calls[0].caption, "Run program");
}

TEST_F(MainTextFitTest, MessageBoxTitlesFitTheirFrame)
{
    TOldQuene list;
    list.DateTime = "2026-01-02 03:04";
    list.Host = {"ftp.example.org", "21", "user", "pass"};
    list.Items = {{true, "/pub/a.bin", dir / "a.bin", 1000, 200, 1000, false}};
    AppendBrokenList(Program() + "oldquene.ini", list);
    Open();
    win->resize(800, 600);
    win->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(win.get()));
    auto previous = SetDialogs(std::make_unique<TQtDialogs>());
    struct Case {
        QString title;
        const char* action;
    };
    // The skin choice answers with the program's name as its title.
    for (const Case& c : {Case{"Resume Broken List", "miResumeBroken"}, Case{"Delete Broken List", "miDeleteBroken"},
                          Case{QString::fromStdString(TfmMain::Title()), "Skin11"}}) {
        win->SelectBrokenList(0);
        QAction* action = Find<QAction>(c.action);
        ASSERT_TRUE(WaitFor([&] {
            win->UpdateEnabling();
            return action->isEnabled();
        }, 3000)) << c.action;
        QString title;
        int width = 0;
        WhenModal([&](QWidget* d) {
            title = d->windowTitle();
            // As shown, once laid out.
            static_cast<void>(QTest::qWaitFor([&] { return d->width() >= TitleNeeds(title); }, 1000));
            width = d->width();
            auto* box = qobject_cast<QMessageBox*>(d);
            if (box && box->button(QMessageBox::No)) box->button(QMessageBox::No)->click();
            else static_cast<QDialog*>(d)->reject();
        });
        action->trigger();
        EXPECT_EQ(title, c.title);
        EXPECT_GE(width, TitleNeeds(c.title)) << c.title.toStdString();
    }
    EXPECT_EQ(win->BrokenLists().size(), 1u) << "No keeps the list";
    SetDialogs(std::move(previous));
}

TEST_F(MainTextFitTest, ThePortBoxShowsAFiveDigitPort)
{
    for (const auto& [name, font] : Fonts()) {
        Open(font);
        win->resize(800, 600);
        win->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(win.get()));
        auto* port = Find<QLineEdit>("edPort");
        port->setText("34353");
        Pump(50);
        EXPECT_GT(EditTextRoom(port), port->fontMetrics().horizontalAdvance("34353")) << name;
        win.reset();
    }
}

TEST_F(MainTextFitTest, StatusPanelsFitTheirTextsAndLeaveTheGaugeItsRoom)
{
    // A run of a 2 GB file as the bar shows it.
    const std::string bytes = "1,610,612,736 bytes/2,147,483,648 bytes(60,000,000 bytes/s)";
    for (const auto& [name, font] : Fonts()) {
        const bool large = std::string(name) != "default font";
        Open(font);
        win->resize(800, 600);
        win->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(win.get()));
        TskStatusBar* bar = win->StatusBar();
        // As high as its font, and inside the window.
        EXPECT_GE(bar->PartRect(0).Height(), QFontMetrics(bar->Panels().GetPanel(0)->Font().Font()).height())
            << name << ": bar " << bar->height();
        EXPECT_LE(bar->geometry().bottom(), bar->parentWidget()->rect().bottom()) << name;
        for (const int state : {0, 1, 2, 3, 4, 5}) {
            win->SetSessionState(state);
            EXPECT_GE(PanelTextRoom(bar, 0), PanelTextNeeds(bar, 0)) << name << ": " << win->StatusText(0);
        }
        win->SetStatusText(1, bytes);
        win->SetStatusText(3, "Elapsed: 00:00:27");
        win->SetStatusText(4, "Remain: 00:00:09");
        win->SetGaugeVisible(true);
        auto* gauge = Find<QProgressBar>("Gauge1");
        // Room for its percentage twice over.
        const int gaugeNeeds = 2 * gauge->fontMetrics().horizontalAdvance("100%");
        // Placed in its panel as the bar paints it.
        const auto placed = [&] {
            bar->update();
            return gauge->isVisible() && bar->PartRect(5).ToQRect().adjusted(-1, -1, 1, 1).contains(gauge->geometry());
        };
        EXPECT_TRUE(WaitFor(placed, 3000)) << name;
        EXPECT_GE(gauge->width(), gaugeNeeds) << name << ": gauge " << gauge->width() << " of " << gaugeNeeds;
        EXPECT_LE(gauge->geometry().right(), bar->width()) << name;
        for (const int panel : {3, 4}) EXPECT_GE(PanelTextRoom(bar, panel), PanelTextNeeds(bar, panel)) << name << " " << panel;
        // At the default font the whole run's text shows too.
        if (!large) {
            EXPECT_GE(PanelTextRoom(bar, 1), PanelTextNeeds(bar, 1)) << name;
        }
        win->SetSessionState(0);
        win.reset();
    }
}

TEST_F(MainTextFitTest, StatusRowsShowTheirStatesWhole)
{
    for (const auto& [name, font] : Fonts()) {
        Open(font);
        win->resize(800, 600);
        win->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(win.get()));
        auto* rows = Find<QTreeWidget>("lvStatus");
        auto* view = static_cast<QAbstractItemView*>(rows);
        for (const int state : {1, 2, 3, 4, 0}) {
            win->SetSessionState(state);
            const QString text = rows->topLevelItem(0)->text(1);
            EXPECT_GE(rows->columnWidth(1), view->sizeHintForColumn(1)) << name << ": " << text.toStdString();
        }
        EXPECT_GE(rows->columnWidth(0), view->sizeHintForColumn(0)) << name;
        win.reset();
    }
}

} // namespace
