#include "widgets/skOutlookBar.h"

#include <QEvent>
#include <QPainter>

#include "widgets/skClasses.h"
#include "widgets/skCommon.h"
#include "widgets/skImager.h"
#include "widgets/skShapeBtn.h"

void RegisterOutlookBarClasses()
{
    RegisterClass(&TskOutlookPanel::staticMetaObject);
}
Q_CONSTRUCTOR_FUNCTION(RegisterOutlookBarClasses)

// ---- page ----------------------------------------------------------------

TskOutlookPage::TskOutlookPage(TskCollection* collection) : TskButtonGroupItem(collection)
{
    TskCustomOutlookBar* bar = Bar();
    TskCustomButtonGroup::TLayoutHold hold(bar);
    FPanel = new TskOutlookPanel(bar);
    FPanel->hide();
    FPanel->lower();
    FPanel->move(0, -FPanel->height() - 10);
    FPanel->Page = this;
    if (bar->CreateOutlookLists())
        CreateOutlookList();
}

TskOutlookPage::~TskOutlookPage()
{
    delete FPanel;
}

TskCustomOutlookBar* TskOutlookPage::Bar() const
{
    return static_cast<TskCustomOutlookBar*>(Group());
}

void TskOutlookPage::CreateOutlookList()
{
    if (FList || !FPanel)
        return;
    FList = new TskOutlookList(FPanel);
    FList->setGeometry(FPanel->rect());
    FList->SetSingleBorder(false);
    FList->setObjectName(QString::fromStdString(
        UniqueComponentName(Bar()->window(), Bar()->objectName().toStdString() + "OutlookList")));
    FList->Page = this;
    FList->show();
    // The list fills its panel whatever size the panel takes.
    struct Fill : QObject {
        QPointer<TskCustomOutlookList> List;
        bool eventFilter(QObject* o, QEvent* e) override
        {
            if (e->type() == QEvent::Resize && List)
                List->setGeometry(static_cast<QWidget*>(o)->rect());
            return false;
        }
    };
    auto* fill = new Fill;
    fill->setParent(FPanel);
    fill->List = FList;
    FPanel->installEventFilter(fill);
}

// ---- pages ---------------------------------------------------------------

TskCustomOutlookBar* TskOutlookPages::Bar() const
{
    return static_cast<TskCustomOutlookBar*>(Group());
}

TskOutlookPage* TskOutlookPages::Add()
{
    auto* page = static_cast<TskOutlookPage*>(TskButtonGroupItems::Add());
    if (Count() == 1 && page->Button())
        page->Button()->SetDown(true);
    Rearrange();
    return page;
}

void TskOutlookPages::SetControlBounds(QWidget* control, const QRect& r)
{
    if (auto* panel = qobject_cast<TskOutlookPanel*>(control)) {
        panel->BeingMoved = true;
        panel->setGeometry(r);
        panel->BeingMoved = false;
        return;
    }
    control->setGeometry(r);
    control->update();
}

// ---- bar -----------------------------------------------------------------

TskCustomOutlookBar::TskCustomOutlookBar(QWidget* parent) : TskCustomButtonGroup(parent)
{
    SetItemsObject(std::make_unique<TskOutlookPages>(this));
    SetAutoBold(false);
    SetBorderWidth(0);
    setAttribute(Qt::WA_OpaquePaintEvent);
    FBackgroundLink.OnChange = [this](void*) { update(); };
    FAnimTimer.setTimerType(Qt::PreciseTimer);
    connect(&FAnimTimer, &QTimer::timeout, this, [this] { Step(); });
}

TskCustomOutlookBar::~TskCustomOutlookBar()
{
    FAnimTimer.stop();
    if (FBackground)
        FBackground->RemoveChangeLink(&FBackgroundLink);
}

void TskCustomOutlookBar::SetButtonSize(int v)
{
    if (Change(FButtonSize, v))
        Rearrange();
}

void TskCustomOutlookBar::SetPanelPlacement(int v)
{
    if (Change(FPanelPlacement, std::clamp(v, 0, 2)))
        Rearrange();
}

void TskCustomOutlookBar::SetLayoutPages(bool v)
{
    if (Change(FLayoutPages, v))
        Rearrange();
}

void TskCustomOutlookBar::SetColor(TColor v)
{
    if (Change(FColor, v))
        update();
}

void TskCustomOutlookBar::SetBackground(TskCustomImager* v)
{
    if (v == FBackground)
        return;
    if (FBackground)
        FBackground->RemoveChangeLink(&FBackgroundLink);
    FBackground = v;
    if (v) {
        v->AddChangeLink(&FBackgroundLink);
        v->setParent(this);
        v->SetDrawMode(dmTile);
        v->setGeometry(0, 0, 25, 25);
        v->hide();
        connect(v, &QObject::destroyed, this, [this] { update(); });
    }
    update();
}

bool TskCustomOutlookBar::ButtonNeedsBackground(TskCustomBitBtn* button) const
{
    if (auto* shape = qobject_cast<TskCustomShapeBtn*>(button))
        return shape->Shape() != bsRect;
    if (auto* image = qobject_cast<TskCustomImageBtn*>(button))
        return image->TransparentColor() != skNoTransparentColor;
    return false;
}

void TskCustomOutlookBar::ButtonChanged(TskCustomBitBtn* sender)
{
    // A change the user made with the page's button slides; others jump.
    bool user = sender && sender->InUserAction();
    if (user)
        ++FUserChange;
    if (!ButtonItems().LayoutRunning)
        TskCustomButtonGroup::ButtonChanged(sender);
    else if (FLastSelected && FLastSelected->Button())
        FLastSelected->Button()->SetDown(true);
    if (user)
        --FUserChange;
}

void TskCustomOutlookBar::Rearrange()
{
    TskOutlookPages& pages = Pages();
    if (pages.LayoutRunning || pages.Adding || LayoutSuspended() || pages.Count() == 0)
        return;
    pages.LayoutRunning = true;
    const bool vertical = Layout() == loVertical;
    const int W = width(), H = height();
    const int visible = pages.VisibleCount();
    // A button takes no less than nothing and no more than a widget can be;
    // its sums run in 64 bits.
    const std::int64_t size = std::clamp(FButtonSize, 0, skMaxExtent);
    // Buttons that need more room than there is leave the panel no room, not less.
    const int E = int(std::max<std::int64_t>((vertical ? H : W) - size * visible, 0));
    std::int64_t p = FPanelPlacement == 1 ? E : 0;
    FPrevPanel = nullptr;
    FPrevIndex = -1;
    for (int i = 0; i < pages.Count(); ++i) {
        TskOutlookPage* page = pages.Items(i);
        if (page->OutlookList())
            page->OutlookList()->ScrollButtonsHidden = true;
        TskOutlookPanel* panel = page->Panel();
        if (!panel)
            continue;
        if (!panel->isHidden()) {
            FPrevPanel = panel;
            FPrevIndex = i;
        } else {
            panel->move(panel->x(), -panel->height());
        }
    }
    TskButtonGroupItem* selectedItem = Selected();
    auto* selected = static_cast<TskOutlookPage*>(selectedItem);
    if (!FLayoutPages) {
        if (FPrevPanel && (!selected || FPrevPanel != selected->Panel()))
            FPrevPanel->hide();
        if (selected && selected->Panel()) {
            selected->Panel()->setGeometry(rect());
            selected->Panel()->show();
        }
        FEntries.clear();
        FSteps = 0;
        Finish();
        return;
    }
    FEntries.clear();
    for (int k = 0; k < visible; ++k) {
        auto* page = static_cast<TskOutlookPage*>(pages.VisibleItem(k));
        TskCustomBitBtn* button = page->Button();
        QRect b = button->geometry();
        const int from = ClampExtent(p), to = ClampExtent(p + size - 1);
        QRect t = vertical ? QRect(QPoint(0, from), QPoint(W - 1, to)) : QRect(QPoint(from, 0), QPoint(to, H - 1));
        FEntries.push_back({button, b, t});
        TskOutlookPanel* panel = page->Panel();
        bool isSelected = page == selected;
        if (panel && (isSelected || panel == FPrevPanel)) {
            auto span = [](int l, int t, int r, int btm) { return QRect(QPoint(l, t), QPoint(r - 1, btm - 1)); };
            const int tr = t.left() + t.width(), tb = t.top() + t.height();
            if (isSelected) {
                const int br = b.left() + b.width(), bb = b.top() + b.height();
                QRect start, target;
                switch (FPanelPlacement) {
                case 1:
                    start = vertical ? span(b.left(), 0, br, 0) : span(0, b.top(), 0, bb);
                    target = vertical ? span(t.left(), 0, tr, E) : span(0, t.top(), E, tb);
                    break;
                case 2:
                    start = vertical ? span(b.left(), H - E, br, H - E) : span(W - E, b.top(), W - E, bb);
                    target = vertical ? span(t.left(), H - E, tr, H) : span(W - E, t.top(), W, tb);
                    break;
                default:
                    start = vertical ? span(b.left(), bb, br, bb) : span(br, b.top(), br, bb);
                    target = vertical ? span(t.left(), tb, tr, tb + E) : span(tr, t.top(), tr + E, tb);
                    p += E;
                    break;
                }
                if (panel != FPrevPanel)
                    pages.SetControlBounds(panel, start);
                else
                    start = panel->geometry();
                panel->show();
                FEntries.push_back({panel, start, target});
            } else {
                QRect target = vertical ? span(t.left(), tb, tr, tb) : span(tr, t.top(), tr, tb);
                FEntries.push_back({panel, panel->geometry(), target});
            }
        }
        p += size;
    }
    bool jump = !IsUserChange() || !FAnimation.Enabled;
    for (int i = 0; i < pages.Count() && !jump; ++i) {
        TskOutlookPage* page = pages.Items(i);
        if (!page->OutlookList() && page->Panel())
            for (QWidget* child : page->Panel()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
                if (child->property("Align").toInt() != 0)
                    jump = true;
    }
    // No step count below 1: the change always arrives at its end.
    FSteps = jump ? 1 : std::max(FAnimation.Steps, 1);
    FStep = 0;
    for (int i = 0; i < pages.Count(); ++i)
        if (pages.Items(i)->Button())
            pages.Items(i)->Button()->SuppressClicks = true;
    if (FSteps == 1) {
        Step();
        return;
    }
    // Each step waits for the timer; the event loop runs in between.
    FAnimTimer.start(std::max(FAnimation.Interval, 1));
}

void TskCustomOutlookBar::Step()
{
    ++FStep;
    TskOutlookPages& pages = Pages();
    for (const Entry& e : FEntries) {
        if (!e.Control)
            continue;
        auto lerp = [this](int a, int b) { return a + int(std::trunc(double(b - a) * FStep / FSteps)); };
        QRect r(QPoint(lerp(e.Start.left(), e.Target.left()), lerp(e.Start.top(), e.Target.top())),
                QPoint(lerp(e.Start.right() + 1, e.Target.right() + 1) - 1,
                       lerp(e.Start.bottom() + 1, e.Target.bottom() + 1) - 1));
        pages.SetControlBounds(e.Control, r);
    }
    if (FStep >= FSteps) {
        FAnimTimer.stop();
        Finish();
    }
}

void TskCustomOutlookBar::Finish()
{
    TskOutlookPages& pages = Pages();
    auto* selected = static_cast<TskOutlookPage*>(Selected());
    int selectedIndex = selected ? selected->Index() : -1;
    if (selected && FPrevPanel && FPrevPanel != selected->Panel()) {
        FPrevPanel->hide();
        FPrevPanel->move(FPrevPanel->x(), -FPrevPanel->height());
    }
    FEntries.clear();
    FLastSteps = FSteps;
    pages.LayoutRunning = false;
    for (int i = 0; i < pages.Count(); ++i) {
        TskOutlookPage* page = pages.Items(i);
        if (page->OutlookList()) {
            page->OutlookList()->ScrollButtonsHidden = false;
            page->OutlookList()->update();
        }
        if (page->Button())
            page->Button()->SuppressClicks = false;
    }
    if (FSteps > 0 && FPrevIndex >= 0 && selectedIndex >= 0) {
        int lo = std::min(FPrevIndex, selectedIndex), hi = std::max(FPrevIndex, selectedIndex);
        for (int i = lo + 1; i <= hi && i < pages.Count(); ++i)
            if (TskCustomBitBtn* b = pages.Items(i)->Button(); b && ButtonNeedsBackground(b))
                b->update();
    }
    update();
}

void TskCustomOutlookBar::PaintPanel(QPainter& canvas)
{
    if (FBackground && !FBackground->PictureEmpty()) {
        if (FBackground->Destination().Empty())
            FBackground->ResizeDestination();
        TRect all = TRect::From(rect());
        if (FBackground->DrawMode() == dmTile)
            FBackground->Destination().TileDraw(canvas, all);
        else
            FBackground->Destination().StretchDraw(canvas, all);
        return;
    }
    canvas.fillRect(rect(), ToQColor(FColor));
}

void TskCustomOutlookBar::changeEvent(QEvent* event)
{
    TskCustomButtonGroup::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        repaint();
}
