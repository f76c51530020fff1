#include "widgets/skImgBtn.h"

#include <QPainter>

#include "widgets/skCommon.h"
#include "widgets/skGraphics.h"
#include "widgets/skImager.h"

namespace {

// A colour value in the pixel order of TskBitmap (red in bits 16-23).
std::uint32_t PixelOf(TColor color)
{
    std::uint32_t c = ColorToRGB(color);
    SwapRedBlue(&c, 1);
    return c;
}

TColor ColorOfPixel(std::uint32_t pixel)
{
    SwapRedBlue(&pixel, 1);
    return pixel;
}

} // namespace

void TskImgDownOffsets::Assign(const TskOffsets& source)
{
    if (auto* o = dynamic_cast<const TskImgDownOffsets*>(&source)) {
        ImageDownX = o->ImageDownX;
        ImageDownY = o->ImageDownY;
    }
    TskOffsets::Assign(source);
}

TskCustomImageBtn::TskCustomImageBtn(QWidget* parent)
    : TskCustomBitBtn(parent), FImage(std::make_unique<TskBitmap>()), FImageDown(std::make_unique<TskBitmap>())
{
    SetOffsetsObject(std::make_unique<TskImgDownOffsets>(this));
    SetColor(clNone);
    FLink.OnChange = [this](void* sender) { PictureChanged(static_cast<TskBitmap*>(sender)); };
    FImageLink.Sender = FImage.get();
    FImageLink.OnChange = FLink.OnChange;
    FImageDownLink.Sender = FImageDown.get();
    FImageDownLink.OnChange = FLink.OnChange;
    FImage->RegisterChanges(&FImageLink);
    FImageDown->RegisterChanges(&FImageDownLink);
}

TskCustomImageBtn::~TskCustomImageBtn()
{
    Unlink(FExtImage);
    Unlink(FExtImageDown);
}

void TskCustomImageBtn::SetImage(const TskBitmap* v)
{
    if (v)
        SetExtImage(nullptr);
    if (v)
        FImage->Assign(*v);
    else
        FImage->FreeImage();
    if (!(Down() && !FImageDown->Empty()))
        RecreateWnd();
}

void TskCustomImageBtn::SetImageDown(const TskBitmap* v)
{
    if (v)
        SetExtImageDown(nullptr);
    if (v)
        FImageDown->Assign(*v);
    else
        FImageDown->FreeImage();
    if (Down())
        RecreateWnd();
}

void TskCustomImageBtn::Unlink(QWidget* source)
{
    if (auto* imager = qobject_cast<TskCustomImager*>(source))
        imager->RemoveChangeLink(&FLink);
    else if (auto* button = qobject_cast<TskCustomImageBtn*>(source))
        button->Image().UnRegisterChanges(&FLink);
}

void TskCustomImageBtn::Link(QWidget* source)
{
    if (auto* imager = qobject_cast<TskCustomImager*>(source))
        imager->AddChangeLink(&FLink);
    else if (auto* button = qobject_cast<TskCustomImageBtn*>(source))
        button->Image().RegisterChanges(&FLink);
}

void TskCustomImageBtn::SetExt(bool down, QWidget* v)
{
    QPointer<QWidget>& ref = down ? FExtImageDown : FExtImage;
    if (v && v == ref)
        return;
    if (v)
        (down ? FImageDown : FImage)->FreeImage();
    Unlink(ref);
    ref = v;
    Link(v);
    if (v)
        connect(v, &QObject::destroyed, this, [this] { RecreateWnd(); });
    RecreateWnd();
}

TskBitmap* TskCustomImageBtn::GetImage(bool down)
{
    QWidget* ext = down ? FExtImageDown.data() : FExtImage.data();
    if (auto* imager = qobject_cast<TskCustomImager*>(ext)) {
        if (imager->Destination().Empty() && !imager->PictureEmpty())
            imager->ResizeDestination();
        return &imager->Destination();
    }
    if (auto* button = qobject_cast<TskCustomImageBtn*>(ext))
        return down ? &button->ImageDown() : &button->Image();
    return down ? FImageDown.get() : FImage.get();
}

void TskCustomImageBtn::SetTransparentColor(TColor v)
{
    if (!Change(FTransparentColor, v))
        return;
    RecreateWnd();
    InvalidateParentUnder(true);
}

void TskCustomImageBtn::SetDitherColor(TColor v)
{
    if (Change(FDitherColor, v))
        update();
}

void TskCustomImageBtn::SetDitherStyle(TskDitherStyle v)
{
    if (Change(FDitherStyle, v))
        update();
}

void TskCustomImageBtn::SetRespectPalette(bool v)
{
    FImage->UseOptimizedPalette = v;
    FImageDown->UseOptimizedPalette = v;
    update();
}

void TskCustomImageBtn::Assign(const TskCustomBitBtn& source)
{
    if (auto* s = qobject_cast<const TskCustomImageBtn*>(&source)) {
        FDitherColor = s->FDitherColor;
        FDitherStyle = s->FDitherStyle;
        SetRespectPalette(s->FImage->UseOptimizedPalette);
        FTransparentColor = s->FTransparentColor;
        // The copy borrows the source's pictures.
        auto* from = const_cast<TskCustomImageBtn*>(s);
        SetExtImage(from);
        SetExtImageDown(from);
    }
    TskCustomBitBtn::Assign(source);
}

void TskCustomImageBtn::SizeToContent()
{
    TskBitmap* up = GetImage(false);
    if (!up || up->Empty())
        return;
    resize(up->Width(), up->Height());
    InvalidateParentUnder(true);
}

bool TskCustomImageBtn::RegionChangesWithState() const
{
    auto* self = const_cast<TskCustomImageBtn*>(this);
    TskBitmap* up = self->GetImage(false);
    TskBitmap* down = self->GetImage(true);
    return FTransparentColor != skNoTransparentColor &&
           ((up && !up->Empty() && down && !down->Empty()) || ShadeStyle() == fbsRaised);
}

TColor TskCustomImageBtn::EffectiveTransparentColor(bool down)
{
    if (FTransparentColor == skNoTransparentColor)
        return skNoTransparentColor;
    if (FTransparentColor != clNone)
        return ColorToRGB(FTransparentColor);
    TskBitmap* d = GetImage(true);
    TskBitmap* u = GetImage(false);
    TskBitmap* from = down && d && !d->Empty() ? d : u;
    if (!from || from->Empty())
        return clBlack;
    return ColorOfPixel(from->Pixel(0, 0));
}

std::optional<QRegion> TskCustomImageBtn::CreateRegion(bool create, bool down)
{
    if (FTransparentColor == skNoTransparentColor)
        return std::nullopt;
    if (StoredRegion(down))
        return StoredRegion(down);
    if (!create)
        return std::nullopt;
    TskBitmap* up = GetImage(false);
    if (!up || up->Empty())
        return std::nullopt;
    TskBitmap* downPicture = GetImage(true);
    TskBitmap* picture = down && downPicture && !downPicture->Empty() ? downPicture : up;
    TskBitmap temp;
    DrawImageScaled(*picture, temp, true, ShadeStyle());
    QRegion region = RegionOfPicture(temp, EffectiveTransparentColor(down));
    if (ShadeStyle() == fbsRaised) {
        QRegion shifted = region.translated(2, 2);
        region = down ? shifted : region + shifted;
    }
    StoreRegionData(region, down);
    return region;
}

void TskCustomImageBtn::DrawImageScaled(const TskBitmap& source, TskBitmap& target, bool plain, TskShadeStyle style)
{
    int w = width(), h = height();
    if (style == fbsRaised)
        w -= 2, h -= 2;
    // Tested after the raised frame took its 2 pixels: a 1 or 2 pixel
    // button has nothing left to draw.
    if (w <= 0 || h <= 0 || source.Empty()) {
        target.FreeImage();
        return;
    }
    target.SetSize(w, h);
    if (target.Empty())
        return;
    bool colour = !plain && Color() != clNone;
    bool dither = !plain && GroupIndex() > 0 && Down() && FDitherColor != clNone && GetImage(true)->Empty();
    std::optional<QRegion> region;
    if (colour || dither)
        region = CreateRegion(true, Down());
    {
        QPainter canvas(&target.Image());
        source.StretchDraw(canvas, TRect{0, 0, w, h});
    }
    TColor key = EffectiveTransparentColor(Down());
    if (colour) {
        auto c = SplitColor(Color());
        target.TransparentColor = key == skNoTransparentColor ? clNone : key;
        target.Colorize(c[3], c[2], c[1]);
        target.TransparentColor = clNone;
    }
    if (dither) {
        QRegion clip = region ? *region : QRegion(0, 0, w, h);
        if (style == fbsRaised)
            clip.translate(-2, -2);
        QPainter canvas(&target.Image());
        canvas.setClipRegion(clip);
        TRect all{0, 0, w, h};
        if (FDitherStyle == dsFill)
            canvas.fillRect(all.ToQRect(), ToQColor(FDitherColor));
        else
            DitherFill(canvas, all, FDitherStyle == dsBlendDither ? clNone : TColor(0xC0C0C0), FDitherColor);
    }
}

void TskCustomImageBtn::DrawFace(TskBitmap& target, bool regionPass, bool down, TskShadeStyle style)
{
    target.SetSize(width(), height());
    if (target.Empty())
        return;
    TskBitmap* up = GetImage(false);
    if (!up || up->Empty()) {
        QPainter canvas(&target.Image());
        canvas.fillRect(0, 0, width(), height(), ToQColor(clBtnFace));
        canvas.setPen(QPen(Qt::black, 1, Qt::DashDotLine));
        canvas.drawRect(0, 0, width() - 1, height() - 1);
        return;
    }
    TskBitmap* downPicture = GetImage(true);
    bool hasDown = downPicture && !downPicture->Empty();
    TskBitmap temp;
    DrawImageScaled(down && hasDown ? *downPicture : *up, temp, regionPass, style);
    QPoint at = down && !hasDown ? QPoint(ImgOffsets().ImageDownX, ImgOffsets().ImageDownY) : QPoint(0, 0);
    TColor key = EffectiveTransparentColor(down);
    if (style == fbsHighlight || (style == fbsFlat && MouseInControl())) {
        QPainter canvas(&target.Image());
        canvas.fillRect(0, 0, width(), height(), ToQColor(key == skNoTransparentColor ? ShadeColors().Shadow() : key));
        if (!temp.Empty())
            canvas.drawImage(at, temp.Image());
        canvas.end();
        TskBitmap source;
        source.Assign(target);
        ShadeEdges(source, target, down, key == skNoTransparentColor ? -1 : std::int64_t(key));
        // Where a moved picture left the key colour inside its shape, the shadow shows.
        if (key != skNoTransparentColor && !at.isNull() && !temp.Empty()) {
            std::uint32_t k = PixelOf(key), shadow = PixelOf(ShadeColors().Shadow());
            for (int y = 0; y < std::min(temp.Height(), target.Height()); ++y)
                for (int x = 0; x < std::min(temp.Width(), target.Width()); ++x)
                    if (temp.Pixel(x, y) != k && target.Pixel(x, y) == k)
                        target.SetPixel(x, y, shadow);
        }
        return;
    }
    QPainter canvas(&target.Image());
    canvas.fillRect(0, 0, width(), height(), ToQColor(ShadeColors().Shadow()));
    if (temp.Empty())
        return;
    if (FTransparentColor != skNoTransparentColor) {
        if (down && FDitherStyle == dsBlendDither) {
            DrawTransparentBitmap(canvas, TRect{at.x(), at.y(), at.x() + temp.Width(), at.y() + temp.Height()}, temp,
                                  key);
            return;
        }
        temp.ReplaceColor(PixelOf(ShadeColors().Shadow()), PixelOf(key));
    }
    canvas.drawImage(at, temp.Image());
}

void TskCustomImageBtn::ShadeEdges(const TskBitmap& source, TskBitmap& target, bool down, std::int64_t keyColor)
{
    if (source.Empty() || source.Width() != target.Width() || source.Height() != target.Height())
        return;
    std::uint32_t key = keyColor == -1 ? source.Pixel(0, 0) : PixelOf(TColor(keyColor));
    const TskShadeColors& c = ShadeColors();
    std::uint32_t first = PixelOf(down ? c.BtnBlack() : c.BtnHighlight());
    std::uint32_t second = PixelOf(down ? c.BtnShadow() : c.Btn3DLight());
    std::uint32_t beforeLast = PixelOf(down ? c.Btn3DLight() : c.BtnShadow());
    std::uint32_t last = PixelOf(down ? c.BtnHighlight() : c.BtnBlack());
    std::uint32_t black = PixelOf(c.BtnBlack());
    bool framed = hasFocus() || Default();
    bool focusLit = framed && (Options() & boFocusable) && hasFocus();
    int w = source.Width(), h = source.Height();
    auto shadeDiagonal = [&](int x0, int y0) {
        int length = std::min(w - x0, h - y0);
        auto put = [&](int i, std::uint32_t colour) {
            i = std::clamp(i, 0, length - 1);
            target.SetPixel(x0 + i, y0 + i, colour);
        };
        int i = 0;
        while (i < length) {
            while (i < length && source.Pixel(x0 + i, y0 + i) == key)
                ++i;
            if (i >= length)
                break;
            int s0 = i;
            while (i < length && source.Pixel(x0 + i, y0 + i) != key)
                ++i;
            int e0 = i - 1;
            int s = s0, e = e0;
            if (framed)
                ++s, --e;
            if (focusLit) {
                ++s;
                if (down)
                    put(s - 1, PixelOf(clBlack));
            }
            put(e - 1, beforeLast);
            put(s + 1, second);
            put(e, last);
            put(s, first);
            if (framed) {
                put(s0, black);
                put(e0, black);
            }
        }
    };
    shadeDiagonal(w - 1, 0);
    for (int x = w - 2; x >= 0; --x)
        shadeDiagonal(x, 0);
    for (int y = 1; y < h; ++y)
        shadeDiagonal(0, y);
}

TColor TskCustomImageBtn::ColorAtPoint(int x, int y)
{
    if (x < 0 || y < 0 || x >= width() || y >= height())
        return clNone;
    TskBitmap face;
    DrawFace(face, false, Down(), ShadeStyle());
    if (face.Empty() || x >= face.Width() || y >= face.Height())
        return clNone;
    return ColorOfPixel(face.Pixel(x, y));
}

void TskCustomImageBtn::BakeShading()
{
    TskBitmap* up = GetImage(false);
    if (!up || up->Empty())
        return;
    TskBitmap upFace, downFace;
    DrawFace(upFace, false, false, fbsHighlight);
    DrawFace(downFace, false, true, fbsHighlight);
    if (auto region = CreateRegion(true, Down()))
        FillOutsideRegion(downFace, *region);
    SetExtImage(nullptr);
    SetExtImageDown(nullptr);
    FImage->Assign(upFace);
    FImageDown->Assign(downFace);
    RecreateWnd();
}

void TskCustomImageBtn::PictureChanged(TskBitmap* bitmap)
{
    if (FInPictureChange)
        return;
    FInPictureChange = true;
    if (bitmap == GetImage(false))
        ClearRegionData(false);
    if (bitmap == GetImage(true))
        ClearRegionData(true);
    ApplyRegion();
    InvalidateParentUnder(true);
    update();
    FInPictureChange = false;
}
