#include "widgets/skLabel.h"

#include <QKeySequence>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcut>

TskCustomLabel::TskCustomLabel(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    FFont = TFont(font(), clWindowText);
    FFont.OnChange = [this] {
        update();
        AdjustBounds();
    };
    FTextOptions = std::make_unique<TskCaptionText>([this] { update(); }, [this] { AdjustBounds(); },
                                                    [this] { return isEnabled(); }, &FFont, nullptr);
    resize(65, 17);
}

TskCustomLabel::~TskCustomLabel() = default;

void TskCustomLabel::SetAutoSize(bool v)
{
    if (!Change(FAutoSize, v))
        return;
    AdjustBounds();
    update();
}

void TskCustomLabel::SetCaption(const std::string& v)
{
    if (!Change(FCaption, v))
        return;
    FTextOptions->SetText(v);
    UpdateAccelerator();
    AdjustBounds();
    update();
}

void TskCustomLabel::SetColor(TColor v)
{
    if (Change(FColor, v))
        update();
}

void TskCustomLabel::SetTransparent(bool v)
{
    if (v == Transparent())
        return;
    setAttribute(Qt::WA_OpaquePaintEvent, !v);
    update();
}

void TskCustomLabel::SetFocusControl(QWidget* v)
{
    FFocusControl = v;
    UpdateAccelerator();
}

void TskCustomLabel::UpdateAccelerator()
{
    delete FShortcut;
    FShortcut = nullptr;
    if (!FFocusControl)
        return;
    QKeySequence key = QKeySequence::mnemonic(QString::fromStdString(FCaption));
    if (key.isEmpty())
        return;
    FShortcut = new QShortcut(key, this);
    connect(FShortcut, &QShortcut::activated, this, [this] {
        if (FFocusControl && isEnabled() && (FTextOptions->Options() & toShowAccel) &&
            FFocusControl->focusPolicy() != Qt::NoFocus && FFocusControl->isEnabled())
            FFocusControl->setFocus(Qt::ShortcutFocusReason);
    });
}

void TskCustomLabel::AdjustBounds()
{
    if (!FAutoSize)
        return;
    TRect r = FTextOptions->CalcRect(true);
    int left = x();
    if (FTextOptions->Alignment() == taRightJustify)
        left = x() + width() - r.Width();
    setGeometry(left, y(), r.Width(), r.Height());
}

void TskCustomLabel::paintEvent(QPaintEvent*)
{
    QPainter canvas(this);
    if (!Transparent())
        canvas.fillRect(rect(), ToQColor(FColor));
    canvas.setBrush(Qt::NoBrush);
    FTextOptions->Canvas = &canvas;
    FTextOptions->TextRect = TRect::From(rect());
    FTextOptions->Draw();
    FTextOptions->Canvas = nullptr;
}

void TskCustomLabel::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        FFont.SetFont(font());
    } else if (event->type() == QEvent::EnabledChange) {
        update();
    }
}

void TskCustomLabel::enterEvent(QEnterEvent* event)
{
    QWidget::enterEvent(event);
    if (OnMouseEnter)
        OnMouseEnter(this);
}

void TskCustomLabel::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    if (OnMouseLeave)
        OnMouseLeave(this);
}

void TskCustomLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && OnClick)
        OnClick(this);
}

void TskCustomLabel::mouseDoubleClickEvent(QMouseEvent*)
{
    if (OnDblClick)
        OnDblClick(this);
}
