#include "widgets/skStatusBar.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QSizeGrip>
#include <QStatusTipEvent>
#include <QStyle>
#include <QTextBlock>
#include <QTextEdit>
#include <algorithm>
#include <qdrawutil.h>

#include "rtl/StrUtils.h"
#include "widgets/skKeyState.h"

namespace {

std::vector<TskCustomStatusBar*> Bars;
std::string Hint;

// The program-wide keyboard hook: an application event filter that sees every
// lock key pressed or released in the program, and the status tips that make
// the application's hint.
class StatusBarKeyboardHook : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
            auto* key = static_cast<QKeyEvent*>(event);
            // A key event travels up the parents and comes by once for each.
            Seen current{key->type(), key->key(), key->timestamp(), key->isAutoRepeat()};
            if (!(current == FLast)) {
                FLast = current;
                int vk = key->key() == Qt::Key_CapsLock     ? VK_CAPITAL
                         : key->key() == Qt::Key_Insert     ? VK_INSERT
                         : key->key() == Qt::Key_NumLock    ? VK_NUMLOCK
                         : key->key() == Qt::Key_ScrollLock ? VK_SCROLL
                                                            : 0;
                if (vk == VK_INSERT && key->type() == QEvent::KeyPress && !key->isAutoRepeat())
                    ToggleKey(VK_INSERT);
                if (vk)
                    TskCustomStatusBar::KeyboardHook(vk);
            }
        } else if (event->type() == QEvent::StatusTip) {
            Hint = static_cast<QStatusTipEvent*>(event)->tip().toStdString();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    struct Seen {
        QEvent::Type type = QEvent::None;
        int key = 0;
        quint64 timestamp = 0;
        bool repeat = false;
        bool operator==(const Seen&) const = default;
    } FLast;
};

void InstallKeyboardHook()
{
    static QPointer<StatusBarKeyboardHook> hook;
    if (!hook && QCoreApplication::instance()) {
        hook = new StatusBarKeyboardHook(QCoreApplication::instance());
        QCoreApplication::instance()->installEventFilter(hook);
    }
}

bool DateStyle(TskStatusPanelStyle s)
{
    return s == psDateTime || s == psDate || s == psTime;
}

constexpr int MaxParts = 128;

} // namespace

TskCustomStatusBar::TskCustomStatusBar(QWidget* parent)
    : QWidget(parent), FStatusBarText([this] { update(); }), FTimer200(new QTimer(this)), FTimer300(new QTimer(this)),
      FTimer400(new QTimer(this)), FGrip(new QSizeGrip(this))
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setFixedHeight(20);
    FPanels = std::make_unique<TskStatusPanels>(this);
    FTimer200->setInterval(1000);
    FTimer300->setInterval(100);
    FTimer400->setInterval(100);
    connect(FTimer200, &QTimer::timeout, this, [this] { TimerTick(200); });
    connect(FTimer300, &QTimer::timeout, this, [this] { TimerTick(300); });
    connect(FTimer400, &QTimer::timeout, this, [this] { TimerTick(400); });
    FGrip->hide();
    Bars.push_back(this);
    InstallKeyboardHook();
}

TskCustomStatusBar::~TskCustomStatusBar()
{
    Bars.erase(std::remove(Bars.begin(), Bars.end(), this), Bars.end());
    FHasWindow = false;
    FTimer200->stop();
    FTimer300->stop();
    FTimer400->stop();
    // Hosted controls belong to the form: they go back to it rather than
    // die with the bar.
    for (int i = 0; i < FPanels->Count(); ++i) {
        auto* control = qobject_cast<QWidget*>(FPanels->GetPanel(i)->Component());
        if (control && control->parentWidget() == this && window() != this) {
            control->hide();
            control->setParent(window());
        }
    }
    FPanels.reset();
}

const std::vector<TskCustomStatusBar*>& TskCustomStatusBar::StatusBarList()
{
    return Bars;
}

std::string TskCustomStatusBar::ApplicationHint()
{
    return Hint;
}

void TskCustomStatusBar::SetApplicationHint(const std::string& hint)
{
    Hint = hint;
}

void TskCustomStatusBar::KeyboardHook(int vk)
{
    TskStatusPanelStyle style = vk == VK_CAPITAL ? psCapsLock
                                : vk == VK_INSERT ? psOverWrite
                                : vk == VK_NUMLOCK ? psNumLock
                                                   : psScrollLock;
    for (TskCustomStatusBar* bar : Bars)
        bar->Panels().RefreshStyle(style);
}

void TskCustomStatusBar::SetSimplePanel(bool v)
{
    if (Change(FSimplePanel, v))
        update();
}

void TskCustomStatusBar::SetSimpleText(const std::string& v)
{
    if (Change(FSimpleText, v))
        update();
}

bool TskCustomStatusBar::SizeGrip() const
{
    const QWidget* form = window();
    if (!FSizeGrip || form == this)
        return false;
    return form->minimumSize() != form->maximumSize() && !(form->windowFlags() & Qt::MSWindowsFixedSizeDialogHint);
}

void TskCustomStatusBar::SetSizeGrip(bool v)
{
    if (Change(FSizeGrip, v)) {
        PlaceSizeGrip();
        update();
    }
}

void TskCustomStatusBar::SetImages(const QList<QPixmap>* v)
{
    if (Change(FImages, v))
        update();
}

void TskCustomStatusBar::SetColor(TColor v)
{
    if (Change(FColor, v))
        update();
}

int TskCustomStatusBar::ExpectedParts() const
{
    return FPanels->Count() == 0 ? 1 : std::min(FPanels->Count(), MaxParts);
}

void TskCustomStatusBar::UpdatePanels()
{
    if (!FHasWindow)
        return;
    FRebuildScheduled = false;
    int n = std::min(FPanels->Count(), MaxParts);
    FParts.clear();
    FPartBevels.clear();
    if (n == 0) {
        FParts.push_back(-1);
        FPartBevels.push_back(pbLowered);
        update();
        return;
    }
    std::int64_t edge = 0;
    for (int i = 0; i < n; ++i) {
        edge += std::max(FPanels->GetPanel(i)->PixelWidth(), 0);
        FParts.push_back(i < n - 1 ? int(std::min<std::int64_t>(edge, INT32_MAX)) : -1);
        FPartBevels.push_back(pbLowered);
    }
    for (int i = 0; i < n; ++i)
        UpdatePanelText(i, false);
    update();
}

void TskCustomStatusBar::UpdatePanelText(int index, bool redraw)
{
    if (!FHasWindow || index < 0 || index >= int(FPartBevels.size()) || index >= FPanels->Count())
        return;
    FPartBevels[std::size_t(index)] = FPanels->GetPanel(index)->Bevel();
    if (redraw)
        update(PartFrame(index).ToQRect());
}

TRect TskCustomStatusBar::PartFrame(int index) const
{
    if (index < 0 || index >= int(FParts.size()))
        return {};
    int left = index == 0 ? 0 : std::max(FParts[std::size_t(index - 1)], 0);
    int right = FParts[std::size_t(index)] == -1 ? width() : FParts[std::size_t(index)];
    right = std::min(right, width());
    // The last part ends where the size grip begins.
    if (index == int(FParts.size()) - 1 && SizeGrip())
        right = std::min(right, width() - GripAllowance() + 2);
    return {left, 2, std::max(left, right - 2), height()};
}

TRect TskCustomStatusBar::PartRect(int index) const
{
    TRect f = PartFrame(index);
    if (f.Width() <= 2)
        return {f.Left, f.Top, f.Left, f.Top};
    return {f.Left + 1, f.Top + 1, f.Right - 1, f.Bottom - 1};
}

TskStatusPanel* TskCustomStatusBar::PanelAtPoint(int x, int y) const
{
    QPoint p(x, y);
    if (x == -1 && y == -1)
        p = mapFromGlobal(QCursor::pos());
    int n = std::min(int(FParts.size()), FPanels->Count());
    for (int i = 0; i < n; ++i)
        if (PartFrame(i).ToQRect().contains(p))
            return FPanels->GetPanel(i);
    return nullptr;
}

int TskCustomStatusBar::GripAllowance() const
{
    return std::min(23, style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 1);
}

void TskCustomStatusBar::DrawPanel(QPainter& canvas, TskStatusPanel* panel, TRect r)
{
    if (panel->Index() == FPanels->Count() - 1 && SizeGrip())
        r.Right = std::min(r.Right, width() - GripAllowance());
    if (r.Width() < 1 || r.Height() < 1)
        return;
    canvas.save();
    canvas.setClipRect(r.ToQRect(), Qt::IntersectClip);
    panel->Paint(canvas, r);
    canvas.restore();
    if (OnDrawPanel)
        OnDrawPanel(this, panel, r);
}

void TskCustomStatusBar::paintEvent(QPaintEvent* event)
{
    QPainter canvas(this);
    canvas.fillRect(rect(), ToQColor(FColor));
    canvas.setFont(font());
    if (FSimplePanel) {
        canvas.setPen(ToQColor(clWindowText));
        DrawTextEx(canvas, FSimpleText, {4, 2, width() - 4, height()}, DT_NOPREFIX);
        return;
    }
    // The parts no longer match the panels: rebuild them, and draw no panel
    // by an index that may be gone.
    if (int(FParts.size()) != ExpectedParts()) {
        if (!FRebuildScheduled) {
            FRebuildScheduled = true;
            QTimer::singleShot(0, this, [this] { UpdatePanels(); });
        }
        return;
    }
    QPalette pal = palette();
    for (int i = 0; i < int(FParts.size()); ++i) {
        TRect frame = PartFrame(i);
        if (frame.Width() <= 0 || !event->rect().intersects(frame.ToQRect()))
            continue;
        TskStatusPanelBevel bevel = FPartBevels[std::size_t(i)];
        if (bevel != pbNone)
            qDrawShadePanel(&canvas, frame.ToQRect(), pal, bevel == pbLowered, 1);
        if (i < FPanels->Count())
            DrawPanel(canvas, FPanels->GetPanel(i), PartRect(i));
    }
}

void TskCustomStatusBar::Resize()
{
    std::int64_t barWidth = width();
    if (barWidth == 0)
        return;
    int n = FPanels->Count();
    std::int64_t assigned = 0;
    std::vector<bool> share(std::size_t(n), false);
    for (int i = 0; i < n; ++i) {
        TskStatusPanel* p = FPanels->GetPanel(i);
        if (p->Percent()) {
            share[std::size_t(i)] = true;
            continue;
        }
        std::int64_t v = rtl::StrToInt64Def(p->Width(), 0);
        // A negative width would run the edges backwards: it takes nothing.
        std::int64_t w = std::clamp<std::int64_t>(std::min(barWidth - assigned, v), 0, INT32_MAX);
        p->SetPixelWidth(int(w));
        assigned += w;
    }
    // With nothing left a share keeps -1, which the edges count as 0.
    std::int64_t rest = barWidth - assigned;
    for (int i = 0; i < n; ++i)
        if (share[std::size_t(i)])
            FPanels->GetPanel(i)->SetPixelWidth(rest > 0 ? int(*FPanels->GetPanel(i)->Percent() * rest / 100) : -1);
    QSize now = size();
    if (FLastSize == QSize(0, 0) || FLastSize.height() != now.height()) {
        UpdatePanels();
    } else {
        int from = now.width() > FLastSize.width() ? FLastSize.width() - 25 : now.width() - 25;
        update(QRect(from, 0, now.width() - from, now.height()));
    }
    FLastSize = now;
    bool anyShare = std::any_of(share.begin(), share.end(), [](bool b) { return b; });
    if (anyShare)
        UpdatePanels();
}

void TskCustomStatusBar::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    FInsideSize = true;
    if (parentWidget()) {
        Resize();
        for (int i = 0; i < FPanels->Count(); ++i) {
            TskStatusPanel* p = FPanels->GetPanel(i);
            if (p->Style() != psControl)
                p->Redraw();
        }
    }
    PlaceSizeGrip();
    FInsideSize = false;
    if (OnResize)
        OnResize(this);
}

void TskCustomStatusBar::PlaceSizeGrip()
{
    bool show = SizeGrip() && !FSimplePanel;
    int side = std::min(height(), 16);
    FGrip->setGeometry(width() - side, height() - side, side, side);
    FGrip->setVisible(show && FHasWindow);
}

QTimer* TskCustomStatusBar::TimerById(int id) const
{
    return id == 200 ? FTimer200 : id == 300 ? FTimer300 : id == 400 ? FTimer400 : nullptr;
}

bool TskCustomStatusBar::TimerActive(int id) const
{
    QTimer* t = TimerById(id);
    return t && t->isActive();
}

void TskCustomStatusBar::StartTimerFor(TskStatusPanelStyle style)
{
    QTimer* t = DateStyle(style) ? FTimer200 : style == psHint ? FTimer300 : style == psRichEditStatus ? FTimer400 : nullptr;
    if (t && FHasWindow && !t->isActive())
        t->start();
}

void TskCustomStatusBar::StopTimerFor(TskStatusPanelStyle style)
{
    // Only when no other panel still needs the timer.
    auto needs = [&](auto pred) {
        for (int i = 0; i < FPanels->Count(); ++i)
            if (pred(FPanels->GetPanel(i)->Style()))
                return true;
        return false;
    };
    if (DateStyle(style) && !needs(DateStyle))
        FTimer200->stop();
    if (style == psHint && !needs([](TskStatusPanelStyle s) { return s == psHint; }))
        FTimer300->stop();
    if (style == psRichEditStatus && !needs([](TskStatusPanelStyle s) { return s == psRichEditStatus; }))
        FTimer400->stop();
}

void TskCustomStatusBar::TimerTick(int id)
{
    for (int i = 0; i < FPanels->Count(); ++i) {
        TskStatusPanel* p = FPanels->GetPanel(i);
        if (id == 200 && DateStyle(p->Style())) {
            p->Redraw();
        } else if (id == 300 && p->Style() == psHint) {
            p->SetText(Hint);
        } else if (id == 400 && p->Style() == psRichEditStatus) {
            QTextCursor cursor;
            if (auto* edit = qobject_cast<QTextEdit*>(p->Component()))
                cursor = edit->textCursor();
            else if (auto* plain = qobject_cast<QPlainTextEdit*>(p->Component()))
                cursor = plain->textCursor();
            else
                continue;
            int line = cursor.blockNumber(), column = cursor.positionInBlock();
            if (line != p->CaretLine || column != p->CaretColumn) {
                p->CaretLine = line;
                p->CaretColumn = column;
                p->Redraw();
            }
        }
    }
}

void TskCustomStatusBar::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (FHasWindow)
        return;
    FHasWindow = true;
    Resize();
    UpdatePanels();
    for (int i = 0; i < FPanels->Count(); ++i)
        StartTimerFor(FPanels->GetPanel(i)->Style());
    PlaceSizeGrip();
}

void TskCustomStatusBar::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    FHasWindow = false;
    FTimer200->stop();
    FTimer300->stop();
    FTimer400->stop();
}

void TskCustomStatusBar::mousePressEvent(QMouseEvent* event)
{
    QPoint p = event->position().toPoint();
    FPressed = PanelAtPoint(p.x(), p.y());
    if (FPressed)
        FPressed->MouseDown(event->button(), event->modifiers(), p.x(), p.y());
    if (OnMouseDown)
        OnMouseDown(this, event->button(), event->modifiers(), p.x(), p.y());
}

void TskCustomStatusBar::mouseReleaseEvent(QMouseEvent* event)
{
    QPoint p = event->position().toPoint();
    TskStatusPanel* panel = PanelAtPoint(p.x(), p.y());
    if (panel)
        panel->MouseUp(event->button(), event->modifiers(), p.x(), p.y());
    if (OnMouseUp)
        OnMouseUp(this, event->button(), event->modifiers(), p.x(), p.y());
    // A click: pressed and released over the bar with the left button.
    if (event->button() == Qt::LeftButton && rect().contains(p)) {
        if (panel && panel == FPressed)
            panel->Click();
        if (OnClick)
            OnClick(this);
    }
    FPressed = nullptr;
}

void TskCustomStatusBar::mouseDoubleClickEvent(QMouseEvent* event)
{
    QPoint p = event->position().toPoint();
    if (TskStatusPanel* panel = PanelAtPoint(p.x(), p.y()))
        panel->DblClick();
    if (OnDblClick)
        OnDblClick(this);
}

void TskCustomStatusBar::mouseMoveEvent(QMouseEvent* event)
{
    QPoint p = event->position().toPoint();
    if (TskStatusPanel* panel = PanelAtPoint(p.x(), p.y()))
        panel->MouseMove(event->modifiers(), p.x(), p.y());
    if (OnMouseMove)
        OnMouseMove(this, event->modifiers(), p.x(), p.y());
}

bool TskCustomStatusBar::event(QEvent* event)
{
    if (event->type() == QEvent::ParentChange || event->type() == QEvent::WindowStateChange)
        PlaceSizeGrip();
    return QWidget::event(event);
}
