#include "widgets/skImager.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QPainter>
#include <QResizeEvent>

#include "widgets/skCommon.h"

void TskRotate::SetCenterX(int v)
{
    if (Change(FCenterX, v))
        FOptions->Apply();
}
void TskRotate::SetCenterY(int v)
{
    if (Change(FCenterY, v))
        FOptions->Apply();
}
void TskRotate::SetAngle(int v)
{
    if (Change(FAngle, v))
        FOptions->Apply();
}

void TskAlphaBlend::SetAmount(int v)
{
    if (::Change(FAmount, std::uint8_t(v)))
        Change();
}
void TskAlphaBlend::SetBitmap(const TskBitmap& v)
{
    FBitmap.Assign(v);
    Change();
}
void TskAlphaBlend::SetTransparent(bool v)
{
    if (::Change(FBitmap.Transparent, v))
        Change();
}
void TskAlphaBlend::Change()
{
    if (FChanging)
        return;
    FChanging = true;
    FOptions->Apply();
    FChanging = false;
}

void TskWave::SetXDiv(int v)
{
    if (Change(FXDiv, v))
        FOptions->Apply();
}
void TskWave::SetYDiv(int v)
{
    if (Change(FYDiv, v))
        FOptions->Apply();
}
void TskWave::SetRatio(int v)
{
    if (Change(FRatio, v))
        FOptions->Apply();
}
void TskWave::SetWrap(bool v)
{
    if (Change(FWrap, v))
        FOptions->Apply();
}

void TskBitmapOptions::Apply()
{
    if (!Destination || Destination->Empty() || !Source || Source->isNull() || Source->width() <= 0 ||
        Source->height() <= 0 || FUpdateCount >= 1)
        return;
    TskBitmap& d = *Destination;
    if (d.Width() == Source->width() && d.Height() == Source->height()) {
        d.Assign(*Source);
    } else {
        QPainter canvas(&d.Image());
        if (Tile) {
            TileGraphic(*Source, canvas, TRect{0, 0, d.Width(), d.Height()});
        } else {
            TskBitmap temp;
            temp.Assign(*Source);
            temp.SmoothStretch = d.SmoothStretch;
            temp.StretchDraw(canvas, TRect{0, 0, d.Width(), d.Height()});
        }
    }
    if (FGrayScale)
        d.GrayScale();
    if (FLightness)
        d.Lightness(FLightness);
    if (FAlphaBlend.Amount() && !FAlphaBlend.Bitmap().Empty())
        d.AlphaBlend(FAlphaBlend.Bitmap(), FAlphaBlend.Amount(), true);
    if (FColor != clNone) {
        auto c = SplitColor(FColor);
        d.Colorize(c[3], c[2], c[1]);
    }
    if (FTintColor != clNone) {
        auto c = SplitColor(FTintColor);
        d.AddColor(c[3] >> 1, c[2] >> 1, c[1] >> 1);
    }
    if (FSponge)
        d.Sponge(FSponge);
    if (FSaturation != -1)
        d.Saturation(FSaturation);
    if (FGaussianBlur)
        d.GaussianBlur(FGaussianBlur);
    if (FEmbossed)
        d.Emboss();
    if (FInverted)
        d.Invert();
    if (FContrast)
        d.Contrast(FContrast);
    if (FSharpen)
        d.Sharpen(FSharpen);
    if (FHFlip)
        d.Flip(true);
    if (FVFlip)
        d.Flip(false);
    if (FWave.Ratio() && FWave.XDiv() && FWave.YDiv())
        d.Wave(FWave.Wrap(), FWave.Ratio(), FWave.XDiv(), FWave.YDiv());
    if (FRotation.Angle())
        d.Rotate(QPoint(FRotation.CenterX(), FRotation.CenterY()), FRotation.Angle());
    if (OnChange)
        OnChange(this);
}

TskCustomImager::TskCustomImager(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_NoSystemBackground);
    FDestination.UseOptimizedPalette = true;
    FDestination.UseHalftonePalette = true;
    FOptions.Source = &FPicture;
    FOptions.Destination = &FDestination;
    FOptions.OnChange = [this](TskBitmapOptions* o) { OptionsChanged(o); };
    resize(100, 100);
}

TskCustomImager::~TskCustomImager()
{
    FOptions.OnChange = nullptr;
}

void TskCustomImager::SetPicture(const QImage& v)
{
    FPicture = v;
    FDestination.Transparent = Transparent();
    ResizeDestination();
    InvalidateUnder();
    FLinks.Notify(&FDestination);
}

void TskCustomImager::SetDrawMode(TskDrawMode v)
{
    FDrawMode = v;
    FOptions.Tile = v == dmTile;
    ResizeDestination();
    InvalidateUnder();
}

void TskCustomImager::SetAutoSize(bool v)
{
    if (Change(FAutoSize, v))
        AdjustSize();
}

void TskCustomImager::SetProcessAtPictureSize(bool v)
{
    if (Change(FProcessAtPictureSize, v))
        ResizeDestination();
}

void TskCustomImager::SetTransparent(bool v)
{
    if (!PictureEmpty())
        FTransparent = v;
    // The flag belongs to the picture that is drawn: its top-left pixel is the key.
    FDestination.Transparent = Transparent();
    InvalidateUnder();
}

void TskCustomImager::InvalidateUnder()
{
    // The parent repaints under the control, so a transparent picture never
    // keeps what was drawn before.
    if (FResizing)
        return;
    if (parentWidget())
        parentWidget()->update(geometry());
    update();
}

void TskCustomImager::ResizeDestination()
{
    // One resize, then the effects once: an empty destination runs none and
    // never asks for another resize.
    bool controlSize = !FProcessAtPictureSize &&
                       (FDrawMode == dmStretch || FDrawMode == dmTile || FDrawMode == dmProportional);
    if (controlSize)
        FDestination.SetSize(width(), height());
    else if (FOptions.Rotation().Angle() != 0) {
        int side = std::max(FPicture.width(), FPicture.height());
        FDestination.SetSize(side, side);
    } else
        FDestination.SetSize(FPicture.width(), FPicture.height());
    if (!FDestination.Empty())
        FOptions.Apply();
    AdjustSize();
}

void TskCustomImager::ApplyEffects()
{
    if (PictureEmpty() || FDestination.Empty())
        return;
    FOptions.Apply();
}

void TskCustomImager::AdjustSize()
{
    if (!FAutoSize || PictureEmpty() || Aligned || FAdjusting)
        return;
    if (size() != FPicture.size()) {
        FAdjusting = true;
        setGeometry(x(), y(), FPicture.width(), FPicture.height());
        FAdjusting = false;
    }
}

void TskCustomImager::CopyToClipboard()
{
    if (auto* clipboard = QGuiApplication::clipboard())
        clipboard->setImage(FDestination.Image().convertToFormat(QImage::Format_RGB32));
}

void TskCustomImager::OptionsChanged(TskBitmapOptions*)
{
    if (!FResizing) {
        if (parentWidget())
            parentWidget()->update(geometry());
        update();
    }
    FLinks.Notify(&FDestination);
}

QRect TskCustomImager::PlacementRect() const
{
    switch (FDrawMode) {
    case dmCenter: {
        int x = width() / 2 - FDestination.Width() / 2, y = height() / 2 - FDestination.Height() / 2;
        return QRect(QPoint(x, y), QPoint(width() - x - 1, height() - y - 1));
    }
    case dmStretch:
    case dmTile: return rect();
    case dmProportional:
        return FitRect(TRect::From(rect()), FDestination.Width(), FDestination.Height()).ToQRect();
    default: return QRect(0, 0, FPicture.width(), FPicture.height());
    }
}

void TskCustomImager::paintEvent(QPaintEvent*)
{
    if (FDestination.Empty())
        return;
    QPainter canvas(this);
    TRect r = TRect::From(PlacementRect());
    if (!FProcessAtPictureSize) {
        FDestination.Draw(canvas, TRect{r.Left, r.Top, r.Left + FDestination.Width(), r.Top + FDestination.Height()});
        return;
    }
    switch (FDrawMode) {
    case dmStretch:
    case dmProportional: FDestination.StretchDraw(canvas, r); break;
    case dmTile: FDestination.TileDraw(canvas, r); break;
    default:
        FDestination.Draw(canvas, TRect{r.Left, r.Top, r.Left + FDestination.Width(), r.Top + FDestination.Height()});
        break;
    }
}

void TskCustomImager::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (FAdjusting)
        return;
    FResizing = true;
    ResizeDestination();
    FResizing = false;
    InvalidateUnder();
}
