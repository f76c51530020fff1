#pragma once
// The toolbox of the drawing library: geometry, strings, text measuring,
// colours, masked and tiled pictures, invalidation of widget trees.
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QRect>
#include <QRegion>
#include <algorithm>
#include <array>
#include <cstdint>
#include <string>

#include "widgets/skColor.h"

class QWidget;
class QObject;
class TskBitmap;

extern std::string skVersion;

// A rectangle by its edges, right and bottom exclusive.
struct TRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
    void Offset(int dx, int dy) { Left += dx; Right += dx; Top += dy; Bottom += dy; }
    QRect ToQRect() const { return QRect(Left, Top, Right - Left, Bottom - Top); }
    static TRect From(const QRect& r) { return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()}; }
    bool operator==(const TRect&) const = default;
};

// The largest extent a widget can have (Qt's limit). A position or size
// worked out from values a caller set is held within it either way, so that
// a few of them summed still fit an int.
constexpr int skMaxExtent = (1 << 24) - 1;
inline int ClampExtent(std::int64_t v)
{
    return int(std::clamp<std::int64_t>(v, -skMaxExtent, skMaxExtent));
}

// Text-format flags of the measuring and drawing routines.
constexpr unsigned DT_CENTER = 0x1;
constexpr unsigned DT_RIGHT = 0x2;
constexpr unsigned DT_WORDBREAK = 0x10;
constexpr unsigned DT_NOCLIP = 0x100;
constexpr unsigned DT_CALCRECT = 0x400;
constexpr unsigned DT_NOPREFIX = 0x800;
constexpr unsigned DT_END_ELLIPSIS = 0x8000;

// Stores value in field; true when it changed (setters notify only then).
template <class T, class V> bool Change(T& field, const V& value)
{
    if (field == value)
        return false;
    field = value;
    return true;
}

// Geometry and small values.
inline int skMin(int a, int b) { return a < b ? a : b; }
inline int skMax(int a, int b) { return a > b ? a : b; }
inline int RectWidth(const TRect& r) { return r.Right - r.Left; }
inline int RectHeight(const TRect& r) { return r.Bottom - r.Top; }
inline QPoint skPoint(int x, int y) { return QPoint(x, y); }
inline bool PointsEqual(const QPoint& a, const QPoint& b) { return a == b; }
template <class T> T Choose(bool flag, T a, T b) { return flag ? a : b; }
inline void SetFlag(bool on, unsigned& flags, unsigned bit) { flags = on ? (flags | bit) : (flags & ~bit); }
// The largest rectangle of proportions w:h at r's top-left corner inside r;
// an empty r or proportion gives the empty rectangle at that corner.
TRect FitRect(const TRect& r, int w, int h);
inline bool RectEmpty(const TRect& r) { return r == TRect{}; }
TRect IntersectRects(const TRect& a, const TRect& b);

// Strings, with 1-based positions.
std::string CopyRange(const std::string& s, int from, int to);
int PosFrom(const std::string& sub, const std::string& s, int start);
int NthPos(const std::string& sub, const std::string& s, int n);
int PieceCount(const std::string& s, const std::string& sep);
std::string Piece(const std::string& s, const std::string& sep, int n);
int PieceIndex(const std::string& s, const std::string& sep, const std::string& piece);
std::string ReplaceAll(const std::string& s, const std::string& oldText, const std::string& newText);
std::string StripAccelerators(const std::string& s);
std::string UniqueComponentName(const QObject* owner, const std::string& base);
bool ClassNamed(const QObject* object, const std::string& name);
int OrdinalProperty(const QObject* object, const char* name);

// Text measuring and drawing with the flags above.
int QtTextFlags(unsigned flags);
int SingleLineHeight(const QFont& font, unsigned flags, int width, const std::string& text);
QSize MeasureLines(const QFont& font, const std::string& text, int lineSpacing, unsigned flags, int wrapWidth);
// Draws text at r's top-left (through the painter's transform) with the flags.
void DrawTextEx(QPainter& canvas, const std::string& text, const TRect& r, unsigned flags);

// Colours.
std::array<std::uint8_t, 4> SplitColor(TColor color); // top byte, blue, green, red
std::uint32_t PlatformColor(TColor color);
TColor AdjustColor(TColor color, int amount, bool percent);
void DitherFill(QPainter& canvas, const TRect& r, TColor color1, TColor color2);

// Pictures.
void DrawImageListImage(const QList<QPixmap>* list, int index, QPainter& canvas, bool enabled, int y, int x);
void DisabledPicture(QImage& destination, const QImage& source);
// Copies picture onto the canvas where mask is white; black mask pixels keep the canvas.
void MaskedCopy(QPainter& canvas, const TRect& r, const QImage& picture, const QImage& mask);
void DrawTransparentBitmap(QPainter& canvas, const TRect& r, const TskBitmap& bitmap, std::int64_t keyColor);
QRegion RegionOfPicture(const TskBitmap& bitmap, std::int64_t keyColor);
void FillOutsideRegion(TskBitmap& bitmap, const QRegion& region);
void TileGraphic(const QImage& graphic, QPainter& canvas, const TRect& r);

// Widget trees.
void InvalidateTree(QWidget* window);
void InvalidateOverlappingChildren(QWidget* parent, QWidget* window);
void InvalidateInParent(QWidget* control);
