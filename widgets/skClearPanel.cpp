#include "widgets/skClearPanel.h"

#include <QMoveEvent>
#include <QPainter>

#include "widgets/skCommon.h"

namespace {

void Frame3D(QPainter& canvas, QRect& r, TColor topLeft, TColor bottomRight, int width)
{
    for (int i = 0; i < width && r.width() > 0 && r.height() > 0; ++i) {
        canvas.setPen(ToQColor(topLeft));
        canvas.drawLine(r.left(), r.bottom(), r.left(), r.top());
        canvas.drawLine(r.left(), r.top(), r.right(), r.top());
        canvas.setPen(ToQColor(bottomRight));
        canvas.drawLine(r.right(), r.top(), r.right(), r.bottom());
        canvas.drawLine(r.right(), r.bottom(), r.left(), r.bottom());
        r.adjust(1, 1, -1, -1);
    }
}

void Bevel(QPainter& canvas, QRect& r, TPanelBevel bevel, int width)
{
    if (bevel == bvNone)
        return;
    bool lowered = bevel == bvLowered;
    Frame3D(canvas, r, lowered ? clBtnShadow : clBtnHighlight, lowered ? clBtnHighlight : clBtnShadow, width);
}

} // namespace

TskCustomTransparentPanel::TskCustomTransparentPanel(QWidget* parent) : QWidget(parent)
{
    ApplyAttributes();
}

void TskCustomTransparentPanel::ApplyAttributes()
{
    // Transparent: no background of its own, the parent's drawing shows.
    setAttribute(Qt::WA_OpaquePaintEvent, !FTransparent);
    setAttribute(Qt::WA_NoSystemBackground, FTransparent);
    setAutoFillBackground(false);
}

void TskCustomTransparentPanel::SetTransparent(bool v)
{
    if (!Change(FTransparent, v))
        return;
    ApplyAttributes();
    Invalidate();
}

void TskCustomTransparentPanel::SetBevelOuter(TPanelBevel v)
{
    if (Change(FBevelOuter, v))
        Invalidate();
}

void TskCustomTransparentPanel::SetBevelInner(TPanelBevel v)
{
    if (Change(FBevelInner, v))
        Invalidate();
}

void TskCustomTransparentPanel::SetBevelWidth(int v)
{
    if (Change(FBevelWidth, std::max(v, 1)))
        Invalidate();
}

void TskCustomTransparentPanel::SetBorderWidth(int v)
{
    if (Change(FBorderWidth, std::max(v, 0)))
        Invalidate();
}

void TskCustomTransparentPanel::SetColor(TColor v)
{
    if (Change(FColor, v))
        Invalidate();
}

void TskCustomTransparentPanel::SetCaption(const std::string& v)
{
    if (Change(FCaption, v))
        Invalidate();
}

void TskCustomTransparentPanel::Invalidate()
{
    if (Transparent() && parentWidget()) {
        parentWidget()->update(geometry());
        for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            child->update();
        return;
    }
    update();
}

QRect TskCustomTransparentPanel::ClientArea() const
{
    // Summed in 64 bits: border and bevel widths are whatever a caller set.
    std::int64_t inset = std::int64_t(FBorderWidth) + (FBevelOuter != bvNone ? FBevelWidth : 0) +
                         (FBevelInner != bvNone ? FBevelWidth : 0);
    int side = ClampExtent(inset);
    return rect().adjusted(side, side, -side, -side);
}

void TskCustomTransparentPanel::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    if (Transparent() && parentWidget()) {
        parentWidget()->update(QRect(event->oldPos(), size()));
        Invalidate();
    }
}

void TskCustomTransparentPanel::paintEvent(QPaintEvent*)
{
    QPainter canvas(this);
    PaintPanel(canvas);
}

void TskCustomTransparentPanel::PaintPanel(QPainter& canvas)
{
    QRect r = rect();
    if (!Transparent())
        canvas.fillRect(r, ToQColor(FColor));
    Bevel(canvas, r, FBevelOuter, FBevelWidth);
    Frame3D(canvas, r, FColor, FColor, FBorderWidth);
    Bevel(canvas, r, FBevelInner, FBevelWidth);
    if (!Transparent() && !FCaption.empty()) {
        canvas.setPen(palette().color(QPalette::ButtonText));
        canvas.drawText(r, Qt::AlignCenter, QString::fromStdString(FCaption));
    }
}
