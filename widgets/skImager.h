#pragma once
// A control that shows a picture after a fixed chain of image effects, and
// the settings of those effects. Listeners hear when the image changes.
#include <QImage>
#include <QWidget>
#include <functional>
#include <memory>

#include "widgets/skBitmap.h"
#include "widgets/skChangeLink.h"

class TskBitmapOptions;
class TskCustomImager;

class TskRotate {
public:
    explicit TskRotate(TskBitmapOptions* o) : FOptions(o) {}
    int CenterX() const { return FCenterX; }
    int CenterY() const { return FCenterY; }
    int Angle() const { return FAngle; }
    void SetCenterX(int v);
    void SetCenterY(int v);
    void SetAngle(int v);

private:
    TskBitmapOptions* FOptions;
    int FCenterX = -1, FCenterY = -1, FAngle = 0;
};

class TskAlphaBlend {
public:
    explicit TskAlphaBlend(TskBitmapOptions* o) : FOptions(o) {}
    int Amount() const { return FAmount; }
    void SetAmount(int v);
    TskBitmap& Bitmap() { return FBitmap; }
    void SetBitmap(const TskBitmap& v);
    bool Transparent() const { return FBitmap.Transparent; }
    void SetTransparent(bool v);
    // Applies the options again; a change during that is not re-entered.
    void Change();

private:
    TskBitmapOptions* FOptions;
    std::uint8_t FAmount = 0;
    TskBitmap FBitmap;
    bool FChanging = false;
};

class TskWave {
public:
    explicit TskWave(TskBitmapOptions* o) : FOptions(o) {}
    int XDiv() const { return FXDiv; }
    int YDiv() const { return FYDiv; }
    int Ratio() const { return FRatio; }
    bool Wrap() const { return FWrap; }
    void SetXDiv(int v);
    void SetYDiv(int v);
    void SetRatio(int v);
    void SetWrap(bool v);

private:
    TskBitmapOptions* FOptions;
    int FXDiv = 0, FYDiv = 0, FRatio = 0;
    bool FWrap = false;
};

class TskBitmapOptions {
public:
    explicit TskBitmapOptions(TskCustomImager* owner) : FOwner(owner) {}
    virtual ~TskBitmapOptions() = default;

    TskAlphaBlend& AlphaBlend() { return FAlphaBlend; }
    TskRotate& Rotation() { return FRotation; }
    TskWave& Wave() { return FWave; }
#define SK_OPTION(type, name, field, init)                                                                         \
    type name() const { return field; }                                                                            \
    void Set##name(type v)                                                                                         \
    {                                                                                                              \
        if (field != v) {                                                                                          \
            field = v;                                                                                             \
            Apply();                                                                                               \
        }                                                                                                          \
    }
    SK_OPTION(TColor, Color, FColor, clNone)
    SK_OPTION(int, Contrast, FContrast, 0)
    SK_OPTION(bool, Embossed, FEmbossed, false)
    SK_OPTION(TColor, TintColor, FTintColor, clNone)
    SK_OPTION(int, GaussianBlur, FGaussianBlur, 0)
    SK_OPTION(bool, GrayScale, FGrayScale, false)
    SK_OPTION(bool, HorizontallyFlipped, FHFlip, false)
    SK_OPTION(bool, Inverted, FInverted, false)
    SK_OPTION(int, Lightness, FLightness, 0)
    SK_OPTION(int, Saturation, FSaturation, -1)
    SK_OPTION(int, Sharpen, FSharpen, 0)
    SK_OPTION(int, Sponge, FSponge, 0)
    SK_OPTION(bool, VerticallyFlipped, FVFlip, false)
#undef SK_OPTION

    bool Tile = false;
    std::function<void(TskBitmapOptions*)> OnChange;
    const QImage* Source = nullptr;
    TskBitmap* Destination = nullptr;

    virtual void HoldUpdates() { ++FUpdateCount; }
    void ReleaseUpdates() { --FUpdateCount; }
    virtual void Apply();

private:
    TskCustomImager* FOwner;
    TskAlphaBlend FAlphaBlend{this};
    TskRotate FRotation{this};
    TskWave FWave{this};
    TColor FColor = clNone, FTintColor = clNone;
    int FContrast = 0, FGaussianBlur = 0, FLightness = 0, FSaturation = -1, FSharpen = 0, FSponge = 0;
    bool FEmbossed = false, FGrayScale = false, FHFlip = false, FInverted = false, FVFlip = false;
    int FUpdateCount = 0;
};

enum TskDrawMode { dmNormal, dmCenter, dmStretch, dmTile, dmProportional };

class TskCustomImager : public QWidget {
    Q_OBJECT
public:
    Q_INVOKABLE explicit TskCustomImager(QWidget* parent = nullptr);
    ~TskCustomImager() override;

    const QImage& Picture() const { return FPicture; }
    void SetPicture(const QImage& v);
    TskBitmapOptions& BitmapOptions() { return FOptions; }
    TskDrawMode DrawMode() const { return FDrawMode; }
    void SetDrawMode(TskDrawMode v);
    bool AutoSize() const { return FAutoSize; }
    void SetAutoSize(bool v);
    bool ProcessAtPictureSize() const { return FProcessAtPictureSize; }
    void SetProcessAtPictureSize(bool v);
    bool Transparent() const { return !PictureEmpty() && FTransparent; }
    void SetTransparent(bool v);
    // Alignment inside the parent: an aligned imager is never sized to its picture.
    bool Aligned = false;

    TskBitmap& Destination() { return FDestination; }
    virtual bool PictureEmpty() const { return FPicture.isNull() || FPicture.width() <= 0 || FPicture.height() <= 0; }
    virtual void AddChangeLink(TskChangeLink* link) { FLinks.Register(link); }
    virtual void RemoveChangeLink(TskChangeLink* link) { FLinks.UnRegister(link); }
    virtual void ResizeDestination();
    virtual void ApplyEffects();
    virtual void CopyToClipboard();
    virtual void AdjustSize();
    // Where the destination goes on the control, by draw mode.
    QRect PlacementRect() const;

protected:
    virtual void OptionsChanged(TskBitmapOptions* options);
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void InvalidateUnder();
    QImage FPicture;
    TskBitmapOptions FOptions{this};
    TskDrawMode FDrawMode = dmNormal;
    bool FAutoSize = false, FProcessAtPictureSize = true, FTransparent = false;
    TskBitmap FDestination;
    TskChangeLinks FLinks;
    bool FAdjusting = false, FResizing = false;
};

class TskImager : public TskCustomImager {
    Q_OBJECT
public:
    Q_INVOKABLE explicit TskImager(QWidget* parent = nullptr) : TskCustomImager(parent) {}
};
