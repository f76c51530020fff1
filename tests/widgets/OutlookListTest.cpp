// The outlook list: click styles, hot tracking and the scroll arrows.
#include <gtest/gtest.h>

#include <QAction>
#include <QTest>

#include "DrawingHelpers.h"
#include "widgets/skErrors.h"
#include "widgets/skOutlookList.h"

namespace {

struct ListForm {
    QWidget form;
    TskOutlookList* list;
    QList<QPixmap> images;
    explicit ListForm(int items, int height = 200)
    {
        QPixmap icon(32, 32);
        icon.fill(Qt::darkGreen);
        images << icon;
        list = new TskOutlookList(&form);
        list->setGeometry(0, 0, 100, height);
        list->SetImages(&images);
        for (int i = 0; i < items; ++i) {
            TskOutlookListItem* item = list->Items().Add();
            item->SetText("Item " + std::to_string(i));
            item->SetImageIndex(0);
        }
        form.resize(100, height);
        form.show();
        QApplication::setActiveWindow(&form);
    }
    QPoint Centre(int i) { return list->Items().Items(i)->ItemRect.center(); }
    // The item whose hot flag is set; nullptr when none is.
    TskOutlookListItem* Hot()
    {
        for (int i = 0; i < list->Items().Count(); ++i)
            if (list->Items().Items(i)->Hot)
                return list->Items().Items(i);
        return nullptr;
    }
};

TEST(OutlookList, PropertyRules)
{
    TskOutlookList list;
    list.SetItemSpacing(7);
    EXPECT_EQ(list.ItemSpacing(), 8);
    EXPECT_EQ(list.TopItem(), nullptr) << "an empty list has no top item";
    EXPECT_FALSE(list.CanScroll(true));
    EXPECT_FALSE(list.CanScroll(false));
    list.ScrollStep(false);
    EXPECT_EQ(list.TopIndex(), 0);
    TskOutlookListItem* item = list.Items().Add();
    item->SetSelected(true);
    EXPECT_FALSE(item->Selected()) << "click style csClick never selects";
    list.SetClickStyle(csSelect);
    EXPECT_TRUE(item->Selected());
    QAction action("From the action");
    TskOutlookListItem* second = list.Items().Add();
    second->SetAction(&action);
    EXPECT_EQ(second->Text(), "From the action");
    QWidget child;
    EXPECT_THROW(list.InsertControl(&child), EInvalidOperation);
}

TEST(OutlookList, ClicksReportInOrderAndSelectOnlyWithTheSelectStyle)
{
    ListForm f(3);
    QAction action;
    std::vector<std::string> events;
    f.list->OnItemClick = [&](TskCustomOutlookList*, TskOutlookListItem* i) { events.push_back("click " + i->Text()); };
    f.list->OnItemChange = [&](TskCustomOutlookList*, TskOutlookListItem* i) { events.push_back("change " + i->Text()); };
    f.list->Items().Items(1)->OnClick = [&](TskCustomOutlookList*, TskOutlookListItem*) { events.push_back("item"); };
    f.list->Items().Items(1)->SetAction(&action);
    QObject::connect(&action, &QAction::triggered, [&] { events.push_back("action"); });

    QTest::mouseClick(f.list, Qt::LeftButton, {}, f.Centre(1));
    EXPECT_EQ(events, (std::vector<std::string>{"click Item 1", "item", "action"}));
    EXPECT_FALSE(f.list->Items().Items(1)->Selected());

    events.clear();
    f.list->SetClickStyle(csSelect);
    QTest::mouseClick(f.list, Qt::LeftButton, {}, f.Centre(1));
    QTest::mouseClick(f.list, Qt::LeftButton, {}, f.Centre(1));
    EXPECT_EQ(events, (std::vector<std::string>{"change Item 1", "click Item 1", "item", "action", "click Item 1",
                                                "item", "action"}));
    QTest::mouseClick(f.list, Qt::LeftButton, {}, f.Centre(0));
    EXPECT_TRUE(f.list->Items().Items(0)->Selected());
    EXPECT_FALSE(f.list->Items().Items(1)->Selected());

    // Pressed on one item and let go on another: no click.
    events.clear();
    QTest::mousePress(f.list, Qt::LeftButton, {}, f.Centre(0));
    QTest::mouseRelease(f.list, Qt::LeftButton, {}, f.Centre(2));
    EXPECT_TRUE(events.empty());
}

TEST(OutlookList, TheItemUnderTheMouseIsHot)
{
    ListForm f(3);
    f.list->SetItemHotTrackColor(clYellow);
    QTest::mouseMove(f.list, f.Centre(1));
    EXPECT_EQ(f.Hot(), f.list->Items().Items(1));
    QImage shot = f.list->grab().toImage();
    EXPECT_EQ(shot.pixel(5, f.Centre(1).y()), qRgb(255, 255, 0));
    QTest::mouseMove(f.list, f.Centre(2));
    EXPECT_EQ(f.Hot(), f.list->Items().Items(2));
    EXPECT_FALSE(f.list->Items().Items(1)->Hot);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(f.list, &leave);
    EXPECT_EQ(f.Hot(), nullptr);
}

TEST(OutlookList, HoldingTheDownArrowScrollsUntilTheLastItemShows)
{
    ListForm f(8, 150);
    f.list->SetScrollInterval(20);
    ASSERT_TRUE(f.list->ScrollButtonShown(false));
    EXPECT_FALSE(f.list->ScrollButtonShown(true));
    QPoint arrow = f.list->ScrollButtonRect(false).center();
    QTest::mouseMove(f.list, arrow);
    QTest::mousePress(f.list, Qt::LeftButton, {}, arrow);
    EXPECT_EQ(f.list->TopIndex(), 1) << "one step at once";
    EXPECT_TRUE(QTest::qWaitFor([&] { return !f.list->CanScroll(false); }, 5000));
    QTest::mouseRelease(f.list, Qt::LeftButton, {}, arrow);
    EXPECT_EQ(f.list->LastFullyShownIndex(), 7);
    EXPECT_FALSE(f.list->ScrollButtonShown(false));
    EXPECT_TRUE(f.list->ScrollButtonShown(true));
    int top = f.list->TopIndex();
    QTest::mouseClick(f.list, Qt::LeftButton, {}, f.list->ScrollButtonRect(true).center());
    EXPECT_EQ(f.list->TopIndex(), top - 2) << "a step on press and one on release";
}

TEST(OutlookList, FramesTakeTheListsTwoColoursAndClNoneLeavesThemOut)
{
    ListForm f(3);
    f.list->SetHotTrackStyle(hsItemHilite);
    f.list->SetItemHighlightColor(clRed);
    f.list->SetItemShadowColor(clBlue);
    const QRect r = f.list->Items().Items(1)->ItemRect;
    auto edges = [&] {
        QImage shot = f.list->grab().toImage();
        return std::pair{shot.pixel(r.left() + 5, r.top()), shot.pixel(r.left() + 5, r.bottom())};
    };
    const QRgb red = qRgb(255, 0, 0), blue = qRgb(0, 0, 255), list = ToQColor(clBtnShadow).rgb();
    QTest::mouseMove(f.list, f.Centre(1));
    ASSERT_EQ(f.Hot(), f.list->Items().Items(1));
    EXPECT_EQ(edges(), (std::pair{red, blue})) << "raised while hot";
    f.list->SetClickStyle(csSelect);
    f.list->SetItemSelectedDitherColor(clNone);
    f.list->Items().Items(1)->SetSelected(true);
    EXPECT_EQ(edges(), (std::pair{blue, red})) << "sunken while selected";
    f.list->SetItemHighlightColor(clNone);
    EXPECT_EQ(edges(), (std::pair{blue, list}));
    f.list->SetItemShadowColor(clNone);
    EXPECT_EQ(edges(), (std::pair{list, list}));
}

TEST(OutlookList, ItemsWidthIsTheWidthOfEveryItem)
{
    ListForm f(4);
    f.list->SetItemsWidth(60);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(f.list->Items().Items(i)->ItemRect, QRect(2, f.list->Items().Items(i)->ItemRect.top(), 60,
                                                            f.list->Items().Items(i)->ItemRect.height()))
            << i;
    f.list->SetLayout(loHorizontal);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(f.list->Items().Items(i)->ItemRect.left(), 2 + 60 * i) << i;
        EXPECT_EQ(f.list->Items().Items(i)->ItemRect.width(), 60) << i;
    }
    f.list->SetItemsWidth(0);
    EXPECT_LT(f.list->Items().Items(0)->ItemRect.width(), 60) << "0: as wide as the caption needs";
}

TEST(OutlookList, CaptionsBreakAtBlanksAndEndInAnEllipsisWhereTheyDoNotFit)
{
    ListForm f(2);
    f.list->setFont(ExactFont(12));
    f.list->Items().Items(0)->SetText("Remote site files and folders");
    const int lh = QFontMetrics(f.list->Font().Font()).height();
    const TskOutlookListItem* wide = f.list->Items().Items(0);
    const TskOutlookListItem* single = f.list->Items().Items(1);
    EXPECT_GE(wide->TextRect.height(), 2 * lh);
    EXPECT_EQ(single->TextRect.height(), lh);
    EXPECT_EQ(wide->ItemRect.height() - single->ItemRect.height(), wide->TextRect.height() - lh);
    QImage shot = f.list->grab().toImage();
    QRect ink = InkBox(shot.copy(wide->ItemRect), qRgb(255, 255, 255));
    EXPECT_GT(ink.height(), lh) << "drawn on more than one line";
    EXPECT_LE(ink.width(), wide->TextRect.width());

    // Across a horizontal list the height decides: the lines that fit, the
    // last of them cut short with an ellipsis.
    f.list->SetLayout(loHorizontal);
    f.list->SetItemsWidth(80);
    f.list->resize(200, 70);
    f.list->Items().Items(0)->SetText("Remote site files and folders on the far server");
    EXPECT_LE(wide->TextRect.bottom(), wide->ItemRect.bottom());
    EXPECT_GE(wide->TextRect.height(), lh);
    shot = f.list->grab().toImage();
    ink = InkBox(shot.copy(wide->ItemRect), qRgb(255, 255, 255));
    EXPECT_LE(ink.bottom() + wide->ItemRect.top(), wide->TextRect.bottom());
}

} // namespace
