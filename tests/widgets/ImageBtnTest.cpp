// The image button: shapes cut from pictures, raised shadows, dithered down
// states, borrowed pictures and tiny sizes.
#include <gtest/gtest.h>

#include <QTest>
#include <set>

#include "DrawingHelpers.h"
#include "widgets/skImager.h"
#include "widgets/skImgBtn.h"

namespace {

// A 20x10 picture: magenta all round, a blue block in the middle.
void Magenta(TskBitmap& b)
{
    QImage p(20, 10, QImage::Format_RGB32);
    p.fill(qRgb(255, 0, 255));
    for (int y = 2; y < 8; ++y)
        for (int x = 5; x < 15; ++x)
            p.setPixel(x, y, qRgb(0, 0, 255));
    b.Assign(p);
}

TEST(ImageBtn, TheTopLeftColourIsCutOutOfTheShape)
{
    TskBitmap picture;
    Magenta(picture);
    TskImageBtn b;
    b.resize(20, 10);
    b.SetImage(&picture);
    EXPECT_EQ(b.AppliedRegion(), QRegion(5, 2, 10, 6));
    EXPECT_FALSE(b.WriteRegionData(false).isEmpty());

    b.SetTransparentColor(skNoTransparentColor);
    EXPECT_FALSE(b.UsesRegion());
    EXPECT_EQ(b.AppliedRegion(), QRegion(0, 0, 20, 10));
}

TEST(ImageBtn, RaisedShapesAreJoinedWithTheirShadowAndDownIsTheShadowOnly)
{
    TskBitmap picture;
    Magenta(picture);
    QWidget form;
    auto* b = new TskImageBtn(&form);
    b->resize(22, 12);
    b->SetShadeStyle(fbsRaised);
    b->SetImage(&picture);
    b->SetGroupIndex(1);
    EXPECT_TRUE(b->RegionChangesWithState());
    QRegion up = b->AppliedRegion();
    EXPECT_TRUE(up.contains(QPoint(5, 2)));
    EXPECT_TRUE(up.contains(QPoint(16, 9)));
    b->SetDown(true);
    QRegion down = b->AppliedRegion();
    EXPECT_FALSE(down.contains(QPoint(5, 2)));
    EXPECT_TRUE(down.contains(QPoint(16, 9)));
}

TEST(ImageBtn, TinyButtonsDrawNothingAndColoursOutsideAreNone)
{
    TskBitmap picture;
    Magenta(picture);
    for (int side : {1, 2, 3}) {
        TskImageBtn b;
        b.SetShadeStyle(fbsRaised);
        b.SetImage(&picture);
        b.resize(side, side);
        b.grab();
        EXPECT_EQ(b.ColorAtPoint(-1, 0), clNone);
        EXPECT_EQ(b.ColorAtPoint(side, 0), clNone);
        EXPECT_EQ(b.ColorAtPoint(0, side), clNone);
    }
    TskImageBtn b;
    b.resize(20, 10);
    b.SetTransparentColor(skNoTransparentColor);
    b.SetImage(&picture);
    EXPECT_EQ(b.ColorAtPoint(10, 5), TColor(0xFF0000)) << "blue in the middle";
}

TEST(ImageBtn, AGroupedDownButtonWithoutDownPictureIsMovedAndDithered)
{
    TskBitmap picture;
    QImage p(20, 10, QImage::Format_RGB32);
    p.fill(qRgb(0, 128, 0));
    picture.Assign(p);
    QWidget form;
    auto* b = new TskImageBtn(&form);
    b->resize(20, 10);
    b->SetTransparentColor(skNoTransparentColor);
    b->SetImage(&picture);
    b->SetGroupIndex(1);
    b->SetDitherColor(clWhite);
    b->SetDown(true);
    TskBitmap face;
    b->PaintButton(face);
    EXPECT_EQ(face.Pixel(0, 0), 0x000000u) << "the shadow where the picture moved away";
    std::set<std::uint32_t> inside = {face.Pixel(5, 5), face.Pixel(6, 5)};
    EXPECT_TRUE(inside.count(0xFFFFFFu)) << "the dither's white";
}

TEST(ImageBtn, BorrowedPicturesComeFromImagersAndButtonsUntilTheyGo)
{
    auto* imager = new TskImager;
    QImage p(8, 8, QImage::Format_RGB32);
    p.fill(qRgb(10, 20, 30));
    imager->SetPicture(p);
    TskImageBtn b;
    b.resize(8, 8);
    b.SetExtImage(imager);
    EXPECT_EQ(b.GetImage(false), &imager->Destination());
    delete imager;
    EXPECT_EQ(b.ExtImage(), nullptr);
    EXPECT_EQ(b.GetImage(false), &b.Image());
    TskBitmap face;
    b.PaintButton(face);
    EXPECT_EQ(face.Pixel(0, 0), 0x000000u) << "the dash-dot placeholder";

    TskImageBtn source, copy;
    TskBitmap picture;
    Magenta(picture);
    source.SetImage(&picture);
    copy.Assign(source);
    EXPECT_EQ(copy.ExtImage(), &source);
    EXPECT_EQ(copy.GetImage(false), &source.Image());
}

} // namespace
