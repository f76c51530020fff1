// Every size, spacing, margin, offset, indent and count a caller can set in
// the drawing library, at the ends of the int range: the control lays itself
// out and paints (the form grabbed to a picture) without an overflow. The
// sanitizer build is where a wrapped sum shows; values in range keep their
// layout (the other tests).
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <climits>
#include <functional>
#include <random>
#include <set>
#include <vector>

#include "DrawingHelpers.h"
#include "widgets/skBitmap.h"
#include "widgets/skButtonGroup.h"
#include "widgets/skClearPanel.h"
#include "widgets/skImager.h"
#include "widgets/skImgBtn.h"
#include "widgets/skLabel.h"
#include "widgets/skOutlookBar.h"
#include "widgets/skOutlookList.h"
#include "widgets/skShapeBtn.h"
#include "widgets/skStatusBar.h"
#include "widgets/skText.h"

namespace {

const int kExtremes[] = {INT_MIN, INT_MIN + 1, -1, 0, 1, INT_MAX - 1, INT_MAX};

// A small form to put one control on, and a list of glyphs for it.
struct Stage {
    QWidget form;
    QList<QPixmap> images;
    Stage()
    {
        form.resize(240, 180);
        QPixmap icon(16, 16);
        icon.fill(Qt::darkGreen);
        images << icon;
    }
    // Shows the form (so controls lay themselves out) and paints all of it.
    QImage Paint()
    {
        if (!form.isVisible())
            form.show();
        QCoreApplication::sendPostedEvents();
        return form.grab().toImage();
    }
};

// A two-cell glyph with a transparent corner, as the standard kinds have.
QImage Glyph()
{
    QImage g(32, 16, QImage::Format_RGB32);
    g.fill(qRgb(255, 0, 255));
    for (int y = 3; y < 13; ++y)
        for (int x = 3; x < 29; ++x)
            g.setPixel(x, y, qRgb(0, 0, 128));
    return g;
}

TskBitmap& Picture(TskBitmap& b, int w, int h)
{
    b.SetSize(w, h);
    for (int y = 2; y < h - 2; ++y)
        for (int x = 2; x < w - 2; ++x)
            b.SetPixel(x, y, 0x3080C0);
    return b;
}

// An image button with a picture, a glyph and a caption of two lines, so
// that the face, the glyph and the text are all laid out.
TskImageBtn* Button(Stage& s)
{
    auto* b = new TskImageBtn(&s.form);
    b->setGeometry(10, 10, 120, 48);
    TskBitmap picture;
    b->SetImage(&Picture(picture, 120, 48));
    b->SetGlyph(Glyph());
    b->SetNumGlyphs(2);
    b->SetCaption("Go\r\non");
    return b;
}

// Paints the button in every layout, alignment and state.
void PaintEveryWay(Stage& s, TskCustomBitBtn* b)
{
    for (TButtonLayout layout : {blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom})
        for (TAlignment alignment : {taLeftJustify, taRightJustify, taCenter}) {
            b->SetLayout(layout);
            b->TextOptions().SetAlignment(alignment);
            s.Paint();
        }
    if (b->GroupIndex() == 0)
        b->SetGroupIndex(1);
    b->SetDown(true);
    s.Paint();
}

// A label with a caption of two lines, auto-sized as labels start.
TskLabel* Label(Stage& s)
{
    auto* l = new TskLabel(&s.form);
    l->move(20, 20);
    l->SetCaption("Two\r\nlines");
    return l;
}

// Auto-sized and then at a fixed size, so that the caption is drawn even
// when its measure leaves the label nothing.
void PaintEveryStyle(Stage& s, TskLabel* l)
{
    for (bool autoSize : {true, false}) {
        l->SetAutoSize(autoSize);
        if (!autoSize)
            l->setGeometry(20, 20, 150, 100);
        for (TAlignment alignment : {taLeftJustify, taRightJustify, taCenter})
            for (TskTextStyle style : {sklsDefault, sklsLowered, sklsRaised, sklsOutline}) {
                l->TextOptions().SetAlignment(alignment);
                l->TextOptions().SetStyle(style);
                s.Paint();
            }
    }
    l->setEnabled(false);
    s.Paint();
    l->setEnabled(true);
}

TskStatusBar* Bar(Stage& s)
{
    auto* bar = new TskStatusBar(&s.form);
    bar->setGeometry(0, 150, 240, 24);
    bar->SetImages(&s.images);
    for (auto [style, width] : {std::pair{psGlyph, "80"}, {psTextOnly, "60"}, {psControl, "50%"}}) {
        TskStatusPanel* p = bar->Panels().Add();
        p->SetStyle(style);
        p->SetWidth(width);
        p->SetText("Panel text");
        if (style == psControl)
            p->SetComponent(new QWidget(&s.form));
    }
    return bar;
}

void EachPanel(TskStatusBar* bar, const std::function<void(TskStatusPanel*)>& f)
{
    for (int i = 0; i < bar->Panels().Count(); ++i)
        f(bar->Panels().GetPanel(i));
}

TskButtonGroup* Group(Stage& s, int items, TskLayout layout)
{
    auto* g = new TskButtonGroup(&s.form);
    g->setGeometry(10, 10, 150, 120);
    g->SetLayout(layout);
    for (int i = 0; i < items; ++i)
        g->ButtonItems().Add()->Button()->SetCaption("B" + std::to_string(i));
    return g;
}

// A group of five in both layouts, one, two and three lines, laid out,
// measured and painted after the change.
void EveryGroup(Stage& s, const std::function<void(TskButtonGroup*)>& set)
{
    for (TskLayout layout : {loVertical, loHorizontal})
        for (int lines : {1, 2, 3}) {
            auto* g = Group(s, 5, layout);
            g->SetLineCount(lines);
            set(g);
            g->SizeToButtons(nullptr, false);
            g->Rearrange();
            s.Paint();
            delete g;
        }
}

TskOutlookBar* OutlookBar(Stage& s, int placement)
{
    auto* bar = new TskOutlookBar(&s.form);
    bar->setGeometry(10, 10, 120, 150);
    bar->SetPanelPlacement(placement);
    for (int i = 0; i < 3; ++i)
        bar->Pages().Add()->Button()->SetCaption("Page " + std::to_string(i));
    return bar;
}

void EveryOutlookBar(Stage& s, const std::function<void(TskOutlookBar*)>& set)
{
    for (TskLayout layout : {loVertical, loHorizontal})
        for (int placement : {0, 1, 2}) {
            TskOutlookBar* bar = OutlookBar(s, placement);
            bar->SetLayout(layout);
            set(bar);
            s.Paint();
            bar->Pages().Items(2)->SetSelected(true);
            s.Paint();
            delete bar;
        }
}

TskOutlookList* OutlookList(Stage& s, TskLayout layout)
{
    auto* list = new TskOutlookList(&s.form);
    list->setGeometry(10, 10, 150, 160);
    list->SetLayout(layout);
    list->SetImages(&s.images);
    for (int i = 0; i < 6; ++i) {
        TskOutlookListItem* item = list->Items().Add();
        item->SetText("Item number " + std::to_string(i));
        item->SetImageIndex(0);
    }
    return list;
}

// Every layout of list and items, painted, scrolled down and up, with the
// mouse over the top item.
void EveryOutlookList(Stage& s, const std::function<void(TskOutlookList*)>& set)
{
    for (TskLayout layout : {loVertical, loHorizontal})
        for (TButtonLayout itemLayout : {blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom}) {
            TskOutlookList* list = OutlookList(s, layout);
            list->SetItemLayout(itemLayout);
            set(list);
            s.Paint();
            list->ScrollStep(false);
            list->UpdateHotItem(list->Items().Items(list->TopIndex())->ItemRect.center());
            s.Paint();
            list->ScrollStep(true);
            s.Paint();
            delete list;
        }
}

// A picture for the imager: 24 by 16, its top row blue.
QImage ImagerPicture()
{
    QImage p(24, 16, QImage::Format_RGB32);
    p.fill(qRgb(200, 100, 50));
    for (int x = 0; x < 24; ++x)
        p.setPixel(x, 0, qRgb(0, 0, 255));
    return p;
}

void EveryImager(Stage& s, const std::function<void(TskImager*)>& set)
{
    for (TskDrawMode mode : {dmNormal, dmCenter, dmStretch, dmTile, dmProportional}) {
        auto* imager = new TskImager(&s.form);
        imager->setGeometry(10, 10, 60, 40);
        imager->SetDrawMode(mode);
        imager->SetPicture(ImagerPicture());
        set(imager);
        s.Paint();
        delete imager;
    }
}

struct Setter {
    const char* name;
    std::function<void(Stage&, int)> run;
    // Values at the setter's own limits, besides the ends of the range.
    std::vector<int> limits = {};
};

const Setter kSetters[] = {
    // The caption text of labels, panels and buttons.
    {"LineSpacing",
     [](Stage& s, int v) {
         TskLabel* l = Label(s);
         l->TextOptions().SetLineSpacing(v);
         PaintEveryStyle(s, l);
     }},
    {"Rotation",
     [](Stage& s, int v) {
         TskLabel* l = Label(s);
         l->TextOptions().SetRotation(v);
         PaintEveryStyle(s, l);
     },
     {-360, 360, 725}},
    {"ShadowOffsets",
     [](Stage& s, int v) {
         for (bool extruded : {false, true}) {
             TskLabel* l = Label(s);
             l->TextOptions().Shadow().SetEnabled(true);
             l->TextOptions().ExtrudeEffects().SetEnabled(extruded);
             l->TextOptions().Shadow().SetXOffset(v);
             PaintEveryStyle(s, l);
             l->TextOptions().Shadow().SetYOffset(v);
             PaintEveryStyle(s, l);
             l->TextOptions().Shadow().SetXOffset(-(v / 2));
             PaintEveryStyle(s, l);
             delete l;
         }
     }},
    {"ExtrudeDepth",
     [](Stage& s, int v) {
         for (int o = skTopLeft; o <= skBottom; ++o)
             for (bool striated : {false, true}) {
                 TskLabel* l = Label(s);
                 l->TextOptions().ExtrudeEffects().SetEnabled(true);
                 l->TextOptions().ExtrudeEffects().SetOrientation(TskOrientation(o));
                 l->TextOptions().ExtrudeEffects().SetStriated(striated);
                 l->TextOptions().ExtrudeEffects().SetNearColor(clWhite);
                 l->TextOptions().ExtrudeEffects().SetDepth(v);
                 PaintEveryStyle(s, l);
                 delete l;
             }
     }},
    // Status bar panels.
    {"PanelIndent",
     [](Stage& s, int v) {
         TskStatusBar* bar = Bar(s);
         EachPanel(bar, [v](TskStatusPanel* p) { p->SetIndent(v); });
         s.Paint();
     }},
    {"PanelMargin",
     [](Stage& s, int v) {
         TskStatusBar* bar = Bar(s);
         EachPanel(bar, [v](TskStatusPanel* p) { p->SetMargin(v); });
         s.Paint();
         EachPanel(bar, [](TskStatusPanel* p) { p->TextOptions().SetAlignment(taRightJustify); });
         s.Paint();
     }},
    {"PanelImageIndex",
     [](Stage& s, int v) {
         TskStatusBar* bar = Bar(s);
         EachPanel(bar, [v](TskStatusPanel* p) { p->SetImageIndex(v); });
         s.Paint();
     }},
    {"PanelWidth",
     [](Stage& s, int v) {
         TskStatusBar* bar = Bar(s);
         EachPanel(bar, [v](TskStatusPanel* p) {
             if (v != -1)
                 p->SetWidth(std::to_string(v));
         });
         s.Paint();
     }},
    // The button base, and the image and shape buttons.
    {"ButtonSpacing",
     [](Stage& s, int v) {
         TskImageBtn* b = Button(s);
         b->SetSpacing(v);
         PaintEveryWay(s, b);
     }},
    {"ButtonMargin",
     [](Stage& s, int v) {
         TskImageBtn* b = Button(s);
         b->SetMargin(v);
         PaintEveryWay(s, b);
     },
     {-2}},
    {"ButtonNumGlyphs",
     [](Stage& s, int v) {
         TskImageBtn* b = Button(s);
         b->SetNumGlyphs(v);
         PaintEveryWay(s, b);
     },
     {4, 5}},
    {"ButtonGroupIndex",
     [](Stage& s, int v) {
         TskImageBtn* b = Button(s);
         b->SetGroupIndex(v);
         PaintEveryWay(s, b);
     }},
    {"ButtonOffsets",
     [](Stage& s, int v) {
         TskImageBtn* b = Button(s);
         b->Offsets().SetGlyphX(v);
         b->Offsets().SetGlyphY(v);
         b->Offsets().SetTextX(v);
         b->Offsets().SetTextY(v);
         PaintEveryWay(s, b);
         b->Offsets().SetTextX(-(v / 3));
         b->Offsets().SetGlyphY(-(v / 3));
         PaintEveryWay(s, b);
     }},
    {"ButtonDownOffsets",
     [](Stage& s, int v) {
         TskImageBtn* b = Button(s);
         b->Offsets().TextDownX = v;
         b->Offsets().TextDownY = v;
         b->Offsets().SetTextX(v);
         b->ImgOffsets().ImageDownX = v;
         b->ImgOffsets().ImageDownY = v;
         for (TskShadeStyle style : {fbsNormal, fbsRaised, fbsHighlight, fbsFlat}) {
             b->SetShadeStyle(style);
             PaintEveryWay(s, b);
         }
     }},
    {"ShapeRoundRectBias",
     [](Stage& s, int v) {
         auto* b = new TskShapeBtn(&s.form);
         b->setGeometry(10, 10, 90, 40);
         b->SetCaption("Round");
         b->SetShape(bsRoundRect);
         b->SetRoundRectBias(v);
         PaintEveryWay(s, b);
     }},
    // The transparent panel and the button group built on it.
    {"PanelBevelAndBorder",
     [](Stage& s, int v) {
         for (bool transparent : {false, true}) {
             auto* p = new TskCustomTransparentPanel(&s.form);
             p->setGeometry(10, 10, 100, 80);
             p->SetTransparent(transparent);
             p->SetBevelInner(bvLowered);
             p->SetCaption("Panel");
             p->SetBevelWidth(v);
             s.Paint();
             p->SetBorderWidth(v);
             s.Paint();
             (void)p->ClientArea();
             delete p;
         }
     }},
    {"GroupSpacing", [](Stage& s, int v) { EveryGroup(s, [v](TskButtonGroup* g) { g->SetSpacing(v); }); }},
    {"GroupLineCount", [](Stage& s, int v) { EveryGroup(s, [v](TskButtonGroup* g) { g->SetLineCount(v); }); }},
    {"GroupMaxButtonSize",
     [](Stage& s, int v) { EveryGroup(s, [v](TskButtonGroup* g) { g->SetMaxButtonSize(v); }); }},
    {"GroupBorderAndBevel",
     [](Stage& s, int v) {
         EveryGroup(s, [v](TskButtonGroup* g) {
             g->SetBorderWidth(v);
             g->SetBevelOuter(bvRaised);
             g->SetBevelWidth(v);
         });
     }},
    {"GroupIndexOfTheNextToggle",
     [](Stage& s, int v) {
         auto* g = Group(s, 1, loVertical);
         g->SetSelectionMode(0);
         g->ButtonItems().Items(0)->SetButtonGroupIndex(v);
         g->ButtonItems().Add();
         s.Paint();
     }},
    // The outlook bar and list.
    {"OutlookBarButtonSize",
     [](Stage& s, int v) { EveryOutlookBar(s, [v](TskOutlookBar* b) { b->SetButtonSize(v); }); }},
    {"OutlookBarPanelPlacement",
     [](Stage& s, int v) { EveryOutlookBar(s, [v](TskOutlookBar* b) { b->SetPanelPlacement(v); }); },
     {2, 3}},
    {"OutlookBarAnimation",
     [](Stage& s, int v) {
         TskOutlookBar* bar = OutlookBar(s, 0);
         bar->Animation().Steps = v;
         bar->Animation().Interval = v;
         s.Paint();
         QTest::mouseClick(bar->Pages().Items(2)->Button(), Qt::LeftButton);
         s.Paint();
     }},
    {"OutlookListItemSpacing",
     [](Stage& s, int v) { EveryOutlookList(s, [v](TskOutlookList* l) { l->SetItemSpacing(v); }); },
     {7}},
    {"OutlookListItemsWidth",
     [](Stage& s, int v) { EveryOutlookList(s, [v](TskOutlookList* l) { l->SetItemsWidth(v); }); }},
    {"OutlookListScrollInterval",
     [](Stage& s, int v) {
         TskOutlookList* list = OutlookList(s, loVertical);
         list->SetScrollInterval(v);
         s.Paint();
         QTest::mousePress(list, Qt::LeftButton, {}, list->ScrollButtonRect(false).center());
         s.Paint();
         QTest::mouseRelease(list, Qt::LeftButton, {}, list->ScrollButtonRect(false).center());
     }},
    {"OutlookItemSeparation",
     [](Stage& s, int v) {
         EveryOutlookList(s, [v](TskOutlookList* l) {
             for (int i = 0; i < l->Items().Count(); ++i)
                 l->Items().Items(i)->SetSeparation(v);
         });
     }},
    {"OutlookItemGlyphOffset",
     [](Stage& s, int v) {
         EveryOutlookList(s, [v](TskOutlookList* l) {
             for (int i = 0; i < l->Items().Count(); ++i)
                 l->Items().Items(i)->SetGlyphOffset(v);
         });
     }},
    {"OutlookItemImageIndex",
     [](Stage& s, int v) {
         EveryOutlookList(s, [v](TskOutlookList* l) {
             for (int i = 0; i < l->Items().Count(); ++i)
                 l->Items().Items(i)->SetImageIndex(v);
         });
     }},
    // The off-screen bitmap and the imager.
    {"BitmapSize",
     [](Stage& s, int v) {
         TskBitmap b;
         for (auto [w, h] : {std::pair{v, 3}, {3, v}, {v, v}}) {
             b.SetSize(w, h);
             b.SetSize(5, 4);
             b.SetWidth(w);
             b.SetSize(5, 4);
             b.SetHeight(h);
             b.SetSize(5, 4);
             b.StretchToSize(w, h);
             QImage canvas(40, 30, QImage::Format_RGB32);
             QPainter p(&canvas);
             b.Draw(p, {0, 0, 40, 30});
             b.StretchDraw(p, {0, 0, 40, 30});
             b.TileDraw(p, {0, 0, 40, 30});
         }
         (void)s;
     }},
    {"ImagerRotation",
     [](Stage& s, int v) {
         EveryImager(s, [v](TskImager* i) {
             i->BitmapOptions().Rotation().SetAngle(v);
             i->BitmapOptions().Rotation().SetCenterX(v);
             i->BitmapOptions().Rotation().SetCenterY(v);
         });
     }},
    {"ImagerWave",
     [](Stage& s, int v) {
         EveryImager(s, [v](TskImager* i) {
             i->BitmapOptions().Wave().SetXDiv(v);
             i->BitmapOptions().Wave().SetYDiv(v);
             i->BitmapOptions().Wave().SetRatio(v);
         });
     }},
    {"ImagerEffectAmounts",
     [](Stage& s, int v) {
         EveryImager(s, [v](TskImager* i) {
             TskBitmapOptions& o = i->BitmapOptions();
             o.SetContrast(v);
             o.SetLightness(v);
             o.SetSaturation(v);
             o.SetSharpen(v);
             o.SetSponge(v);
             o.AlphaBlend().SetAmount(v);
         });
     }},
    {"ImagerGaussianBlur",
     [](Stage& s, int v) { EveryImager(s, [v](TskImager* i) { i->BitmapOptions().SetGaussianBlur(v); }); }},
};

void PrintTo(const Setter& setter, std::ostream* out)
{
    *out << setter.name;
}

class SizeExtremes : public ::testing::TestWithParam<Setter> {};

TEST_P(SizeExtremes, LaysOutAndPaintsAtTheEndsOfTheRange)
{
    std::vector<int> values(std::begin(kExtremes), std::end(kExtremes));
    values.insert(values.end(), GetParam().limits.begin(), GetParam().limits.end());
    for (int v : values) {
        SCOPED_TRACE(v);
        Stage s;
        GetParam().run(s, v);
        EXPECT_FALSE(s.Paint().isNull());
    }
}

INSTANTIATE_TEST_SUITE_P(Setters, SizeExtremes, ::testing::ValuesIn(kSetters),
                         [](const ::testing::TestParamInfo<Setter>& info) { return std::string(info.param.name); });

TEST(SizeExtremes, SpacingOrLinesBeyondTheGroupLeaveItsButtonsNoRoom)
{
    struct Case {
        const char* name;
        TskLayout layout;
        int spacing, lines;
        bool across; // the buttons' width, else their height, is what is left
        QSize sizeToButtons;
    } cases[] = {
        {"spacing down", loVertical, INT_MAX, 1, false, {75, QWIDGETSIZE_MAX}},
        {"spacing across", loHorizontal, INT_MAX, 1, true, {QWIDGETSIZE_MAX, 100}},
        {"columns", loVertical, 1, INT_MAX, true, {QWIDGETSIZE_MAX, 100}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TskButtonGroup g;
        g.SetLayout(c.layout);
        g.SetSpacing(c.spacing);
        g.SetLineCount(c.lines);
        for (int i = 0; i < 3; ++i)
            g.ButtonItems().Add();
        for (int i = 0; i < 3; ++i) {
            QSize size = g.ButtonItems().Items(i)->Button()->size();
            EXPECT_EQ(c.across ? size.width() : size.height(), 0) << i;
        }
        EXPECT_EQ(g.SizeToButtons(nullptr, false), c.sizeToButtons) << "at most the largest widget";
    }
}

TEST(SizeExtremes, ANewToggleAfterTheLastGroupIndexTakesAFreeOne)
{
    TskButtonGroup g;
    g.SetSelectionMode(0);
    g.ButtonItems().Add()->SetButtonGroupIndex(INT_MAX);
    g.ButtonItems().Add();
    g.ButtonItems().Add();
    std::set<int> indexes;
    for (int i = 0; i < 3; ++i) {
        int index = g.ButtonItems().Items(i)->ButtonGroupIndex();
        EXPECT_GT(index, 0) << i;
        indexes.insert(index);
    }
    EXPECT_EQ(indexes.size(), 3u) << "each button a toggle of its own";
}

TEST(SizeExtremes, OutlookItemSpacingStaysEvenAndItemsFollowEachOther)
{
    Stage s;
    TskOutlookList* list = OutlookList(s, loVertical);
    list->SetItemSpacing(INT_MAX);
    EXPECT_EQ(list->ItemSpacing(), INT_MAX - 1);
    list->SetItemSpacing(INT_MIN + 1);
    EXPECT_EQ(list->ItemSpacing(), INT_MIN + 2);
    list->SetItemSpacing(INT_MAX);
    const QRect& first = list->Items().Items(0)->ItemRect;
    const QRect& second = list->Items().Items(1)->ItemRect;
    EXPECT_GT(first.height(), 0);
    EXPECT_GT(second.top(), first.top());
    EXPECT_TRUE(list->CanScroll(false));
}

TEST(SizeExtremes, APictureLargerThanTheLimitStaysEmpty)
{
    // The first fits in memory, so the code before the limit fails here and
    // stops short of the sizes that would exhaust it.
    for (auto [w, h] : {std::pair{10000, 10000}, {1, INT_MAX}, {INT_MAX, 1}, {INT_MAX, INT_MAX}, {46341, 46341}}) {
        TskBitmap b;
        b.SetSize(w, h);
        ASSERT_TRUE(b.Empty()) << w << "x" << h;
        b.SetSize(2, 2);
        b.SetWidth(w);
        b.SetHeight(h);
        ASSERT_TRUE(b.Empty()) << w << "x" << h;
    }
    TskBitmap b;
    b.SetSize(3000, 2000);
    EXPECT_FALSE(b.Empty()) << "a picture below the limit is made";
}

TEST(SizeExtremes, AGaussianBlurOfAnyPassCountEndsWhereEveryPassWouldLeaveIt)
{
    // Passes that reach past the picture's sides all blur alike, and the
    // picture settles under them: 2,000 passes one by one end where any
    // count above that does.
    std::mt19937 random(35);
    for (QSize size : {QSize(12, 9), QSize(1, 5), QSize(7, 1), QSize(3, 3)}) {
        SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height());
        TskBitmap picture, passByPass, blurred;
        picture.SetSize(size.width(), size.height());
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x)
                picture.SetPixel(x, y, random() & 0xFFFFFF);
        passByPass.Assign(picture);
        for (int n = 2000; n >= 1; --n)
            passByPass.Blur(n);
        for (int passes : {2000, 5000, INT_MAX}) {
            blurred.Assign(picture);
            blurred.GaussianBlur(passes);
            EXPECT_EQ(blurred.Image(), passByPass.Image()) << passes;
        }
    }
}

// A two-line caption extruded from far colour to near, drawn into a part of
// a white canvas of the given size.
QImage Extruded(int depth, TskOrientation orientation, TAlignment alignment, QSize size, TRect area)
{
    TFont font(ExactFont(14), clBlack);
    QImage canvas = WhiteCanvas(size.width(), size.height());
    QPainter p(&canvas);
    TskCaptionText text(nullptr, nullptr, nullptr, &font, &p);
    text.SetText("Deep\r\nsteps");
    text.SetAlignment(alignment);
    text.ExtrudeEffects().SetEnabled(true);
    text.ExtrudeEffects().SetOrientation(orientation);
    text.ExtrudeEffects().SetNearColor(clRed);
    text.ExtrudeEffects().SetFarColor(clBlue);
    text.ExtrudeEffects().SetDepth(depth);
    text.TextRect = area;
    text.Draw();
    return canvas;
}

TEST(SizeExtremes, ADeepExtrusionDrawsTheStepsThatReachTheCanvas)
{
    // A larger canvas shows more of the steps; where the two overlap, the
    // small one must show every step the large one does.
    for (int depth : {60, 3000, INT_MAX})
        for (TskOrientation orientation : {skBottomRight, skTopLeft, skRight, skTop})
            for (TAlignment alignment : {taLeftJustify, taCenter}) {
                SCOPED_TRACE(testing::Message() << depth << " " << orientation << " " << alignment);
                QImage small = Extruded(depth, orientation, alignment, {120, 80}, {10, 10, 110, 70});
                QImage large = Extruded(depth, orientation, alignment, {640, 400}, {10, 10, 110, 70});
                EXPECT_EQ(large.copy(0, 0, 120, 80), small);
            }
    // A label inside a window paints into the window's buffer, away from its
    // own corner: it shows the same steps as the caption drawn by itself.
    for (int depth : {400, INT_MAX})
        for (TskOrientation orientation : {skBottomRight, skTopLeft, skBottom}) {
            SCOPED_TRACE(testing::Message() << depth << " " << orientation);
            QWidget form;
            form.resize(300, 200);
            auto* label = new TskLabel(&form);
            label->setFont(ExactFont(14));
            label->Font().SetColor(clBlack);
            label->SetColor(clWhite);
            label->SetAutoSize(false);
            label->setGeometry(70, 5, 150, 100);
            label->SetCaption("Deep\r\nsteps");
            TskExtrudeEffects& extrude = label->TextOptions().ExtrudeEffects();
            extrude.SetEnabled(true);
            extrude.SetOrientation(orientation);
            extrude.SetNearColor(clRed);
            extrude.SetFarColor(clBlue);
            extrude.SetDepth(depth);
            form.show();
            QImage shown = form.grab().toImage().copy(label->geometry()).convertToFormat(QImage::Format_RGB32);
            EXPECT_EQ(shown, Extruded(depth, orientation, taLeftJustify, {150, 100}, {0, 0, 150, 100}));
        }
}

} // namespace
