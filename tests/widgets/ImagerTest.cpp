// The imager: which effects run, the destination's size, and resizing.
#include <gtest/gtest.h>

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
    EXPECT_FALSE(Same(imager.Destination(), picture)) << "saturation 0 runs";
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

} // namespace
