#include "widgets/skShapeBtn.h"

#include <QPainter>
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cmath>

#include "widgets/skCommon.h"
#include "widgets/skErrors.h"
#include "widgets/skEvaluator.h"
#include "widgets/skGraphics.h"

namespace {

// A turned corner far outside the button stays at the edge of the int range.
int Saturated(std::int64_t v)
{
    return int(std::clamp<std::int64_t>(v, INT32_MIN, INT32_MAX));
}

} // namespace

TskCustomShapeBtn::TskCustomShapeBtn(QWidget* parent) : TskCustomImageBtn(parent)
{
    SetColor(clBtnFace);
    SetShadeStyle(fbsHighlight);
}

void TskCustomShapeBtn::SetShape(TskButtonShape v)
{
    if (!Change(FShape, v))
        return;
    RecreateWnd();
    // A group under a transparent bar shows through where the old shape was.
    if (parentWidget() && ClassNamed(parentWidget(), "TskCustomButtonGroup") && parentWidget()->parentWidget())
        parentWidget()->parentWidget()->update(parentWidget()->geometry());
}

void TskCustomShapeBtn::SetOrientation(TskShapeOrientation v)
{
    if (Change(FOrientation, v))
        RecreateWnd();
}

void TskCustomShapeBtn::SetPointList(const std::vector<std::string>& v)
{
    FPointList = v;
    RecreateWnd();
}

void TskCustomShapeBtn::SetRoundRectBias(int v)
{
    if (Change(FRoundRectBias, v))
        RecreateWnd();
}

void TskCustomShapeBtn::Assign(const TskCustomBitBtn& source)
{
    if (auto* s = qobject_cast<const TskCustomShapeBtn*>(&source)) {
        FOrientation = s->FOrientation;
        FPointList = s->FPointList;
        FRoundRectBias = s->FRoundRectBias;
        FShape = s->FShape;
    }
    TskCustomImageBtn::Assign(source);
}

void TskCustomShapeBtn::SizeToContent()
{
    int side = std::max(width(), height());
    resize(side, side);
}

TColor TskCustomShapeBtn::ShapeKeyColor() const
{
    return Color() == 0x0000FF ? TColor(0xFF0000) : TColor(0x0000FF);
}

TColor TskCustomShapeBtn::ShapeFillColor() const
{
    // Displays here are 24-bit: light grey shows as it is, so no component
    // needs moving off a multiple of 8.
    return ColorToRGB(Color()) & 0xFFFFFF;
}

QPolygon TskCustomShapeBtn::ShapePoints()
{
    const int a = width() - 1, b = height() - 1;
    QPolygon p;
    switch (FShape) {
    case bsTriangle: p << QPoint(a / 2, 0) << QPoint(a, b) << QPoint(0, b); break;
    case bsArrow:
        p << QPoint(0, b / 3) << QPoint(a / 2, 0) << QPoint(a, b / 3) << QPoint(a - a / 4, b / 3)
          << QPoint(a - a / 4, b) << QPoint(a / 4, b) << QPoint(a / 4, b / 3);
        break;
    case bsDiamond: p << QPoint(a / 2, 0) << QPoint(a, b / 2) << QPoint(a / 2, b) << QPoint(0, b / 2); break;
    case bsTrapezoid: {
        int c = std::min(b / 2, a / 4);
        p << QPoint(c, 0) << QPoint(a - c, 0) << QPoint(a, b) << QPoint(0, b);
        break;
    }
    case bsStar: {
        const double r18 = 18 * M_PI / 180, r36 = 36 * M_PI / 180;
        int s = int(std::trunc(b / std::cos(r18)));
        int d = int(std::trunc(s / (2 * std::sin(r18) + 2)));
        int e = int(std::trunc(d * std::cos(r18)));
        int t = int(std::trunc(b * std::tan(r18)));
        int h = (s - 2 * d) / 2, g = a / 2, m = s - 2 * d;
        QPoint p1(g + h, e), p3(p1.x() + int(std::trunc(m * std::sin(r18))), p1.y() + int(std::trunc(m * std::cos(r18))));
        p << QPoint(g, 0) << p1 << QPoint(a, p1.y()) << p3 << QPoint(g + t, b)
          << QPoint(g, b - int(std::trunc(d * std::sin(r36)))) << QPoint(g - t, b) << QPoint(a - p3.x(), p3.y())
          << QPoint(0, p1.y()) << QPoint(a - p1.x(), p1.y());
        break;
    }
    case bsCustom: {
        if (FPointList.size() < 3)
            return {};
        try {
            for (const std::string& line : FPointList) {
                std::string s = line;
                for (char& ch : s)
                    ch = char(std::toupper(static_cast<unsigned char>(ch)));
                if (s.find(',') == std::string::npos)
                    throw EInvalidOperation("Invalid Custom Points Format.  X and Y Coordinates must be separated "
                                            "by a comma and space.");
                s = ReplaceAll(s, ",", ", ");
                s = ReplaceAll(s, ",  ", ", ");
                s = ReplaceAll(s, "WIDTH", std::to_string(a));
                s = ReplaceAll(s, "HEIGHT", std::to_string(b));
                std::size_t split = s.find(", ");
                std::string xs = s.substr(0, split), rest = s.substr(split + 2);
                std::string ys = rest.substr(0, rest.find(", "));
                p << QPoint(TskEvaluator::Evaluate(xs), TskEvaluator::Evaluate(ys));
            }
        } catch (...) {
            // No half-built outline is ever drawn.
            FShape = bsRect;
            throw;
        }
        break;
    }
    default: p << QPoint(0, 0) << QPoint(a, 0) << QPoint(a, b) << QPoint(0, b); break;
    }
    p << p.first();
    int turns = FOrientation == soRight ? 1 : FOrientation == soDown ? 2 : FOrientation == soLeft ? 3 : 0;
    // A button one pixel wide or high has no extent to turn within.
    if (a <= 0 || b <= 0)
        turns = 0;
    for (int k = 0; k < turns; ++k)
        for (QPoint& pt : p) {
            std::int64_t x = pt.x(), y = pt.y();
            pt = QPoint(Saturated(a - std::int64_t(a) * y / b), Saturated(std::int64_t(b) * x / a));
        }
    return p;
}

void TskCustomShapeBtn::DrawFace(TskBitmap& target, bool regionPass, bool down, TskShadeStyle style)
{
    bool rim = style != fbsFlat || MouseInControl() || down;
    target.SetSize(width(), height());
    if (target.Empty())
        return;
    const int a = width() - 1, b = height() - 1;
    TColor key = ShapeKeyColor(), fill = ShapeFillColor();
    QPolygon points;
    if (!IsRoundShape())
        points = ShapePoints(); // may raise: the caller falls back and reports
    QPainter canvas(&target.Image());
    canvas.fillRect(0, 0, width(), height(), ToQColor(key));
    QBrush brush(ToQColor(fill));
    if (down && DitherColor() != clNone && GroupIndex() != 0) {
        QImage pattern(2, 2, QImage::Format_RGB32);
        pattern.fill(ToQColor(DitherColor()));
        pattern.setPixelColor(0, 0, ToQColor(Color()));
        pattern.setPixelColor(1, 1, ToQColor(Color()));
        brush = QBrush(pattern);
    }
    canvas.setBrush(brush);
    canvas.setPen(ToQColor(rim && DitherColor() != clNone ? DitherColor() : fill));
    if (IsRoundShape()) {
        canvas.setPen(ToQColor(fill));
        if (FShape == bsRoundRect)
            canvas.drawRoundedRect(QRect(0, 0, a, b), FRoundRectBias / 2.0, FRoundRectBias / 2.0);
        else
            canvas.drawEllipse(QRect(0, 0, a, b));
        canvas.end();
        if (!regionPass && rim) {
            TskBitmap source;
            source.Assign(target);
            ShadeEdges(source, target, Down(), key);
        }
        return;
    }
    if (points.size() > 1)
        canvas.drawPolygon(points);
    if (!regionPass && rim && !points.isEmpty())
        DrawRim(canvas, points);
}

void TskCustomShapeBtn::DrawRim(QPainter& canvas, const QPolygon& points)
{
    // A point list may put corners anywhere in the int range: the rim is
    // worked out in 64 bits and drawn in floating point, which the painter
    // clips to the picture.
    const TskShadeColors& c = ShadeColors();
    const std::int64_t f = hasFocus() || Default() ? 1 : 0;
    const QPolygonF outline(points);
    auto inside = [&](std::int64_t x, std::int64_t y) {
        return outline.containsPoint(QPointF(double(x), double(y)), Qt::OddEvenFill);
    };
    struct Edge {
        std::int64_t x1, y1, x2, y2, nx, ny;
        int flag;
    };
    std::vector<Edge> edges;
    for (int i = 0; i + 1 < points.size(); ++i) {
        std::int64_t x1 = points[i].x(), y1 = points[i].y(), x2 = points[i + 1].x(), y2 = points[i + 1].y();
        std::int64_t dx = std::abs(x2 - x1), dy = std::abs(y2 - y1);
        std::int64_t mx = x1 + (x2 - x1) / 2, my = y1 + (y2 - y1) / 2;
        std::int64_t nx, ny;
        int flag;
        if (dy < dx) {
            flag = inside(mx, my + 1) ? 1 : 0;
            nx = 0;
            ny = flag ? 1 : -1;
        } else {
            flag = inside(mx + 1, my) ? 1 : 0;
            nx = flag ? 1 : -1;
            ny = 0;
        }
        if (dx == 0)
            ny = inside(x1, std::max(y1, y2) + 1) ? 1 : -1;
        if (dy == 0)
            nx = inside(std::max(x1, x2), y1) ? 1 : -1;
        edges.push_back({x1, y1, x2, y2, nx, ny, flag});
    }
    auto line = [&](const Edge& e, std::int64_t shift) {
        std::int64_t ox = e.nx * shift, oy = e.ny * shift;
        canvas.drawLine(QLineF(double(e.x1 + ox), double(e.y1 + oy), double(e.x2 + ox), double(e.y2 + oy)));
    };
    for (const Edge& e : edges) {
        canvas.setPen(ToQColor(e.flag == int(Down()) ? c.BtnShadow() : c.Btn3DLight()));
        line(e, f + 1);
    }
    for (const Edge& e : edges) {
        canvas.setPen(ToQColor(e.flag == int(Down()) ? c.BtnBlack() : c.BtnHighlight()));
        line(e, f);
    }
    if (f == 1)
        for (const Edge& e : edges) {
            canvas.setPen(ToQColor(c.BtnFocus()));
            line(e, 0);
        }
}

std::optional<QRegion> TskCustomShapeBtn::CreateRegion(bool create, bool down)
{
    if (StoredRegion(down))
        return StoredRegion(down);
    if (!create)
        return std::nullopt;
    TskBitmap face;
    DrawFace(face, true, down, ShadeStyle());
    QRegion region = face.Empty() ? QRegion() : RegionOfPicture(face, ShapeKeyColor());
    StoreRegionData(region, down);
    return region;
}
