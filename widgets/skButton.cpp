#include "widgets/skButton.h"

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcut>
#include <QtEndian>
#include <array>

#include "widgets/skCommon.h"
#include "widgets/skRegion.h"

static std::array<QImage, 11>& KindGlyphs()
{
    // Loaded once per process, from the library's own resources.
    static std::array<QImage, 11> glyphs = [] {
        Q_INIT_RESOURCE(skButtonGlyphs);
        std::array<QImage, 11> g;
        const char* names[11] = {nullptr,    "SKBTNOK", "SKBTNCANCEL", "SKBTNHELP",   "SKBTNYES", "SKBTNNO",
                                 "SKBTNCLOSE", "SKBTNABORT", "SKBTNRETRY", "SKBTNIGNORE", "SKBTNALL"};
        for (int i = 1; i < 11; ++i)
            g[std::size_t(i)] = QImage(QString(":/skbuttons/%1.bmp").arg(names[i]));
        return g;
    }();
    return glyphs;
}

namespace {

struct KindInfo {
    bool Default, Cancel;
    TModalResult Result;
    const char* Caption;
};
const KindInfo Kinds[11] = {
    {false, false, mrNone, ""},         {true, false, mrOk, "OK"},          {false, true, mrCancel, "Cancel"},
    {false, false, mrNone, "&Help"},    {true, false, mrYes, "&Yes"},       {false, true, mrNo, "&No"},
    {false, false, mrNone, "&Close"},   {false, false, mrAbort, "Abort"},   {false, false, mrRetry, "&Retry"},
    {false, false, mrIgnore, "&Ignore"}, {false, false, mrAll, "&All"},
};

constexpr int RegionHeaderSize = 32;
// Corners of a stored shape lie within the extent a window can have, so the
// region's own arithmetic and any move by a window position stay in int.
constexpr std::int64_t RegionCoordinateLimit = QWIDGETSIZE_MAX;

} // namespace

void TskOffsets::Set(int& field, int v)
{
    if (Change(field, v) && FOwner)
        FOwner->update();
}

void TskOffsets::Assign(const TskOffsets& source)
{
    FGlyphX = source.FGlyphX;
    FGlyphY = source.FGlyphY;
    FTextX = source.FTextX;
    FTextY = source.FTextY;
    TextDownX = source.TextDownX;
    TextDownY = source.TextDownY;
    if (FOwner)
        FOwner->update();
}

void TskShadeColors::Set(int index, TColor v)
{
    if (Change(FColors[index], v) && FOwner)
        FOwner->update();
}

void TskShadeColors::Assign(const TskShadeColors& source)
{
    for (int i = 0; i < 6; ++i)
        FColors[i] = source.FColors[i];
    if (FOwner)
        FOwner->update();
}

TskCustomBitBtn::TskCustomBitBtn(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    FOffsets = std::make_unique<TskOffsets>(this);
    FFont = TFont(font(), clBtnText);
    FFont.OnChange = [this] { update(); };
    FTextOptions = std::make_unique<TskCaptionText>([this] { update(); }, [] {}, [this] { return GetEnabledForText(); },
                                                    &FFont, nullptr);
    FTextOptions->SetAlignment(taCenter);
    FTextOptions->SetVAlignment(vaVCenter);
    resize(75, 25);
    setMouseTracking(true);
    UpdateFocusPolicy();
    FFocusWatch =
        connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { FocusChanged(now); });
}

TskCustomBitBtn::~TskCustomBitBtn()
{
    // QWidget's destructor gives up the focus, and the application reports
    // that when only the QWidget of this button is left.
    disconnect(FFocusWatch);
    if (FWatchedWindow)
        FWatchedWindow->removeEventFilter(this);
}

void TskCustomBitBtn::SetAllowAllUp(bool v)
{
    if (Change(FAllowAllUp, v))
        NotifyGroup();
}

void TskCustomBitBtn::SetGroupIndex(int v)
{
    if (Change(FGroupIndex, v))
        NotifyGroup();
}

void TskCustomBitBtn::SetCancel(bool v)
{
    FCancel = v;
    WatchWindow();
}

void TskCustomBitBtn::SetDefault(bool v)
{
    FDefault = v;
    WatchWindow();
    // Every button works out again whether Enter is its own now.
    FocusChanged(QApplication::focusWidget());
}

void TskCustomBitBtn::SetDown(bool v)
{
    if (FGroupIndex == 0)
        v = false;
    if (v == FDown)
        return;
    SetDownState(v, true, true);
    if (FDown == v)
        SelChange();
}

void TskCustomBitBtn::SetGlyph(const QImage& v)
{
    FGlyph = v;
    GlyphChanged();
    update();
}

TBitBtnKind TskCustomBitBtn::Kind() const
{
    if (FKind == bkCustom)
        return bkCustom;
    const KindInfo& k = Kinds[FKind];
    if (k.Default != FDefault || k.Cancel != FCancel || k.Result != FModalResult)
        return bkCustom;
    return FKind;
}

void TskCustomBitBtn::SetKind(TBitBtnKind v)
{
    if (v == FKind)
        return;
    FKind = v;
    if (v == bkCustom)
        return;
    const KindInfo& k = Kinds[v];
    SetDefault(k.Default);
    SetCancel(k.Cancel);
    FModalResult = k.Result;
    SetCaption(k.Caption);
    FGlyph = KindGlyphs()[std::size_t(v)];
    SetNumGlyphs(2);
    GlyphChanged();
    update();
}

void TskCustomBitBtn::SetLayout(TButtonLayout v)
{
    if (Change(FLayout, v))
        update();
}

void TskCustomBitBtn::SetMargin(int v)
{
    if (v >= -1 && Change(FMargin, v))
        update();
}

void TskCustomBitBtn::SetNumGlyphs(int v)
{
    if (Change(FNumGlyphs, std::clamp(v, 1, 4)))
        update();
}

void TskCustomBitBtn::SetOptions(TskButtonOptions v)
{
    TskButtonOptions old = FOptions;
    if (!Change(FOptions, v))
        return;
    if ((old & boFocusable) && !(v & boFocusable))
        SetTabStop(false);
    UpdateFocusPolicy();
    if ((old ^ v) & boAutoBold)
        ApplyBold();
    update();
}

void TskCustomBitBtn::SetShadeStyle(TskShadeStyle v)
{
    if (Change(FShadeStyle, v))
        RecreateWnd();
}

void TskCustomBitBtn::SetSmoothFont(bool v)
{
    if (Change(FSmoothFont, v))
        update();
}

void TskCustomBitBtn::SetSpacing(int v)
{
    if (Change(FSpacing, v))
        update();
}

void TskCustomBitBtn::SetStyle(TButtonStyle v)
{
    if (Change(FStyle, v))
        update();
}

void TskCustomBitBtn::SetCaption(const std::string& v)
{
    if (!Change(FCaption, v))
        return;
    FTextOptions->SetText(v);
    UpdateAccelerator();
    TextChangedHook();
    update();
}

void TskCustomBitBtn::SetColor(TColor v)
{
    if (Change(FColor, v))
        RecreateWnd();
}

void TskCustomBitBtn::SetTabStop(bool v)
{
    FTabStop = v;
    UpdateFocusPolicy();
}

void TskCustomBitBtn::UpdateFocusPolicy()
{
    // Tab reaches a tab stop; only a focusable button also takes the focus
    // when clicked (the others leave the active control alone).
    setFocusPolicy(FTabStop ? ((FOptions & boFocusable) ? Qt::StrongFocus : Qt::TabFocus) : Qt::NoFocus);
}

void TskCustomBitBtn::Assign(const TskCustomBitBtn& source)
{
    FColor = source.FColor;
    FOffsets->Assign(*source.FOffsets);
    FLayout = source.FLayout;
    FMargin = source.FMargin;
    FNumGlyphs = source.FNumGlyphs;
    SetOptions(source.FOptions);
    FShadeColors.Assign(source.FShadeColors);
    FSpacing = source.FSpacing;
    SetTabStop(source.FTabStop);
    source.FTextOptions->AssignTo(*FTextOptions);
    FTextOptions->SetText(FCaption);
    FTextOptions->SetAlignment(source.FTextOptions->Alignment());
    FTextOptions->SetVAlignment(source.FTextOptions->VAlignment());
    RecreateWnd();
}

void TskCustomBitBtn::SetShadeColorsFrom(TColor color)
{
    FShadeColors.SetBtnShadow(AdjustColor(color, -50, false));
    FShadeColors.SetBtnBlack(AdjustColor(FShadeColors.BtnShadow(), -50, false));
    FShadeColors.SetBtn3DLight(AdjustColor(color, 50, false));
    FShadeColors.SetBtnHighlight(AdjustColor(FShadeColors.Btn3DLight(), 50, false));
}

// ---- state -------------------------------------------------------------

void TskCustomBitBtn::SetDownState(bool down, bool invalidate, bool notifyGroup)
{
    if (down != FDown) {
        FDown = down;
        UpdateRegionOnStateChange();
        if (down)
            NotifyChanging();
        if (notifyGroup)
            NotifyGroup();
        if (invalidate)
            update();
    }
    ApplyBold();
}

void TskCustomBitBtn::ApplyBold()
{
    if (FGroupIndex <= 0 || !(FOptions & boAutoBold))
        return;
    SetBoldCaption(FDown);
}

void TskCustomBitBtn::SetBoldCaption(bool bold)
{
    FBoldCaption = bold;
    QFont f = FFont.Font();
    if (f.bold() != bold) {
        f.setBold(bold);
        FFont.SetFont(f);
    }
}

void TskCustomBitBtn::SelChange()
{
    FSelected = FDown;
    if (OnSelChange)
        OnSelChange(this);
    NotifyChanged();
}

void TskCustomBitBtn::NotifyGroup()
{
    if (FGroupIndex == 0 || !parentWidget())
        return;
    for (auto* other : parentWidget()->findChildren<TskCustomBitBtn*>(Qt::FindDirectChildrenOnly))
        other->ButtonPressed(FGroupIndex, this);
}

void TskCustomBitBtn::ButtonPressed(int groupIndex, TskCustomBitBtn* sender)
{
    if (groupIndex != FGroupIndex || sender == this)
        return;
    if (sender->Down() && FDown) {
        SetDownState(false, true, false);
        SelChange();
    }
}

// ---- mouse and keys ----------------------------------------------------

void TskCustomBitBtn::Press()
{
    FDownAtPress = FDown;
    if ((FOptions & boToggleOnUp) && FGroupIndex != 0)
        return;
    if (FOptions & boFocusable)
        setFocus(Qt::MouseFocusReason);
    bool was = FDown;
    SetDownState(true, false, false);
    if (FDown != was)
        PaintNow();
}

void TskCustomBitBtn::Release(bool inside)
{
    bool toggleOnUp = FOptions & boToggleOnUp;
    if (FGroupIndex != 0) {
        // Let go away from the button without a move there first.
        if (!inside && !toggleOnUp && FDown && !FDownAtPress)
            SetDownState(false, false, false);
        NotifyGroup();
        if (inside || toggleOnUp) {
            if (!FDownAtPress || FAllowAllUp) {
                SetDownState(!FDownAtPress, false, true);
                PaintNow();
                SelChange();
            }
        }
    } else {
        SetDownState(false, false, false);
        PaintNow();
    }
}

bool TskCustomBitBtn::PointInButton(const QPoint& p) const
{
    if (!rect().contains(p))
        return false;
    if (!UsesRegion())
        return true;
    QRegion shape = AppliedRegion();
    if (RegionChangesWithState() && FStored[!FDown])
        shape += *FStored[!FDown];
    return shape.contains(p);
}

QRegion TskCustomBitBtn::AppliedRegion() const
{
    return FApplied ? *FApplied : QRegion(rect());
}

void TskCustomBitBtn::mousePressEvent(QMouseEvent* event)
{
    if (SuppressClicks || event->button() != Qt::LeftButton)
        return;
    // A click beside the shape is not on the button.
    if (UsesRegion() && !PointInButton(event->position().toPoint())) {
        event->ignore();
        return;
    }
    FPressed = true;
    Press();
}

void TskCustomBitBtn::mouseMoveEvent(QMouseEvent* event)
{
    // A move over the button means the mouse is in it, whether or not an
    // enter event came first.
    if (rect().contains(event->position().toPoint()))
        MouseEntered();
    if (SuppressClicks || !FPressed || (FOptions & boToggleOnUp))
        return;
    bool inside = PointInButton(event->position().toPoint());
    bool was = FDown;
    if (inside && !FDown)
        SetDownState(true, false, false);
    else if (!inside && FDown && !FDownAtPress)
        SetDownState(false, false, false);
    if (FDown != was)
        PaintNow();
}

void TskCustomBitBtn::mouseReleaseEvent(QMouseEvent* event)
{
    if (SuppressClicks || event->button() != Qt::LeftButton || !FPressed)
        return;
    struct Scope {
        int& n;
        Scope(int& c) : n(c) { ++n; }
        ~Scope() { --n; }
    } scope(FUserAction);
    bool inside = parentWidget() && ClassNamed(parentWidget(), "TskCustomOutlookBar")
                      ? true
                      : PointInButton(event->position().toPoint());
    Release(inside);
    bool click = inside || (FOptions & boToggleOnUp);
    FPressed = false;
    if (click)
        Click();
}

void TskCustomBitBtn::keyPressEvent(QKeyEvent* event)
{
    if (SuppressClicks) {
        event->ignore();
        return;
    }
    ++FUserAction;
    struct Undo {
        int& n;
        ~Undo() { --n; }
    } undo{FUserAction};
    bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (event->key() == Qt::Key_Space && plain && !event->isAutoRepeat()) {
        FDownAtPress = FDown;
        Press();
        Release(true);
        Click();
        return;
    }
    if (plain && (((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && FActiveDefault) ||
                  (event->key() == Qt::Key_Escape && FCancel))) {
        Click();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool TskCustomBitBtn::eventFilter(QObject* watched, QEvent* event)
{
    // Enter and Escape typed anywhere in the window reach the default and
    // cancel buttons, as a dialog's own buttons would.
    if (watched == FWatchedWindow && event->type() == QEvent::KeyPress && !SuppressClicks && isVisible() &&
        isEnabled()) {
        auto* key = static_cast<QKeyEvent*>(event);
        bool plain = (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
        bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if (plain && ((enter && FActiveDefault) || (key->key() == Qt::Key_Escape && FCancel))) {
            Click();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TskCustomBitBtn::WatchWindow()
{
    QWidget* w = window();
    if (w == this || w == FWatchedWindow)
        return;
    if (FWatchedWindow)
        FWatchedWindow->removeEventFilter(this);
    FWatchedWindow = w;
    w->installEventFilter(this);
}

void TskCustomBitBtn::FocusChanged(QWidget* now)
{
    FActiveDefault = qobject_cast<TskCustomBitBtn*>(now) ? now == this : FDefault;
}

void TskCustomBitBtn::UpdateAccelerator()
{
    delete FShortcut;
    FShortcut = nullptr;
    QKeySequence key = QKeySequence::mnemonic(QString::fromStdString(FCaption));
    if (key.isEmpty())
        return;
    FShortcut = new QShortcut(key, this);
    connect(FShortcut, &QShortcut::activated, this, [this] {
        if (SuppressClicks || !isEnabled())
            return;
        SetDown(!FDown);
        Click();
        update();
    });
}

void TskCustomBitBtn::Click()
{
    if (SuppressClicks)
        return;
    FClicking = true;
    QWidget* form = window() != this ? window() : nullptr;
    TBitBtnKind kind = Kind();
    if (kind == bkHelp) {
        for (QWidget* w = this; w; w = w->parentWidget()) {
            int context = w->property("HelpContext").toInt();
            if (context != 0) {
                emit HelpRequested(context);
                FClicking = false;
                update();
                return;
            }
        }
    } else if (kind == bkClose && form) {
        form->close();
        FClicking = false;
        return;
    } else if (form && FModalResult != mrNone) {
        form->setProperty("ModalResult", FModalResult);
        if (auto* dialog = qobject_cast<QDialog*>(form))
            dialog->done(FModalResult);
    }
    if (OnClick)
        OnClick(this);
    FClicking = false;
    update();
}

void TskCustomBitBtn::enterEvent(QEnterEvent* event)
{
    QWidget::enterEvent(event);
    MouseEntered();
}

void TskCustomBitBtn::MouseEntered()
{
    if (FMouseInControl)
        return;
    FMouseInControl = true;
    if (FShadeStyle == fbsFlat || FNumGlyphs == 4)
        update();
    if (OnMouseEnter)
        OnMouseEnter(this);
}

void TskCustomBitBtn::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    if (!FMouseInControl)
        return;
    FMouseInControl = false;
    if (FShadeStyle == fbsFlat || FNumGlyphs == 4)
        update();
    if (OnMouseLeave)
        OnMouseLeave(this);
}

void TskCustomBitBtn::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::EnabledChange)
        update();
    else if (event->type() == QEvent::FontChange) {
        QFont f = font();
        if (FBoldCaption)
            f.setBold(*FBoldCaption);
        FFont.SetFont(f);
    }
    else if (event->type() == QEvent::ParentChange && (FDefault || FCancel))
        WatchWindow();
}

// ---- painting ----------------------------------------------------------

int TskCustomBitBtn::GlyphWidth() const
{
    return FGlyph.width() / std::max(FNumGlyphs, 1);
}

void TskCustomBitBtn::CalcLayout(const QSize& textSize, TRect& glyphRect, TRect& textRect)
{
    // Margin, spacing and offsets are whatever a caller set: the places are
    // worked out in 64 bits and each edge is held to the largest extent.
    using I = std::int64_t;
    const I m = FMargin == -1 ? 4 : FMargin;
    const bool glyph = !FGlyph.isNull();
    const I gw = glyph ? GlyphWidth() : 0, gh = glyph ? FGlyph.height() : 0;
    const I tw = textSize.width(), th = textSize.height();
    I s = !FCaption.empty() && glyph ? FSpacing : 0;
    const I a = tw + gw + s;
    I cx = width() / 2, cy = height() / 2;
    if (FTextOptions->Alignment() == taLeftJustify)
        cx = a / 2 + m;
    else if (FTextOptions->Alignment() == taRightJustify)
        cx = width() - m - a / 2;
    if (gw == 0 || gh == 0)
        s = (s - 6) / 2;
    I gx = 0, gy = 0, tx = 0, ty = 0;
    switch (FLayout) {
    case blGlyphLeft:
        gx = cx - (gw + s + tw) / 2, gy = cy - (gh + 1) / 2;
        tx = cx + gw + s - (gw + s + tw) / 2, ty = cy - th / 2;
        break;
    case blGlyphRight:
        gx = cx + tw + s - (gw + s + tw) / 2, gy = cy - (gh + 1) / 2;
        tx = cx - (gw + s + tw) / 2, ty = cy - th / 2;
        break;
    case blGlyphTop:
        gx = cx - gw / 2, gy = cy - (gh + 1 + s + th) / 2;
        tx = cx - tw / 2, ty = cy + gh + s - (gh + 1 + s + th) / 2;
        break;
    case blGlyphBottom:
        gx = cx - gw / 2, gy = cy + th + s - (gh + 1 + s + th) / 2;
        tx = cx - tw / 2, ty = cy - (gh + 1 + s + th) / 2;
        break;
    }
    tx += FOffsets->TextX(), ty += FOffsets->TextY();
    gx += FOffsets->GlyphX(), gy += FOffsets->GlyphY();
    if (FDown) {
        tx += FOffsets->TextDownX, ty += FOffsets->TextDownY;
        gx += FOffsets->TextDownX, gy += FOffsets->TextDownY;
    }
    glyphRect = {ClampExtent(gx), ClampExtent(gy), ClampExtent(gx + gw), ClampExtent(gy + gh)};
    textRect = {ClampExtent(tx), ClampExtent(ty), ClampExtent(tx + tw), ClampExtent(ty + th)};
}

void TskCustomBitBtn::DrawGlyph(QPainter& canvas, const TRect& r)
{
    int cells = std::max(FNumGlyphs, 1), gw = GlyphWidth();
    if (gw <= 0 || FGlyph.height() <= 0)
        return;
    int cell = 0;
    QImage picture;
    if (isEnabled() || cells < 2) {
        if (FDown && cells > 2)
            cell = 2;
        else if (FMouseInControl && cells > 3)
            cell = 3;
        picture = FGlyph.copy(cell * gw, 0, gw, FGlyph.height());
        if (!isEnabled()) {
            QImage disabled;
            DisabledPicture(disabled, picture);
            picture = disabled;
            picture.setPixelColor(0, picture.height() - 1, ToQColor(clBtnFace));
        }
    } else {
        picture = FGlyph.copy(gw, 0, gw, FGlyph.height());
    }
    // The bottom-left pixel is the transparent colour.
    QImage argb = picture.convertToFormat(QImage::Format_ARGB32);
    QRgb key = argb.pixel(0, argb.height() - 1);
    for (int y = 0; y < argb.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(argb.scanLine(y));
        for (int x = 0; x < argb.width(); ++x)
            if (row[x] == key)
                row[x] = qRgba(0, 0, 0, 0);
    }
    canvas.drawImage(r.Left, r.Top, argb);
}

void TskCustomBitBtn::DrawText(QPainter& canvas, const TRect& r)
{
    if (FCaption.empty())
        return;
    canvas.setBrush(Qt::NoBrush);
    FTextOptions->Canvas = &canvas;
    FTextOptions->TextRect = r;
    FTextOptions->Draw();
    FTextOptions->Canvas = nullptr;
}

void TskCustomBitBtn::DrawContent(QPainter& canvas, const TRect& client)
{
    TRect r{client.Left + 2, client.Top + 2, client.Right - 2, client.Bottom - 2};
    FTextOptions->Canvas = &canvas;
    FTextOptions->SetText(FCaption);
    FTextOptions->TextRect = r;
    QSize size = FCaption.empty() ? QSize(0, 0) : FTextOptions->MeasureText();
    FTextOptions->Canvas = nullptr;
    CalcLayout(size, FGlyphRect, FTextRect);
    FTextRect = {std::max(FTextRect.Left, 0), std::max(FTextRect.Top, 0), std::min(FTextRect.Right, width()),
                 std::min(FTextRect.Bottom, height())};
    if (!FGlyph.isNull())
        DrawGlyph(canvas, FGlyphRect);
    DrawText(canvas, FTextRect);
    if ((FOptions & boFocusRect) && (FOptions & boFocusable) && hasFocus()) {
        QRect u = FTextRect.ToQRect().united(FGlyphRect.ToQRect()).adjusted(-2, -2, 2, 2);
        canvas.save();
        QPen pen(Qt::black, 1, Qt::DotLine);
        canvas.setPen(pen);
        canvas.setBrush(Qt::NoBrush);
        canvas.drawRect(u.adjusted(0, 0, -1, -1));
        canvas.restore();
    }
}

void TskCustomBitBtn::PaintButton(TskBitmap& bitmap)
{
    bitmap.UseHalftonePalette = false;
    bitmap.SetSize(width(), height());
    if (bitmap.Empty())
        return;
    bitmap.Image().fill(ToQColor(FColor == clNone ? clBtnFace : FColor));
    DrawFace(bitmap, false, FDown, FClicking ? fbsNormal : FShadeStyle);
    if (bitmap.Empty())
        return;
    QPainter canvas(&bitmap.Image());
    DrawContent(canvas, TRect{0, 0, width(), height()});
}

void TskCustomBitBtn::paintEvent(QPaintEvent*)
{
    // Painting never lets an exception out into Qt: a face that cannot be
    // drawn is reported, and drawn again as its derived class falls back.
    TskBitmap bitmap;
    try {
        PaintButton(bitmap);
    } catch (const std::exception& e) {
        ReportPaintError(e.what());
        try {
            PaintButton(bitmap);
        } catch (const std::exception&) {
            bitmap.FreeImage();
        }
    }
    QPainter canvas(this);
    if (bitmap.Empty()) {
        canvas.fillRect(rect(), ToQColor(clBtnFace));
        return;
    }
    canvas.drawImage(0, 0, bitmap.Image());
    if (FSmoothFont) {
        TRect r = FTextRect;
        DrawText(canvas, r);
    }
}

void TskCustomBitBtn::ReportPaintError(const std::string& message)
{
    if (OnPaintError)
        OnPaintError(this, message);
    else
        qWarning("%s: %s", qPrintable(objectName()), message.c_str());
}

// ---- regions -----------------------------------------------------------

std::optional<QRegion> TskCustomBitBtn::CreateRegion(bool, bool down)
{
    return FStored[down];
}

void TskCustomBitBtn::UpdateRegionOnStateChange()
{
    if (RegionChangesWithState())
        ApplyRegion();
}

void TskCustomBitBtn::FreeRegions()
{
    FApplied.reset();
    FLastApplied.reset();
}

void TskCustomBitBtn::ApplyRegion()
{
    if (!UsesRegion()) {
        if (FApplied) {
            clearMask();
            FApplied.reset();
            FLastApplied.reset();
        }
        return;
    }
    std::optional<QRegion> region;
    try {
        region = CreateRegion(true, FDown);
    } catch (const std::exception& e) {
        ReportPaintError(e.what());
        try {
            region = CreateRegion(true, FDown);
        } catch (const std::exception&) {
            region.reset();
        }
    }
    if (FLastApplied && region && RegionChangesWithState() && parentWidget())
        parentWidget()->update((*FLastApplied ^ *region).translated(pos()));
    if (RegionChangesWithState())
        FLastApplied = region;
    FApplied = region ? *region : QRegion();
    // An empty shape shows nothing: a mask of no pixel inside the button.
    if (region && !region->isEmpty())
        setMask(*region);
    else if (region)
        setMask(QRegion(-1, -1, 1, 1));
    else
        clearMask();
    if (!region)
        FApplied.reset();
    update();
}

void TskCustomBitBtn::RecreateWnd()
{
    ClearRegionData(false);
    ClearRegionData(true);
    ApplyRegion();
    update();
}

void TskCustomBitBtn::InvalidateParentUnder(bool)
{
    if (!parentWidget())
        return;
    QRegion under(geometry());
    if (FStored[FDown])
        under -= FStored[FDown]->translated(pos());
    parentWidget()->update(under);
}

void TskCustomBitBtn::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    ClearRegionData(false);
    ClearRegionData(true);
    FLastApplied.reset();
    ApplyRegion();
    update();
    InvalidateInParent(this);
}

void TskCustomBitBtn::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    ApplyRegion();
    if (FDefault || FCancel)
        WatchWindow();
    FocusChanged(QApplication::focusWidget());
}

QByteArray TskCustomBitBtn::WriteRegionData(bool down) const
{
    QByteArray out(4, '\0');
    const std::optional<QRegion>& region = FStored[down];
    if (!region || region->isEmpty())
        return out;
    auto put = [&out](std::int32_t v) {
        char b[4];
        qToLittleEndian(v, b);
        out.append(b, 4);
    };
    int count = int(region->rectCount());
    QRect bounds = region->boundingRect();
    put(RegionHeaderSize);
    put(1);
    put(count);
    put(count * 16);
    put(bounds.left());
    put(bounds.top());
    put(bounds.right() + 1);
    put(bounds.bottom() + 1);
    for (const QRect& r : *region) {
        put(r.left());
        put(r.top());
        put(r.right() + 1);
        put(r.bottom() + 1);
    }
    qToLittleEndian(std::int32_t(out.size() - 4), out.data());
    return out;
}

bool TskCustomBitBtn::ReadRegionData(bool down, const QByteArray& data)
{
    // Every count and size is checked against the bytes there are; the
    // rectangles are copied into our own list, never read in place.
    FStored[down].reset();
    // A null array's bytes are a shared one-byte array; taking the pointer
    // once past that test shows the compiler no read of it.
    if (data.isNull() || data.size() < 4)
        return false;
    const char* bytes = data.constData();
    auto get = [bytes](qsizetype at) { return qFromLittleEndian<std::int32_t>(bytes + at); };
    std::int64_t n = get(0);
    if (n == 0)
        return true;
    if (n < RegionHeaderSize || n > data.size() - 4)
        return false;
    std::int64_t headerSize = get(4), count = get(12);
    if (headerSize != RegionHeaderSize || get(8) != 1 || count < 0 || RegionHeaderSize + count * 16 > n)
        return false;
    auto fits = [](std::int64_t v) { return v >= -RegionCoordinateLimit && v <= RegionCoordinateLimit; };
    std::vector<QRect> rects;
    rects.reserve(std::size_t(count));
    for (std::int64_t i = 0; i < count; ++i) {
        qsizetype at = qsizetype(4 + RegionHeaderSize + i * 16);
        std::int64_t l = get(at), t = get(at + 4), r = get(at + 8), b = get(at + 12);
        if (r <= l || b <= t || !fits(l) || !fits(t) || !fits(r) || !fits(b))
            return false;
        rects.emplace_back(int(l), int(t), int(r - l), int(b - t));
    }
    FStored[down] = RegionOfRects(rects);
    return true;
}
