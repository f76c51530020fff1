// The off-screen bitmap: its row layout, sizes, loading and saving, drawing.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QtEndian>
#include <QPainter>

#include "DrawingHelpers.h"
#include "widgets/skBitmap.h"

namespace {

TEST(Bitmap, RowsAreTopDownBlueGreenRedPaddedToFourBytes)
{
    struct Case {
        int w, pitch;
    } cases[] = {{1, 4}, {2, 8}, {3, 12}, {4, 12}, {5, 16}};
    for (const Case& c : cases) {
        TskBitmap b;
        b.SetSize(c.w, 3);
        EXPECT_EQ(b.RowPitch(), c.pitch) << c.w;
        EXPECT_EQ(b.RowPitch(), 3 * c.w + b.RowPadding());
        EXPECT_EQ(b.ImageSize(), 3 * c.pitch);
        EXPECT_EQ(b.ScanLine(1) - b.ScanLine(0), c.pitch);
    }
    TskBitmap b;
    b.SetSize(2, 2);
    EXPECT_EQ(b.Pixel(1, 1), 0xFFFFFFu) << "a new picture is white";
    b.SetPixel(1, 0, 0x112233);
    EXPECT_EQ(b.ScanLine(0)[3], 0x33); // blue first
    EXPECT_EQ(b.ScanLine(0)[5], 0x11);
}

TEST(Bitmap, AnySideOfZeroOrLessLeavesThePictureEmpty)
{
    TskBitmap b;
    for (auto [w, h] : {std::pair{0, 5}, {5, 0}, {-4, 5}, {5, -1}, {-3, -3}}) {
        b.SetSize(4, 4);
        b.SetSize(w, h);
        EXPECT_TRUE(b.Empty()) << w << "x" << h;
        EXPECT_EQ(b.ImageSize(), 0);
    }
    b.SetSize(3, 2);
    b.SetWidth(-1);
    EXPECT_TRUE(b.Empty());
    b.SetSize(3, 2);
    b.SetHeight(5);
    EXPECT_EQ(b.Width(), 3);
    EXPECT_EQ(b.Height(), 5);
}

TEST(Bitmap, ChangesReachTheLinksAndAssignmentSignalsOnce)
{
    TskBitmap a, b;
    TskChangeLink link;
    int changes = 0;
    link.OnChange = [&](void* sender) { changes += sender == &b; };
    b.RegisterChanges(&link);
    b.SetSize(2, 2);
    EXPECT_EQ(changes, 1);
    Fill(a, 2, 1, {0x010203, 0x040506});
    a.TransparentColor = clRed;
    changes = 0;
    b.Assign(a);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(b.Pixel(1, 0), 0x040506u);
    EXPECT_EQ(b.TransparentColor, clRed);
    b.UnRegisterChanges(&link);
    b.SetSize(3, 3);
    EXPECT_EQ(changes, 1);
}

TEST(Bitmap, SaveToMemoryAndBackGivesTheSamePixels)
{
    TskBitmap b;
    Fill(b, 3, 2, {1, 2, 3, 4, 5, 6});
    b.SaveToMemory();
    EXPECT_TRUE(b.Empty());
    b.RestoreFromMemory();
    ASSERT_EQ(b.Width(), 3);
    EXPECT_EQ(b.Pixel(0, 0), 1u);
    EXPECT_EQ(b.Pixel(2, 1), 6u);
    EXPECT_FALSE(b.HasSavedPixels());
}

TEST(Bitmap, SavingGivesBackTheSourceFormatAndColourTable)
{
    QImage source(3, 1, QImage::Format_Indexed8);
    source.setColorTable({qRgb(10, 20, 30), qRgb(200, 100, 0)});
    source.setPixel(0, 0, 0);
    source.setPixel(1, 0, 1);
    source.setPixel(2, 0, 0);
    TskBitmap b;
    b.Assign(source);
    EXPECT_EQ(b.Pixel(1, 0), 0xC86400u);
    QImage saved = b.SaveToImage();
    EXPECT_EQ(saved.format(), QImage::Format_Indexed8);
    EXPECT_EQ(saved.colorTable(), source.colorTable());
    QBuffer stream;
    stream.open(QIODevice::ReadWrite);
    ASSERT_TRUE(b.SaveToStream(stream));
    stream.seek(0);
    TskBitmap loaded;
    ASSERT_TRUE(loaded.LoadFromStream(stream));
    EXPECT_EQ(loaded.Pixel(0, 0), 0x0A141Eu);
    EXPECT_EQ(loaded.Pixel(1, 0), 0xC86400u);
}

TEST(Bitmap, ABitmapFileShorterThanItsHeaderSaysFailsToLoad)
{
    QImage picture(29, 21, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, qRgb(x * 8, y * 12, 77));
    for (QImage::Format format : {QImage::Format_RGB888, QImage::Format_Indexed8, QImage::Format_Mono,
                                  QImage::Format_ARGB32}) {
        SCOPED_TRACE(int(format));
        QByteArray file;
        QBuffer out(&file);
        out.open(QIODevice::WriteOnly);
        ASSERT_TRUE(picture.convertToFormat(format).save(&out, "BMP"));
        auto load = [](const QByteArray& bytes) {
            QBuffer in;
            in.setData(bytes);
            in.open(QIODevice::ReadOnly);
            TskBitmap b;
            return b.LoadFromStream(in) && !b.Empty();
        };
        EXPECT_TRUE(load(file));
        EXPECT_TRUE(load(file + QByteArray(7, '\0'))) << "bytes after the pixels are no harm";
        int loaded = 0;
        for (int cut = 0; cut < file.size(); ++cut)
            loaded += load(file.left(cut));
        EXPECT_EQ(loaded, 0) << "of " << file.size() << " cut lengths";
    }

    // Sides the file could never hold, and a header longer than the file.
    QByteArray hostile("BM", 2);
    hostile += QByteArray(52, '\0');
    auto put = [&hostile](int at, std::int32_t v) { qToLittleEndian(v, hostile.data() + at); };
    put(10, 54);
    put(14, 40);
    put(18, INT32_MAX);
    put(22, INT32_MIN);
    put(26, 1 | 24 << 16);
    QBuffer in;
    in.setData(hostile);
    in.open(QIODevice::ReadOnly);
    TskBitmap b;
    EXPECT_FALSE(b.LoadFromStream(in));
    put(14, 4000);
    in.close();
    in.setData(hostile);
    in.open(QIODevice::ReadOnly);
    EXPECT_FALSE(b.LoadFromStream(in));
}

TEST(Bitmap, DrawingCopiesStretchesAndKeysOutTheTransparentColour)
{
    TskBitmap b;
    Fill(b, 2, 1, {0x000000, 0xC8C8C8});
    QImage canvas = WhiteCanvas(6, 3);
    QPainter p(&canvas);
    b.Draw(p, {1, 1, 3, 2});
    EXPECT_EQ(canvas.pixel(1, 1) & 0xFFFFFF, 0x000000u);
    EXPECT_EQ(canvas.pixel(2, 1) & 0xFFFFFF, 0xC8C8C8u);
    // Smooth stretch of a one-pixel-high picture: bilinear along the row.
    b.SmoothStretch = true;
    b.Draw(p, {0, 0, 4, 1});
    p.end();
    const std::uint32_t row[] = {0x000000, 0x323232, 0x646464, 0x969696};
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(canvas.pixel(x, 0) & 0xFFFFFF, row[x]) << x;

    // The top-left colour is the key when TransparentColor is clNone.
    TskBitmap keyed;
    Fill(keyed, 2, 2, {0x00FF00, 0x0000FF, 0x0000FF, 0x00FF00});
    keyed.Transparent = true;
    QImage c2 = WhiteCanvas(2, 2);
    QPainter p2(&c2);
    keyed.Draw(p2, {0, 0, 2, 2});
    p2.end();
    EXPECT_EQ(c2.pixel(0, 0) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(c2.pixel(1, 0) & 0xFFFFFF, 0x0000FFu);
    EXPECT_EQ(c2.pixel(1, 1) & 0xFFFFFF, 0xFFFFFFu);
}

TEST(Bitmap, TheMaskFollowsPixelsAndKeysChangedAfterADraw)
{
    TskBitmap b;
    Fill(b, 3, 1, {0x00FF00, 0x0000FF, 0xFF0000});
    b.Transparent = true;
    auto drawn = [&b] {
        QImage canvas = WhiteCanvas(3, 1);
        QPainter p(&canvas);
        b.Draw(p, {0, 0, 3, 1});
        p.end();
        std::vector<std::uint32_t> out;
        for (int x = 0; x < 3; ++x)
            out.push_back(canvas.pixel(x, 0) & 0xFFFFFF);
        return out;
    };
    EXPECT_EQ(drawn(), (std::vector<std::uint32_t>{0xFFFFFF, 0x0000FF, 0xFF0000}));
    b.SetPixel(2, 0, 0x00FF00); // an effect's change in place
    EXPECT_EQ(drawn(), (std::vector<std::uint32_t>{0xFFFFFF, 0x0000FF, 0xFFFFFF}));
    b.TransparentColor = clBlue; // 0x0000FF in pixel order
    EXPECT_EQ(drawn(), (std::vector<std::uint32_t>{0x00FF00, 0xFFFFFF, 0x00FF00}));
}

TEST(Bitmap, OnePixelAndEmptyPicturesDrawWithoutReadingOutside)
{
    TskBitmap one;
    Fill(one, 1, 1, {0x102030});
    one.SmoothStretch = true;
    QImage canvas = WhiteCanvas(5, 4);
    QPainter p(&canvas);
    one.Draw(p, {0, 0, 5, 4});
    one.Draw(p, {4, 4, 0, 0}); // an inverted rectangle draws nothing
    TskBitmap empty;
    empty.Transparent = true;
    empty.Draw(p, {0, 0, 2, 2});
    empty.TileDraw(p, {0, 0, 2, 2});
    EXPECT_TRUE(empty.Mask().isNull());
    p.end();
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(canvas.pixel(x, y) & 0xFFFFFF, 0x102030u);
}

TEST(Bitmap, TilesStartAtTheRectangleCornerAndAreClippedToIt)
{
    TskBitmap b;
    Fill(b, 2, 2, {0xFF0000, 0x0000FF, 0x0000FF, 0x0000FF});
    QImage canvas = WhiteCanvas(12, 12);
    QPainter p(&canvas);
    b.TileDraw(p, {5, 4, 10, 9});
    p.end();
    EXPECT_EQ(InkBox(canvas, [](QRgb c) { return (c & 0xFFFFFF) != 0xFFFFFF; }), QRect(5, 4, 5, 5));
    // Tile corners (red) at the rectangle's corner and every 2 pixels on.
    EXPECT_EQ(canvas.pixel(5, 4) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(canvas.pixel(7, 6) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(canvas.pixel(9, 8) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(canvas.pixel(6, 4) & 0xFFFFFF, 0x0000FFu);
}

} // namespace
