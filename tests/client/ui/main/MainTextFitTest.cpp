// Texts the window shows at their default size are shown whole: the titles
// of its input boxes and the run's bytes and speed in the status bar.
#include <QAction>
#include <QApplication>
#include <QFontMetrics>
#include <QInputDialog>

#include "MainFixture.h"
#include "ModalHelper.h"
#include "platform/dialogs/QtDialogs.h"
#include "widgets/skStatusBar.h"

namespace {

using MainTextFitTest = MainFixture;

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

} // namespace
