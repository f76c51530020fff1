#pragma once
// An off-screen 24-bit picture: rows top-down, three bytes a pixel in the
// order blue, green, red, each row padded to a multiple of 4 bytes, so the
// effects work on the bytes directly. Registered change links hear of changes.
#include <QImage>
#include <QPainter>
#include <QVector>
#include <cstdint>
#include <functional>
#include <vector>

#include "widgets/skChangeLink.h"
#include "widgets/skColor.h"
#include "widgets/skCommon.h"

class QIODevice;

class TskBitmap {
public:
    TskBitmap();
    virtual ~TskBitmap();
    TskBitmap(const TskBitmap&) = delete;
    TskBitmap& operator=(const TskBitmap&) = delete;

    bool SmoothStretch = false;
    TColor TransparentColor = clNone;
    bool Transparent = false;
    bool UseOptimizedPalette = false;
    bool UseHalftonePalette = false;

    bool Empty() const { return FWidth <= 0 || FHeight <= 0; }
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    int RowPitch() const { return FPitch; }
    int RowPadding() const { return FWidth % 4; }
    std::int64_t ImageSize() const { return std::int64_t(FPitch) * FHeight; }
    std::uint8_t* ScanLine(int y) { return FImage.scanLine(y); }
    const std::uint8_t* ScanLine(int y) const { return FImage.constScanLine(y); }
    // A pixel as a colour value in pixel order: red in bits 16-23, blue in 0-7.
    std::uint32_t Pixel(int x, int y) const;
    void SetPixel(int x, int y, std::uint32_t color);
    // The section itself; draw on it with a QPainter as on a canvas.
    QImage& Image() { return FImage; }
    const QImage& Image() const { return FImage; }

    // The largest picture in bytes: 256 MiB, some 9,000 pixels square, far
    // above any screen. A size beyond it leaves the picture empty, as a size
    // the system cannot make a section of; it does not exhaust the memory.
    static constexpr std::int64_t MaxImageSize = std::int64_t(1) << 28;

    void SetWidth(int w) { ChangeSize(w, FHeight); }
    void SetHeight(int h) { ChangeSize(FWidth, h); }
    // Any side of 0 or less, or a picture above MaxImageSize, leaves the
    // picture empty; a new picture is white.
    virtual void SetSize(int w, int h);
    virtual void ChangeSize(int w, int h);
    virtual void StretchToSize(int w, int h);
    virtual void FreeImage();
    virtual void Clear() { FreeImage(); }

    void Assign(const TskBitmap& source);
    // An ordinary picture: its format and colour table are kept for saving back.
    void Assign(const QImage& source);
    // The picture in the kept format (with the kept colour table).
    QImage SaveToImage() const;
    void LoadFromBits(const std::uint8_t* bits, std::int64_t size, int w, int h);
    bool LoadFromStream(QIODevice& stream);
    bool SaveToStream(QIODevice& stream) const;
    void SaveToMemory();
    void RestoreFromMemory();
    bool HasSavedPixels() const { return !FSaved.empty(); }

    void Draw(QPainter& canvas, const TRect& r) const;
    void StretchDraw(QPainter& canvas, const TRect& r) const;
    void SmoothStretchDraw(QPainter& canvas, const TRect& r) const;
    void TileDraw(QPainter& canvas, const TRect& r) const;
    void TransparentDraw(QPainter& canvas, const TRect& r) const;
    // The monochrome mask: key-coloured pixels black, the others white.
    const QImage& Mask() const;

    void RegisterChanges(TskChangeLink* link) { FLinks.Register(link); }
    void UnRegisterChanges(TskChangeLink* link) { FLinks.UnRegister(link); }
    void Changed();

    // The effects work in place and signal no change by themselves.
    void Blur(int distance);
    void Contrast(int amount);
    void Emboss();
    void Flip(bool horizontal);
    void GaussianBlur(int passes);
    void GrayScale();
    void Invert();
    void Lightness(int amount);
    void MakeMask(std::uint32_t color);
    void ReplaceColor(std::uint32_t newColor, std::uint32_t oldColor);
    void AddColor(int dr, int dg, int db);
    void Colorize(int r, int g, int b);
    void Rotate(QPoint centre, double angle);
    void Saturation(int amount);
    void Sharpen(int distance);
    void Sponge(int radius);
    void Wave(bool wrap, int ratio, int xdiv, int ydiv);
    void AlphaBlend(const TskBitmap& blend, int amount, bool stretch);

    // The random source of Sponge: a number from 0 below n (n > 0).
    std::function<int(int)> RandomBelow;

private:
    void BuildRows();
    void NotifyChanges() { FLinks.Notify(this); }
    // The transparent key in pixel order; false for an empty picture.
    bool Key(std::uint32_t& key) const;

    QImage FImage;
    int FWidth = 0, FHeight = 0, FPitch = 0;
    mutable QImage FMask;
    mutable qint64 FMaskSource = 0;
    mutable std::uint32_t FMaskColor = 0;
    std::vector<std::uint8_t> FSaved;
    int FSavedWidth = 0, FSavedHeight = 0;
    QImage::Format FKeptFormat = QImage::Format_BGR888;
    QVector<QRgb> FColorTable;
    bool FNotificationsOff = false;
    TskChangeLinks FLinks;
};
