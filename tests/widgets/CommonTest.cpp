// The toolbox: strings, geometry, colours and pictures.
#include <gtest/gtest.h>

#include <QPainter>
#include <QWidget>

#include "DrawingHelpers.h"
#include "widgets/skCommon.h"
#include "widgets/skErrors.h"

namespace {

TEST(StringUtilities, PositionsAndRangesAreClampedToTheText)
{
    EXPECT_EQ(CopyRange("abcdef", 2, 4), "bc");
    EXPECT_EQ(CopyRange("abcdef", 2, 0), "bcdef");
    EXPECT_EQ(CopyRange("abcdef", 5, 100), "ef");
    EXPECT_EQ(CopyRange("abcdef", -3, 3), "ab");
    EXPECT_EQ(CopyRange("abcdef", 10, 12), "");
    EXPECT_EQ(CopyRange("abcdef", 4, 2), "");
    EXPECT_EQ(CopyRange("", 1, 0), "");
    EXPECT_EQ(PosFrom("na", "banana", 1), 3);
    EXPECT_EQ(PosFrom("na", "banana", 4), 5);
    EXPECT_EQ(PosFrom("na", "banana", 99), 0);
    EXPECT_EQ(PosFrom("", "banana", 1), 0);
    EXPECT_EQ(NthPos("a", "banana", 0), 2);
    EXPECT_EQ(NthPos("a", "banana", 2), 6);
    EXPECT_EQ(NthPos("a", "banana", 3), 0);
}

TEST(StringUtilities, PiecesBetweenSeparators)
{
    struct Case {
        std::string s, sep;
        int count;
    } cases[] = {
        {"one\r\ntwo", "\r\n", 2}, {"", "\r\n", 0}, {"a,b,,c", ",", 4}, {",", ",", 2},
        {"abc", "", 1}, // an empty separator matches nowhere
    };
    for (const Case& c : cases)
        EXPECT_EQ(PieceCount(c.s, c.sep), c.count) << c.s;
    EXPECT_EQ(Piece("one\r\ntwo", "\r\n", 1), "two");
    EXPECT_EQ(Piece("one\r\ntwo", "\r\n", 5), "");
    EXPECT_EQ(Piece("a,b,,c", ",", 2), "");
    EXPECT_EQ(Piece("abc", "", 0), "abc");
    EXPECT_EQ(Piece("abc", "", 1), "");
    EXPECT_EQ(PieceIndex("a,b,c", ",", "c"), 2);
    EXPECT_EQ(PieceIndex("a,b,c", ",", "d"), -1);
    EXPECT_EQ(ReplaceAll("aXbXX", "X", "--"), "a--b----");
    EXPECT_EQ(ReplaceAll("abc", "", "x"), "abc");
    EXPECT_EQ(StripAccelerators("&File && &Edit&"), "File & Edit");
}

TEST(StringUtilities, UniqueComponentNameTakesTheSmallestFreeNumber)
{
    QWidget owner;
    auto* taken = new QWidget(&owner);
    taken->setObjectName("Panel1");
    EXPECT_EQ(UniqueComponentName(&owner, "Panel"), "Panel2");
    EXPECT_TRUE(ClassNamed(&owner, "qwidget"));
    EXPECT_TRUE(ClassNamed(&owner, "QObject"));
    EXPECT_FALSE(ClassNamed(&owner, "QLabel"));
}

TEST(Geometry, FitRectKeepsTheProportionsAndAnEmptyRectangleGivesItsCorner)
{
    struct Case {
        TRect r;
        int w, h;
        TRect out;
    } cases[] = {
        {{10, 10, 110, 60}, 1, 1, {10, 10, 60, 60}},
        {{0, 0, 100, 100}, 2, 1, {0, 0, 100, 50}},
        {{0, 0, 100, 100}, 1, 4, {0, 0, 25, 100}},
        {{5, 5, 5, 50}, 1, 1, {5, 5, 5, 5}},
        {{5, 5, 50, 50}, 0, 0, {5, 5, 5, 5}},
        {{5, 5, 50, 50}, 3, 0, {5, 5, 5, 5}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FitRect(c.r, c.w, c.h), c.out) << c.w << ":" << c.h;
    EXPECT_TRUE(RectEmpty({}));
    EXPECT_FALSE(RectEmpty({0, 0, 1, 1}));
}

TEST(Colors, AdjustSplitAndDitherFill)
{
    EXPECT_EQ(AdjustColor(RGBColor(100, 150, 200), 10, false), RGBColor(110, 160, 210));
    EXPECT_EQ(AdjustColor(RGBColor(100, 150, 200), 50, true), RGBColor(177, 202, 227));
    EXPECT_EQ(AdjustColor(RGBColor(100, 150, 200), -50, true), RGBColor(50, 75, 100));
    EXPECT_EQ(AdjustColor(RGBColor(0, 255, 0), 10, true), RGBColor(25, 255, 25));
    EXPECT_EQ(AdjustColor(RGBColor(250, 5, 0), 2000000000, false), RGBColor(255, 255, 255));
    auto parts = SplitColor(RGBColor(1, 2, 3));
    EXPECT_EQ(parts[1], 3);
    EXPECT_EQ(parts[3], 1);
    EXPECT_EQ(PlatformColor(clNone), 0xFFFFFFFFu);

    QImage image = WhiteCanvas(4, 2);
    QPainter p(&image);
    try {
        DitherFill(p, {0, 0, 4, 2}, clRed, clNone);
        ADD_FAILURE() << "no error";
    } catch (const EInvalidOperation& e) {
        EXPECT_STREQ(e.what(), "Color2 cannot be clNone");
    }
    DitherFill(p, {0, 0, 4, 2}, clRed, clBlue);
    p.end();
    EXPECT_EQ(image.pixel(0, 0) & 0xFFFFFF, 0x0000FFu);
    EXPECT_EQ(image.pixel(1, 0) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(image.pixel(1, 1) & 0xFFFFFF, 0x0000FFu);
}

TEST(Pictures, RegionOfPictureIsTheShapeOfThePixelsThatDifferFromTheKey)
{
    TskBitmap b;
    Fill(b, 3, 2, {0x00FF00, 0x123456, 0x00FF00, 0x00FF00, 0x00FF00, 0x00FF00});
    QRegion shape = RegionOfPicture(b, -1);
    EXPECT_EQ(shape, QRegion(1, 0, 1, 1));
    Fill(b, 2, 1, {0x00FF00, 0x00FF00});
    EXPECT_TRUE(RegionOfPicture(b, -1).isEmpty());
    TskBitmap empty;
    EXPECT_TRUE(RegionOfPicture(empty, -1).isEmpty());
    FillOutsideRegion(empty, QRegion());
}

TEST(Pictures, TileGraphicStartsAtTheRectangleAndStaysInsideIt)
{
    QImage tile(2, 2, QImage::Format_RGB32);
    tile.fill(Qt::red);
    QImage canvas = WhiteCanvas(12, 12);
    QPainter p(&canvas);
    TileGraphic(tile, p, {3, 3, 8, 8});
    TileGraphic(QImage(), p, {0, 0, 12, 12}); // a graphic without size draws nothing and ends
    p.end();
    EXPECT_EQ(InkBox(canvas, qRgb(255, 0, 0)), QRect(3, 3, 5, 5));
}

} // namespace
