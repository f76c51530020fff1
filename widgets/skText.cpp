#include "widgets/skText.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QPaintEngine>
#include <QScreen>
#include <algorithm>
#include <cmath>

const TskDirection skDirections[8] = {{1, 1}, {-1, 1}, {1, -1}, {-1, -1}, {0, 1}, {-1, 0}, {1, 0}, {0, -1}};

namespace {

// Rounded down, except that a value within 0.0001 below the next integer
// goes up; a pixel measure, held to the largest extent either way.
int Rounded(double x)
{
    return int(std::clamp(std::floor(x + 0.0001), double(-skMaxExtent), double(skMaxExtent)));
}

double Radians(int rotation)
{
    return rotation * M_PI / 180.0;
}

} // namespace

// Option groups: each setter does nothing for an unchanged value.

void TskShadowEffects::SetColor(TColor v)
{
    if (Change(FColor, v))
        FText->EffectChanged(false);
}
void TskShadowEffects::SetEnabled(bool v)
{
    if (Change(FEnabled, v))
        FText->EffectChanged(true);
}
void TskShadowEffects::SetXOffset(int v)
{
    if (Change(FXOffset, v))
        FText->EffectChanged(true);
}
void TskShadowEffects::SetYOffset(int v)
{
    if (Change(FYOffset, v))
        FText->EffectChanged(true);
}
void TskShadowEffects::Assign(const TskShadowEffects& o)
{
    SetColor(o.FColor);
    SetEnabled(o.FEnabled);
    SetXOffset(o.FXOffset);
    SetYOffset(o.FYOffset);
}

void TskExtrudeEffects::SetDepth(int v)
{
    if (Change(FDepth, v))
        FText->EffectChanged(true);
}
void TskExtrudeEffects::SetEnabled(bool v)
{
    if (Change(FEnabled, v))
        FText->EffectChanged(true);
}
void TskExtrudeEffects::SetFarColor(TColor v)
{
    if (Change(FFarColor, v))
        FText->EffectChanged(false);
}
void TskExtrudeEffects::SetNearColor(TColor v)
{
    if (Change(FNearColor, v))
        FText->EffectChanged(false);
}
void TskExtrudeEffects::SetOrientation(TskOrientation v)
{
    if (Change(FOrientation, v))
        FText->EffectChanged(true);
}
void TskExtrudeEffects::SetStriated(bool v)
{
    if (Change(FStriated, v))
        FText->EffectChanged(false);
}
void TskExtrudeEffects::Assign(const TskExtrudeEffects& o)
{
    SetDepth(o.FDepth);
    SetEnabled(o.FEnabled);
    SetFarColor(o.FFarColor);
    SetNearColor(o.FNearColor);
    SetOrientation(o.FOrientation);
    SetStriated(o.FStriated);
}

void TskDisabledColors::SetHighlightColor(TColor v)
{
    if (Change(FHighlightColor, v)) {
        if (FText->InvalidateProc)
            FText->InvalidateProc();
    }
}
void TskDisabledColors::SetShadeColor(TColor v)
{
    if (Change(FShadeColor, v)) {
        if (FText->InvalidateProc)
            FText->InvalidateProc();
    }
}
void TskDisabledColors::Assign(const TskDisabledColors& o)
{
    SetHighlightColor(o.FHighlightColor);
    SetShadeColor(o.FShadeColor);
}

TskText::TskText(TProc invalidateProc, TProc adjustBoundsProc, TEnabledProc getEnabledProc, const TFont* font,
                 QPainter* canvas)
    : Canvas(canvas), InvalidateProc(std::move(invalidateProc)), AdjustBoundsProc(std::move(adjustBoundsProc)),
      GetEnabledProc(std::move(getEnabledProc)), FFont(font)
{
}

TskText::~TskText() = default;

void TskText::EffectChanged(bool adjustBounds)
{
    if (adjustBounds)
        AdjustBounds();
    Invalidate();
}

void TskText::AdjustBounds()
{
    if (AdjustBoundsProc)
        AdjustBoundsProc();
}

void TskText::Invalidate()
{
    if (InvalidateProc)
        InvalidateProc();
}

void TskText::SetAlignment(TAlignment v)
{
    if (Change(FAlignment, v))
        Invalidate();
}
void TskText::SetVAlignment(TskVAlignment v)
{
    if (Change(FVAlignment, v))
        Invalidate();
}
void TskText::SetHighlightColor(TColor v)
{
    if (Change(FHighlightColor, v))
        Invalidate();
}
void TskText::SetShadeColor(TColor v)
{
    if (Change(FShadeColor, v))
        Invalidate();
}
void TskText::SetOutlineColor(TColor v)
{
    if (Change(FOutlineColor, v))
        Invalidate();
}
void TskText::SetWordWrap(bool v)
{
    if (Change(FWordWrap, v)) {
        SetFlag(v, FFlags, DT_WORDBREAK);
        Invalidate();
    }
}
void TskText::SetLineSpacing(int v)
{
    if (Change(FLineSpacing, v)) {
        AdjustBounds();
        Invalidate();
    }
}
void TskText::SetStyle(TskTextStyle v)
{
    if (Change(FStyle, v)) {
        AdjustBounds();
        Invalidate();
    }
}
void TskText::SetOptions(TskTextOptions v)
{
    if (Change(FOptions, v)) {
        SetFlag(!(v & toShowAccel), FFlags, DT_NOPREFIX);
        SetFlag(v & toShowEllipsis, FFlags, DT_END_ELLIPSIS);
        AdjustBounds();
        Invalidate();
    }
}
void TskText::SetRotation(int v)
{
    // 0 or more: v mod 360; negative: 360 - (|v| mod 360), so -360 stays 360.
    std::int64_t value = v;
    FRotation = int(value >= 0 ? value % 360 : 360 - (-value % 360));
    AdjustBounds();
    Invalidate();
}

void TskText::AssignTo(TskText& other) const
{
    other.FExtrude.Assign(FExtrude);
    other.SetHighlightColor(FHighlightColor);
    other.SetLineSpacing(FLineSpacing);
    other.SetOptions(FOptions);
    other.SetOutlineColor(FOutlineColor);
    other.SetRotation(FRotation);
    other.SetShadeColor(FShadeColor);
    other.FShadow.Assign(FShadow);
    other.SetStyle(FStyle);
    other.SetText(FText);
}

QFont TskText::FillLogFont() const
{
    QFont font = FFont ? FFont->Font() : QFont();
    if (ScaleByPixelsPerInch && qobject_cast<QGuiApplication*>(QCoreApplication::instance()) &&
        QGuiApplication::primaryScreen()) {
        double dpi = QGuiApplication::primaryScreen()->logicalDotsPerInch();
        if (font.pixelSize() > 0)
            font.setPixelSize(std::max(1, Rounded(font.pixelSize() * dpi / 96.0)));
        else
            font.setPointSizeF(font.pointSizeF() * dpi / 96.0);
    }
    return font;
}

QSize TskText::MeasureText() const
{
    std::string text = (FOptions & toShowAccel) ? StripAccelerators(FText) : FText;
    return MeasureLines(FillLogFont(), text, FLineSpacing, FFlags | DT_NOPREFIX, FWordWrap ? TextRect.Width() : 0);
}

QPoint TskText::ShadowOffset() const
{
    // Offsets and depth a caller set count up to the largest extent, so that
    // the sums of the layout stay inside int.
    return {ClampExtent(FShadow.XOffset()), ClampExtent(FShadow.YOffset())};
}

int TskText::Depth() const
{
    return ClampExtent(FExtrude.Depth());
}

QPoint TskText::EffectiveShadowOffset() const
{
    if (!FShadow.Enabled())
        return {0, 0};
    int x = ShadowOffset().x(), y = ShadowOffset().y();
    if (FExtrude.Enabled()) {
        TskDirection d = skDirections[FExtrude.Orientation()];
        if ((d.dx >= 0) != (x > 0))
            x = 0;
        if ((d.dy >= 0) != (y > 0))
            y = 0;
    }
    return {x, y};
}

QSize TskText::DirectionalExtent() const
{
    if (!FExtrude.Enabled())
        return {0, 0};
    TskDirection d = skDirections[FExtrude.Orientation()];
    return {std::abs(d.dx) * Depth(), std::abs(d.dy) * Depth()};
}

QSize TskText::PlainExtent() const
{
    if (!FExtrude.Enabled())
        return {0, 0};
    return {Depth(), Depth()};
}

QSize TskText::GetTextSize(bool unclipped) const
{
    QSize m = MeasureText();
    QSize ext = DirectionalExtent();
    QPoint shadow = EffectiveShadowOffset();
    double w = m.width() + ext.width() + std::abs(shadow.x());
    double h = m.height() + ext.height() + std::abs(shadow.y());
    if (FStyle == sklsOutline) {
        w += 2;
        h += 2;
    }
    double a = Radians(FRotation);
    int W = Rounded(std::abs(std::cos(a)) * w + std::abs(std::sin(a)) * h);
    int H = Rounded(std::abs(std::sin(a)) * w + std::abs(std::cos(a)) * h);
    if (!unclipped) {
        W = std::min(W, TextRect.Width());
        H = std::min(H, TextRect.Height());
    }
    return {W, H};
}

TRect TskText::CalcDrawRect(bool unclipped) const
{
    QPoint p(TextRect.Left + TextRect.Width() / 2, TextRect.Top + TextRect.Height() / 2);
    QPoint shadow = EffectiveShadowOffset();
    QSize plain = PlainExtent();
    p -= QPoint(shadow.x() / 2, shadow.y() / 2);
    p -= QPoint(plain.width() / 2, plain.height() / 2);
    QSize m = MeasureText();
    double a = Radians(FRotation);
    p.rx() -= Rounded(std::cos(a) * m.width()) / 2;
    p.ry() += Rounded(std::sin(a) * m.width()) / 2;
    p.ry() -= Rounded(std::cos(a) * m.height()) / 2;
    p.rx() -= Rounded(std::sin(a) * m.height()) / 2;
    QSize size = GetTextSize(unclipped);
    TRect r{p.x(), p.y(), p.x() + size.width(), p.y() + size.height()};
    int dx = std::max(0, TextRect.Left - r.Left), dy = std::max(0, TextRect.Top - r.Top);
    r.Offset(dx, dy);
    return r;
}

TRect TskText::CalcRect(bool unclipped) const
{
    return CalcDrawRect(unclipped);
}

void TskText::Draw()
{
    if (!Canvas)
        return;
    if (FRotation % 360 != 0) {
        FFlags &= ~(DT_CENTER | DT_RIGHT);
    } else {
        SetFlag(FAlignment == taCenter, FFlags, DT_CENTER);
        SetFlag(FAlignment == taRightJustify, FFlags, DT_RIGHT);
        TRect m = CalcRect(false);
        if (FAlignment == taLeftJustify)
            TextRect = {TextRect.Left, TextRect.Top, TextRect.Left + m.Width(), TextRect.Bottom};
        else if (FAlignment == taRightJustify)
            TextRect = {TextRect.Right - m.Width(), TextRect.Top, TextRect.Right, TextRect.Bottom};
        m = CalcRect(false);
        if (FVAlignment == vaTop)
            TextRect = {TextRect.Left, TextRect.Top, TextRect.Right, TextRect.Top + m.Height()};
        else if (FVAlignment == vaBottom)
            TextRect = {TextRect.Left, TextRect.Bottom - m.Height(), TextRect.Right, TextRect.Bottom};
    }
    Canvas->save();
    switch (FStyle) {
    case sklsDefault: DrawDefault(); break;
    case sklsLowered: DrawEmbossedStyle(false); break;
    case sklsRaised: DrawEmbossedStyle(true); break;
    case sklsOutline: DrawOutlineStyle(); break;
    }
    Canvas->restore();
}

void TskText::PrepareFont()
{
    FPassFont = FillLogFont();
    Canvas->setFont(FPassFont);
    FPassColor = FFont ? FFont->Color() : clWindowText;
    DrawRect = CalcDrawRect(false);
}

void TskText::DrawDefault()
{
    if (!Enabled()) {
        DrawEmbossedStyle(false);
        return;
    }
    PrepareFont();
    DrawExtrusion();
    DrawShadow(DrawRect);
    FPassColor = FFont ? FFont->Color() : clWindowText;
    DrawLines(DrawRect);
}

void TskText::DrawOutlineStyle()
{
    PrepareFont();
    DrawExtrusion();
    DrawShadow(DrawRect);
    DrawOutline();
}

void TskText::DrawEmbossedStyle(bool raised)
{
    PrepareFont();
    DrawExtrusion();
    DrawShadow(DrawRect);
    DrawEmbossed(raised);
}

void TskText::ForEachLine(const TRect& r, const TLineProc& proc) const
{
    double a = Radians(FRotation);
    int count = PieceCount(FText, "\r\n");
    // In 64 bits: a caller's line spacing moves each line up to the largest
    // extent on, and many lines run past int.
    std::int64_t x = r.Left, y = r.Top;
    for (int i = 0; i < count; ++i) {
        std::string line = Piece(FText, "\r\n", i);
        int height = SingleLineHeight(FPassFont, FFlags, r.Width(), line);
        proc(line, x, y, height);
        std::int64_t lh = std::int64_t(height) + FLineSpacing;
        x += Rounded(std::sin(a) * double(lh));
        y += Rounded(std::cos(a) * double(lh));
    }
}

void TskText::DrawLines(TRect r)
{
    if (FText.empty() || !Canvas)
        return;
    ForEachLine(r, [&](const std::string& line, std::int64_t x, std::int64_t y, int) {
        // A line beyond the largest extent cannot show.
        if (x != ClampExtent(x) || y != ClampExtent(y))
            return;
        Canvas->save();
        Canvas->translate(int(x), int(y));
        Canvas->rotate(-FRotation);
        Canvas->setFont(FPassFont);
        Canvas->setPen(ToQColor(FPassColor));
        DrawTextEx(*Canvas, line, {0, 0, r.Width(), r.Height()}, FFlags);
        Canvas->restore();
    });
}

void TskText::DrawShadow(TRect r)
{
    if (!FShadow.Enabled())
        return;
    r.Offset(ShadowOffset().x(), ShadowOffset().y());
    FPassColor = Enabled() ? FShadow.Color() : FDisabled.ShadeColor();
    DrawLines(r);
}

void TskText::DrawHighlightEdge()
{
    TskDirection d = skDirections[FExtrude.Orientation()];
    TRect r = DrawRect;
    r.Offset(-d.dx, -d.dy);
    FPassColor = FHighlightColor;
    DrawLines(r);
    FPassColor = FFont ? FFont->Color() : clWindowText;
    DrawLines(DrawRect);
}

void TskText::DrawOutline()
{
    bool enabled = Enabled();
    for (const TskDirection& d : skDirections) {
        TRect r = DrawRect;
        r.Offset(d.dx, d.dy);
        FPassColor = enabled ? FOutlineColor : FDisabled.ShadeColor();
        DrawLines(r);
    }
    FPassColor = enabled ? (FFont ? FFont->Color() : clWindowText) : FDisabled.HighlightColor();
    DrawLines(DrawRect);
}

void TskText::DrawEmbossed(bool raised)
{
    bool e = Enabled();
    TColor hi = e ? FHighlightColor : FDisabled.HighlightColor();
    TColor sh = e ? FShadeColor : FDisabled.ShadeColor();
    if (e) {
        TColor c1 = raised ? hi : sh;
        if (c1 != clNone) {
            TRect r = DrawRect;
            r.Offset(-1, -1);
            FPassColor = c1;
            DrawLines(r);
        }
    }
    TColor c2 = raised ? sh : hi;
    if (c2 != clNone) {
        TRect r = DrawRect;
        r.Offset(1, 1);
        FPassColor = c2;
        DrawLines(r);
    }
    FPassColor = e ? (FFont ? FFont->Color() : clWindowText) : FDisabled.ShadeColor();
    DrawLines(DrawRect);
}

std::vector<std::pair<int, int>> TskText::ShownSteps(const TRect& start, TskDirection d, int depth) const
{
    std::vector<std::pair<int, int>> ranges;
    bool invertible = false;
    const QTransform toLogical = Canvas->deviceTransform().inverted(&invertible);
    const QPaintEngine* engine = Canvas->paintEngine();
    if (depth < 1 || !engine || !engine->paintDevice() || !invertible)
        return ranges;
    // What the canvas shows, on the device it paints at last (a widget may be
    // drawn into its window's buffer): the part the system lets it paint, or
    // else the whole device; then its own clip.
    const QRegion exposed = engine->systemClip();
    QRectF area = exposed.isEmpty() ? QRectF(0, 0, engine->paintDevice()->width(), engine->paintDevice()->height())
                                    : QRectF(exposed.boundingRect());
    area = toLogical.mapRect(area);
    if (Canvas->hasClipping())
        area = area.intersected(Canvas->clipBoundingRect());
    if (area.isEmpty())
        return ranges;
    // Each line of a step as DrawLines places it, and what it can ink around
    // where it starts: its width either side of its alignment point and its
    // height, a line's height more for overhangs; rotated, that much all round.
    QFontMetrics fm(FPassFont);
    const double slack = fm.height() + 2;
    const bool rotated = FRotation % 360 != 0;
    const double anchor = rotated || !(FFlags & (DT_CENTER | DT_RIGHT)) ? 0
                          : (FFlags & DT_CENTER)                         ? start.Width() / 2.0
                                                                        : start.Width();
    ForEachLine(start, [&](const std::string& line, std::int64_t x, std::int64_t y, int height) {
        const double width = fm.horizontalAdvance(QString::fromStdString(line)) + slack;
        const double round = width + height + slack;
        QRectF ink = rotated ? QRectF(-round, -round, 2 * round, 2 * round)
                             : QRectF(anchor - width, -slack, 2 * width, height + 2 * slack);
        ink.translate(double(x), double(y));
        // Step k moves the ink by k times the direction; the steps that
        // bring it onto the area, per axis.
        double from = 1, to = depth;
        auto limit = [&](double lo, double hi, double areaLo, double areaHi, int dir) {
            if (dir == 0) {
                if (hi < areaLo || lo > areaHi)
                    to = 0;
            } else if (dir > 0) {
                from = std::max(from, std::ceil(areaLo - hi));
                to = std::min(to, std::floor(areaHi - lo));
            } else {
                from = std::max(from, std::ceil(lo - areaHi));
                to = std::min(to, std::floor(hi - areaLo));
            }
        };
        limit(ink.left(), ink.right(), area.left(), area.right(), d.dx);
        limit(ink.top(), ink.bottom(), area.top(), area.bottom(), d.dy);
        if (from <= to)
            ranges.emplace_back(int(from), int(to));
    });
    // In step order, each step once.
    std::sort(ranges.begin(), ranges.end());
    std::vector<std::pair<int, int>> merged;
    for (const auto& r : ranges)
        if (!merged.empty() && r.first <= merged.back().second + 1)
            merged.back().second = std::max(merged.back().second, r.second);
        else
            merged.push_back(r);
    return merged;
}

void TskText::DrawExtrusion()
{
    if (!FExtrude.Enabled())
        return;
    auto nearC = SplitColor(FExtrude.NearColor());
    auto farC = SplitColor(FExtrude.FarColor());
    TskDirection d = skDirections[FExtrude.Orientation()];
    QSize ext = DirectionalExtent();
    DrawRect.Offset(ext.width() / 2, ext.height() / 2);
    DrawRect.Offset(-d.dx * (ext.width() / 2), -d.dy * (ext.height() / 2));
    const int depth = Depth();
    const TRect start = DrawRect;
    // Only the steps that can show are drawn: a depth far beyond any screen
    // would otherwise take hours of drawing off the canvas.
    for (auto [first, last] : ShownSteps(start, d, depth))
        for (int i = first; i <= last; ++i) {
            DrawRect = start;
            DrawRect.Offset(d.dx * i, d.dy * i);
            int rgb[3];
            for (int k = 0; k < 3; ++k) {
                // SplitColor gives top, blue, green, red: k = 0 red, 1 green, 2 blue.
                int n = nearC[3 - k], f = farC[3 - k];
                int v;
                if (!FExtrude.Striated()) {
                    v = Rounded((n - f) / (double(depth) / i) + f);
                } else {
                    v = f + i * ((n - f) / depth);
                    if (i % 2 == 0)
                        v /= 4;
                }
                rgb[k] = std::clamp(v, 0, 255);
            }
            FPassColor = RGBColor(rgb[0], rgb[1], rgb[2]);
            DrawLines(DrawRect);
        }
    // The text itself goes where the last step went.
    DrawRect = start;
    if (depth > 0)
        DrawRect.Offset(d.dx * depth, d.dy * depth);
}
