// The imager: which effects run, the destination's size, and resizing.
#include <gtest/gtest.h>

#include <QApplication>

#include "widgets/skImager.h"

namespace {

QImage Picture(int w, int h)
{
    QImage p(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            p.setPixel(x, y, qRgb(x * 5 % 256, y * 7 % 256, 90));
    return p;
}

// Saturation 0 leaves every channel at the pixel's grey: r / 3 + g / 3 + b / 3.
QImage Grey(const QImage& p)
{
    QImage g = p.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < g.height(); ++y)
        for (int x = 0; x < g.width(); ++x) {
            QRgb c = g.pixel(x, y);
            int v = qRed(c) / 3 + qGreen(c) / 3 + qBlue(c) / 3;
            g.setPixel(x, y, qRgb(v, v, v));
        }
    return g;
}

bool Same(TskBitmap& b, const QImage& p)
{
    return b.Image().convertToFormat(QImage::Format_RGB32) == p.convertToFormat(QImage::Format_RGB32);
}

TEST(Imager, DefaultsLeaveThePictureAsItIsAndEachOptionRunsOnlyWhenSet)
{
    TskImager imager;
    QImage picture = Picture(30, 20);
    imager.SetPicture(picture);
    EXPECT_TRUE(Same(imager.Destination(), picture));

    imager.BitmapOptions().Wave().SetRatio(5);
    EXPECT_TRUE(Same(imager.Destination(), picture)) << "a wave without divisions does nothing";
    imager.BitmapOptions().SetSaturation(0);
    EXPECT_TRUE(Same(imager.Destination(), Grey(picture))) << "saturation 0 runs";
    imager.BitmapOptions().SetSaturation(-1);
    EXPECT_TRUE(Same(imager.Destination(), picture));
    imager.BitmapOptions().SetInverted(true);
    EXPECT_EQ(imager.Destination().Pixel(0, 0), 0xFFFFFFu - 0x00005Au);
}

TEST(Imager, RotationMakesASquareDestinationAndListenersHearOfChanges)
{
    TskImager imager;
    int heard = 0;
    void* sender = nullptr;
    TskChangeLink link;
    link.OnChange = [&](void* s) {
        ++heard;
        sender = s;
    };
    imager.AddChangeLink(&link);
    imager.BitmapOptions().Rotation().SetAngle(90);
    imager.SetPicture(Picture(40, 20));
    EXPECT_EQ(imager.Destination().Width(), 40);
    EXPECT_EQ(imager.Destination().Height(), 40);
    EXPECT_GT(heard, 0);
    EXPECT_EQ(sender, &imager.Destination());
    imager.RemoveChangeLink(&link);
}

TEST(Imager, AnEmptyControlInAScaledModeRunsNoEffectsAndReturns)
{
    for (TskDrawMode mode : {dmStretch, dmTile, dmProportional}) {
        TskImager imager;
        imager.SetProcessAtPictureSize(false);
        imager.resize(0, 0);
        imager.SetDrawMode(mode);
        imager.SetPicture(Picture(10, 10));
        EXPECT_TRUE(imager.Destination().Empty());
        imager.ApplyEffects();
        imager.show();
        imager.resize(20, 30);
        EXPECT_EQ(imager.Destination().Width(), 20);
        EXPECT_EQ(imager.Destination().Height(), 30);
    }
}

TEST(Imager, AutoSizeFollowsThePictureUnlessAligned)
{
    TskImager imager;
    imager.SetAutoSize(true);
    imager.SetPicture(Picture(33, 44));
    EXPECT_EQ(imager.size(), QSize(33, 44));
    TskImager aligned;
    aligned.Aligned = true;
    aligned.SetAutoSize(true);
    aligned.SetPicture(Picture(33, 44));
    EXPECT_EQ(aligned.size(), QSize(100, 100));
}

// A picture with magenta corners, the rest dark blue.
QImage Keyed(int w, int h)
{
    QImage p(w, h, QImage::Format_RGB32);
    p.fill(qRgb(0, 0, 120));
    for (QPoint c : {QPoint(0, 0), QPoint(w - 1, 0), QPoint(0, h - 1), QPoint(w - 1, h - 1)})
        p.setPixel(c, qRgb(255, 0, 255));
    return p;
}

TEST(Imager, TransparentPicturesShowTheParentWhereTheKeyIs)
{
    for (auto [mode, atPictureSize] : {std::pair{dmNormal, true}, std::pair{dmStretch, true},
                                       std::pair{dmTile, true}, std::pair{dmStretch, false}}) {
        SCOPED_TRACE(std::to_string(mode) + (atPictureSize ? "" : " at the control's size"));
        QWidget parent;
        parent.setAutoFillBackground(true);
        QPalette palette = parent.palette();
        palette.setColor(QPalette::Window, QColor(0, 200, 0));
        parent.setPalette(palette);
        parent.resize(40, 40);
        auto* imager = new TskImager(&parent);
        imager->setGeometry(0, 0, 20, 20);
        imager->SetProcessAtPictureSize(atPictureSize);
        imager->SetDrawMode(mode);
        imager->SetPicture(Keyed(10, 10));
        parent.show();
        EXPECT_EQ(parent.grab().toImage().pixel(0, 0), qRgb(255, 0, 255)) << "opaque: the key is drawn";
        imager->SetTransparent(true);
        EXPECT_TRUE(imager->Transparent());
        QImage shot = parent.grab().toImage();
        EXPECT_EQ(shot.pixel(0, 0), qRgb(0, 200, 0));
        EXPECT_EQ(shot.pixel(5, 5), qRgb(0, 0, 120));
        // An effect changes the pixels in place: the key follows them.
        imager->BitmapOptions().SetInverted(true);
        shot = parent.grab().toImage();
        EXPECT_EQ(shot.pixel(0, 0), qRgb(0, 200, 0));
        EXPECT_EQ(shot.pixel(5, 5), qRgb(255, 255, 135));
        imager->SetTransparent(false);
        EXPECT_EQ(parent.grab().toImage().pixel(0, 0), qRgb(0, 255, 0)) << "the inverted key";
    }
}

TEST(Imager, TheBlendOptionKeysOutTheBlendPicturesTopLeftColour)
{
    TskImager imager;
    QImage picture(4, 1, QImage::Format_RGB32);
    picture.fill(qRgb(100, 150, 200));
    TskBitmap blend;
    blend.SetSize(4, 1);
    const std::uint32_t key = 0x00FF00, other = 0xC83200;
    for (int x = 0; x < 4; ++x)
        blend.SetPixel(x, 0, x % 2 ? other : key);
    blend.TransparentColor = 0x0032C8; // the other colour, as a TColor
    imager.BitmapOptions().AlphaBlend().SetBitmap(blend);
    imager.BitmapOptions().AlphaBlend().SetTransparent(true);
    imager.BitmapOptions().AlphaBlend().SetAmount(128);
    imager.SetPicture(picture);
    const TskBitmap& d = imager.Destination();
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(d.Pixel(x, 0), x % 2 ? 0x966464u : 0x6496C8u) << x;
}

} // namespace
