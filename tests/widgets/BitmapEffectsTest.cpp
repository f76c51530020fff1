// The image effects on small pictures, with the pixel values worked out by
// hand from the formulas.
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>
#include <vector>

#include "DrawingHelpers.h"
#include "widgets/skBitmap.h"
#include "widgets/skErrors.h"

namespace {

std::vector<std::uint32_t> Pixels(const TskBitmap& b)
{
    std::vector<std::uint32_t> out;
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x)
            out.push_back(b.Pixel(x, y));
    return out;
}

struct EffectCase {
    std::string name;
    int w, h;
    std::vector<std::uint32_t> in;
    std::function<void(TskBitmap&)> effect;
    std::vector<std::uint32_t> out;
};

// (R, G, B) = (100, 150, 200)
constexpr std::uint32_t P = 0x6496C8;
constexpr std::uint32_t A = 0x000000, B = 0xC8C8C8, W = 0xFFFFFF;

TEST(BitmapEffects, TableOfHandWorkedPixels)
{
    const EffectCase cases[] = {
        {"Lightness 0", 1, 1, {P}, [](TskBitmap& b) { b.Lightness(0); }, {P}},
        // i + (255 - i) * 128 div 256: 100+77, 150+52, 200+27
        {"Lightness 128", 1, 1, {P}, [](TskBitmap& b) { b.Lightness(128); }, {0xB1CAE3}},
        // i - 128 i div 256
        {"Lightness -128", 1, 1, {P}, [](TskBitmap& b) { b.Lightness(-128); }, {0x324B64}},
        {"Lightness 256", 1, 1, {P}, [](TskBitmap& b) { b.Lightness(256); }, {W}},
        {"Lightness -256", 1, 1, {P}, [](TskBitmap& b) { b.Lightness(-256); }, {0}},
        {"Lightness max", 1, 1, {P}, [](TskBitmap& b) { b.Lightness(INT_MAX); }, {W}},
        {"Lightness min", 1, 1, {P}, [](TskBitmap& b) { b.Lightness(INT_MIN); }, {0}},
        {"Contrast 0", 1, 1, {P}, [](TskBitmap& b) { b.Contrast(0); }, {P}},
        // d = 128 |128 - i| div 256: 100-14, 150+11, 200+36
        {"Contrast 128", 1, 1, {P}, [](TskBitmap& b) { b.Contrast(128); }, {0x56A1EC}},
        {"Contrast max", 1, 1, {P}, [](TskBitmap& b) { b.Contrast(INT_MAX); }, {0x00FFFF}},
        {"Contrast min", 1, 1, {P}, [](TskBitmap& b) { b.Contrast(INT_MIN); }, {0xFF0000}},
        {"GrayScale red", 1, 1, {0xFF0000}, [](TskBitmap& b) { b.GrayScale(); }, {0x555555}},
        // 33 + 50 + 66
        {"GrayScale", 1, 1, {P}, [](TskBitmap& b) { b.GrayScale(); }, {0x959595}},
        {"Saturation 256", 1, 1, {P}, [](TskBitmap& b) { b.Saturation(256); }, {P}},
        {"Saturation 0", 1, 1, {P}, [](TskBitmap& b) { b.Saturation(0); }, {0x959595}},
        // 149 + 2c - 298: 51, 151, 251
        {"Saturation 512", 1, 1, {P}, [](TskBitmap& b) { b.Saturation(512); }, {0x3397FB}},
        {"Invert", 1, 1, {P}, [](TskBitmap& b) { b.Invert(); }, {0x9B6937}},
        {"AddColor", 1, 1, {P}, [](TskBitmap& b) { b.AddColor(10, -200, 100); }, {0x6E00FF}},
        {"AddColor huge", 1, 1, {P}, [](TskBitmap& b) { b.AddColor(INT_MAX, INT_MIN, 0); }, {0xFF00C8}},
        {"Colorize", 1, 1, {P}, [](TskBitmap& b) { b.Colorize(202, 192, 142); }, {0x6E9696}},
        {"Colorize keeps the key",
         2, 1, {P, 0x000000},
         [](TskBitmap& b) {
             b.TransparentColor = RGBColor(100, 150, 200);
             b.Colorize(202, 192, 142);
         },
         {P, 0x0A0000}},
        {"MakeMask", 2, 1, {P, 0x010203}, [](TskBitmap& b) { b.MakeMask(P); }, {0x000000, W}},
        {"ReplaceColor", 2, 1, {P, 0x010203}, [](TskBitmap& b) { b.ReplaceColor(0x0A0B0C, P); }, {0x0A0B0C, 0x010203}},
        {"Flip horizontal", 3, 1, {1, 2, 3}, [](TskBitmap& b) { b.Flip(true); }, {3, 2, 1}},
        {"Flip vertical", 1, 3, {1, 2, 3}, [](TskBitmap& b) { b.Flip(false); }, {3, 2, 1}},
        {"Flip narrow", 1, 2, {1, 2}, [](TskBitmap& b) { b.Flip(true); }, {1, 2}},
        {"Flip low", 2, 1, {1, 2}, [](TskBitmap& b) { b.Flip(false); }, {1, 2}},
        // In place: pixel 0 = (B + B + A + A) / 4, pixel 1 = (B + B + 100 + 100) / 4
        {"Blur 1", 2, 1, {A, B}, [](TskBitmap& b) { b.Blur(1); }, {0x646464, 0x969696}},
        {"Blur far", 2, 1, {A, B}, [](TskBitmap& b) { b.Blur(INT_MAX); }, {0x646464, 0x969696}},
        {"Blur one pixel", 1, 1, {P}, [](TskBitmap& b) { b.Blur(3); }, {P}},
        // (c + 255 - the last row's neighbour as it was) / 2: (0+55)/2, (200+55)/2
        {"Emboss", 2, 1, {A, B}, [](TskBitmap& b) { b.Emboss(); }, {0x1B1B1B, 0x7F7F7F}},
        {"Emboss one pixel", 1, 1, {P}, [](TskBitmap& b) { b.Emboss(); }, {0x7F7F7F}},
        // (256 c - 16 sum) div 128: (0 - 9600)/128 -> 0, (51200 - 16000)/128 -> 255
        {"Sharpen", 2, 1, {A, B}, [](TskBitmap& b) { b.Sharpen(1); }, {0x000000, W}},
        {"Sharpen one pixel", 1, 1, {P}, [](TskBitmap& b) { b.Sharpen(1); }, {P}},
        {"Rotate 0", 2, 2, {1, 2, 3, 4}, [](TskBitmap& b) { b.Rotate({-1, -1}, 0); }, {1, 2, 3, 4}},
        {"Rotate 180", 2, 2, {1, 2, 3, 4}, [](TskBitmap& b) { b.Rotate({-1, -1}, 180); }, {4, 3, 2, 1}},
        // Row 1 shifts by nearest(ratio sin(1)); columns do not (ydiv huge).
        {"Wave wrap +1", 4, 2, {1, 2, 3, 4, 5, 6, 7, 8}, [](TskBitmap& b) { b.Wave(true, 1, 1, INT_MAX); },
         {1, 2, 3, 4, 6, 7, 8, 5}},
        {"Wave wrap -1", 4, 2, {1, 2, 3, 4, 5, 6, 7, 8}, [](TskBitmap& b) { b.Wave(true, -1, 1, INT_MAX); },
         {1, 2, 3, 4, 8, 5, 6, 7}},
        {"Wave no wrap", 4, 2, {1, 2, 3, 4, 5, 6, 7, 8}, [](TskBitmap& b) { b.Wave(false, 2, 1, INT_MAX); },
         {1, 2, 3, 4, 7, 8, W, W}},
        // 841471 mod 4 = 3
        {"Wave wrap far", 4, 2, {1, 2, 3, 4, 5, 6, 7, 8}, [](TskBitmap& b) { b.Wave(true, 1000000, 1, INT_MAX); },
         {1, 2, 3, 4, 8, 5, 6, 7}},
        {"Wave divisor 0", 2, 1, {1, 2}, [](TskBitmap& b) { b.Wave(true, 5, 0, 1); }, {1, 2}},
        {"Sponge 0", 2, 1, {1, 2}, [](TskBitmap& b) { b.Sponge(0); }, {1, 2}},
        {"Sponge -5", 2, 1, {1, 2}, [](TskBitmap& b) { b.Sponge(-5); }, {1, 2}},
        // Radius 1: c is always 0, so no pixel moves.
        {"Sponge 1", 2, 1, {1, 2}, [](TskBitmap& b) { b.Sponge(1); }, {1, 2}},
        // c = 2, e = x + 2 - 3, f = y + 2 - 3, clamped.
        {"Sponge 3",
         2, 1, {1, 2},
         [](TskBitmap& b) {
             b.RandomBelow = [](int n) { return n - 1; };
             b.Sponge(3);
         },
         {1, 1}},
    };
    for (const EffectCase& c : cases) {
        TskBitmap b;
        Fill(b, c.w, c.h, std::initializer_list<std::uint32_t>{});
        auto it = c.in.begin();
        for (int y = 0; y < c.h; ++y)
            for (int x = 0; x < c.w; ++x)
                b.SetPixel(x, y, *it++);
        c.effect(b);
        EXPECT_EQ(Pixels(b), c.out) << c.name;
    }
}

TEST(BitmapEffects, EveryEffectOnAnEmptyPictureDoesNothing)
{
    TskBitmap b;
    b.TransparentColor = clRed;
    b.Lightness(10);
    b.Contrast(10);
    b.GrayScale();
    b.Saturation(3);
    b.Invert();
    b.AddColor(1, 2, 3);
    b.Colorize(1, 2, 3);
    b.MakeMask(0);
    b.ReplaceColor(1, 2);
    b.Flip(true);
    b.Flip(false);
    b.Blur(2);
    b.GaussianBlur(3);
    b.Emboss();
    b.Sharpen(2);
    b.Rotate({-1, -1}, 45);
    b.Wave(true, 3, 2, 2);
    b.Sponge(4);
    TskBitmap other;
    b.AlphaBlend(other, 128, false);
    EXPECT_TRUE(b.Empty());
}

TEST(BitmapEffects, AlphaBlendMixesByTheAmountWithinZeroTo256)
{
    // m[k] = amount k >> 8: (100,150,200) toward (200,50,0) by 128 -> (150,100,100)
    struct Case {
        int amount;
        std::uint32_t out;
    } cases[] = {{0, P}, {128, 0x966464}, {256, 0xC83200}, {1000, 0xC83200}, {-50, P}, {INT_MIN, P}};
    for (const Case& c : cases) {
        TskBitmap b, blend;
        Fill(b, 1, 1, {P});
        Fill(blend, 1, 1, {0xC83200});
        b.AlphaBlend(blend, c.amount, false);
        EXPECT_EQ(b.Pixel(0, 0), c.out) << c.amount;
    }
}

TEST(BitmapEffects, AlphaBlendLeavesKeyPixelsAndRefusesAnotherSizeUnlessStretching)
{
    TskBitmap b, blend;
    Fill(b, 2, 1, {P, P});
    Fill(blend, 2, 1, {0x00FF00, 0xC83200});
    blend.Transparent = true;
    b.AlphaBlend(blend, 256, false);
    EXPECT_EQ(Pixels(b), (std::vector<std::uint32_t>{P, 0xC83200}));

    TskBitmap small;
    Fill(small, 1, 1, {0x000000});
    Fill(b, 2, 1, {P, P});
    try {
        b.AlphaBlend(small, 256, false);
        ADD_FAILURE() << "no error";
    } catch (const EInvalidOperation& e) {
        EXPECT_STREQ(e.what(), "In Alpha Blend, Blend Bitmap must be same dimensions as Current Bitmap");
    }
    EXPECT_EQ(Pixels(b), (std::vector<std::uint32_t>{P, P}));
    b.AlphaBlend(small, 256, true);
    EXPECT_EQ(Pixels(b), (std::vector<std::uint32_t>{0, 0}));
}

TEST(BitmapEffects, TheBlendKeyIsTheBlendPicturesTopLeftPixelWhateverItsTransparentColour)
{
    const std::uint32_t key = 0x00FF00, other = 0xC83200;
    const TColor otherAsColor = 0x0032C8; // the same colour as a TColor
    struct Case {
        const char* what;
        std::initializer_list<std::uint32_t> picture;
        int blendWidth;
        std::initializer_list<std::uint32_t> blend;
        std::vector<std::uint32_t> out;
    } cases[] = {
        {"same size", {P, P, P}, 3, {key, other, key}, {P, other, P}},
        {"stretched", {P, P, P, P}, 2, {key, other}, {P, P, other, other}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TskBitmap b, blend;
        Fill(b, int(c.picture.size()), 1, c.picture);
        Fill(blend, c.blendWidth, 1, c.blend);
        blend.Transparent = true;
        blend.TransparentColor = otherAsColor;
        b.AlphaBlend(blend, 256, true);
        EXPECT_EQ(Pixels(b), c.out);
    }
}

TEST(BitmapEffects, GaussianBlurRunsTheBlursDownToOne)
{
    TskBitmap a, b;
    Fill(a, 3, 1, {A, B, A});
    Fill(b, 3, 1, {A, B, A});
    a.GaussianBlur(2);
    b.Blur(2);
    b.Blur(1);
    EXPECT_EQ(Pixels(a), Pixels(b));
    b.GaussianBlur(0);
    b.GaussianBlur(-4);
    EXPECT_EQ(Pixels(a), Pixels(b));
}

} // namespace
