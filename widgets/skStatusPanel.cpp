#include "widgets/skStatusPanel.h"

#include <QLocale>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QToolTip>
#include <QWidget>
#include <pwd.h>
#include <unistd.h>

#include "rtl/StrUtils.h"
#include "widgets/skErrors.h"
#include "widgets/skKeyState.h"
#include "widgets/skStatusBar.h"
#include "widgets/skStatusPanels.h"

namespace {

bool IsRichEdit(const QObject* o)
{
    return qobject_cast<const QTextEdit*>(o) || qobject_cast<const QPlainTextEdit*>(o);
}

bool NeedsDateTimer(TskStatusPanelStyle s)
{
    return s == psDateTime || s == psDate || s == psTime;
}

int KeyOfStyle(TskStatusPanelStyle s)
{
    switch (s) {
    case psOverWrite: return VK_INSERT;
    case psCapsLock: return VK_CAPITAL;
    case psNumLock: return VK_NUMLOCK;
    case psScrollLock: return VK_SCROLL;
    default: return 0;
    }
}

std::string UserName()
{
    struct passwd pw {};
    struct passwd* found = nullptr;
    char buffer[4096];
    if (getpwuid_r(geteuid(), &pw, buffer, sizeof buffer, &found) != 0 || !found)
        return {};
    return found->pw_name;
}

std::string ComputerName()
{
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return {};
    return name;
}

} // namespace

TskStatusPanel::TskStatusPanel(TskStatusPanels* panels) : TskCollectionItem(panels)
{
    panels->BeginUpdate();
    TskCustomStatusBar* bar = panels->Owner();
    FFont = TFont(bar ? bar->font() : QFont(), clWindowText);
    FFont.OnChange = [this] {
        if (FStyle == psControl)
            if (auto* w = qobject_cast<QWidget*>(FComponent))
                w->setFont(FFont.Font());
        MarkChanged();
    };
    for (int n = 0;; ++n) {
        std::string name = "Panel" + std::to_string(n);
        if (!panels->FindPanel(name)) {
            FName = name;
            break;
        }
    }
    FTextOptions = std::make_unique<TskCaptionText>([this] { Redraw(); }, nullptr, [this] { return FDrawEnabled; },
                                                    &FFont, nullptr);
    FTextOptions->SetVAlignment(vaVCenter);
    panels->EndUpdate();
}

TskStatusPanel::~TskStatusPanel()
{
    QObject::disconnect(FComponentWatch);
}

TskStatusPanels* TskStatusPanel::Panels() const
{
    return static_cast<TskStatusPanels*>(Collection());
}

TskCustomStatusBar* TskStatusPanel::StatusBar() const
{
    return Panels() ? Panels()->Owner() : nullptr;
}

void TskStatusPanel::SetBevel(TskStatusPanelBevel v)
{
    if (Change(FBevel, v))
        MarkChanged();
}

void TskStatusPanel::SetColor(TColor v)
{
    if (Change(FColor, v))
        MarkChanged();
}

void TskStatusPanel::SetEnabled(bool v)
{
    if (!Change(FEnabled, v))
        return;
    if (FStyle == psControl)
        if (auto* w = qobject_cast<QWidget*>(FComponent))
            w->setEnabled(v);
    MarkChanged();
}

void TskStatusPanel::SetHint(const std::string& v)
{
    if (!Change(FHint, v))
        return;
    if (FStyle == psControl)
        if (auto* w = qobject_cast<QWidget*>(FComponent))
            w->setToolTip(QString::fromStdString(v));
    MarkChanged();
}

void TskStatusPanel::SetImageIndex(int v)
{
    if (Change(FImageIndex, v))
        MarkChanged();
}

void TskStatusPanel::SetIndent(int v)
{
    if (Change(FIndent, v))
        MarkChanged();
}

void TskStatusPanel::SetMargin(int v)
{
    if (Change(FMargin, v))
        MarkChanged();
}

void TskStatusPanel::SetPopupMenu(QMenu* v)
{
    if (Change(FPopupMenu, v))
        MarkChanged();
}

void TskStatusPanel::SetName(const std::string& v)
{
    if (v == FName)
        return;
    if (Panels() && Panels()->FindPanel(v))
        throw EInvalidOperation("A panel named " + v + " already exists.");
    FName = v;
    MarkChanged();
    NotifyObserver();
}

void TskStatusPanel::SetWidth(const std::string& v)
{
    if (v == FWidth)
        return;
    // Pixels (any integer but -1), or 0 to 100 followed by "%"; an empty text
    // has no last character to look at.
    std::optional<std::int64_t> parsed = rtl::ParseInt64(v);
    bool isPixels = parsed && *parsed != -1 && *parsed >= INT32_MIN && *parsed <= INT32_MAX;
    int pixels = isPixels ? int(*parsed) : 0;
    std::optional<int> percent;
    if (!isPixels) {
        std::optional<std::int64_t> p;
        if (!v.empty() && v.back() == '%')
            p = rtl::ParseInt64(v.substr(0, v.size() - 1));
        if (!p || *p < 0 || *p > 100)
            throw EInvalidOperation(
                "Width must be a valid, positive integer, or must be an integer followed by a \"%\" sign.");
        percent = int(*p);
    }
    FWidth = v;
    FPercent = percent;
    FPixelWidth = pixels;
    if (StatusBar())
        StatusBar()->Resize();
    Changed(true);
}

void TskStatusPanel::WatchComponent()
{
    QObject::disconnect(FComponentWatch);
    if (FComponent)
        FComponentWatch = QObject::connect(FComponent, &QObject::destroyed, [this](QObject* o) { ComponentRemoved(o); });
}

void TskStatusPanel::ReleaseComponent()
{
    QObject::disconnect(FComponentWatch);
    FComponent = nullptr;
    FStyle = psTextOnly;
    MarkChanged();
}

void TskStatusPanel::SetComponent(QObject* v)
{
    if (v == FComponent)
        return;
    TskCustomStatusBar* bar = StatusBar();
    if (v && v == bar)
        throw EInvalidOperation("Control cannot equal parent StatusBar");
    // The control hosted until now goes back to the bar's form.
    if (auto* old = qobject_cast<QWidget*>(FComponent); old && FStyle == psControl && bar && old->parentWidget() == bar) {
        bool visible = !old->isHidden();
        old->setParent(bar->window() != bar ? bar->window() : nullptr);
        old->setVisible(visible);
    }
    FComponent = v;
    WatchComponent();
    if (!v) {
        FStyle = psTextOnly;
    } else if (IsRichEdit(v)) {
        SetStyle(psRichEditStatus);
    } else if (v->isWidgetType()) {
        // Set again so another panel that hosts it lets it go.
        if (FStyle == psControl)
            FStyle = psTextOnly;
        SetStyle(psControl);
    }
    MarkChanged();
}

void TskStatusPanel::SetStyle(TskStatusPanelStyle v)
{
    if (v == FStyle)
        return;
    TskStatusPanelStyle old = FStyle;
    FStyle = v;
    TskCustomStatusBar* bar = StatusBar();
    if (bar && bar->HasWindow())
        bar->StopTimerFor(old);
    if (v == psControl && FComponent)
        for (TskCustomStatusBar* other : TskCustomStatusBar::StatusBarList())
            for (int i = 0; i < other->Panels().Count(); ++i) {
                TskStatusPanel* p = other->Panels().GetPanel(i);
                if (p != this && p->FComponent == FComponent)
                    p->ReleaseComponent();
            }
    if (bar && bar->HasWindow())
        bar->StartTimerFor(v);
    MarkChanged();
}

void TskStatusPanel::SetText(const std::string& v)
{
    if (!Change(FText, v))
        return;
    if (OnTextChanged)
        OnTextChanged(this, v);
    Redraw();
}

TRect TskStatusPanel::PanelRect() const
{
    TskCustomStatusBar* bar = StatusBar();
    return bar ? bar->PartRect(Index()) : TRect{};
}

void TskStatusPanel::Assign(const TskStatusPanel& s)
{
    SetBevel(s.FBevel);
    SetColor(s.FColor);
    SetComponent(s.FComponent);
    SetEnabled(s.FEnabled);
    FFont.Assign(s.FFont);
    SetHint(s.FHint);
    SetImageIndex(s.FImageIndex);
    SetIndent(s.FIndent);
    SetMargin(s.FMargin);
    SetPopupMenu(s.FPopupMenu);
    SetStyle(s.FStyle);
    SetText(s.FText);
    SetWidth(s.FWidth);
    OnClick = s.OnClick;
    OnDblClick = s.OnDblClick;
    OnDrawText = s.OnDrawText;
    OnMouseDown = s.OnMouseDown;
    OnMouseMove = s.OnMouseMove;
    OnMouseUp = s.OnMouseUp;
    OnTextChanged = s.OnTextChanged;
}

void TskStatusPanel::RefreshDateTime()
{
    TskCustomStatusBar* bar = StatusBar();
    QDateTime now = bar ? bar->Now() : QDateTime::currentDateTime();
    QLocale locale;
    QString text;
    if (FStyle == psDateTime)
        text = locale.toString(now.date(), QLocale::ShortFormat) + " " + locale.toString(now.time(), QLocale::ShortFormat);
    else if (FStyle == psDate)
        text = locale.toString(now.date(), QLocale::ShortFormat);
    else
        text = locale.toString(now.time(), QLocale::ShortFormat);
    FShown = now;
    std::string t = text.toStdString();
    if (Change(FText, t)) {
        if (OnTextChanged)
            OnTextChanged(this, t);
    }
}

bool TskStatusPanel::DateTimeUnchanged() const
{
    TskCustomStatusBar* bar = StatusBar();
    if (!bar || !FShown.isValid())
        return false;
    QDateTime now = bar->Now();
    switch (FStyle) {
    case psDateTime: return now == FShown;
    case psDate: return now.date() == FShown.date();
    case psTime: return now.time() == FShown.time();
    default: return false;
    }
}

void TskStatusPanel::Redraw()
{
    TskCustomStatusBar* bar = StatusBar();
    if (!bar || !bar->HasWindow())
        return;
    if (!bar->InsideSize() && DateTimeUnchanged())
        return;
    TRect r = PanelRect();
    if (r.Width() < 1 || r.Height() < 1)
        return;
    // Painting happens in the bar's paint event only.
    bar->update(r.ToQRect());
}

void TskStatusPanel::Paint(QPainter& canvas, const TRect& r)
{
    QPainter* savedCanvas = FCanvas;
    TRect savedRect = FRect;
    FCanvas = &canvas;
    FRect = r;
    if (NeedsDateTimer(FStyle))
        RefreshDateTime();
    if (FStyle != psControl)
        canvas.fillRect(r.ToQRect(), ToQColor(FColor));
    switch (FStyle) {
    case psControl: PositionControl(); break;
    case psOverWrite:
    case psCapsLock:
    case psNumLock:
    case psScrollLock: DrawKeyState(); break;
    case psGlyph: DrawGlyph(); break;
    case psRichEditStatus:
        DrawTextIn("Ln: " + std::to_string(CaretLine + 1) + ", Col: " + std::to_string(CaretColumn + 1), r, FEnabled);
        break;
    case psHint: DrawTextIn(TskCustomStatusBar::ApplicationHint(), r, FEnabled); break;
    case psUserName: DrawTextIn(UserName(), r, FEnabled); break;
    case psComputerName: DrawTextIn(ComputerName(), r, FEnabled); break;
    default: DrawTextIn(FText, r, FEnabled); break;
    }
    FCanvas = savedCanvas;
    FRect = savedRect;
}

void TskStatusPanel::DrawTextIn(std::string text, TRect r, bool enabled)
{
    // In 64 bits: the indent is whatever a caller set.
    r.Left = ClampExtent(std::int64_t(r.Left) + 2 + FIndent);
    r.Right -= 2;
    FCanvas->setFont(FFont.Font());
    FTextOptions->Canvas = FCanvas;
    FTextOptions->TextRect = r;
    if (FDrawing)
        return;
    FDrawing = true;
    auto invalidate = std::move(FTextOptions->InvalidateProc);
    FTextOptions->InvalidateProc = nullptr;
    if (OnDrawText)
        OnDrawText(this, text, enabled);
    FTextOptions->InvalidateProc = std::move(invalidate);
    FTextOptions->SetText(text);
    FDrawEnabled = enabled;
    FCanvas->setBrush(Qt::NoBrush);
    FTextOptions->Draw();
    FDrawing = false;
    if (text != FText && OnTextChanged)
        OnTextChanged(this, text);
}

void TskStatusPanel::DrawKeyState()
{
    FText.clear();
    int vk = KeyOfStyle(FStyle);
    TskCustomStatusBar* bar = StatusBar();
    TskStatusBarText& words = bar->StatusBarText();
    std::string word = FStyle == psCapsLock ? words.CapsLock()
                       : FStyle == psNumLock ? words.NumLock()
                       : FStyle == psScrollLock ? words.ScrollLock()
                                                : words.Overwrite();
    bool on = KeyToggled(vk);
    if (bar->OnDrawKeyboardState)
        bar->OnDrawKeyboardState(bar, this, on, FRect, word);
    DrawTextIn(word, FRect, on);
}

void TskStatusPanel::DrawGlyph()
{
    TskCustomStatusBar* bar = StatusBar();
    TRect r = FRect;
    const QList<QPixmap>* images = bar->Images();
    if (images && FImageIndex >= 0 && FImageIndex < images->size()) {
        const QPixmap& image = images->at(FImageIndex);
        DrawImageListImage(images, FImageIndex, *FCanvas, FEnabled, FRect.Top + (FRect.Height() - image.height()) / 2,
                           ClampExtent(std::int64_t(FRect.Left) + FMargin));
        r.Left = FRect.Left + image.width() + 5;
    }
    DrawTextIn(FText, r, FEnabled);
}

void TskStatusPanel::PositionControl()
{
    auto* control = qobject_cast<QWidget*>(FComponent);
    TskCustomStatusBar* bar = StatusBar();
    if (!control || !bar)
        return;
    if (control->parentWidget() != bar) {
        control->setParent(bar);
        control->show();
    }
    DrawTextIn(FText, FRect, FEnabled);
    TRect r = FRect;
    if (!FText.empty() && FTextOptions->Alignment() == taLeftJustify)
        r.Left = FTextOptions->DrawRect.Right + 2;
    else if (!FText.empty() && FTextOptions->Alignment() == taRightJustify)
        r.Right = FTextOptions->DrawRect.Left - 2;
    // The margin is whatever a caller set: the inset is worked out in 64 bits.
    const std::int64_t m = FMargin;
    r = {ClampExtent(r.Left + m), ClampExtent(r.Top + m), ClampExtent(r.Right - m), ClampExtent(r.Bottom - m)};
    if (r.Width() > 0 && r.Height() > 0 && control->geometry() != r.ToQRect()) {
        control->setGeometry(r.ToQRect());
        InvalidateTree(control);
    }
}

void TskStatusPanel::Click()
{
    if (OnClick)
        OnClick(this);
}

void TskStatusPanel::DblClick()
{
    if (OnDblClick)
        OnDblClick(this);
    if (int vk = KeyOfStyle(FStyle); vk && ToggleKey(vk))
        TskCustomStatusBar::KeyboardHook(vk);
}

void TskStatusPanel::MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y)
{
    if (OnMouseDown)
        OnMouseDown(this, button, shift, x, y);
    if (button == Qt::RightButton && FPopupMenu && StatusBar())
        FPopupMenu->popup(StatusBar()->mapToGlobal(QPoint(x, y)));
}

void TskStatusPanel::MouseMove(Qt::KeyboardModifiers shift, int x, int y)
{
    if (OnMouseMove)
        OnMouseMove(this, shift, x, y);
    TskCustomStatusBar* bar = StatusBar();
    if (bar && bar->toolTip().toStdString() != FHint) {
        QToolTip::hideText();
        bar->setToolTip(QString::fromStdString(FHint));
    }
}

void TskStatusPanel::MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y)
{
    if (OnMouseUp)
        OnMouseUp(this, button, shift, x, y);
}

void TskStatusPanel::ComponentRemoved(QObject* component)
{
    if (component == FComponent) {
        QObject::disconnect(FComponentWatch);
        FComponent = nullptr;
        FStyle = psTextOnly;
        MarkChanged();
    }
}
