#include "widgets/skOutlookList.h"

#include <QAction>
#include <QMouseEvent>
#include <QPainter>
#include <climits>

#include "widgets/skClasses.h"
#include "widgets/skCommon.h"
#include "widgets/skErrors.h"

namespace {

// The caption broken at blanks into lines of at most width pixels, as many
// as maxLines allows; a word too wide for a line, and the last line when
// more text follows, end in an ellipsis. At least one line, maybe empty.
QStringList CaptionLines(const QFontMetrics& fm, const QString& text, int width, int maxLines)
{
    width = std::max(width, 0);
    maxLines = std::max(maxLines, 1);
    QStringList lines;
    QString line;
    for (const QString& word : text.split(' ', Qt::SkipEmptyParts)) {
        if (line.isEmpty())
            line = word;
        else if (fm.horizontalAdvance(line + ' ' + word) <= width)
            line += ' ' + word;
        else {
            lines << line;
            line = word;
        }
    }
    lines << line;
    if (lines.size() > maxLines) {
        QString last = lines.mid(maxLines - 1).join(' ');
        lines = lines.mid(0, maxLines);
        // Wider than the line, as the next word did not fit on it.
        lines.back() = fm.elidedText(last, Qt::ElideRight, width);
    }
    for (QString& l : lines)
        l = fm.elidedText(l, Qt::ElideRight, width);
    return lines;
}

} // namespace

void RegisterOutlookListClasses()
{
    RegisterClass(&TskOutlookList::staticMetaObject);
}
Q_CONSTRUCTOR_FUNCTION(RegisterOutlookListClasses)

TskOutlookPanel::TskOutlookPanel(QWidget* parent) : QWidget(parent)
{
    // What the bar paints behind the panel shows through.
    setAttribute(Qt::WA_NoSystemBackground);
}

// ---- item ----------------------------------------------------------------

TskOutlookListItem::TskOutlookListItem(TskCollection* collection) : TskCollectionItem(collection) {}

TskCustomOutlookList* TskOutlookListItem::List() const
{
    return static_cast<TskOutlookListItems*>(Collection())->List();
}

void TskOutlookListItem::Repaint()
{
    Changed(false);
}

void TskOutlookListItem::SetAction(QAction* v)
{
    FAction = v;
    Repaint();
}

void TskOutlookListItem::SetImageIndex(int v)
{
    if (Change(FImageIndex, v))
        Repaint();
}

bool TskOutlookListItem::Selected() const
{
    return FSelected && List()->ClickStyle() == csSelect;
}

void TskOutlookListItem::SetSelected(bool v)
{
    if (v) {
        auto& items = List()->Items();
        for (int i = 0; i < items.Count(); ++i)
            items.Items(i)->FSelected = false;
    }
    FSelected = v;
    Repaint();
}

void TskOutlookListItem::SetSeparation(int v)
{
    if (Change(FSeparation, v))
        Repaint();
}

std::string TskOutlookListItem::Text() const
{
    if (FText.empty() && FAction)
        return FAction->text().toStdString();
    return FText;
}

void TskOutlookListItem::SetText(const std::string& v)
{
    if (Change(FText, v))
        Repaint();
}

void TskOutlookListItem::SetTextAlignment(TAlignment v)
{
    if (Change(FTextAlignment, v))
        Repaint();
}

void TskOutlookListItem::SetGlyphOffset(int v)
{
    if (Change(FGlyphOffset, v))
        Repaint();
}

void TskOutlookListItems::Update(TskCollectionItem*)
{
    FList->RecalcItemRects();
    FList->update();
}

// ---- list ----------------------------------------------------------------

TskCustomOutlookList::TskCustomOutlookList(QWidget* parent) : TskOutlookPanel(parent)
{
    setAttribute(Qt::WA_NoSystemBackground, false);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    FItemHotTrackColor = FColor;
    FFont = TFont(font(), clWhite);
    FFont.OnChange = [this] {
        RecalcItemRects();
        update();
    };
    FScrollTimer.setTimerType(Qt::PreciseTimer);
    connect(&FScrollTimer, &QTimer::timeout, this, [this] { ScrollTick(); });
    resize(100, 200);
}

TskCustomOutlookList::~TskCustomOutlookList() = default;

void TskCustomOutlookList::InsertControl(QWidget*)
{
    throw EInvalidOperation("TskCustomOutlookList does not accept child controls.  Delete TskCustomOutlookList "
                            "and/or set the options property of the TskControlBar, \"cboAutoCreateOutlookList\", to "
                            "False");
}

#define SK_SETTER(name, type, field)                                                                               \
    void TskCustomOutlookList::Set##name(type v)                                                                   \
    {                                                                                                              \
        if (Change(field, v)) {                                                                                    \
            RecalcItemRects();                                                                                     \
            update();                                                                                              \
        }                                                                                                          \
    }
SK_SETTER(ClickStyle, TskCustomOutlookListClickStyle, FClickStyle)
SK_SETTER(HotTrackStyle, TskOutlookHotTrackStyle, FHotTrackStyle)
SK_SETTER(ItemHighlightColor, TColor, FItemHighlightColor)
SK_SETTER(ItemHotTrackColor, TColor, FItemHotTrackColor)
SK_SETTER(ItemLayout, TButtonLayout, FItemLayout)
SK_SETTER(ItemShadowColor, TColor, FItemShadowColor)
SK_SETTER(ItemSelectedDitherColor, TColor, FItemSelectedDitherColor)
SK_SETTER(ItemsWidth, int, FItemsWidth)
SK_SETTER(Layout, TskLayout, FLayout)
SK_SETTER(ScrollButtonsVisible, bool, FScrollButtonsVisible)
SK_SETTER(SingleBorder, bool, FSingleBorder)
#undef SK_SETTER

void TskCustomOutlookList::SetTransparent(bool v)
{
    if (!Change(FTransparent, v))
        return;
    setAttribute(Qt::WA_OpaquePaintEvent, !v);
    update();
}

void TskCustomOutlookList::SetColor(TColor v)
{
    // A hot-track colour equal to the list's colour means no fill; it follows.
    if (FItemHotTrackColor == FColor)
        FItemHotTrackColor = v;
    if (Change(FColor, v))
        update();
}

void TskCustomOutlookList::SetItemSpacing(int v)
{
    // Always even: an odd value goes up by one, the largest int (odd, with
    // nothing above it) down by one.
    if (v % 2)
        v = v < INT_MAX ? v + 1 : v - 1;
    if (Change(FItemSpacing, v)) {
        RecalcItemRects();
        update();
    }
}

void TskCustomOutlookList::SetImages(const QList<QPixmap>* v)
{
    FImages = v;
    RecalcItemRects();
    update();
}

QRect TskCustomOutlookList::ClientRect() const
{
    int inset = FSingleBorder ? 2 : 0;
    return rect().adjusted(inset, inset, -inset, -inset);
}

TskOutlookListItem* TskCustomOutlookList::TopItem() const
{
    // An empty list has no top item.
    if (FItems.Count() == 0)
        return nullptr;
    return FItems.Items(std::clamp(FTopIndex, 0, FItems.Count() - 1));
}

int TskCustomOutlookList::CaptionWidth(const TskOutlookListItem* item, int innerWidth) const
{
    bool image = FImages && !FImages->isEmpty();
    int glyph =
        image ? FImages->first().width() + ClampExtent(item->GlyphOffset()) + ClampExtent(item->Separation()) : 0;
    if (!image || FItemLayout == blGlyphTop || FItemLayout == blGlyphBottom)
        return std::max(innerWidth, 0);
    // What the glyph takes beside the text, as RecalcItemRects places it.
    int beside = FItemLayout == blGlyphLeft ? 5 + glyph : 9 + glyph;
    return std::max(innerWidth - beside, 0);
}

int TskCustomOutlookList::CaptionLineCount(const TskOutlookListItem* item, int innerWidth, int maxLines) const
{
    QFontMetrics fm(FFont.Font());
    return int(CaptionLines(fm, QString::fromStdString(item->Text()), CaptionWidth(item, innerWidth), maxLines).size());
}

QSize TskCustomOutlookList::ItemSize(const TskOutlookListItem* item) const
{
    QFontMetrics fm(FFont.Font());
    QSize text = fm.size(0, QString::fromStdString(item->Text()));
    int w = text.width(), h = text.height();
    // Spacing, widths and offsets a caller set count up to the largest
    // extent a widget can have, so that their sums stay inside int.
    const int spacing = ClampExtent(FItemSpacing), itemsWidth = ClampExtent(FItemsWidth);
    if (FLayout == loVertical) {
        // The caption breaks into lines at the width the item has.
        int width = itemsWidth > 0 ? itemsWidth : ClientRect().width();
        h += (CaptionLineCount(item, width, INT_MAX) - 1) * fm.height();
        h += spacing;
    } else {
        w += spacing;
    }
    bool image = FImages && !FImages->isEmpty();
    if (image) {
        QSize glyph = FImages->first().size();
        const int separation = ClampExtent(item->Separation());
        if (FItemLayout == blGlyphLeft || FItemLayout == blGlyphRight)
            w += glyph.width() + ClampExtent(item->GlyphOffset()) + separation + 8;
        else
            h += glyph.height() + separation;
    }
    if (itemsWidth > 0)
        w = itemsWidth;
    return {w, h};
}

void TskCustomOutlookList::RecalcItemRects()
{
    QRect client = ClientRect();
    // Items one after another run past the int range when a caller's
    // spacing is far beyond any screen: the place is kept in 64 bits.
    std::int64_t at = FLayout == loVertical ? client.top() : client.left();
    const int spacing = ClampExtent(FItemSpacing);
    bool image = FImages && !FImages->isEmpty();
    QSize glyph = image ? FImages->first().size() : QSize(0, 0);
    QFontMetrics fm(FFont.Font());
    const int lh = fm.height();
    for (int i = 0; i < FItems.Count(); ++i) {
        TskOutlookListItem* item = FItems.Items(i);
        if (i < FTopIndex) {
            item->ItemRect = item->TextRect = item->GlyphRect = QRect();
            continue;
        }
        QSize size = ItemSize(item);
        QRect r = FLayout == loVertical ? QRect(client.left(), ClampExtent(at), size.width(), size.height())
                                        : QRect(ClampExtent(at), client.top(), size.width(), client.height());
        if (FLayout == loVertical && FItemsWidth <= 0)
            r.setWidth(client.width());
        at += FLayout == loVertical ? size.height() : size.width();
        item->ItemRect = r;
        QRect inner = r.adjusted(0, spacing / 2, 0, -spacing / 2);
        if (FLayout == loHorizontal)
            inner = r.adjusted(spacing / 2, 0, -spacing / 2, 0);
        // As many lines as the caption needs; across a horizontal list, as
        // many as the height leaves beside a glyph above or below.
        const int sep = ClampExtent(item->Separation()), offset = ClampExtent(item->GlyphOffset());
        int room = inner.height() - (image && (FItemLayout == blGlyphTop || FItemLayout == blGlyphBottom)
                                         ? glyph.height() + sep
                                         : 0);
        int lines = CaptionLineCount(item, inner.width(), FLayout == loVertical ? INT_MAX : room / std::max(lh, 1));
        int th = lh * lines;
        if (!image) {
            item->GlyphRect = QRect();
            item->TextRect = QRect(inner.left(), inner.center().y() - th / 2, inner.width(), th);
            continue;
        }
        switch (FItemLayout) {
        case blGlyphTop: {
            int top = inner.top() + (inner.height() - glyph.height() - sep - th) / 2;
            item->GlyphRect = QRect(QPoint(inner.center().x() - glyph.width() / 2 + offset, top), glyph);
            item->TextRect = QRect(inner.left(), top + glyph.height() + sep, inner.width(), th);
            break;
        }
        case blGlyphBottom: {
            int top = inner.top() + (inner.height() - glyph.height() - sep - th) / 2;
            item->TextRect = QRect(inner.left(), top, inner.width(), th);
            item->GlyphRect =
                QRect(QPoint(inner.center().x() - glyph.width() / 2 + offset, top + th + sep), glyph);
            break;
        }
        case blGlyphLeft: {
            int left = inner.left() + 4 + offset;
            item->GlyphRect = QRect(QPoint(left, inner.center().y() - glyph.height() / 2), glyph);
            int tl = left + glyph.width() + sep;
            item->TextRect = QRect(tl, inner.center().y() - th / 2, std::max(inner.right() - tl, 0), th);
            break;
        }
        case blGlyphRight: {
            int left = inner.right() - 4 - offset - glyph.width();
            item->GlyphRect = QRect(QPoint(left, inner.center().y() - glyph.height() / 2), glyph);
            item->TextRect = QRect(inner.left() + 4, inner.center().y() - th / 2,
                                   std::max(left - sep - inner.left() - 4, 0), th);
            break;
        }
        }
    }
    LayoutScrollButtons();
}

int TskCustomOutlookList::LastVisibleIndex() const
{
    QRect client = ClientRect();
    int last = -1;
    for (int i = FTopIndex; i < FItems.Count(); ++i) {
        const QRect& r = FItems.Items(i)->ItemRect;
        int start = FLayout == loVertical ? r.top() : r.left();
        if (start > (FLayout == loVertical ? client.bottom() : client.right()))
            break;
        last = i;
    }
    return last;
}

int TskCustomOutlookList::LastFullyShownIndex() const
{
    int last = LastVisibleIndex();
    if (last < 0)
        return -1;
    QRect client = ClientRect();
    const QRect& r = FItems.Items(last)->ItemRect;
    bool cut = FLayout == loVertical ? r.bottom() > client.bottom() : r.right() > client.right();
    return cut ? last - 1 : last;
}

bool TskCustomOutlookList::CanScroll(bool up) const
{
    if (FItems.Count() == 0)
        return false;
    if (up)
        return FTopIndex > 0;
    return LastFullyShownIndex() < FItems.Count() - 1;
}

bool TskCustomOutlookList::ScrollButtonShown(bool up) const
{
    return FScrollButtonsVisible && !ScrollButtonsHidden && CanScroll(up);
}

void TskCustomOutlookList::ScrollStep(bool up)
{
    if (FItems.Count() == 0)
        return;
    if (up)
        FTopIndex = std::max(FTopIndex - 1, 0);
    else
        FTopIndex = std::min(FTopIndex + 1, FItems.Count() - 1);
    RecalcItemRects();
    UpdateHotItem(FMouse);
    update();
}

void TskCustomOutlookList::LayoutScrollButtons()
{
    int w = width(), h = height();
    if (FLayout == loVertical) {
        FUpRect = QRect(w - 25, 10, 15, 15);
        FDownRect = QRect(w - 25, h - 25, 15, 15);
    } else {
        FUpRect = QRect(10, 10, 15, 15);
        FDownRect = QRect(w - 25, 10, 15, 15);
    }
}

TskOutlookListItem* TskCustomOutlookList::ItemAt(const QPoint& p) const
{
    int last = LastVisibleIndex();
    for (int i = FTopIndex; i <= last; ++i)
        if (FItems.Items(i)->ItemRect.contains(p))
            return FItems.Items(i);
    return nullptr;
}

void TskCustomOutlookList::UpdateHotItem(const QPoint& p)
{
    // Moves reach the list while the pointer is over it (or a button is held):
    // the point decides.
    bool inside = rect().contains(p);
    TskOutlookListItem* hot = inside ? ItemAt(p) : nullptr;
    if (hot && (ScrollButtonShown(true) && FUpRect.contains(p)))
        hot = nullptr;
    if (hot && (ScrollButtonShown(false) && FDownRect.contains(p)))
        hot = nullptr;
    bool changed = false;
    for (int i = 0; i < FItems.Count(); ++i) {
        TskOutlookListItem* item = FItems.Items(i);
        if (item->Hot != (item == hot)) {
            item->Hot = item == hot;
            changed = true;
        }
    }
    ScrollButton scroll = !inside                                          ? sbNone
                          : ScrollButtonShown(true) && FUpRect.contains(p) ? sbUp
                          : ScrollButtonShown(false) && FDownRect.contains(p) ? sbDown
                                                                              : sbNone;
    if (scroll != FHotScroll) {
        FHotScroll = scroll;
        changed = true;
    }
    if (changed)
        update();
}

void TskCustomOutlookList::ItemClicked(TskOutlookListItem* item)
{
    if (FClickStyle == csSelect && !item->Selected()) {
        item->SetSelected(true);
        if (OnItemChange)
            OnItemChange(this, item);
    }
    if (OnItemClick)
        OnItemClick(this, item);
    if (item->OnClick)
        item->OnClick(this, item);
    if (item->Action())
        item->Action()->trigger();
}

void TskCustomOutlookList::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    QPoint p = event->position().toPoint();
    FMouse = p;
    for (bool up : {true, false})
        if (ScrollButtonShown(up) && ScrollButtonRect(up).contains(p)) {
            FPressedScroll = up ? sbUp : sbDown;
            ScrollStep(up);
            FScrollTimer.start(std::max(FScrollInterval, 1));
            update();
            return;
        }
    if (TskOutlookListItem* item = ItemAt(p)) {
        item->Pressed = true;
        update();
    }
}

void TskCustomOutlookList::ScrollTick()
{
    if (FPressedScroll == sbNone) {
        FScrollTimer.stop();
        return;
    }
    bool up = FPressedScroll == sbUp;
    if (ScrollButtonRect(up).contains(FMouse) && CanScroll(up))
        ScrollStep(up);
}

void TskCustomOutlookList::mouseMoveEvent(QMouseEvent* event)
{
    FMouse = event->position().toPoint();
    UpdateHotItem(FMouse);
}

void TskCustomOutlookList::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    QPoint p = event->position().toPoint();
    FMouse = p;
    TskOutlookListItem* under = ItemAt(p);
    TskOutlookListItem* clicked = under && under->Pressed ? under : nullptr;
    for (int i = 0; i < FItems.Count(); ++i)
        FItems.Items(i)->Pressed = false;
    if (FPressedScroll != sbNone) {
        bool up = FPressedScroll == sbUp;
        if (ScrollButtonRect(up).contains(p) && CanScroll(up))
            ScrollStep(up);
    }
    FScrollTimer.stop();
    FPressedScroll = sbNone;
    update();
    if (clicked)
        ItemClicked(clicked);
}

void TskCustomOutlookList::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    FMouse = QPoint(-1, -1);
    UpdateHotItem(FMouse);
}

void TskCustomOutlookList::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        FFont.SetFont(font());
}

void TskCustomOutlookList::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    RecalcItemRects();
}

void TskCustomOutlookList::DrawItem(QPainter& canvas, TskOutlookListItem* item)
{
    const QRect& r = item->ItemRect;
    bool image = FImages && item->ImageIndex() >= 0 && item->ImageIndex() < FImages->size();
    bool wholeItem = FHotTrackStyle == hsItemHilite || !image;
    if (item->Selected() && FItemSelectedDitherColor != clNone)
        DitherFill(canvas, TRect::From(r), clNone, FItemSelectedDitherColor);
    else if (item->Hot && FItemHotTrackColor != FColor && FItemHotTrackColor != clNone)
        canvas.fillRect(r, ToQColor(FItemHotTrackColor));
    QRect frame = wholeItem ? r : item->GlyphRect.adjusted(-2, -2, 2, 2);
    // The frame's two colours are the list's; clNone leaves that half out.
    auto edge = [&](TColor topLeft, TColor bottomRight) {
        if (topLeft != clNone) {
            canvas.setPen(ToQColor(topLeft));
            canvas.drawLine(frame.topLeft(), frame.topRight());
            canvas.drawLine(frame.topLeft(), frame.bottomLeft());
        }
        if (bottomRight != clNone) {
            canvas.setPen(ToQColor(bottomRight));
            canvas.drawLine(frame.bottomLeft(), frame.bottomRight());
            canvas.drawLine(frame.topRight(), frame.bottomRight());
        }
    };
    bool sunken = item->Selected() || (item->Pressed && item->Hot);
    if (sunken)
        edge(FItemShadowColor, FItemHighlightColor);
    else if (item->Hot)
        edge(FItemHighlightColor, FItemShadowColor);
    QPoint glyphAt = item->GlyphRect.topLeft();
    QRect textRect = item->TextRect;
    bool draw = true;
    if (OnDrawItem)
        OnDrawItem(this, item, glyphAt, draw, textRect);
    if (!draw)
        return;
    if (image) {
        if (item->Pressed && item->Hot)
            glyphAt += QPoint(1, 1);
        canvas.drawPixmap(glyphAt, FImages->at(item->ImageIndex()));
    }
    bool dark = item->Selected() || (item->Hot && wholeItem);
    canvas.setPen(dark ? QColor(Qt::black) : ToQColor(FFont.Color()));
    canvas.setFont(FFont.Font());
    int align = item->TextAlignment() == taCenter ? Qt::AlignHCenter
                : item->TextAlignment() == taRightJustify ? Qt::AlignRight
                                                          : Qt::AlignLeft;
    QFontMetrics fm(FFont.Font());
    const int lh = std::max(fm.height(), 1);
    QStringList lines = CaptionLines(fm, QString::fromStdString(item->Text()), textRect.width(),
                                     std::max(textRect.height() / lh, 1));
    int top = textRect.top() + (textRect.height() - int(lines.size()) * lh) / 2;
    for (const QString& line : lines) {
        canvas.drawText(QRect(textRect.left(), top, textRect.width(), lh), align | Qt::AlignVCenter, line);
        top += lh;
    }
}

void TskCustomOutlookList::PaintScrollButton(QPainter& canvas, bool up)
{
    QRect r = ScrollButtonRect(up);
    bool pushed = FPressedScroll == (up ? sbUp : sbDown) && r.contains(FMouse);
    canvas.fillRect(r, ToQColor(clBtnFace));
    canvas.setPen(ToQColor(pushed ? clBtnShadow : clBtnHighlight));
    canvas.drawLine(r.topLeft(), r.topRight());
    canvas.drawLine(r.topLeft(), r.bottomLeft());
    canvas.setPen(ToQColor(pushed ? clBtnHighlight : clBlack));
    canvas.drawLine(r.bottomLeft(), r.bottomRight());
    canvas.drawLine(r.topRight(), r.bottomRight());
    QPoint c = r.center() + (pushed ? QPoint(1, 1) : QPoint(0, 0));
    QPolygon arrow;
    if (FLayout == loVertical)
        arrow = up ? QPolygon({c + QPoint(-3, 2), c + QPoint(3, 2), c + QPoint(0, -2)})
                   : QPolygon({c + QPoint(-3, -2), c + QPoint(3, -2), c + QPoint(0, 2)});
    else
        arrow = up ? QPolygon({c + QPoint(2, -3), c + QPoint(2, 3), c + QPoint(-2, 0)})
                   : QPolygon({c + QPoint(-2, -3), c + QPoint(-2, 3), c + QPoint(2, 0)});
    canvas.setPen(Qt::black);
    canvas.setBrush(Qt::black);
    canvas.drawPolygon(arrow);
    canvas.setBrush(Qt::NoBrush);
}

void TskCustomOutlookList::paintEvent(QPaintEvent*)
{
    // Drawn off-screen and copied in one step.
    QImage buffer(size(), QImage::Format_ARGB32_Premultiplied);
    buffer.fill(Qt::transparent);
    {
        QPainter canvas(&buffer);
        if (!FTransparent)
            canvas.fillRect(rect(), ToQColor(FColor));
        if (FSingleBorder) {
            canvas.setPen(ToQColor(clBtnShadow));
            canvas.drawLine(0, 0, width() - 1, 0);
            canvas.drawLine(0, 0, 0, height() - 1);
            canvas.setPen(ToQColor(clBtnHighlight));
            canvas.drawLine(0, height() - 1, width() - 1, height() - 1);
            canvas.drawLine(width() - 1, 0, width() - 1, height() - 1);
        }
        canvas.setClipRect(ClientRect());
        int last = LastVisibleIndex();
        for (int i = FTopIndex; i <= last && i < FItems.Count(); ++i)
            DrawItem(canvas, FItems.Items(i));
        for (bool up : {true, false})
            if (ScrollButtonShown(up))
                PaintScrollButton(canvas, up);
    }
    QPainter screen(this);
    screen.drawImage(0, 0, buffer);
}
