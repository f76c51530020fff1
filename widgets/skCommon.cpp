#include "widgets/skCommon.h"

#include <QFontMetrics>
#include <QIcon>
#include <QMetaObject>
#include <QMetaProperty>
#include <QWidget>
#include <algorithm>

#include "widgets/skBitmap.h"
#include "widgets/skErrors.h"
#include "widgets/skGraphics.h"

std::string skVersion = "1.0";

TRect FitRect(const TRect& r, int w, int h)
{
    std::int64_t rw = r.Width(), rh = r.Height();
    if (rw <= 0 || rh <= 0 || w <= 0 || h <= 0)
        return {r.Left, r.Top, r.Left, r.Top};
    // h / rh >= w / rw, compared without division.
    if (std::int64_t(h) * rw >= std::int64_t(w) * rh)
        return {r.Left, r.Top, r.Left + int(std::int64_t(w) * rh / h), r.Bottom};
    return {r.Left, r.Top, r.Right, r.Top + int(std::int64_t(h) * rw / w)};
}

TRect IntersectRects(const TRect& a, const TRect& b)
{
    TRect r{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right), std::min(a.Bottom, b.Bottom)};
    if (r.Left >= r.Right || r.Top >= r.Bottom)
        return {};
    return r;
}

std::string CopyRange(const std::string& s, int from, int to)
{
    std::int64_t len = std::int64_t(s.size());
    std::int64_t first = std::max<std::int64_t>(from, 1);
    std::int64_t last = to == 0 ? len + 1 : std::min<std::int64_t>(to, len + 1);
    if (first > len || last <= first)
        return {};
    return s.substr(std::size_t(first - 1), std::size_t(last - first));
}

int PosFrom(const std::string& sub, const std::string& s, int start)
{
    if (sub.empty() || start < 1 || std::size_t(start) > s.size())
        return 0;
    std::size_t p = s.find(sub, std::size_t(start - 1));
    return p == std::string::npos ? 0 : int(p + 1);
}

int NthPos(const std::string& sub, const std::string& s, int n)
{
    int pos = 0;
    for (int i = 0; i <= n; ++i) {
        pos = PosFrom(sub, s, pos + 1);
        if (pos == 0)
            return 0;
    }
    return pos;
}

int PieceCount(const std::string& s, const std::string& sep)
{
    if (s.empty())
        return 0;
    // An empty separator matches nowhere: the whole text is one piece.
    if (sep.empty())
        return 1;
    int count = 1;
    for (std::size_t p = s.find(sep); p != std::string::npos; p = s.find(sep, p + sep.size()))
        ++count;
    return count;
}

std::string Piece(const std::string& s, const std::string& sep, int n)
{
    if (n < 0 || n >= PieceCount(s, sep))
        return {};
    if (sep.empty())
        return s;
    std::size_t start = 0;
    for (int i = 0; i < n; ++i)
        start = s.find(sep, start) + sep.size();
    std::size_t end = s.find(sep, start);
    return s.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

int PieceIndex(const std::string& s, const std::string& sep, const std::string& piece)
{
    int count = PieceCount(s, sep);
    for (int i = 0; i < count; ++i)
        if (Piece(s, sep, i) == piece)
            return i;
    return -1;
}

std::string ReplaceAll(const std::string& s, const std::string& oldText, const std::string& newText)
{
    if (oldText.empty())
        return s;
    std::string out;
    std::size_t start = 0;
    for (std::size_t p = s.find(oldText); p != std::string::npos; p = s.find(oldText, start)) {
        out.append(s, start, p - start);
        out += newText;
        start = p + oldText.size();
    }
    out.append(s, start, std::string::npos);
    return out;
}

std::string StripAccelerators(const std::string& s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '&') {
            out += s[i];
        } else if (i + 1 < s.size() && s[i + 1] == '&') {
            out += '&';
            ++i;
        }
    }
    return out;
}

std::string UniqueComponentName(const QObject* owner, const std::string& base)
{
    for (int n = 1;; ++n) {
        std::string name = base + std::to_string(n);
        bool taken = false;
        if (owner)
            for (const QObject* child : owner->findChildren<QObject*>())
                taken = taken || child->objectName().toStdString() == name;
        if (!taken)
            return name;
    }
}

bool ClassNamed(const QObject* object, const std::string& name)
{
    if (!object)
        return false;
    for (const QMetaObject* m = object->metaObject(); m; m = m->superClass())
        if (QString::fromLatin1(m->className()).compare(QString::fromStdString(name), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

int OrdinalProperty(const QObject* object, const char* name)
{
    if (!object)
        return 0;
    QVariant v = object->property(name);
    bool ok = false;
    int value = v.toInt(&ok);
    return v.isValid() && ok ? value : 0;
}

int QtTextFlags(unsigned flags)
{
    int f = Qt::AlignTop;
    f |= (flags & DT_CENTER) ? Qt::AlignHCenter : (flags & DT_RIGHT) ? Qt::AlignRight : Qt::AlignLeft;
    if (flags & DT_WORDBREAK)
        f |= Qt::TextWordWrap;
    if (!(flags & DT_NOPREFIX))
        f |= Qt::TextShowMnemonic;
    if (flags & DT_NOCLIP)
        f |= Qt::TextDontClip;
    return f;
}

namespace {

QRect CalcRect(const QFont& font, unsigned flags, int width, const std::string& text)
{
    QFontMetrics fm(font);
    QString t = QString::fromStdString(text);
    int f = QtTextFlags(flags) | Qt::TextDontClip;
    QRect r = fm.boundingRect(QRect(0, 0, std::max(width, 0), 0), f, t);
    // A blank line still has the height of a line.
    return QRect(0, 0, std::max(r.right() + 1, 0), std::max(r.height(), fm.height()));
}

} // namespace

int SingleLineHeight(const QFont& font, unsigned flags, int width, const std::string& text)
{
    return CalcRect(font, flags, width, text).height();
}

QSize MeasureLines(const QFont& font, const std::string& text, int lineSpacing, unsigned flags, int wrapWidth)
{
    if (text.empty())
        return {0, 0};
    QFontMetrics fm(font);
    int count = PieceCount(text, "\r\n");
    int w = 0;
    // Summed in 64 bits: the line spacing is whatever a caller set.
    std::int64_t h = 0;
    for (int i = 0; i < count; ++i) {
        std::string line = Piece(text, "\r\n", i);
        if (wrapWidth > 0) {
            QRect r = CalcRect(font, flags, wrapWidth, line);
            w = std::max(w, r.width());
            h += r.height();
        } else {
            w = std::max(w, fm.horizontalAdvance(QString::fromStdString(line)));
            h += fm.height();
        }
        if (i + 1 < count)
            h += lineSpacing;
    }
    return {w, ClampExtent(h)};
}

void DrawTextEx(QPainter& canvas, const std::string& text, const TRect& r, unsigned flags)
{
    QString t = QString::fromStdString(text);
    if ((flags & DT_END_ELLIPSIS) && !(flags & DT_WORDBREAK))
        t = QFontMetrics(canvas.font()).elidedText(t, Qt::ElideRight, std::max(r.Width(), 0), QtTextFlags(flags));
    canvas.drawText(r.ToQRect(), QtTextFlags(flags), t);
}

std::array<std::uint8_t, 4> SplitColor(TColor color)
{
    TColor c = ColorToRGB(color);
    return {std::uint8_t(c >> 24), std::uint8_t(c >> 16), std::uint8_t(c >> 8), std::uint8_t(c)};
}

std::uint32_t PlatformColor(TColor color)
{
    if (color == clNone)
        return 0xFFFFFFFF;
    if (color == clDefault)
        return 0xFF000000;
    return ColorToRGB(color);
}

TColor AdjustColor(TColor color, int amount, bool percent)
{
    auto parts = SplitColor(color);
    int rgb[3] = {parts[3], parts[2], parts[1]};
    int out[3];
    for (int i = 0; i < 3; ++i) {
        std::int64_t c = rgb[i];
        int other = std::max(rgb[(i + 1) % 3], rgb[(i + 2) % 3]);
        std::int64_t v;
        if (c == 0 && other == 255 && amount > 0)
            v = percent ? std::int64_t(amount) * 255 / 100 : amount;
        else if (percent)
            v = c + std::int64_t(amount) * (amount <= 0 ? c : 255 - c) / 100;
        else
            v = c + amount;
        out[i] = int(std::clamp<std::int64_t>(v, 0, 255));
    }
    return RGBColor(out[0], out[1], out[2]);
}

void DitherFill(QPainter& canvas, const TRect& r, TColor color1, TColor color2)
{
    if (color2 == clNone)
        throw EInvalidOperation("Color2 cannot be clNone");
    // A checkerboard of colour 2 over colour 1 (over what is there for clNone).
    if (color1 != clNone)
        canvas.fillRect(r.ToQRect(), ToQColor(color1));
    QImage pattern(2, 2, QImage::Format_ARGB32);
    pattern.fill(Qt::transparent);
    pattern.setPixelColor(0, 0, ToQColor(color2));
    pattern.setPixelColor(1, 1, ToQColor(color2));
    QBrush brush(pattern);
    canvas.save();
    canvas.setBrushOrigin(0, 0);
    canvas.fillRect(r.ToQRect(), brush);
    canvas.restore();
}

void DrawImageListImage(const QList<QPixmap>* list, int index, QPainter& canvas, bool enabled, int y, int x)
{
    if (!list || index < 0 || index >= list->size())
        return;
    const QPixmap& pixmap = list->at(index);
    if (enabled) {
        canvas.drawPixmap(x, y, pixmap);
        return;
    }
    QImage disabled;
    DisabledPicture(disabled, pixmap.toImage());
    // Only the shape shows: the face colour of DisabledPicture stays out.
    QImage shape(disabled.size(), QImage::Format_ARGB32);
    QImage source = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int j = 0; j < shape.height(); ++j)
        for (int i = 0; i < shape.width(); ++i) {
            QColor c = disabled.pixelColor(i, j);
            bool inside = qAlpha(source.pixel(i, j)) > 127 || (i > 0 && j > 0 && qAlpha(source.pixel(i - 1, j - 1)) > 127);
            c.setAlpha(inside ? 255 : 0);
            shape.setPixelColor(i, j, c);
        }
    canvas.drawImage(x, y, shape);
}

void DisabledPicture(QImage& destination, const QImage& source)
{
    destination = QImage(source.size(), QImage::Format_RGB32);
    destination.fill(ToQColor(clBtnFace));
    QImage src = source.convertToFormat(QImage::Format_ARGB32);
    auto dark = [&](int x, int y) {
        QRgb p = src.pixel(x, y);
        return qAlpha(p) > 127 && qGray(p) < 192;
    };
    QRgb hi = ToQColor(clBtnHighlight).rgb(), sh = ToQColor(clBtnShadow).rgb();
    for (int y = 0; y < src.height(); ++y)
        for (int x = 0; x < src.width(); ++x)
            if (dark(x, y) && x + 1 < src.width() && y + 1 < src.height())
                destination.setPixel(x + 1, y + 1, hi);
    for (int y = 0; y < src.height(); ++y)
        for (int x = 0; x < src.width(); ++x)
            if (dark(x, y))
                destination.setPixel(x, y, sh);
}

void MaskedCopy(QPainter& canvas, const TRect& r, const QImage& picture, const QImage& mask)
{
    QImage composed = picture.convertToFormat(QImage::Format_ARGB32);
    QImage m = mask.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < composed.height() && y < m.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(composed.scanLine(y));
        auto* mrow = reinterpret_cast<const QRgb*>(m.constScanLine(y));
        for (int x = 0; x < composed.width() && x < m.width(); ++x)
            if (qGray(mrow[x]) < 128)
                row[x] = qRgba(0, 0, 0, 0);
    }
    canvas.drawImage(r.ToQRect(), composed);
}

namespace {

// The key colour in pixel order: the top-left pixel for -1, else the colour given.
bool KeyColor(const TskBitmap& bitmap, std::int64_t keyColor, std::uint32_t& key)
{
    if (bitmap.Empty())
        return false;
    if (keyColor == -1) {
        key = bitmap.Pixel(0, 0);
    } else {
        key = std::uint32_t(ColorToRGB(TColor(keyColor)));
        SwapRedBlue(&key, 1);
    }
    return true;
}

} // namespace

void DrawTransparentBitmap(QPainter& canvas, const TRect& r, const TskBitmap& bitmap, std::int64_t keyColor)
{
    std::uint32_t key;
    if (!KeyColor(bitmap, keyColor, key))
        return;
    TskBitmap mask;
    mask.Assign(bitmap);
    mask.MakeMask(key);
    MaskedCopy(canvas, r, bitmap.Image(), mask.Image());
}

QRegion RegionOfPicture(const TskBitmap& bitmap, std::int64_t keyColor)
{
    std::uint32_t key;
    if (!KeyColor(bitmap, keyColor, key))
        return {};
    QRegion region;
    for (int y = 0; y < bitmap.Height(); ++y) {
        int x = 0;
        while (x < bitmap.Width()) {
            while (x < bitmap.Width() && bitmap.Pixel(x, y) == key)
                ++x;
            int start = x;
            while (x < bitmap.Width() && bitmap.Pixel(x, y) != key)
                ++x;
            if (x > start)
                region += QRect(start, y, x - start, 1);
        }
    }
    return region;
}

void FillOutsideRegion(TskBitmap& bitmap, const QRegion& region)
{
    if (bitmap.Empty())
        return;
    std::uint32_t fill = bitmap.TransparentColor == clNone ? bitmap.Pixel(0, 0) : ColorToRGB(bitmap.TransparentColor);
    if (bitmap.TransparentColor != clNone)
        SwapRedBlue(&fill, 1);
    for (int y = 0; y < bitmap.Height(); ++y)
        for (int x = 0; x < bitmap.Width(); ++x)
            if (!region.contains(QPoint(x, y)))
                bitmap.SetPixel(x, y, fill);
}

void TileGraphic(const QImage& graphic, QPainter& canvas, const TRect& r)
{
    // A graphic without size would never advance.
    if (graphic.width() <= 0 || graphic.height() <= 0 || r.Width() <= 0 || r.Height() <= 0)
        return;
    canvas.save();
    canvas.setClipRect(r.ToQRect(), Qt::IntersectClip);
    for (int y = r.Top; y < r.Bottom; y += graphic.height())
        for (int x = r.Left; x < r.Right; x += graphic.width())
            canvas.drawImage(x, y, graphic);
    canvas.restore();
}

void InvalidateTree(QWidget* window)
{
    if (!window)
        return;
    window->update();
    for (QWidget* child : window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        InvalidateTree(child);
}

void InvalidateOverlappingChildren(QWidget* parent, QWidget* window)
{
    if (!parent || !window)
        return;
    QRect area(window->mapTo(parent->window(), QPoint(0, 0)), window->size());
    for (QWidget* child : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (QRect(child->mapTo(parent->window(), QPoint(0, 0)), child->size()).intersects(area))
            InvalidateTree(child);
}

void InvalidateInParent(QWidget* control)
{
    if (control && control->parentWidget())
        control->parentWidget()->update(control->geometry());
}
