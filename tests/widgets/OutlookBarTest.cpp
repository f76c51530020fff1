// The outlook bar: page layout by placement, sliding on clicks, jumps in code.
#include <gtest/gtest.h>

#include <QTest>

#include "widgets/skOutlookBar.h"

namespace {

struct BarForm {
    QWidget form;
    TskOutlookBar* bar;
    explicit BarForm(int pages = 3, int placement = 0)
    {
        form.resize(120, 100);
        bar = new TskOutlookBar(&form);
        bar->setObjectName("Bar");
        bar->setGeometry(0, 0, 120, 100);
        bar->SetPanelPlacement(placement);
        for (int i = 0; i < pages; ++i)
            bar->Pages().Add()->Button()->SetCaption("Page " + std::to_string(i + 1));
        form.show();
    }
    TskCustomBitBtn* Button(int i) { return bar->Pages().Items(i)->Button(); }
    QWidget* Panel(int i) { return bar->Pages().Items(i)->Panel(); }
    std::vector<int> Tops()
    {
        std::vector<int> t;
        for (int i = 0; i < bar->Pages().Count(); ++i)
            t.push_back(Button(i)->y());
        return t;
    }
};

TEST(OutlookBar, PlacementsPutTheOpenPanelAfterItsButtonFirstOrLast)
{
    struct Case {
        int placement;
        std::vector<int> tops;
        int panelTop, panelBottom;
    };
    for (const Case& c : {Case{0, {0, 20, 80}, 40, 80}, Case{1, {40, 60, 80}, 0, 40}, Case{2, {0, 20, 40}, 60, 100}}) {
        SCOPED_TRACE(c.placement);
        BarForm f(3, c.placement);
        EXPECT_TRUE(f.Button(0)->Down()) << "the first page opens by itself";
        f.bar->Pages().Items(1)->SetSelected(true);
        EXPECT_FALSE(f.bar->Animating()) << "a change in code jumps";
        EXPECT_EQ(f.bar->LastStepCount(), 1);
        EXPECT_EQ(f.Tops(), c.tops);
        EXPECT_TRUE(f.Panel(1)->isVisible());
        EXPECT_FALSE(f.Panel(0)->isVisible());
        EXPECT_EQ(f.Panel(1)->geometry(), QRect(0, c.panelTop, 120, c.panelBottom - c.panelTop));
        ASSERT_TRUE(f.bar->Pages().Items(1)->OutlookList());
        EXPECT_EQ(f.bar->Pages().Items(1)->OutlookList()->size(), f.Panel(1)->size());
    }
}

TEST(OutlookBar, AClickSlidesThePagesAndButtonsIgnoreClicksMeanwhile)
{
    BarForm f;
    f.bar->Animation().Interval = 10;
    QTest::mouseClick(f.Button(2), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(f.bar->Animating());
    EXPECT_TRUE(f.Button(1)->SuppressClicks);
    QTest::mouseClick(f.Button(1), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !f.bar->Animating(); }, 5000));
    EXPECT_EQ(f.bar->LastStepCount(), 7);
    EXPECT_TRUE(f.Button(2)->Down());
    EXPECT_FALSE(f.Button(1)->Down()) << "the click during the slide was ignored";
    EXPECT_EQ(f.Tops(), (std::vector<int>{0, 20, 40}));
    EXPECT_EQ(f.Panel(2)->geometry(), QRect(0, 60, 120, 40));
    EXPECT_FALSE(f.Panel(0)->isVisible());
    EXPECT_FALSE(f.Button(1)->SuppressClicks);
}

TEST(OutlookBar, ButtonsThatNeedMoreRoomLeaveThePanelNone)
{
    BarForm f(3);
    f.bar->SetButtonSize(50);
    EXPECT_EQ(f.Panel(0)->height(), 0);
    EXPECT_EQ(f.Tops(), (std::vector<int>{0, 50, 100}));
}

TEST(OutlookBar, WithoutPageLayoutTheOpenPanelFillsTheBar)
{
    BarForm f(2);
    f.bar->SetLayoutPages(false);
    EXPECT_EQ(f.Panel(0)->geometry(), QRect(0, 0, 120, 100));
    f.bar->Pages().Items(1)->SetSelected(true);
    EXPECT_EQ(f.Panel(1)->geometry(), QRect(0, 0, 120, 100));
    EXPECT_FALSE(f.Panel(0)->isVisible());
}

} // namespace

namespace {

TEST(OutlookBar, TheBackgroundPictureShowsThroughATransparentList)
{
    BarForm f(2);
    auto* imager = new TskImager;
    QImage green(8, 8, QImage::Format_RGB32);
    green.fill(qRgb(0, 200, 0));
    imager->SetPicture(green);
    f.bar->SetBackground(imager);
    f.bar->SetBackground(imager);
    EXPECT_EQ(imager->parentWidget(), f.bar);
    EXPECT_FALSE(imager->isVisible());
    TskCustomOutlookList* list = f.bar->Pages().Items(0)->OutlookList();
    QPoint inList = list->mapTo(f.bar, QPoint(list->width() / 2, list->height() / 2));
    EXPECT_NE(f.bar->grab().toImage().pixel(inList), qRgb(0, 200, 0)) << "an opaque list hides it";
    list->SetTransparent(true);
    EXPECT_EQ(f.bar->grab().toImage().pixel(inList), qRgb(0, 200, 0));
    // A changed picture repaints the bar.
    green.fill(qRgb(0, 0, 200));
    imager->SetPicture(green);
    EXPECT_EQ(f.bar->grab().toImage().pixel(inList), qRgb(0, 0, 200));
    delete imager;
    EXPECT_EQ(f.bar->Background(), nullptr);
}

} // namespace
