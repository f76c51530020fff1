#include "widgets/skBitmap.h"

#include <QBuffer>
#include <QIODevice>
#include <QtEndian>
#include <algorithm>
#include <cstring>
#include <random>

#include "widgets/skGraphics.h"

namespace {

// True for a bitmap file (it starts "BM") that holds fewer bytes than its
// headers say its pixels take: the bytes before the pixels, then rows of
// width x bits rounded up to 4 bytes for an uncompressed picture, or the
// stated image size for a compressed one. Other files are left to their
// decoders.
bool BitmapFileIsShort(const QByteArray& data)
{
    if (data.size() < 2 || data[0] != 'B' || data[1] != 'M')
        return false;
    const auto* bytes = reinterpret_cast<const uchar*>(data.constData());
    const std::int64_t size = data.size();
    if (size < 18)
        return true;
    const std::int64_t offBits = qFromLittleEndian<quint32>(bytes + 10);
    const std::int64_t infoSize = qFromLittleEndian<quint32>(bytes + 14);
    if (infoSize < 12 || size < 14 + infoSize)
        return true;
    std::int64_t width, height, bits, compression = 0, imageSize = 0;
    if (infoSize < 16) { // the old core header: 16-bit sides
        width = qFromLittleEndian<quint16>(bytes + 18);
        height = qFromLittleEndian<quint16>(bytes + 20);
        bits = qFromLittleEndian<quint16>(bytes + 24);
    } else if (infoSize >= 40) {
        width = qFromLittleEndian<qint32>(bytes + 18);
        height = std::abs(std::int64_t(qFromLittleEndian<qint32>(bytes + 22)));
        bits = qFromLittleEndian<quint16>(bytes + 28);
        compression = qFromLittleEndian<quint32>(bytes + 30);
        imageSize = qFromLittleEndian<quint32>(bytes + 34);
    } else {
        return false; // a header this reader does not know: the decoder decides
    }
    // A file whose pixel offset points into its headers has them right after.
    const std::int64_t available = size - std::max(offBits, 14 + infoSize);
    if (available < 0)
        return true;
    const bool uncompressed = compression == 0 || compression == 3 || compression == 6;
    if (!uncompressed || width <= 0 || bits <= 0 || height <= 0)
        return available < imageSize;
    // Rows x height, compared without the product (it may not fit 64 bits).
    const std::int64_t row = (width * bits + 31) / 32 * 4;
    return row > available / height;
}

} // namespace

TskBitmap::TskBitmap()
{
    auto engine = std::make_shared<std::minstd_rand>(std::random_device{}());
    RandomBelow = [engine](int n) { return int(std::uniform_int_distribution<int>(0, n - 1)(*engine)); };
}

TskBitmap::~TskBitmap() = default;

std::uint32_t TskBitmap::Pixel(int x, int y) const
{
    const std::uint8_t* p = ScanLine(y) + 3 * x;
    return std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0];
}

void TskBitmap::SetPixel(int x, int y, std::uint32_t color)
{
    std::uint8_t* p = ScanLine(y) + 3 * x;
    p[0] = std::uint8_t(color);
    p[1] = std::uint8_t(color >> 8);
    p[2] = std::uint8_t(color >> 16);
}

void TskBitmap::FreeImage()
{
    FImage = QImage();
    FMask = QImage();
    FWidth = FHeight = FPitch = 0;
}

void TskBitmap::BuildRows()
{
    FMask = QImage();
    if (FImage.isNull()) {
        FreeImage();
    } else {
        FWidth = FImage.width();
        FHeight = FImage.height();
        // 3 x width rounded up to 4, which is 3 x width + width mod 4.
        FPitch = int(FImage.bytesPerLine());
    }
    Changed();
}

void TskBitmap::SetSize(int w, int h)
{
    FreeImage();
    // A negative side (a stretch onto an inverted rectangle) is as empty as 0,
    // and so is a picture above the largest.
    if (w <= 0 || h <= 0 || (3 * std::int64_t(w) + 3) / 4 * 4 > MaxImageSize / h)
        return;
    FImage = QImage(w, h, QImage::Format_BGR888);
    if (FImage.isNull())
        return;
    FImage.fill(Qt::white);
    BuildRows();
}

void TskBitmap::ChangeSize(int w, int h)
{
    if (w != FWidth || h != FHeight)
        SetSize(w, h);
}

void TskBitmap::StretchToSize(int w, int h)
{
    if (w == FWidth && h == FHeight)
        return;
    QImage copy = FImage;
    SetSize(w, h);
    if (copy.isNull() || Empty())
        return;
    QPainter p(&FImage);
    p.drawImage(QRect(0, 0, w, h), copy);
}

void TskBitmap::Changed()
{
    if (!FNotificationsOff)
        NotifyChanges();
}

void TskBitmap::Assign(const TskBitmap& source)
{
    if (&source == this)
        return;
    if (source.Empty()) {
        FreeImage();
        Changed();
        return;
    }
    FNotificationsOff = true;
    UseOptimizedPalette = source.UseOptimizedPalette;
    UseHalftonePalette = source.UseHalftonePalette;
    FImage = source.FImage.copy();
    BuildRows();
    Transparent = source.Transparent;
    SmoothStretch = source.SmoothStretch;
    TransparentColor = source.TransparentColor;
    FKeptFormat = source.FKeptFormat;
    FColorTable = source.FColorTable;
    FNotificationsOff = false;
    Changed();
}

void TskBitmap::Assign(const QImage& source)
{
    if (source.isNull() || source.width() <= 0 || source.height() <= 0) {
        FreeImage();
        Changed();
        return;
    }
    FKeptFormat = source.format();
    FColorTable = source.colorTable();
    FImage = source.convertToFormat(QImage::Format_BGR888);
    BuildRows();
}

QImage TskBitmap::SaveToImage() const
{
    if (Empty())
        return {};
    if (!FColorTable.isEmpty() && (FKeptFormat == QImage::Format_Indexed8 || FKeptFormat == QImage::Format_Mono ||
                                   FKeptFormat == QImage::Format_MonoLSB))
        return FImage.convertToFormat(FKeptFormat, FColorTable);
    return FImage.convertToFormat(FKeptFormat);
}

void TskBitmap::LoadFromBits(const std::uint8_t* bits, std::int64_t size, int w, int h)
{
    SetSize(w, h);
    if (Empty())
        return;
    std::int64_t n = std::min<std::int64_t>(size, ImageSize());
    for (int y = 0; y < FHeight && n > 0; ++y) {
        std::int64_t row = std::min<std::int64_t>(FPitch, n);
        std::memcpy(ScanLine(y), bits + std::int64_t(y) * FPitch, std::size_t(row));
        n -= row;
    }
    BuildRows();
}

bool TskBitmap::LoadFromStream(QIODevice& stream)
{
    // The decoder fills a short file's missing rows with whatever it likes
    // and calls that a success: a bitmap file is first measured against the
    // sizes its own header gives.
    const QByteArray data = stream.readAll();
    if (BitmapFileIsShort(data))
        return false;
    QImage image;
    if (!image.loadFromData(data))
        return false;
    Assign(image);
    return true;
}

bool TskBitmap::SaveToStream(QIODevice& stream) const
{
    return SaveToImage().save(&stream, "BMP");
}

void TskBitmap::SaveToMemory()
{
    FSaved.clear();
    FSavedWidth = FWidth;
    FSavedHeight = FHeight;
    if (!Empty())
        for (int y = 0; y < FHeight; ++y)
            FSaved.insert(FSaved.end(), ScanLine(y), ScanLine(y) + FPitch);
    FreeImage();
}

void TskBitmap::RestoreFromMemory()
{
    if (FSaved.empty())
        return;
    std::vector<std::uint8_t> saved;
    saved.swap(FSaved);
    LoadFromBits(saved.data(), std::int64_t(saved.size()), FSavedWidth, FSavedHeight);
}

bool TskBitmap::Key(std::uint32_t& key) const
{
    if (Empty())
        return false;
    if (TransparentColor == clNone) {
        key = Pixel(0, 0);
    } else {
        key = ColorToRGB(TransparentColor);
        SwapRedBlue(&key, 1);
    }
    return true;
}

const QImage& TskBitmap::Mask() const
{
    // Effects and painters change the pixels in place, and the key may have
    // changed since: the mask is made again whenever either differs.
    std::uint32_t key;
    if (!Key(key))
        return FMask;
    if (FMask.isNull() || FMaskSource != FImage.cacheKey() || FMaskColor != key) {
        FMaskSource = FImage.cacheKey();
        FMaskColor = key;
        TskBitmap copy;
        copy.FImage = FImage.copy();
        copy.BuildRows();
        copy.MakeMask(key);
        FMask = copy.FImage.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);
    }
    return FMask;
}

void TskBitmap::Draw(QPainter& canvas, const TRect& r) const
{
    if (Empty())
        return;
    if (r.Width() == FWidth && r.Height() == FHeight) {
        if (Transparent)
            TransparentDraw(canvas, r);
        else
            canvas.drawImage(r.Left, r.Top, FImage);
    } else if (SmoothStretch) {
        SmoothStretchDraw(canvas, r);
    } else {
        StretchDraw(canvas, r);
    }
}

void TskBitmap::StretchDraw(QPainter& canvas, const TRect& r) const
{
    if (Empty() || r.Width() <= 0 || r.Height() <= 0)
        return;
    if (Transparent) {
        TskBitmap temp;
        temp.SetSize(r.Width(), r.Height());
        temp.FImage = FImage.scaled(r.Width(), r.Height(), Qt::IgnoreAspectRatio, Qt::FastTransformation)
                          .convertToFormat(QImage::Format_BGR888);
        temp.BuildRows();
        temp.TransparentColor = TransparentColor;
        temp.TransparentDraw(canvas, {r.Left, r.Top, r.Right, r.Bottom});
        return;
    }
    canvas.save();
    canvas.setRenderHint(QPainter::SmoothPixmapTransform, false);
    canvas.drawImage(r.ToQRect(), FImage);
    canvas.restore();
}

void TskBitmap::SmoothStretchDraw(QPainter& canvas, const TRect& r) const
{
    int tw = r.Width(), th = r.Height();
    if (Empty() || tw <= 0 || th <= 0)
        return;
    TskBitmap temp;
    temp.SetSize(tw, th);
    if (temp.Empty())
        return;
    if (tw == FWidth && th == FHeight) {
        temp.FImage = FImage.copy();
    } else {
        // Bilinear in 15-bit fixed point; the pixel right of the last column
        // and the row below the last row are the last ones themselves.
        const std::int64_t one = 32768;
        std::int64_t xstep = std::int64_t(FWidth - 1) * one / tw;
        std::int64_t ystep = std::int64_t(FHeight - 1) * one / th;
        std::int64_t yacc = 0;
        for (int ty = 0; ty < th; ++ty, yacc += ystep) {
            int sy = int(yacc / one);
            std::int64_t fy = yacc & (one - 1);
            int sy2 = std::min(sy + 1, FHeight - 1);
            const std::uint8_t* r0 = ScanLine(sy);
            const std::uint8_t* r1 = ScanLine(sy2);
            std::uint8_t* out = temp.ScanLine(ty);
            std::int64_t xacc = 0;
            for (int tx = 0; tx < tw; ++tx, xacc += xstep) {
                int sx = int(xacc / one);
                std::int64_t fx = xacc & (one - 1);
                int sx2 = std::min(sx + 1, FWidth - 1);
                std::int64_t w0 = one - fy;
                std::int64_t t = fx * w0 / one;
                std::int64_t v = fx * fy / one;
                for (int c = 0; c < 3; ++c) {
                    std::int64_t value = r0[3 * sx + c] * (w0 - t) + r0[3 * sx2 + c] * t + r1[3 * sx + c] * (fy - v) +
                                         r1[3 * sx2 + c] * v;
                    out[3 * tx + c] = std::uint8_t(std::clamp<std::int64_t>(value / one, 0, 255));
                }
            }
        }
    }
    temp.TransparentColor = TransparentColor;
    if (Transparent)
        temp.TransparentDraw(canvas, r);
    else
        canvas.drawImage(r.Left, r.Top, temp.FImage);
}

void TskBitmap::TileDraw(QPainter& canvas, const TRect& r) const
{
    if (Empty() || r.Width() <= 0 || r.Height() <= 0)
        return;
    canvas.save();
    canvas.setClipRect(r.ToQRect(), Qt::IntersectClip);
    for (int y = r.Top; y < r.Bottom; y += FHeight)
        for (int x = r.Left; x < r.Right; x += FWidth)
            Draw(canvas, {x, y, x + FWidth, y + FHeight});
    canvas.restore();
}

void TskBitmap::TransparentDraw(QPainter& canvas, const TRect& r) const
{
    if (Empty())
        return;
    MaskedCopy(canvas, r, FImage, Mask());
}
