// The status bar and its panels on the real widgets (offscreen).
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTest>
#include <QVBoxLayout>
#include <map>
#include <pwd.h>
#include <unistd.h>

#include "widgets/skErrors.h"
#include "widgets/skKeyState.h"
#include "widgets/skStatusBar.h"

namespace {

// A window with the bar at its bottom, shown so the bar has its window.
struct Form {
    QWidget window;
    TskStatusBar* bar;
    explicit Form(int width = 600)
    {
        auto* layout = new QVBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addStretch();
        bar = new TskStatusBar(&window);
        layout->addWidget(bar);
        window.resize(width, 100);
        window.show();
        QApplication::processEvents();
    }
    TskStatusPanel* Add(const std::string& width, TskStatusPanelStyle style = psTextOnly)
    {
        TskStatusPanel* p = bar->Panels().Add();
        p->SetWidth(width);
        p->SetStyle(style);
        return p;
    }
    void Width(int width)
    {
        window.resize(width, 100);
        QApplication::processEvents();
    }
};

TEST(StatusBarLayout, PixelWidthsGiveTheRightEdgesAndTheLastPartReachesTheEnd)
{
    Form f(792);
    for (const char* w : {"100", "300", "120", "120", "120", "50"})
        f.Add(w);
    EXPECT_EQ(f.bar->PartEdges(), (std::vector<int>{100, 400, 520, 640, 760, -1}));
}

TEST(StatusBarLayout, PercentagesShareWhatTheFixedPanelsLeaveAndFollowResizes)
{
    Form f(600);
    TskStatusPanel* fixed = f.Add("100");
    TskStatusPanel* half = f.Add("50%");
    TskStatusPanel* quarter = f.Add("25%");
    EXPECT_EQ(fixed->PixelWidth(), 100);
    EXPECT_EQ(half->PixelWidth(), 250);
    EXPECT_EQ(quarter->PixelWidth(), 125);
    EXPECT_EQ(f.bar->PartEdges(), (std::vector<int>{100, 350, -1}));
    f.Width(900);
    EXPECT_EQ(half->PixelWidth(), 400);
    EXPECT_EQ(quarter->PixelWidth(), 200);
    EXPECT_EQ(f.bar->PartEdges(), (std::vector<int>{100, 500, -1}));
    f.bar->SetSizeGrip(false);
    EXPECT_EQ(f.bar->PartRect(2).Right, 900 - 3) << "the last part reaches the right edge";
    f.bar->SetSizeGrip(true);
    EXPECT_LT(f.bar->PartRect(2).Right, 900 - 3 - 10) << "or the size grip";
}

TEST(StatusBarLayout, OverlongAndNegativeWidthsNeverRunTheEdgesBackwards)
{
    Form f(300);
    TskStatusPanel* a = f.Add("200");
    TskStatusPanel* b = f.Add("200");
    TskStatusPanel* c = f.Add("-5");
    f.Add("100%");
    EXPECT_EQ(a->PixelWidth(), 200);
    EXPECT_EQ(b->PixelWidth(), 100) << "only the space left";
    EXPECT_EQ(c->PixelWidth(), 0);
    const std::vector<int>& edges = f.bar->PartEdges();
    for (std::size_t i = 1; i + 1 < edges.size(); ++i)
        EXPECT_GE(edges[i], edges[i - 1]);
}

TEST(StatusBarLayout, APercentagePanelWithNoRoomLeftKeepsMinusOne)
{
    struct Case {
        std::vector<std::string> widths;
        int percentPanel, pixels;
        std::vector<int> edges;
    };
    const Case cases[] = {
        {{"200", "200", "10%"}, 2, -1, {200, 300, -1}},
        {{"200", "100", "10%"}, 2, -1, {200, 300, -1}},
        {{"100", "100", "10%"}, 2, 10, {100, 200, -1}},
        {{"10%", "200", "200"}, 0, -1, {0, 200, -1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.widths[0] + " " + c.widths[1] + " " + c.widths[2]);
        Form f(300);
        for (const std::string& w : c.widths)
            f.Add(w);
        EXPECT_EQ(f.bar->Panels().GetPanel(c.percentPanel)->PixelWidth(), c.pixels);
        EXPECT_EQ(f.bar->PartEdges(), c.edges);
    }

    // Room again: the share comes back.
    Form f(300);
    f.Add("200");
    f.Add("200");
    TskStatusPanel* share = f.Add("10%");
    f.Width(600);
    EXPECT_EQ(share->PixelWidth(), 20);
    f.Width(300);
    EXPECT_EQ(share->PixelWidth(), -1);
}

TEST(StatusBarLayout, NoPanelsIsOneEmptyPart)
{
    Form f;
    EXPECT_EQ(f.bar->PartEdges(), std::vector<int>{-1});
    f.bar->repaint();
}

TEST(StatusPanel, WidthTakesPixelsOrAPercentageFrom0To100)
{
    Form f;
    TskStatusPanel* p = f.Add("50");
    for (const char* good : {"120", "0", "-5", "25%", "0%", "100%", " 30 "}) {
        EXPECT_NO_THROW(p->SetWidth(good)) << good;
        EXPECT_EQ(p->Width(), good);
    }
    for (const char* bad : {"", "abc", "%", "12x", "-1", "150%", "-5%", "99999999999%", "1e3%", "99999999999"}) {
        try {
            p->SetWidth(bad);
            ADD_FAILURE() << "accepted " << bad;
        } catch (const EInvalidOperation& e) {
            EXPECT_STREQ(e.what(),
                         "Width must be a valid, positive integer, or must be an integer followed by a \"%\" sign.");
        }
        EXPECT_EQ(p->Width(), " 30 ") << "unchanged after " << bad;
    }
}

TEST(StatusPanel, NamesAreUniqueWithinTheBar)
{
    Form f;
    TskStatusPanel* a = f.Add("10");
    TskStatusPanel* b = f.Add("10");
    TskStatusPanel* c = f.Add("10");
    EXPECT_EQ(a->Name(), "Panel0");
    EXPECT_EQ(c->Name(), "Panel2");
    f.bar->Panels().Delete(b->Index());
    EXPECT_EQ(f.Add("10")->Name(), "Panel1");
    try {
        a->SetName("Panel2");
        ADD_FAILURE();
    } catch (const EInvalidOperation& e) {
        EXPECT_STREQ(e.what(), "A panel named Panel2 already exists.");
    }
    EXPECT_EQ(a->Name(), "Panel0");
    EXPECT_EQ(f.bar->Panels().FindPanel("Panel2"), c);
    EXPECT_EQ(f.bar->Panels().FindPanel("panel2"), nullptr);
}

// Records what each panel draws, through OnDrawText.
struct Drawn {
    std::map<TskStatusPanel*, std::pair<std::string, bool>> last;
    std::map<TskStatusPanel*, int> paints;
    void Watch(TskStatusBar* bar)
    {
        for (int i = 0; i < bar->Panels().Count(); ++i)
            bar->Panels().GetPanel(i)->OnDrawText = [this](TskStatusPanel* p, std::string& text, bool& enabled) {
                last[p] = {text, enabled};
            };
        bar->OnDrawPanel = [this](TskCustomStatusBar*, TskStatusPanel* p, const TRect&) { ++paints[p]; };
    }
};

TEST(StatusPanel, EveryStyleDrawsItsText)
{
    Form f(1400);
    QDateTime now(QDate(2024, 3, 5), QTime(14, 7, 9));
    f.bar->Now = [&] { return now; };
    TskStatusPanel* text = f.Add("80");
    text->SetText("Ready");
    TskStatusPanel* over = f.Add("80", psOverWrite);
    TskStatusPanel* caps = f.Add("50", psCapsLock);
    TskStatusPanel* num = f.Add("50", psNumLock);
    TskStatusPanel* scroll = f.Add("50", psScrollLock);
    TskStatusPanel* dateTime = f.Add("150", psDateTime);
    TskStatusPanel* date = f.Add("90", psDate);
    TskStatusPanel* time = f.Add("70", psTime);
    TskStatusPanel* glyph = f.Add("90", psGlyph);
    glyph->SetText("Glyph");
    TskStatusPanel* caret = f.Add("110");
    auto* edit = new QPlainTextEdit("first\nsecond line", &f.window);
    caret->SetComponent(edit);
    TskStatusPanel* hint = f.Add("100", psHint);
    TskStatusPanel* user = f.Add("100", psUserName);
    TskStatusPanel* host = f.Add("150", psComputerName);
    TskStatusPanel* control = f.Add("120");
    control->SetText("Host:");
    auto* line = new QLineEdit(&f.window);
    control->SetComponent(line);
    QList<QPixmap> images;
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::red);
    images << pixmap;
    f.bar->SetImages(&images);

    EXPECT_EQ(caret->Style(), psRichEditStatus);
    EXPECT_EQ(control->Style(), psControl);
    QTextCursor cursor = edit->textCursor();
    cursor.setPosition(9); // "sec|ond" on the second line
    edit->setTextCursor(cursor);
    f.bar->TimerTick(400);
    TskCustomStatusBar::SetApplicationHint("Connects to the site");
    f.bar->TimerTick(300);

    Drawn drawn;
    drawn.Watch(f.bar);
    f.bar->repaint();
    QLocale locale;
    std::string shortDate = locale.toString(now.date(), QLocale::ShortFormat).toStdString();
    std::string shortTime = locale.toString(now.time(), QLocale::ShortFormat).toStdString();
    struct passwd* pw = getpwuid(geteuid());
    char hostName[256] = {};
    gethostname(hostName, sizeof hostName - 1);
    // Offscreen there are no lock states: the lock panels show them off.
    std::vector<std::tuple<TskStatusPanel*, std::string, bool>> expected = {
        {text, "Ready", true},
        {over, "Overwrite", KeyToggled(VK_INSERT)},
        {caps, "Caps", false},
        {num, "Num", false},
        {scroll, "Scroll", false},
        {dateTime, shortDate + " " + shortTime, true},
        {date, shortDate, true},
        {time, shortTime, true},
        {glyph, "Glyph", true},
        {caret, "Ln: 2, Col: 4", true},
        {hint, "Connects to the site", true},
        {user, pw->pw_name, true},
        {host, hostName, true},
        {control, "Host:", true},
    };
    for (auto& [panel, words, enabled] : expected) {
        ASSERT_TRUE(drawn.last.count(panel)) << panel->Name();
        EXPECT_EQ(drawn.last[panel].first, words) << panel->Name();
        EXPECT_EQ(drawn.last[panel].second, enabled) << panel->Name();
    }
    EXPECT_EQ(time->Text(), shortTime);
    EXPECT_EQ(hint->Text(), "Connects to the site");
    // The hosted control sits in its panel, right of the text.
    TRect r = control->PanelRect();
    EXPECT_EQ(line->parentWidget(), f.bar);
    EXPECT_GE(line->geometry().left(), control->TextOptions().DrawRect.Right);
    EXPECT_LE(line->geometry().right(), r.Right);
    // The glyph is drawn at the panel's left.
    QImage shot = f.bar->grab().toImage();
    TRect g = glyph->PanelRect();
    EXPECT_EQ(shot.pixel(g.Left + 4, g.Top + g.Height() / 2) & 0xFFFFFF, 0xFF0000u);
}

TEST(StatusPanel, KeyStatePanelsFollowTheToggleAndTheKeyboardHook)
{
    Form f;
    TskStatusPanel* over = f.Add("100", psOverWrite);
    TskStatusPanel* caps = f.Add("100", psCapsLock);
    f.bar->OnDrawKeyboardState = [&](TskCustomStatusBar*, TskStatusPanel* p, bool on, const TRect&, std::string& text) {
        if (p == caps)
            text = on ? "CAPS" : "caps";
    };
    Drawn drawn;
    drawn.Watch(f.bar);
    f.bar->repaint();
    bool before = KeyToggled(VK_INSERT);
    EXPECT_EQ(drawn.last[over], std::make_pair(std::string("Overwrite"), before));
    EXPECT_EQ(drawn.last[caps].first, "caps");
    EXPECT_EQ(caps->Text(), "") << "a key panel keeps no text";

    // Double-clicking the panel toggles Insert and redraws the panel.
    TRect r = over->PanelRect();
    QTest::mouseDClick(f.bar, Qt::LeftButton, {}, QPoint(r.Left + 5, r.Top + 5));
    QApplication::processEvents();
    EXPECT_EQ(KeyToggled(VK_INSERT), !before);
    EXPECT_EQ(drawn.last[over].second, !before);

    // Pressing Insert anywhere in the program toggles it and redraws every bar's panel.
    Form other;
    TskStatusPanel* over2 = other.Add("100", psOverWrite);
    Drawn drawn2;
    drawn2.Watch(other.bar);
    auto* edit = new QLineEdit(&f.window);
    edit->show();
    QTest::keyClick(edit, Qt::Key_Insert);
    QApplication::processEvents();
    EXPECT_EQ(KeyToggled(VK_INSERT), before);
    EXPECT_EQ(drawn.last[over].second, before);
    EXPECT_EQ(drawn2.last[over2].second, before);
}

TEST(StatusPanel, TimePanelsRedrawEverySecondAndDatePanelsOnlyOnANewDay)
{
    Form f;
    QDateTime now(QDate(2024, 3, 5), QTime(23, 59, 58));
    f.bar->Now = [&] { return now; };
    TskStatusPanel* time = f.Add("100", psTime);
    TskStatusPanel* date = f.Add("100", psDate);
    Drawn drawn;
    drawn.Watch(f.bar);
    f.bar->repaint();
    auto tick = [&](int seconds) {
        drawn.paints.clear();
        now = now.addSecs(seconds);
        f.bar->TimerTick(200);
        QApplication::processEvents();
    };
    tick(1);
    EXPECT_EQ(drawn.paints[time], 1);
    EXPECT_EQ(drawn.paints[date], 0);
    tick(0);
    EXPECT_EQ(drawn.paints[time], 0) << "same time: nothing to redraw";
    tick(1);
    EXPECT_EQ(drawn.paints[time], 1);
    EXPECT_EQ(drawn.paints[date], 1) << "a new day";
}

TEST(StatusBar, TimersRunWhileShownAndStopWithTheWidget)
{
    auto* f = new Form;
    TskStatusPanel* date = f->Add("100", psDate);
    TskStatusPanel* hint = f->Add("100", psHint);
    f->Add("100", psRichEditStatus);
    EXPECT_TRUE(f->bar->TimerActive(200));
    EXPECT_TRUE(f->bar->TimerActive(300));
    EXPECT_TRUE(f->bar->TimerActive(400));
    f->Add("100", psTime);
    date->SetStyle(psTextOnly);
    EXPECT_TRUE(f->bar->TimerActive(200)) << "the time panel still needs it";
    hint->SetStyle(psTextOnly);
    EXPECT_FALSE(f->bar->TimerActive(300));
    f->window.hide();
    EXPECT_FALSE(f->bar->TimerActive(200));
    EXPECT_FALSE(f->bar->TimerActive(400));
    f->window.show();
    QApplication::processEvents();
    EXPECT_TRUE(f->bar->TimerActive(200));
    QList<QPointer<QTimer>> timers;
    for (QTimer* t : f->bar->findChildren<QTimer*>())
        timers << t;
    EXPECT_GE(timers.size(), 3);
    delete f;
    for (const QPointer<QTimer>& t : timers)
        EXPECT_TRUE(t.isNull());
}

TEST(StatusBar, AHostedControlBelongsToOnePanelOfAllBars)
{
    Form f1, f2;
    TskStatusPanel* a = f1.Add("100");
    TskStatusPanel* b = f2.Add("100");
    auto* edit = new QLineEdit(&f1.window);
    a->SetComponent(edit);
    EXPECT_EQ(a->Style(), psControl);
    b->SetComponent(edit);
    EXPECT_EQ(a->Component(), nullptr);
    EXPECT_EQ(a->Style(), psTextOnly);
    EXPECT_EQ(b->Component(), edit);
    f2.bar->repaint();
    EXPECT_EQ(edit->parentWidget(), f2.bar);
    try {
        b->SetComponent(f2.bar);
        ADD_FAILURE();
    } catch (const EInvalidOperation& e) {
        EXPECT_STREQ(e.what(), "Control cannot equal parent StatusBar");
    }
    delete edit;
    EXPECT_EQ(b->Component(), nullptr);
    EXPECT_EQ(b->Style(), psTextOnly);
    f2.bar->repaint();

    // The control belongs to the form: it outlives the bar that hosted it.
    QPointer<QLineEdit> kept = new QLineEdit(&f2.window);
    b->SetComponent(kept);
    f2.bar->repaint();
    ASSERT_EQ(kept->parentWidget(), f2.bar);
    delete f2.bar;
    ASSERT_FALSE(kept.isNull());
    EXPECT_EQ(kept->parentWidget(), &f2.window);
}

TEST(StatusBar, SetTextFiresOnlyOnChangeAndClicksReachThePanelUnderTheCursor)
{
    Form f;
    TskStatusPanel* a = f.Add("100");
    TskStatusPanel* b = f.Add("100");
    std::vector<std::string> changes;
    a->OnTextChanged = [&](TskStatusPanel*, const std::string& t) { changes.push_back(t); };
    a->SetText("one");
    a->SetText("one");
    EXPECT_EQ(changes, std::vector<std::string>{"one"});
    int clicksA = 0, clicksB = 0, barClicks = 0;
    a->OnClick = [&](TskStatusPanel*) { ++clicksA; };
    b->OnClick = [&](TskStatusPanel*) { ++clicksB; };
    f.bar->OnClick = [&](TskCustomStatusBar*) { ++barClicks; };
    QTest::mouseClick(f.bar, Qt::LeftButton, {}, QPoint(b->PanelRect().Left + 3, 8));
    EXPECT_EQ(clicksA, 0);
    EXPECT_EQ(clicksB, 1);
    EXPECT_EQ(barClicks, 1);
    EXPECT_EQ(f.bar->PanelAtPoint(50, 8), a);
    EXPECT_EQ(f.bar->PanelAtPoint(5000, 8), nullptr);
}

TEST(StatusBar, PanelsAddedBehindTheBarsBackAreNotDrawnUntilThePartsAreRebuilt)
{
    Form f;
    f.Add("100");
    Drawn drawn;
    drawn.Watch(f.bar);
    f.bar->Panels().BeginUpdate();
    TskStatusPanel* late = f.bar->Panels().Add();
    f.bar->repaint();
    EXPECT_EQ(drawn.paints.size(), 0u) << "parts and panels disagree: no panel drawn";
    f.bar->Panels().EndUpdate();
    late->SetText("late");
    f.bar->repaint();
    EXPECT_EQ(drawn.paints[late], 1);
    EXPECT_EQ(f.bar->PartEdges().size(), 2u);
}

TEST(StatusBar, SizeGripOnlyOnAResizableWindow)
{
    Form f;
    EXPECT_TRUE(f.bar->SizeGrip());
    f.bar->SetSizeGrip(false);
    EXPECT_FALSE(f.bar->SizeGrip());
    QDialog dialog;
    dialog.setFixedSize(300, 100);
    TskStatusBar bar(&dialog);
    EXPECT_FALSE(bar.SizeGrip());
    TskStatusBar alone;
    EXPECT_FALSE(alone.SizeGrip());
}

} // namespace
