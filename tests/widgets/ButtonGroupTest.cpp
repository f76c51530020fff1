// The button group: grid layout, exclusive selection and the arrow keys.
#include <gtest/gtest.h>

#include <QTest>

#include "widgets/skButtonGroup.h"
#include "widgets/skClasses.h"
#include "widgets/skControls.h"
#include "widgets/skImgBtn.h"

namespace {

std::vector<QRect> Cells(TskCustomButtonGroup& g)
{
    std::vector<QRect> r;
    for (int i = 0; i < g.ButtonItems().Count(); ++i)
        r.push_back(g.ButtonItems().Items(i)->Button()->geometry());
    return r;
}

TEST(ButtonGroup, VerticalCellsShareTheSpareHeightFromTheFirstRow)
{
    TskButtonGroup g;
    EXPECT_EQ(g.size(), QSize(75, 100));
    for (int i = 0; i < 3; ++i)
        g.ButtonItems().Add();
    EXPECT_EQ(Cells(g), (std::vector<QRect>{{0, 0, 75, 33}, {0, 34, 75, 33}, {0, 68, 75, 32}}));
    EXPECT_STREQ(g.ButtonItems().Items(0)->Button()->metaObject()->className(), "TskShapeBtn");
}

TEST(ButtonGroup, TwoColumnsHoldTheExtraButtonInTheFirst)
{
    TskButtonGroup g;
    g.resize(101, 92);
    g.SetLineCount(2);
    for (int i = 0; i < 5; ++i)
        g.ButtonItems().Add();
    std::vector<QRect> c = Cells(g);
    for (int i : {0, 1, 2})
        EXPECT_EQ(c[std::size_t(i)].left(), 0) << i;
    for (int i : {3, 4})
        EXPECT_EQ(c[std::size_t(i)].left(), 51) << i;
    EXPECT_EQ(c[3].top(), 0);
    EXPECT_EQ(c[4].top(), c[1].top());
}

TEST(ButtonGroup, HorizontalRowsAndACapThatLeavesTheRestEmpty)
{
    TskButtonGroup g;
    g.resize(200, 30);
    g.SetLayout(loHorizontal);
    for (int i = 0; i < 3; ++i)
        g.ButtonItems().Add();
    std::vector<QRect> c = Cells(g);
    EXPECT_EQ(c[0], QRect(0, 0, 66, 30));
    EXPECT_EQ(c[1].left(), 67);
    EXPECT_EQ(c[2].left(), 134);
    g.SetMaxButtonSize(20);
    c = Cells(g);
    EXPECT_EQ(c[0], QRect(0, 0, 20, 30));
    EXPECT_EQ(c[1], QRect(21, 0, 20, 30));
    EXPECT_EQ(c[2], QRect(42, 0, 20, 30));
}

TEST(ButtonGroup, PressingASecondButtonMovesTheSelectionAndTheBoldCaption)
{
    QWidget form;
    auto* g = new TskButtonGroup(&form);
    g->ButtonItems().Add()->Button()->SetCaption("One");
    g->ButtonItems().Add()->Button()->SetCaption("Two");
    std::vector<std::string> events;
    auto name = [](TskButtonGroupItem* i) { return i ? i->Button()->Caption() : std::string("-"); };
    g->OnSelectionChanging = [&](TskCustomButtonGroup*, TskButtonGroupItem* o, TskButtonGroupItem* n) {
        events.push_back("changing " + name(o) + ">" + name(n));
    };
    g->OnSelectionChange = [&](TskCustomButtonGroup*, TskButtonGroupItem* o, TskButtonGroupItem* n) {
        events.push_back("change " + name(o) + ">" + name(n));
    };
    form.show();
    TskCustomBitBtn* one = g->ButtonItems().Items(0)->Button();
    TskCustomBitBtn* two = g->ButtonItems().Items(1)->Button();
    QTest::mouseClick(one, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseClick(two, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_FALSE(one->Down());
    EXPECT_TRUE(two->Down());
    EXPECT_EQ(g->Selected(), g->ButtonItems().Items(1));
    EXPECT_TRUE(two->Font().Font().bold());
    EXPECT_FALSE(one->Font().Font().bold());
    EXPECT_EQ(events, (std::vector<std::string>{"changing ->One", "change ->One", "changing One>Two",
                                                "change One>Two"}));
}

TEST(ButtonGroup, TheSelectedCaptionStaysBoldWhenTheParentsFontChanges)
{
    QWidget form;
    auto* g = new TskButtonGroup(&form);
    for (const char* caption : {"One", "Two", "Three"})
        g->ButtonItems().Add()->Button()->SetCaption(caption);
    g->ButtonItems().Items(2)->SetSelected(true);
    form.show();
    for (int size : {17, 9}) {
        QFont f = form.font();
        f.setPixelSize(size);
        form.setFont(f);
        for (int i = 0; i < 3; ++i) {
            SCOPED_TRACE(std::to_string(size) + " px, button " + std::to_string(i));
            const QFont& caption = g->ButtonItems().Items(i)->Button()->Font().Font();
            EXPECT_EQ(caption.pixelSize(), size);
            EXPECT_EQ(caption.bold(), i == 2);
        }
    }
}

TEST(ButtonGroup, IndependentTogglesInSelectionModeZero)
{
    TskButtonGroup g;
    g.SetSelectionMode(0);
    TskCustomBitBtn* a = g.ButtonItems().Add()->Button();
    TskCustomBitBtn* b = g.ButtonItems().Add()->Button();
    EXPECT_NE(a->GroupIndex(), b->GroupIndex());
    a->SetDown(true);
    b->SetDown(true);
    EXPECT_TRUE(a->Down());
    EXPECT_TRUE(b->AllowAllUp());
}

TEST(ButtonGroup, ArrowHomeAndEndMoveTheSelectionAndWrap)
{
    QWidget form;
    auto* g = new TskButtonGroup(&form);
    form.show();
    // No button: the keys are ignored.
    QTest::keyClick(g, Qt::Key_Down);
    QTest::keyClick(g, Qt::Key_End);
    for (int i = 0; i < 3; ++i)
        g->ButtonItems().Add();
    auto selected = [&] { return g->Selected() ? g->Selected()->Index() : -1; };
    QTest::keyClick(g, Qt::Key_Home);
    EXPECT_EQ(selected(), 0);
    QTest::keyClick(g, Qt::Key_Left);
    EXPECT_EQ(selected(), 2);
    QTest::keyClick(g, Qt::Key_Down);
    EXPECT_EQ(selected(), 0);
    QTest::keyClick(g, Qt::Key_End);
    EXPECT_EQ(selected(), 2);
    QTest::keyClick(g, Qt::Key_Up);
    EXPECT_EQ(selected(), 1);
    for (int i = 0; i < 3; ++i)
        g->ButtonItems().Items(i)->Button()->hide();
    QTest::keyClick(g, Qt::Key_Right);
    EXPECT_EQ(selected(), 1);
}

TEST(ButtonGroup, ClearingTheItemsWhileOneOfTheirButtonsHasTheFocus)
{
    QWidget form;
    auto* g = new TskButtonGroup(&form);
    auto* ok = new TskImageBtn(&form);
    ok->move(0, 110);
    ok->SetDefault(true);
    for (int i = 0; i < 3; ++i)
        g->ButtonItems().Add()->Button()->SetOptions(boFocusable);
    form.show();
    QApplication::setActiveWindow(&form);
    TskCustomBitBtn* focused = g->ButtonItems().Items(1)->Button();
    focused->setFocus();
    QApplication::processEvents();
    ASSERT_TRUE(focused->hasFocus());
    ASSERT_FALSE(ok->ActiveDefault());

    g->ButtonItems().Clear();
    EXPECT_EQ(g->ButtonItems().Count(), 0);
    EXPECT_TRUE(g->findChildren<TskCustomBitBtn*>().isEmpty());
    EXPECT_TRUE(ok->ActiveDefault()) << "Enter is the default button's again";
}

TEST(ButtonGroup, ButtonClassesAreFoundByNameAndAFreedButtonTakesItsItem)
{
    skRegisterControls();
    std::vector<std::string> names = RegisteredClasses();
    for (const char* n : {"TskImageBtn", "TskOutlookList", "TskOutlookPanel", "TskShapeBtn"})
        EXPECT_NE(std::find(names.begin(), names.end(), n), names.end()) << n;
    TskButtonGroup g;
    g.ButtonItems().Add();
    g.SetButtonClassName("TskImageBtn");
    EXPECT_EQ(g.ButtonItems().Count(), 0);
    TskCustomBitBtn* b = g.ButtonItems().Add()->Button();
    EXPECT_TRUE(qobject_cast<TskImageBtn*>(b));
    EXPECT_THROW(g.SetButtonClassName("TNoSuchButton"), std::exception);
    delete b;
    EXPECT_EQ(g.ButtonItems().Count(), 0);

    // The selected button goes: the next selection starts from none.
    g.ButtonItems().Add()->SetSelected(true);
    TskButtonGroupItem* next = g.ButtonItems().Add();
    delete g.ButtonItems().Items(0)->Button();
    TskButtonGroupItem* before = next;
    g.OnSelectionChange = [&](TskCustomButtonGroup*, TskButtonGroupItem* o, TskButtonGroupItem*) { before = o; };
    next->SetSelected(true);
    EXPECT_EQ(before, nullptr);
}

} // namespace
