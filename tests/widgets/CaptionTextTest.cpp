// The caption renderer, checked on rendered pictures at known pixels: fonts
// without anti-aliasing, so each effect shows in exactly its own colour.
#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QPainter>

#include "DrawingHelpers.h"
#include "widgets/skText.h"

namespace {

constexpr QRgb Black = 0x000000, Red = 0xFF0000, Blue = 0x0000FF, Green = 0x00FF00;

class Caption : public ::testing::Test {
protected:
    TFont font{ExactFont(20), clBlack};
    bool enabled = true;
    int invalidates = 0, adjusts = 0;
    TskCaptionText text{[this] { ++invalidates; }, [this] { ++adjusts; }, [this] { return enabled; }, &font, nullptr};

    QImage Render(const std::string& caption, TRect area = {10, 10, 190, 90}, QSize size = {200, 100})
    {
        QImage image = WhiteCanvas(size.width(), size.height());
        QPainter p(&image);
        text.Canvas = &p;
        text.SetText(caption);
        text.TextRect = area;
        text.Draw();
        text.Canvas = nullptr;
        return image;
    }
};

TEST_F(Caption, AlignmentPlacesTheInkAtTheEdgesOrTheMiddleOfTheRectangle)
{
    QRect ink = InkBox(Render("Hello"), Black);
    EXPECT_NEAR(ink.left(), 11, 2);
    EXPECT_NEAR(ink.top(), 14, 4);

    text.SetAlignment(taRightJustify);
    text.SetVAlignment(vaBottom);
    ink = InkBox(Render("Hello"), Black);
    EXPECT_NEAR(ink.right(), 188, 2);
    EXPECT_NEAR(ink.bottom(), 84, 5);
    EXPECT_LE(ink.bottom(), 89);

    text.SetAlignment(taCenter);
    text.SetVAlignment(vaVCenter);
    ink = InkBox(Render("Hello"), Black);
    EXPECT_NEAR(ink.center().x(), 100, 2);
    EXPECT_NEAR(ink.center().y(), 50, 4);
    EXPECT_EQ(text.DrawFlags() & DT_CENTER, DT_CENTER);
}

TEST_F(Caption, LinesAreStackedWithTheLineSpacingAndWrapAtTheRectangleWidth)
{
    QFontMetrics fm(font.Font());
    text.SetText("one\r\ntwo\r\nthree");
    text.TextRect = {0, 0, 500, 500};
    EXPECT_EQ(text.MeasureText().height(), 3 * fm.height() + 10);
    text.SetLineSpacing(0);
    EXPECT_EQ(text.MeasureText().height(), 3 * fm.height());

    QRect oneLine = InkBox(Render("alpha beta gamma delta", {10, 10, 110, 190}, {200, 200}), Black);
    text.SetWordWrap(true);
    EXPECT_EQ(text.DrawFlags() & DT_WORDBREAK, DT_WORDBREAK);
    QRect wrapped = InkBox(Render("alpha beta gamma delta", {10, 10, 110, 190}, {200, 200}), Black);
    EXPECT_GT(oneLine.right(), 110) << "unwrapped, the text runs past the rectangle";
    EXPECT_LE(wrapped.right(), 110);
    EXPECT_GE(wrapped.height(), 2 * fm.height());
}

TEST_F(Caption, RotationTurnsTheTextAndIgnoresAlignment)
{
    QRect flat = InkBox(Render("Hello"), Black);
    text.SetRotation(90);
    text.SetAlignment(taRightJustify);
    QRect turned = InkBox(Render("Hello", {10, 10, 190, 190}, {200, 200}), Black);
    EXPECT_EQ(text.DrawFlags() & (DT_CENTER | DT_RIGHT), 0u);
    EXPECT_GT(turned.height(), turned.width());
    EXPECT_NEAR(turned.height(), flat.width(), 2);
    // Centred in the rectangle whatever the alignment.
    EXPECT_NEAR(turned.center().y(), 100, 3);
    EXPECT_NEAR(turned.center().x(), 100, 5);

    struct Case {
        int in, out;
    } cases[] = {{-90, 270}, {-360, 360}, {725, 5}, {360, 0}, {0, 0}, {INT_MIN, 360 - 128}};
    for (const Case& c : cases) {
        text.SetRotation(c.in);
        EXPECT_EQ(text.Rotation(), c.out) << c.in;
    }
    text.SetAlignment(taLeftJustify);
    text.SetRotation(-360);
    EXPECT_EQ(Render("Hello"), [&] {
        text.SetRotation(0);
        return Render("Hello");
    }());
}

TEST_F(Caption, ShadowIsTheTextMovedByItsOffsets)
{
    text.Shadow().SetEnabled(true);
    text.Shadow().SetColor(clRed);
    text.Shadow().SetXOffset(6);
    text.Shadow().SetYOffset(4);
    QImage image = Render("Hello");
    QRect ink = InkBox(image, Black), shadow = InkBox(image, Red);
    ASSERT_FALSE(shadow.isNull());
    EXPECT_EQ(shadow.right(), ink.right() + 6);
    EXPECT_EQ(shadow.bottom(), ink.bottom() + 4);
    EXPECT_GE(shadow.left(), ink.left());
}

TEST_F(Caption, ExtrusionStepsLieBehindTheTextWithTheirGradient)
{
    text.ExtrudeEffects().SetEnabled(true);
    text.ExtrudeEffects().SetDepth(4);
    text.ExtrudeEffects().SetNearColor(clRed);
    text.ExtrudeEffects().SetFarColor(clBlue);
    QImage image = Render("Hello");
    QRect ink = InkBox(image, Black);
    QRect steps = InkBox(image, [](QRgb c) { return (c & 0xFFFFFF) != 0xFFFFFF && (c & 0xFFFFFF) != 0; });
    // skBottomRight: the farthest step 3 pixels below and right of the text.
    EXPECT_EQ(steps.right(), ink.right() + 3);
    EXPECT_EQ(steps.bottom(), ink.bottom() + 3);
    EXPECT_GE(steps.left(), ink.left());
    // Step 1 (farthest): rounded((n - f) / (4 / 1) + f) = (63, 0, 191).
    bool farthest = false;
    for (int y = steps.top(); y <= steps.bottom(); ++y)
        if ((image.pixel(steps.right(), y) & 0xFFFFFF) == 0x3F00BF)
            farthest = true;
    EXPECT_TRUE(farthest);

    text.ExtrudeEffects().SetDepth(0);
    EXPECT_TRUE(InkBox(Render("Hello"), [](QRgb c) { return (c & 0xFFFFFF) != 0xFFFFFF && (c & 0xFFFFFF) != 0; })
                    .isNull());
}

TEST_F(Caption, OutlineSurroundsTheTextByOnePixel)
{
    text.SetStyle(sklsOutline);
    text.SetOutlineColor(clRed);
    QImage image = Render("Hello");
    QRect ink = InkBox(image, Black), outline = InkBox(image, Red);
    EXPECT_EQ(outline, ink.adjusted(-1, -1, 1, 1));
}

TEST_F(Caption, EmbossedAndDisabledLooks)
{
    text.SetStyle(sklsRaised);
    text.SetHighlightColor(clRed);
    text.SetShadeColor(clLime);
    QImage image = Render("Hello");
    QRect ink = InkBox(image, Black);
    EXPECT_EQ(InkBox(image, Red).left(), ink.left() - 1);
    EXPECT_EQ(InkBox(image, Green).right(), ink.right() + 1);

    text.SetStyle(sklsDefault);
    enabled = false;
    text.DisabledColors().SetHighlightColor(clLime);
    text.DisabledColors().SetShadeColor(clBlue);
    image = Render("Hello");
    QRect shade = InkBox(image, Blue), light = InkBox(image, Green);
    EXPECT_TRUE(InkBox(image, Black).isNull());
    ASSERT_FALSE(shade.isNull());
    EXPECT_EQ(light.bottomRight(), shade.bottomRight() + QPoint(1, 1));
}

TEST_F(Caption, AcceleratorsAndEmptyText)
{
    text.SetText("&&A &Bc");
    text.TextRect = {0, 0, 300, 100};
    QFontMetrics fm(font.Font());
    EXPECT_EQ(text.MeasureText().width(), fm.horizontalAdvance("&A Bc"));
    text.SetOptions(0);
    EXPECT_EQ(text.DrawFlags() & DT_NOPREFIX, DT_NOPREFIX);
    EXPECT_EQ(text.MeasureText().width(), fm.horizontalAdvance("&&A &Bc"));

    text.SetText("");
    EXPECT_EQ(text.MeasureText(), QSize(0, 0));
    text.Shadow().SetEnabled(true);
    EXPECT_EQ(text.GetTextSize(true), QSize(10, 10)) << "only the effect margins";
    EXPECT_TRUE(InkBox(Render(""), [](QRgb c) { return (c & 0xFFFFFF) != 0xFFFFFF; }).isNull());
}

TEST_F(Caption, SettersNotifyOnlyOnChange)
{
    invalidates = adjusts = 0;
    text.SetAlignment(taLeftJustify);
    text.SetLineSpacing(5);
    text.Shadow().SetXOffset(10);
    EXPECT_EQ(invalidates + adjusts, 0);
    text.SetAlignment(taCenter);
    EXPECT_EQ(invalidates, 1);
    EXPECT_EQ(adjusts, 0);
    text.Shadow().SetEnabled(true);
    EXPECT_EQ(adjusts, 1);
    text.SetRotation(0); // Rotation always notifies
    EXPECT_EQ(adjusts, 2);
}

} // namespace
