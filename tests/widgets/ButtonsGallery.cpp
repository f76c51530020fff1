#include "ButtonsGallery.h"

#include <QApplication>
#include <QEnterEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include "widgets/skButtonGroup.h"
#include "widgets/skClearPanel.h"
#include "widgets/skImager.h"
#include "widgets/skOutlookBar.h"
#include "widgets/skShapeBtn.h"

namespace {

QFont Small()
{
    QFont f("DejaVu Sans");
    f.setPixelSize(11);
    return f;
}

QLabel* Title(QWidget* parent, const char* text)
{
    auto* l = new QLabel(text, parent);
    QFont f = Small();
    f.setBold(true);
    l->setFont(f);
    return l;
}

// The mouse over a button, as an enter event makes it.
void Hover(QWidget* w)
{
    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
    QApplication::sendEvent(w, &enter);
}

QImage Ball(int side, QColor colour)
{
    QImage p(side, side, QImage::Format_RGB32);
    p.fill(qRgb(255, 0, 255));
    QPainter canvas(&p);
    canvas.setPen(Qt::NoPen);
    canvas.setBrush(colour);
    canvas.drawEllipse(2, 2, side - 5, side - 5);
    canvas.setBrush(colour.lighter(160));
    canvas.drawEllipse(side / 4, side / 4, side / 4, side / 4);
    return p;
}

QWidget* Cell(QWidget* parent, const char* caption, QWidget* control)
{
    auto* box = new QWidget(parent);
    auto* v = new QVBoxLayout(box);
    v->setContentsMargins(2, 2, 2, 2);
    v->setSpacing(2);
    control->setParent(box);
    v->addWidget(control, 0, Qt::AlignHCenter);
    auto* l = new QLabel(caption, box);
    l->setFont(Small());
    l->setAlignment(Qt::AlignHCenter);
    v->addWidget(l);
    return box;
}

TskShapeBtn* KindButton(TBitBtnKind kind)
{
    auto* b = new TskShapeBtn;
    b->setFont(Small());
    b->SetKind(kind);
    b->resize(82, 26);
    b->setFixedSize(82, 26);
    return b;
}

} // namespace

QWidget* ButtonsGallery()
{
    auto* window = new QWidget;
    window->setWindowTitle("Buttons, group and outlook bar");
    window->setFont(Small());
    auto* top = new QVBoxLayout(window);

    // The standard kinds, with their own glyphs.
    top->addWidget(Title(window, "Standard kinds (rectangle shape buttons with the glyphs of the kinds):"));
    auto* kinds = new QHBoxLayout;
    for (TBitBtnKind k : {bkOK, bkCancel, bkHelp, bkYes, bkNo, bkClose, bkAbort, bkRetry, bkIgnore, bkAll})
        kinds->addWidget(KindButton(k));
    kinds->addStretch();
    top->addLayout(kinds);

    // The states of one button.
    top->addWidget(Title(window, "States:"));
    auto* states = new QHBoxLayout;
    auto* up = KindButton(bkOK);
    up->SetDefault(false);
    up->SetCaption("Up");
    states->addWidget(Cell(window, "up", up));
    auto* down = KindButton(bkRetry);
    down->SetCaption("Down");
    down->SetGroupIndex(7);
    down->SetDitherColor(clNone);
    down->SetDown(true);
    states->addWidget(Cell(window, "down (grouped)", down));
    auto* dithered = KindButton(bkAll);
    dithered->SetCaption("Down");
    dithered->SetGroupIndex(8);
    dithered->SetDown(true);
    states->addWidget(Cell(window, "down, dithered", dithered));
    auto* flat = KindButton(bkYes);
    flat->SetCaption("Hot");
    flat->SetShadeStyle(fbsFlat);
    states->addWidget(Cell(window, "flat, mouse over", flat));
    auto* flatOff = KindButton(bkYes);
    flatOff->SetCaption("Flat");
    flatOff->SetShadeStyle(fbsFlat);
    states->addWidget(Cell(window, "flat, mouse away", flatOff));
    auto* disabled = KindButton(bkCancel);
    disabled->SetCaption("Disabled");
    disabled->setEnabled(false);
    states->addWidget(Cell(window, "disabled", disabled));
    auto* def = KindButton(bkOK);
    def->SetCaption("Default");
    states->addWidget(Cell(window, "default", def));
    states->addStretch();
    top->addLayout(states);

    // Shapes.
    top->addWidget(Title(window, "Shapes and orientations:"));
    auto* shapes = new QHBoxLayout;
    struct ShapeCase {
        TskButtonShape shape;
        TskShapeOrientation orientation;
        const char* name;
        TColor colour;
    };
    for (const ShapeCase& c : {ShapeCase{bsRoundRect, soUp, "round rect", clBtnFace},
                               ShapeCase{bsEllipse, soUp, "ellipse", RGBColor(120, 170, 230)},
                               ShapeCase{bsTriangle, soUp, "triangle", RGBColor(230, 200, 90)},
                               ShapeCase{bsArrow, soRight, "arrow, right", RGBColor(120, 200, 120)},
                               ShapeCase{bsDiamond, soUp, "diamond", RGBColor(220, 130, 130)},
                               ShapeCase{bsStar, soUp, "star", RGBColor(250, 220, 60)},
                               ShapeCase{bsTrapezoid, soDown, "trapezoid, down", RGBColor(180, 140, 220)},
                               ShapeCase{bsCustom, soUp, "point list", RGBColor(140, 210, 210)},
                               ShapeCase{bsRect, soUp, "red on blue key", clRed}}) {
        auto* b = new TskShapeBtn;
        b->setFixedSize(62, 50);
        b->SetColor(c.colour);
        if (c.shape == bsCustom)
            b->SetPointList({"0, HEIGHT/2", "WIDTH/2, 0", "WIDTH, HEIGHT/2", "WIDTH*3/4, HEIGHT", "WIDTH/4, HEIGHT"});
        b->SetShape(c.shape);
        b->SetOrientation(c.orientation);
        shapes->addWidget(Cell(window, c.name, b));
    }
    shapes->addStretch();
    top->addLayout(shapes);

    // Image buttons and the imager.
    top->addWidget(Title(window, "Image buttons (magenta cut out) and the imager:"));
    auto* images = new QHBoxLayout;
    TskBitmap ball;
    ball.Assign(Ball(40, QColor(40, 110, 200)));
    auto imageButton = [&](TskShadeStyle style, bool grouped, bool isDown) {
        auto* b = new TskImageBtn;
        b->setFixedSize(42, 42);
        b->SetShadeStyle(style);
        b->SetImage(&ball);
        if (grouped)
            b->SetGroupIndex(3);
        b->SetDown(isDown);
        return b;
    };
    images->addWidget(Cell(window, "normal", imageButton(fbsNormal, false, false)));
    images->addWidget(Cell(window, "raised", imageButton(fbsRaised, false, false)));
    images->addWidget(Cell(window, "highlight", imageButton(fbsHighlight, false, false)));
    images->addWidget(Cell(window, "highlight, down", imageButton(fbsHighlight, true, true)));
    images->addWidget(Cell(window, "down, dithered", imageButton(fbsNormal, true, true)));
    auto* noCut = imageButton(fbsNormal, false, false);
    noCut->SetTransparentColor(skNoTransparentColor);
    images->addWidget(Cell(window, "no cut-out", noCut));
    auto* placeholder = new TskImageBtn;
    placeholder->setFixedSize(42, 42);
    images->addWidget(Cell(window, "no picture", placeholder));
    QImage photo(60, 42, QImage::Format_RGB32);
    {
        QLinearGradient g(0, 0, 60, 42);
        g.setColorAt(0, QColor(250, 180, 40));
        g.setColorAt(1, QColor(40, 120, 200));
        QPainter p(&photo);
        p.fillRect(photo.rect(), g);
        p.setPen(Qt::black);
        p.setFont(Small());
        p.drawText(photo.rect(), Qt::AlignCenter, "Img");
    }
    auto imager = [&](const char* name, auto&& setup) {
        auto* i = new TskImager;
        i->setFixedSize(60, 42);
        i->SetPicture(photo);
        setup(*i);
        images->addWidget(Cell(window, name, i));
    };
    imager("imager", [](TskImager&) {});
    imager("grey", [](TskImager& i) { i.BitmapOptions().SetGrayScale(true); });
    imager("inverted", [](TskImager& i) { i.BitmapOptions().SetInverted(true); });
    imager("flipped", [](TskImager& i) { i.BitmapOptions().SetHorizontallyFlipped(true); });
    QImage keyed = Ball(40, QColor(200, 60, 60));
    imager("transparent", [&keyed](TskImager& i) {
        i.SetPicture(keyed);
        i.SetTransparent(true);
    });
    images->addStretch();
    top->addLayout(images);

    // A transparent panel, a button group and an outlook bar.
    top->addWidget(Title(window, "Transparent panel over a pattern, button group (2 columns), outlook bar (page 2 open):"));
    auto* bottom = new QHBoxLayout;
    auto* backdrop = new QWidget;
    backdrop->setFixedSize(150, 150);
    backdrop->setAutoFillBackground(true);
    QPalette pal;
    pal.setBrush(QPalette::Window, QBrush(QColor(200, 220, 180), Qt::DiagCrossPattern));
    backdrop->setPalette(pal);
    auto* clear = new TskCustomTransparentPanel(backdrop);
    clear->setGeometry(15, 15, 120, 50);
    clear->SetBevelWidth(2);
    auto* opaque = new TskCustomTransparentPanel(backdrop);
    opaque->setGeometry(15, 85, 120, 50);
    opaque->SetTransparent(false);
    opaque->SetBevelInner(bvLowered);
    opaque->SetCaption("Not transparent");
    bottom->addWidget(Cell(window, "transparent / opaque panel", backdrop));

    auto* group = new TskButtonGroup;
    group->setFixedSize(170, 150);
    group->SetLineCount(2);
    group->SetSpacing(3);
    const TskButtonShape groupShapes[] = {bsRoundRect, bsEllipse, bsDiamond, bsRect, bsTrapezoid};
    for (int i = 0; i < 5; ++i) {
        TskCustomBitBtn* b = group->ButtonItems().Add()->Button();
        b->SetCaption("Choice " + std::to_string(i + 1));
        static_cast<TskShapeBtn*>(b)->SetShape(groupShapes[i]);
    }
    group->ButtonItems().Items(2)->SetSelected(true);
    bottom->addWidget(Cell(window, "button group, choice 3 selected", group));

    static QList<QPixmap> icons;
    if (icons.isEmpty())
        for (QColor c : {QColor(230, 80, 60), QColor(60, 160, 80), QColor(70, 110, 220), QColor(240, 190, 40)}) {
            QPixmap icon(32, 32);
            icon.fill(Qt::transparent);
            QPainter p(&icon);
            p.setRenderHint(QPainter::Antialiasing);
            p.setBrush(c);
            p.setPen(c.darker());
            p.drawRoundedRect(3, 3, 26, 26, 6, 6);
            icons << icon;
        }
    auto* bar = new TskOutlookBar;
    bar->setObjectName("Bar");
    bar->setFixedSize(150, 230);
    const char* pageNames[] = {"Mail", "Sites", "Tools"};
    for (const char* name : pageNames) {
        TskOutlookPage* page = bar->Pages().Add();
        page->Button()->SetCaption(name);
        TskCustomOutlookList* list = page->OutlookList();
        list->SetImages(&icons);
        for (int i = 0; i < 4; ++i) {
            TskOutlookListItem* item = list->Items().Add();
            item->SetText(std::string(name) + " " + std::to_string(i + 1));
            item->SetImageIndex(i);
        }
    }
    bar->Pages().Items(1)->SetSelected(true);
    TskCustomOutlookList* list = bar->Pages().Items(1)->OutlookList();
    list->SetClickStyle(csSelect);
    list->Items().Items(0)->SetSelected(true);
    list->Items().Items(1)->Hot = true;
    list->Items().Items(1)->SetText("Sites 2 on the far side of town");
    bottom->addWidget(Cell(window, "outlook bar: selected and hot items", bar));

    auto* horizontal = new TskOutlookList;
    horizontal->setFixedSize(220, 90);
    horizontal->SetLayout(loHorizontal);
    horizontal->SetItemLayout(blGlyphTop);
    horizontal->SetHotTrackStyle(hsItemHilite);
    horizontal->SetImages(&icons);
    for (int i = 0; i < 6; ++i) {
        TskOutlookListItem* item = horizontal->Items().Add();
        item->SetText("Item " + std::to_string(i + 1));
        item->SetImageIndex(i % 4);
    }
    horizontal->SetItemsWidth(62);
    horizontal->Items().Items(2)->SetText("Files and folders on the far server");
    horizontal->Items().Items(1)->Hot = true;
    horizontal->Items().Items(0)->Pressed = true;
    horizontal->Items().Items(0)->Hot = false;
    bottom->addWidget(Cell(window, "horizontal list, items 62 wide, whole-item hot", horizontal));
    bottom->addStretch();
    top->addLayout(bottom);
    top->addStretch();

    QMetaObject::invokeMethod(window, [flat] { Hover(flat); }, Qt::QueuedConnection);
    return window;
}
