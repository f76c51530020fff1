// The shape button: outlines, point lists, colours and hit-testing.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include "widgets/skShapeBtn.h"

namespace {

QPolygon Corners(std::initializer_list<QPoint> points)
{
    QPolygon p(points);
    p << p.first();
    return p;
}

TEST(ShapeBtn, OutlinesTurnWithTheOrientation)
{
    TskShapeBtn b;
    EXPECT_EQ(b.size(), QSize(75, 25));
    EXPECT_EQ(b.Shape(), bsRect);
    EXPECT_EQ(b.ShadeStyle(), fbsHighlight);
    b.SetShape(bsTriangle);
    EXPECT_EQ(b.ShapePoints(), Corners({{37, 0}, {74, 24}, {0, 24}}));
    b.SetShape(bsRect);
    b.SetOrientation(soRight);
    QPolygon turned = b.ShapePoints();
    EXPECT_EQ(turned[0], QPoint(74, 0));
    EXPECT_EQ(turned[2], QPoint(0, 24));

    // One pixel high: nothing to turn within, and no division by zero.
    b.resize(10, 1);
    b.SetShape(bsDiamond);
    EXPECT_EQ(b.ShapePoints().size(), 5);
}

TEST(ShapeBtn, PointListsAreExpressionsOfWidthAndHeight)
{
    TskShapeBtn b;
    b.resize(101, 51);
    b.SetShape(bsCustom);
    b.SetPointList({"0,0", "WIDTH,0", "width/2, HEIGHT"});
    EXPECT_EQ(b.ShapePoints(), Corners({{0, 0}, {100, 0}, {50, 50}}));

    b.SetPointList({"0,0", "WIDTH,0"});
    EXPECT_TRUE(b.ShapePoints().isEmpty());
    EXPECT_TRUE(b.AppliedRegion().isEmpty()) << "two points: no shape";
}

TEST(ShapeBtn, ABadPointListFallsBackToTheRectangleAndIsReportedNotThrown)
{
    for (std::vector<std::string> list : std::vector<std::vector<std::string>>{
             {"0,0", "WIDTH 0", "5,5"}, {"0,0", "WIDTH,0", "WIDTH/0, HEIGHT"}, {"0,0", "1,1", "a,2"},
             {"0,0", "WIDTH*99999999,0", "2147483647+1,-"}}) {
        TskShapeBtn b;
        std::vector<std::string> reports;
        b.OnPaintError = [&](TskCustomBitBtn*, const std::string& m) { reports.push_back(m); };
        b.SetShape(bsCustom);
        b.SetPointList(list);
        EXPECT_EQ(b.Shape(), bsRect);
        EXPECT_FALSE(reports.empty());
        // Drawn as a rectangle afterwards, without another report.
        reports.clear();
        QImage shot = b.grab().toImage();
        EXPECT_TRUE(reports.empty());
        EXPECT_EQ(b.AppliedRegion(), QRegion(0, 0, 75, 25));
        EXPECT_FALSE(shot.isNull());
    }
}

TEST(ShapeBtn, CornersAtTheEndsOfTheIntRangeAreDrawnWithTheirRim)
{
    // Lists the evaluator accepts; each outline runs far beyond the button.
    const std::vector<std::vector<std::string>> lists = {
        {"0,0", "2147483647,0", "0,2147483647"},
        {"0,0", "2147483647,0", "0 - 2147483647 - 1, 2147483647"},
        {"0 - 2147483647 - 1, 0 - 2147483647 - 1", "2147483647, 0", "0, 2147483647"},
        {"0,0", "65536*65536+2147483647, 0", "0, 46341*46341"},
    };
    for (TskShapeOrientation turn : {soUp, soRight, soDown, soLeft})
        for (const auto& list : lists)
            for (bool isDefault : {false, true}) {
                SCOPED_TRACE(list[1] + " turn " + std::to_string(turn) + (isDefault ? " default" : ""));
                TskShapeBtn b;
                b.resize(40, 40);
                std::vector<std::string> reports;
                b.OnPaintError = [&](TskCustomBitBtn*, const std::string& m) { reports.push_back(m); };
                b.SetShape(bsCustom);
                b.SetOrientation(turn);
                b.SetDefault(isDefault);
                b.SetPointList(list);
                TskBitmap face;
                b.PaintButton(face);
                EXPECT_TRUE(reports.empty());
                EXPECT_EQ(b.Shape(), bsCustom);
                EXPECT_FALSE(face.Empty());
            }

    // The first outline's two short edges lie along the top and left sides:
    // the lit rim on the edge, the inner lit line one pixel inside.
    TskShapeBtn b;
    b.resize(40, 40);
    b.SetShape(bsCustom);
    b.SetPointList(lists[0]);
    TskBitmap face;
    b.PaintButton(face);
    auto rgb = [](TColor c) { return ToQColor(c).rgb() & 0xFFFFFFu; };
    EXPECT_EQ(face.Pixel(20, 0), rgb(b.ShadeColors().BtnHighlight()));
    EXPECT_EQ(face.Pixel(20, 1), rgb(b.ShadeColors().Btn3DLight()));
    EXPECT_EQ(face.Pixel(0, 20), rgb(b.ShadeColors().BtnHighlight()));
    EXPECT_EQ(face.Pixel(1, 20), rgb(b.ShadeColors().Btn3DLight()));
}

TEST(ShapeBtn, AClickBesideTheShapeDoesNotPressIt)
{
    QWidget form;
    auto* b = new TskShapeBtn(&form);
    b->resize(60, 60);
    b->SetShape(bsEllipse);
    int clicks = 0;
    b->OnClick = [&](TskCustomBitBtn*) { ++clicks; };
    form.show();
    QTest::mousePress(b, Qt::LeftButton, {}, QPoint(1, 1));
    EXPECT_FALSE(b->Down());
    QTest::mouseRelease(b, Qt::LeftButton, {}, QPoint(1, 1));
    EXPECT_EQ(clicks, 0);
    QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(30, 30));
    EXPECT_EQ(clicks, 1);
    EXPECT_TRUE(b->AppliedRegion().contains(QPoint(30, 30)));
    EXPECT_FALSE(b->AppliedRegion().contains(QPoint(1, 1)));
}

TEST(ShapeBtn, ARedButtonIsDrawnOnABlueKey)
{
    TskShapeBtn b;
    b.resize(40, 40);
    b.SetShape(bsDiamond);
    EXPECT_EQ(b.ShapeKeyColor(), TColor(0x0000FF));
    b.SetColor(0x0000FF);
    EXPECT_EQ(b.ShapeKeyColor(), TColor(0xFF0000));
    TskBitmap face;
    b.PaintButton(face);
    EXPECT_EQ(face.Pixel(0, 0), 0x0000FFu) << "the key, blue, outside the diamond";
    EXPECT_EQ(face.Pixel(20, 20), 0xFF0000u) << "the face, red, inside";
}

} // namespace

namespace {

TEST(ShapeBtn, AFlatButtonShowsItsRimOnlyWhileTheMouseIsOverIt)
{
    QWidget form;
    form.resize(200, 100);
    auto* b = new TskShapeBtn(&form);
    b->setGeometry(10, 10, 60, 30);
    b->SetShadeStyle(fbsFlat);
    int entered = 0, left = 0;
    b->OnMouseEnter = [&](TskCustomBitBtn*) { ++entered; };
    b->OnMouseLeave = [&](TskCustomBitBtn*) { ++left; };
    form.show();
    QApplication::setActiveWindow(&form);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    QTest::mouseMove(&form, QPoint(150, 80));
    TskBitmap away;
    b->PaintButton(away);
    QTest::mouseMove(b, QPoint(30, 15));
    ASSERT_TRUE(b->MouseInControl());
    TskBitmap over;
    b->PaintButton(over);
    // The top edge: face colour when away, the lit rim while over.
    EXPECT_EQ(away.Pixel(30, 0), away.Pixel(30, 15));
    EXPECT_NE(over.Pixel(30, 0), over.Pixel(30, 15));
    // The leave Qt sends when the pointer goes (offscreen, moves alone do
    // not always produce it).
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(b, &leave);
    EXPECT_FALSE(b->MouseInControl());
    EXPECT_EQ(entered, 1);
    EXPECT_EQ(left, 1);
}

} // namespace
