#pragma once
// A button whose face is a picture and whose shape follows the picture's
// non-transparent pixels, with a raised drop shadow, a dithered down state
// for grouped buttons and shaded diagonal edges for a 3-D rim.
#include <QPointer>

#include "widgets/skButton.h"

class TskCustomImager;

// "No cut-out": a rectangular button without a shape.
constexpr TColor skNoTransparentColor = 0x0FFFFFFF;

enum TskDitherStyle { dsDither, dsBlendDither, dsFill };

class TskImgDownOffsets : public TskOffsets {
public:
    using TskOffsets::TskOffsets;
    int ImageDownX = 2, ImageDownY = 2;
    void Assign(const TskOffsets& source) override;
};

class TskCustomImageBtn : public TskCustomBitBtn {
    Q_OBJECT
public:
    Q_INVOKABLE explicit TskCustomImageBtn(QWidget* parent = nullptr);
    ~TskCustomImageBtn() override;

    TskBitmap& Image() { return *FImage; }
    void SetImage(const TskBitmap* v);
    TskBitmap& ImageDown() { return *FImageDown; }
    void SetImageDown(const TskBitmap* v);
    QWidget* ExtImage() const { return FExtImage; }
    void SetExtImage(QWidget* v) { SetExt(false, v); }
    QWidget* ExtImageDown() const { return FExtImageDown; }
    void SetExtImageDown(QWidget* v) { SetExt(true, v); }
    TColor TransparentColor() const { return FTransparentColor; }
    void SetTransparentColor(TColor v);
    TColor DitherColor() const { return FDitherColor; }
    void SetDitherColor(TColor v);
    TskDitherStyle DitherStyle() const { return FDitherStyle; }
    void SetDitherStyle(TskDitherStyle v);
    // Palettes have no effect on 24-bit displays: the flag is only kept.
    bool RespectPalette() const { return FImage->UseOptimizedPalette; }
    void SetRespectPalette(bool v);
    // The parent's clip-children style: Qt widgets never draw over their children.
    bool ParentClipping() const { return parentWidget() != nullptr; }
    TskImgDownOffsets& ImgOffsets() { return static_cast<TskImgDownOffsets&>(Offsets()); }

    void Assign(const TskCustomBitBtn& source) override;
    void SizeToContent() override;
    bool HasRegionData() const override { return true; }
    bool UsesRegion() const override { return FTransparentColor != skNoTransparentColor; }
    bool RegionChangesWithState() const override;

    // The picture of a state: borrowed from ExtImage / ExtImageDown when set.
    virtual TskBitmap* GetImage(bool down);
    // The face's colour at a point; clNone outside the button.
    virtual TColor ColorAtPoint(int x, int y);
    virtual void BakeShading();
    // The colour cut out of the shape, as RGB; skNoTransparentColor for none.
    TColor EffectiveTransparentColor(bool down);
    // The 3-D rim along every down-right diagonal of the non-key pixels.
    void ShadeEdges(const TskBitmap& source, TskBitmap& target, bool down, std::int64_t keyColor);

protected:
    std::optional<QRegion> CreateRegion(bool create, bool down) override;
    void DrawFace(TskBitmap& bitmap, bool regionPass, bool down, TskShadeStyle style) override;
    virtual void DrawImageScaled(const TskBitmap& source, TskBitmap& target, bool plain, TskShadeStyle style);
    virtual void PictureChanged(TskBitmap* bitmap);

private:
    void SetExt(bool down, QWidget* v);
    void Unlink(QWidget* source);
    void Link(QWidget* source);
    std::unique_ptr<TskBitmap> FImage, FImageDown;
    QPointer<QWidget> FExtImage, FExtImageDown;
    TColor FTransparentColor = clNone, FDitherColor = clWhite;
    TskDitherStyle FDitherStyle = dsDither;
    TskChangeLink FLink, FImageLink, FImageDownLink;
    bool FInPictureChange = false;
};

class TskImageBtn : public TskCustomImageBtn {
    Q_OBJECT
public:
    Q_INVOKABLE explicit TskImageBtn(QWidget* parent = nullptr) : TskCustomImageBtn(parent) {}
};
