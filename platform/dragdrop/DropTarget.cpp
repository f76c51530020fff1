#include "platform/dragdrop/DropTarget.h"

#include <QAbstractScrollArea>
#include <QComboBox>
#include <QLineEdit>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFontMetrics>
#include <QMimeData>
#include <QScrollBar>
#include <QTimer>
#include <QWidget>

#include "platform/dialogs/EventHandler.h"
#include "platform/dragdrop/DropSource.h"

namespace {

constexpr int kEffects = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;

// Tells Qt the effect: one action, or no drop here.
void Apply(QDropEvent* event, int effect)
{
    effect &= kEffects;
    if (effect & DROPEFFECT_COPY)
        event->setDropAction(Qt::CopyAction);
    else if (effect & DROPEFFECT_MOVE)
        event->setDropAction(Qt::MoveAction);
    else if (effect & DROPEFFECT_LINK)
        event->setDropAction(Qt::LinkAction);
    if (effect)
        event->accept();
    else
        event->ignore();
}

bool CanScroll(const QScrollBar* bar, Qt::ScrollBarPolicy policy)
{
    return bar && policy != Qt::ScrollBarAlwaysOff && bar->maximum() > bar->minimum();
}

} // namespace

TShiftState DragShiftState(const QDropEvent* event)
{
    TShiftState shift = 0;
    Qt::KeyboardModifiers keys = event->modifiers();
    Qt::MouseButtons buttons = event->buttons();
    if (keys & Qt::ShiftModifier) shift |= ssShift;
    if (keys & Qt::AltModifier) shift |= ssAlt;
    if (keys & Qt::ControlModifier) shift |= ssCtrl;
    if (buttons & Qt::LeftButton) shift |= ssLeft;
    if (buttons & Qt::RightButton) shift |= ssRight;
    if (buttons & Qt::MiddleButton) shift |= ssMiddle;
    return shift;
}

TDropTarget::TDropTarget()
{
    scrollTimer_ = new QTimer(this);
    scrollTimer_->setInterval(ScrollInterval);
    ConnectHandler(scrollTimer_, &QTimer::timeout, this, [this] { ScrollTimer(); });
}

TDropTarget::~TDropTarget()
{
    RevokeTarget();
}

void TDropTarget::Watch(bool on)
{
    if (!on) {
        for (auto& [widget, accepted] : watched_)
            if (widget) {
                widget->removeEventFilter(this);
                widget->setAcceptDrops(accepted);
            }
        watched_.clear();
        return;
    }
    if (!target_)
        return;
    // A drag arrives at the widget under the pointer: an editable combo box's
    // editor or a scroll area's viewport rather than the target itself.
    std::vector<QWidget*> widgets{target_};
    if (auto* combo = qobject_cast<QComboBox*>(target_.data()); combo && combo->lineEdit())
        widgets.push_back(combo->lineEdit());
    if (auto* area = qobject_cast<QAbstractScrollArea*>(target_.data()))
        widgets.push_back(area->viewport());
    for (QWidget* widget : widgets) {
        watched_.emplace_back(widget, widget->acceptDrops());
        widget->installEventFilter(this);
        widget->setAcceptDrops(true);
    }
}

QPoint TDropTarget::TargetPoint(QObject* watched, const QDropEvent* event) const
{
    QPoint point = event->position().toPoint();
    auto* widget = static_cast<QWidget*>(watched);
    return widget == target_ ? point : widget->mapTo(target_, point);
}

void TDropTarget::SetTarget(QWidget* target)
{
    if (target == target_)
        return;
    RevokeTarget();
    target_ = target;
    Watch(true);
}

void TDropTarget::RevokeTarget()
{
    scrollTimer_->stop();
    Watch(false);
    target_ = nullptr;
    dragging_ = false;
}

bool TDropTarget::eventFilter(QObject* watched, QEvent* event)
{
    bool ours = false;
    for (const auto& entry : watched_)
        ours = ours || entry.first == watched;
    if (!ours || !target_)
        return false;
    // The handlers run inside Qt's event delivery: nothing may leave them.
    auto drag = [event] { return static_cast<QDropEvent*>(event); };
    switch (event->type()) {
    case QEvent::DragEnter:
        EventHandler([&] { DragEnter(drag(), TargetPoint(watched, drag())); })();
        return true;
    case QEvent::DragMove:
        EventHandler([&] { DragOver(drag(), TargetPoint(watched, drag())); })();
        return true;
    case QEvent::DragLeave:
        EventHandler([&] { DragLeave(); })();
        return true;
    case QEvent::Drop:
        EventHandler([&] { Drop(drag(), TargetPoint(watched, drag())); })();
        return true;
    default:
        return false;
    }
}

void TDropTarget::DragEnter(QDropEvent* event, QPoint point)
{
    ReleaseData();
    dragging_ = true;
    found_ = false;
    lastPoint_ = point;
    const QMimeData* data = event->mimeData();
    if (!AcceptsData(data)) {
        dragging_ = false;
        Apply(event, DROPEFFECT_NONE);
        return;
    }
    scrollH_ = scrollV_ = false;
    if (auto* area = qobject_cast<QAbstractScrollArea*>(target_.data())) {
        scrollH_ = CanScroll(area->horizontalScrollBar(), area->horizontalScrollBarPolicy());
        scrollV_ = CanScroll(area->verticalScrollBar(), area->verticalScrollBarPolicy());
    }
    scrollMargin_ = QFontMetrics(target_->font()).height();
    if (GetDataOnEnter) {
        found_ = ReadData(data);
        if (!found_) {
            // Nothing to drop: say so now rather than fire a drop without data.
            dragging_ = false;
            ReleaseData();
            Apply(event, DROPEFFECT_NONE);
            return;
        }
    }
    int effect = GetDropEffect(DragShiftState(event), lastPoint_, static_cast<int>(event->possibleActions()));
    FireEnter(DragShiftState(event), lastPoint_, effect);
    Apply(event, effect);
}

void TDropTarget::DragOver(QDropEvent* event, QPoint point)
{
    int effect = DROPEFFECT_NONE;
    if (dragging_) {
        effect = GetDropEffect(DragShiftState(event), point, static_cast<int>(event->possibleActions()));
        FireDragOver(DragShiftState(event), point, effect);
        bool scroll = (scrollH_ || scrollV_) && (effect & DROPEFFECT_SCROLL);
        if (scroll != scrollTimer_->isActive())
            scroll ? scrollTimer_->start() : scrollTimer_->stop();
    } else {
        scrollTimer_->stop();
    }
    lastPoint_ = point;
    Apply(event, effect);
}

void TDropTarget::DragLeave()
{
    ReleaseData();
    scrollTimer_->stop();
    dragging_ = false;
    FireLeave();
}

void TDropTarget::Drop(QDropEvent* event, QPoint point)
{
    if (!dragging_) {
        Apply(event, DROPEFFECT_NONE);
        return;
    }
    scrollTimer_->stop();
    TShiftState shift = DragShiftState(event);
    int effect = GetDropEffect(shift, point, static_cast<int>(event->possibleActions()));
    // Fired only with something found: a drop without data would empty the owner's box.
    bool found = GetDataOnEnter ? found_ : ReadData(event->mimeData());
    if (found && (effect & kEffects))
        FireDrop(shift, point, effect);
    else
        effect = DROPEFFECT_NONE;
    Apply(event, effect);
    ReleaseData();
    dragging_ = false;
}

int TDropTarget::GetDropEffect(TShiftState shift, QPoint point, int allowed)
{
    static constexpr int typeEffect[] = {DROPEFFECT_COPY, DROPEFFECT_MOVE, DROPEFFECT_LINK};
    int mask = 0;
    for (int type = dtCopy; type <= dtLink; ++type)
        if (Dragtypes & (1u << type))
            mask |= typeEffect[type];
    allowed &= mask;
    if (OnGetDropEffect) {
        OnGetDropEffect(this, shift, point, allowed);
        return allowed;
    }
    bool shiftKey = shift & ssShift, ctrlKey = shift & ssCtrl;
    int effect = DROPEFFECT_NONE;
    if (shiftKey && ctrlKey && (allowed & DROPEFFECT_LINK))
        effect = DROPEFFECT_LINK;
    else if (shiftKey && !ctrlKey && (allowed & DROPEFFECT_MOVE))
        effect = DROPEFFECT_MOVE;
    else if (allowed & DROPEFFECT_COPY)
        effect = DROPEFFECT_COPY;
    else if (allowed & DROPEFFECT_MOVE)
        effect = DROPEFFECT_MOVE;
    else if (allowed & DROPEFFECT_LINK)
        effect = DROPEFFECT_LINK;
    if (QWidget* widget = target_) {
        bool nearH = point.x() < scrollMargin_ || point.x() > widget->width() - scrollMargin_;
        bool nearV = point.y() < scrollMargin_ || point.y() > widget->height() - scrollMargin_;
        if ((scrollH_ && nearH) || (scrollV_ && nearV))
            effect |= DROPEFFECT_SCROLL;
    }
    return effect;
}

int TDropTarget::GetPreferredEffect(const QMimeData* data)
{
    QString format = FindFormat(data, CFSTR_PREFERREDDROPEFFECT);
    if (format.isEmpty())
        return 0;
    QByteArray bytes = data->data(format);
    if (bytes.size() < 4)
        return 0;
    auto b = [&](int i) { return static_cast<unsigned>(static_cast<unsigned char>(bytes[i])); };
    return static_cast<int>(b(0) | (b(1) << 8) | (b(2) << 16) | (b(3) << 24));
}

void TDropTarget::ScrollTimer()
{
    auto* area = qobject_cast<QAbstractScrollArea*>(target_.data());
    QWidget* widget = target_;
    if (!area)
        return;
    if (scrollV_) {
        if (lastPoint_.y() < scrollMargin_)
            area->verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
        else if (lastPoint_.y() > widget->height() - scrollMargin_)
            area->verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    }
    if (scrollH_) {
        if (lastPoint_.x() < scrollMargin_)
            area->horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
        else if (lastPoint_.x() > widget->width() - scrollMargin_)
            area->horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    }
}

void TDropTarget::FireEnter(TShiftState shift, QPoint point, int& effect)
{
    if (OnEnter)
        OnEnter(this, shift, point, effect);
}

void TDropTarget::FireDragOver(TShiftState shift, QPoint point, int& effect)
{
    if (OnDragOver)
        OnDragOver(this, shift, point, effect);
}

void TDropTarget::FireDrop(TShiftState shift, QPoint point, int& effect)
{
    if (OnDrop)
        OnDrop(this, shift, point, effect);
}

void TDropTarget::FireLeave()
{
    if (OnLeave)
        OnLeave(this);
}
