// The image effects of TskBitmap. Each works in place on the pixel bytes,
// rows top to bottom and pixels left to right; where an effect reads
// neighbours in place, those above and to the left are already changed.
// Amounts are worked in 64 bits, so no amount overflows a formula.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

#include "widgets/skBitmap.h"
#include "widgets/skErrors.h"

namespace {

std::uint8_t Clamped(std::int64_t v)
{
    return std::uint8_t(std::clamp<std::int64_t>(v, 0, 255));
}

int ClampTo(std::int64_t v, int size)
{
    return int(std::clamp<std::int64_t>(v, 0, size - 1));
}

// A table applied to every channel byte.
void ApplyTable(TskBitmap& b, const std::array<std::uint8_t, 256>& t)
{
    for (int y = 0; y < b.Height(); ++y) {
        std::uint8_t* row = b.ScanLine(y);
        for (int i = 0; i < 3 * b.Width(); ++i)
            row[i] = t[row[i]];
    }
}

} // namespace

void TskBitmap::Lightness(int amount)
{
    std::array<std::uint8_t, 256> t{};
    std::int64_t a = amount;
    for (std::int64_t i = 0; i < 256; ++i)
        t[i] = a <= 0 ? Clamped(i - (-a * i) / 256) : Clamped(i + ((255 - i) * a) / 256);
    ApplyTable(*this, t);
}

void TskBitmap::Contrast(int amount)
{
    std::array<std::uint8_t, 256> t{};
    for (std::int64_t i = 0; i < 256; ++i) {
        std::int64_t d = std::int64_t(amount) * std::abs(128 - i) / 256;
        t[i] = i <= 126 ? Clamped(i - d) : Clamped(i + d);
    }
    ApplyTable(*this, t);
}

void TskBitmap::GrayScale()
{
    for (int y = 0; y < Height(); ++y) {
        std::uint8_t* p = ScanLine(y);
        for (int x = 0; x < Width(); ++x, p += 3) {
            std::uint8_t g = std::uint8_t(p[2] / 3 + p[1] / 3 + p[0] / 3);
            p[0] = p[1] = p[2] = g;
        }
    }
}

void TskBitmap::Saturation(int amount)
{
    std::int64_t a = amount;
    auto s = [a](std::int64_t x) {
        std::int64_t v = x * a;
        return v >= 0 ? v / 256 : -((-v + 255) / 256); // arithmetic shift: rounds down
    };
    for (int y = 0; y < Height(); ++y) {
        std::uint8_t* p = ScanLine(y);
        for (int x = 0; x < Width(); ++x, p += 3) {
            std::int64_t g = p[2] / 3 + p[1] / 3 + p[0] / 3;
            for (int c = 0; c < 3; ++c)
                p[c] = Clamped(g + s(p[c]) - s(g));
        }
    }
}

void TskBitmap::Invert()
{
    for (int y = 0; y < Height(); ++y) {
        std::uint8_t* row = ScanLine(y);
        for (int i = 0; i < 3 * Width(); ++i)
            row[i] = std::uint8_t(255 - row[i]);
    }
}

void TskBitmap::AddColor(int dr, int dg, int db)
{
    for (int y = 0; y < Height(); ++y) {
        std::uint8_t* p = ScanLine(y);
        for (int x = 0; x < Width(); ++x, p += 3) {
            p[2] = Clamped(std::int64_t(p[2]) + dr);
            p[1] = Clamped(std::int64_t(p[1]) + dg);
            p[0] = Clamped(std::int64_t(p[0]) + db);
        }
    }
}

void TskBitmap::Colorize(int r, int g, int b)
{
    std::uint32_t key = 0;
    bool keyed = TransparentColor != clNone && Key(key);
    for (int y = 0; y < Height(); ++y) {
        std::uint8_t* p = ScanLine(y);
        for (int x = 0; x < Width(); ++x, p += 3) {
            if (keyed && Pixel(x, y) == key)
                continue;
            p[2] = Clamped(std::int64_t(p[2]) + r - 192);
            p[1] = Clamped(std::int64_t(p[1]) + g - 192);
            p[0] = Clamped(std::int64_t(p[0]) + b - 192);
        }
    }
}

void TskBitmap::MakeMask(std::uint32_t color)
{
    for (int y = 0; y < Height(); ++y)
        for (int x = 0; x < Width(); ++x)
            SetPixel(x, y, Pixel(x, y) == (color & 0xFFFFFF) ? 0x000000 : 0xFFFFFF);
}

void TskBitmap::ReplaceColor(std::uint32_t newColor, std::uint32_t oldColor)
{
    for (int y = 0; y < Height(); ++y)
        for (int x = 0; x < Width(); ++x)
            if (Pixel(x, y) == (oldColor & 0xFFFFFF))
                SetPixel(x, y, newColor);
}

void TskBitmap::Flip(bool horizontal)
{
    if (Empty())
        return;
    if (horizontal) {
        for (int y = 0; y < Height(); ++y)
            for (int x = 0; x <= (Width() - 1) / 2; ++x) {
                std::uint32_t a = Pixel(x, y), b = Pixel(Width() - 1 - x, y);
                SetPixel(x, y, b);
                SetPixel(Width() - 1 - x, y, a);
            }
        return;
    }
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(RowPitch()));
    for (int y = 0; y <= (Height() - 1) / 2; ++y) {
        std::uint8_t* top = ScanLine(y);
        std::uint8_t* bottom = ScanLine(Height() - 1 - y);
        std::memcpy(buffer.data(), top, buffer.size());
        std::memcpy(top, bottom, buffer.size());
        std::memcpy(bottom, buffer.data(), buffer.size());
    }
}

void TskBitmap::Blur(int distance)
{
    std::int64_t d = distance;
    for (int y = 0; y < Height(); ++y)
        for (int x = 0; x < Width(); ++x) {
            int xs[2] = {ClampTo(x + d, Width()), ClampTo(x - d, Width())};
            int ys[2] = {ClampTo(y + d, Height()), ClampTo(y - d, Height())};
            for (int c = 0; c < 3; ++c) {
                int sum = ScanLine(ys[0])[3 * xs[0] + c] + ScanLine(ys[1])[3 * xs[0] + c] +
                          ScanLine(ys[0])[3 * xs[1] + c] + ScanLine(ys[1])[3 * xs[1] + c];
                ScanLine(y)[3 * x + c] = std::uint8_t(sum >> 2);
            }
        }
}

void TskBitmap::GaussianBlur(int passes)
{
    if (Empty())
        return;
    // Every pass whose distance reaches past both sides blurs alike: once one
    // of them changes nothing, neither do the others, and a pass count far
    // beyond the picture's size ends there instead of hours later.
    const int reach = std::max(Width(), Height()) - 1;
    int n = passes;
    for (std::vector<std::uint8_t> before; n > reach && n >= 1; --n) {
        before.assign(FImage.constBits(), FImage.constBits() + FImage.sizeInBytes());
        Blur(n);
        if (std::equal(before.begin(), before.end(), FImage.constBits()))
            n = reach + 1;
    }
    for (; n >= 1; --n)
        Blur(n);
}

void TskBitmap::Sharpen(int distance)
{
    std::int64_t d = distance;
    for (int y = 0; y < Height(); ++y)
        for (int x = 0; x < Width(); ++x) {
            int xs[3] = {ClampTo(x - d, Width()), x, ClampTo(x + d, Width())};
            int ys[3] = {ClampTo(y - d, Height()), y, ClampTo(y + d, Height())};
            for (int c = 0; c < 3; ++c) {
                std::int64_t sum = 0;
                for (int j = 0; j < 3; ++j)
                    for (int i = 0; i < 3; ++i)
                        if (i != 1 || j != 1)
                            sum += ScanLine(ys[j])[3 * xs[i] + c];
                std::int64_t v = (256 * std::int64_t(ScanLine(y)[3 * x + c]) - 16 * sum) / 128;
                ScanLine(y)[3 * x + c] = Clamped(v);
            }
        }
}

void TskBitmap::Emboss()
{
    if (Empty())
        return;
    // The last row as it was: the last two rows read it.
    std::vector<std::uint8_t> last(ScanLine(Height() - 1), ScanLine(Height() - 1) + 3 * Width());
    for (int y = 0; y < Height(); ++y) {
        int ny = std::min(y + 1, Height() - 1);
        const std::uint8_t* below = ny == Height() - 1 ? last.data() : ScanLine(ny);
        std::uint8_t* row = ScanLine(y);
        for (int x = 0; x < Width(); ++x) {
            int nx = std::min(x + 1, Width() - 1);
            for (int c = 0; c < 3; ++c)
                row[3 * x + c] = std::uint8_t((row[3 * x + c] + (255 - below[3 * nx + c])) / 2);
        }
    }
}

void TskBitmap::Sponge(int radius)
{
    if (radius <= 0 || Empty())
        return;
    for (int y = 0; y < Height(); ++y)
        for (int x = 0; x < Width(); ++x) {
            std::int64_t c = RandomBelow(radius);
            // With c = 0 the pixel stays where it is (no random below 0).
            if (c == 0)
                continue;
            int range = int(std::min<std::int64_t>(2 * c, INT32_MAX));
            int e = ClampTo(x + c - RandomBelow(range), Width());
            int f = ClampTo(y + c - RandomBelow(range), Height());
            SetPixel(x, y, Pixel(e, f));
        }
}

void TskBitmap::Rotate(QPoint centre, double angle)
{
    if (Empty())
        return;
    std::int64_t cx = centre.x() < 0 ? Width() / 2 : centre.x();
    std::int64_t cy = centre.y() < 0 ? Height() / 2 : centre.y();
    QImage target(Width(), Height(), QImage::Format_BGR888);
    std::uint32_t fill = Pixel(0, 0);
    double t = -angle * M_PI / 180.0;
    double cs = std::cos(t), sn = std::sin(t);
    for (int y = 0; y < Height(); ++y) {
        std::uint8_t* out = target.scanLine(y);
        for (int x = 0; x < Width(); ++x) {
            double h = 2.0 * x - 2.0 * cx + 1, v = 2.0 * y - 2.0 * cy + 1;
            std::int64_t sx = (std::int64_t(std::nearbyint(h * cs - v * sn)) - 1) / 2 + cx;
            std::int64_t sy = (std::int64_t(std::nearbyint(h * sn + v * cs)) - 1) / 2 + cy;
            std::uint32_t p = sx >= 0 && sx < Width() && sy >= 0 && sy < Height() ? Pixel(int(sx), int(sy)) : fill;
            out[3 * x] = std::uint8_t(p);
            out[3 * x + 1] = std::uint8_t(p >> 8);
            out[3 * x + 2] = std::uint8_t(p >> 16);
        }
    }
    for (int y = 0; y < Height(); ++y)
        std::memcpy(ScanLine(y), target.constScanLine(y), std::size_t(3 * Width()));
}

void TskBitmap::Wave(bool wrap, int ratio, int xdiv, int ydiv)
{
    if (xdiv == 0 || ydiv == 0 || Empty())
        return;
    auto offset = [ratio](int i, int div) { return std::int64_t(std::nearbyint(ratio * std::sin(double(i) / div))); };
    std::vector<std::int64_t> oy(static_cast<std::size_t>(Width()));
    for (int x = 0; x < Width(); ++x)
        oy[std::size_t(x)] = offset(x, ydiv);
    QImage target(Width(), Height(), QImage::Format_BGR888);
    target.fill(Qt::white);
    auto wrapped = [](std::int64_t v, int n) { return int(((v % n) + n) % n); };
    for (int i = 0; i < Height(); ++i) {
        std::int64_t ox = offset(i, xdiv);
        std::uint8_t* out = target.scanLine(i);
        for (int x = 0; x < Width(); ++x) {
            std::int64_t sx = x + ox, sy = i + oy[std::size_t(x)];
            if (wrap) {
                sx = wrapped(sx, Width());
                sy = wrapped(sy, Height());
            } else if (sx < 0 || sx >= Width() || sy < 0 || sy >= Height()) {
                continue;
            }
            std::memcpy(out + 3 * x, ScanLine(int(sy)) + 3 * sx, 3);
        }
    }
    for (int y = 0; y < Height(); ++y)
        std::memcpy(ScanLine(y), target.constScanLine(y), std::size_t(3 * Width()));
}

void TskBitmap::AlphaBlend(const TskBitmap& blend, int amount, bool stretch)
{
    const TskBitmap* source = &blend;
    TskBitmap temp;
    if (blend.Width() != Width() || blend.Height() != Height()) {
        if (!stretch)
            throw EInvalidOperation("In Alpha Blend, Blend Bitmap must be same dimensions as Current Bitmap");
        temp.SetSize(Width(), Height());
        if (!temp.Empty() && !blend.Empty()) {
            QPainter p(&temp.Image());
            p.drawImage(QRect(0, 0, Width(), Height()), blend.Image());
        }
        temp.Transparent = blend.Transparent;
        temp.TransparentColor = blend.TransparentColor;
        source = &temp;
    }
    if (Empty() || source->Empty())
        return;
    // Amounts beyond 0-256 would push channels out of their byte.
    std::int64_t a = std::clamp(amount, 0, 256);
    std::array<int, 511> m{};
    for (int k = -255; k <= 255; ++k)
        m[std::size_t(k + 255)] = int((a * k) >> 8);
    // The blend picture's key is its own top-left pixel, whatever its
    // transparent colour says; a stretched copy keeps the original's.
    const bool keyed = source->Transparent && !blend.Empty();
    const std::uint32_t key = keyed ? blend.Pixel(0, 0) : 0;
    for (int y = 0; y < Height(); ++y) {
        std::uint8_t* p = ScanLine(y);
        const std::uint8_t* b = source->ScanLine(y);
        for (int x = 0; x < Width(); ++x) {
            if (keyed && source->Pixel(x, y) == key)
                continue;
            for (int c = 0; c < 3; ++c)
                p[3 * x + c] = std::uint8_t(p[3 * x + c] + m[std::size_t(b[3 * x + c] - p[3 * x + c] + 255)]);
        }
    }
}
