// The owner-drawn button base: states, kinds, groups, keys and stored shapes.
#include <gtest/gtest.h>

#include <QDialog>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QtEndian>
#include <array>
#include <climits>
#include <functional>
#include <random>

#include "widgets/skButton.h"
#include "widgets/skImgBtn.h"
#include "widgets/skShapeBtn.h"

namespace {

struct Form {
    QWidget window;
    Form()
    {
        window.resize(300, 200);
    }
    TskImageBtn* Button(int x, int y, int group = 0)
    {
        auto* b = new TskImageBtn(&window);
        b->move(x, y);
        b->SetGroupIndex(group);
        return b;
    }
};

TEST(Button, AnUngroupedButtonIsDownOnlyWhilePressedAndClicksOnReleaseInside)
{
    Form f;
    TskImageBtn* b = f.Button(10, 10);
    f.window.show();
    int clicks = 0;
    b->OnClick = [&](TskCustomBitBtn*) { ++clicks; };
    b->SetDown(true);
    EXPECT_FALSE(b->Down());
    EXPECT_EQ(b->size(), QSize(75, 25));

    QTest::mousePress(b, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(b->Down());
    QTest::mouseRelease(b, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_FALSE(b->Down());
    EXPECT_EQ(clicks, 1);

    // Dragged off before letting go: up again, no click.
    QTest::mousePress(b, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseMove(b, QPoint(200, 5));
    EXPECT_FALSE(b->Down());
    QTest::mouseRelease(b, Qt::LeftButton, {}, QPoint(200, 5));
    EXPECT_EQ(clicks, 1);

    b->setEnabled(false);
    QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(clicks, 1);
}

TEST(Button, GroupedButtonsAreExclusiveAndADownOneStaysDownWithoutAllowAllUp)
{
    Form f;
    TskImageBtn* a = f.Button(10, 10, 1);
    TskImageBtn* b = f.Button(10, 40, 1);
    TskImageBtn* other = f.Button(10, 70, 2);
    f.window.show();
    int aChanges = 0;
    a->OnSelChange = [&](TskCustomBitBtn*) { ++aChanges; };
    other->SetDown(true);

    QTest::mouseClick(a, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(a->Down());
    EXPECT_TRUE(a->Selected());
    EXPECT_EQ(aChanges, 1);
    QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(b->Down());
    EXPECT_FALSE(a->Down());
    EXPECT_FALSE(a->Selected());
    EXPECT_EQ(aChanges, 2);
    EXPECT_TRUE(other->Down()) << "another group is left alone";

    // Pressing the down button again changes nothing.
    int bChanges = 0;
    b->OnSelChange = [&](TskCustomBitBtn*) { ++bChanges; };
    QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(b->Down());
    EXPECT_EQ(bChanges, 0);

    b->SetAllowAllUp(true);
    QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_FALSE(b->Down());
    EXPECT_EQ(bChanges, 1);

    // Toggle on up: nothing happens until the release.
    a->SetOptions(boToggleOnUp);
    QTest::mousePress(a, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_FALSE(a->Down());
    QTest::mouseRelease(a, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(a->Down());
}

TEST(Button, KindsSetResultsCaptionsAndTheirOwnGlyphs)
{
    QDialog dialog;
    auto* ok = new TskImageBtn(&dialog);
    ok->SetKind(bkOK);
    EXPECT_TRUE(ok->Default());
    EXPECT_EQ(ok->ModalResult(), mrOk);
    EXPECT_EQ(ok->Caption(), "OK");
    EXPECT_EQ(ok->NumGlyphs(), 2);
    EXPECT_EQ(ok->Glyph().size(), QSize(36, 18));
    EXPECT_EQ(ok->Kind(), bkOK);
    ok->SetModalResult(mrYes);
    EXPECT_EQ(ok->Kind(), bkCustom);
    ok->SetModalResult(mrOk);

    auto* cancel = new TskImageBtn(&dialog);
    cancel->move(0, 40);
    cancel->SetKind(bkCancel);
    for (TBitBtnKind k : {bkHelp, bkYes, bkNo, bkClose, bkAbort, bkRetry, bkIgnore, bkAll}) {
        TskImageBtn probe;
        probe.SetKind(k);
        EXPECT_FALSE(probe.Glyph().isNull()) << k;
    }

    dialog.show();
    QTest::mouseClick(ok, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(dialog.result(), mrOk);
    dialog.show();
    QTest::mouseClick(cancel, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(dialog.result(), mrCancel);
}

TEST(Button, EnterClicksTheDefaultButtonAndEscapeTheCancelButton)
{
    QWidget form;
    auto* edit = new QLineEdit(&form);
    auto* ok = new TskImageBtn(&form);
    ok->move(0, 30);
    ok->SetDefault(true);
    auto* cancel = new TskImageBtn(&form);
    cancel->move(0, 60);
    cancel->SetCancel(true);
    auto* other = new TskImageBtn(&form);
    other->move(0, 90);
    other->SetOptions(boFocusable);
    int okClicks = 0, cancelClicks = 0, otherClicks = 0;
    ok->OnClick = [&](TskCustomBitBtn*) { ++okClicks; };
    cancel->OnClick = [&](TskCustomBitBtn*) { ++cancelClicks; };
    other->OnClick = [&](TskCustomBitBtn*) { ++otherClicks; };
    form.show();
    QApplication::setActiveWindow(&form);
    edit->setFocus();
    QApplication::processEvents();

    QTest::keyClick(edit, Qt::Key_Return);
    QTest::keyClick(edit, Qt::Key_Escape);
    EXPECT_EQ(okClicks, 1);
    EXPECT_EQ(cancelClicks, 1);

    // A focused button takes Enter for itself; the default one does not.
    other->setFocus();
    QApplication::processEvents();
    EXPECT_FALSE(ok->ActiveDefault());
    QTest::keyClick(other, Qt::Key_Return);
    EXPECT_EQ(otherClicks, 1);
    EXPECT_EQ(okClicks, 1);
    QTest::keyClick(other, Qt::Key_Space);
    EXPECT_EQ(otherClicks, 2);
}

TEST(Button, AFocusedButtonThatGoesGivesEnterBackToTheDefaultButton)
{
    // The focus leaves a button while it is being destroyed; the window stays.
    struct Road {
        const char* what;
        std::function<TskCustomBitBtn*(QWidget*)> make;
    };
    const Road roads[] = {
        {"image button", [](QWidget* parent) { return new TskImageBtn(parent); }},
        {"shape button", [](QWidget* parent) { return new TskShapeBtn(parent); }},
    };
    for (const Road& road : roads) {
        SCOPED_TRACE(road.what);
        QWidget form;
        auto* ok = new TskImageBtn(&form);
        ok->SetDefault(true);
        int okClicks = 0;
        ok->OnClick = [&](TskCustomBitBtn*) { ++okClicks; };
        TskCustomBitBtn* focused = road.make(&form);
        focused->move(0, 30);
        focused->SetOptions(boFocusable);
        form.show();
        QApplication::setActiveWindow(&form);
        focused->setFocus();
        QApplication::processEvents();
        ASSERT_TRUE(focused->hasFocus());
        ASSERT_FALSE(ok->ActiveDefault());

        delete focused;
        EXPECT_TRUE(ok->ActiveDefault());
        QTest::keyClick(&form, Qt::Key_Return);
        EXPECT_EQ(okClicks, 1);
    }
}

TEST(Button, PropertyRulesMarginGlyphCountAndOffsets)
{
    TskImageBtn b;
    b.SetMargin(-2);
    EXPECT_EQ(b.Margin(), -1);
    b.SetNumGlyphs(0);
    EXPECT_EQ(b.NumGlyphs(), 1);
    b.SetNumGlyphs(9);
    EXPECT_EQ(b.NumGlyphs(), 4);
    EXPECT_EQ(b.ImgOffsets().ImageDownX, 2);
    EXPECT_EQ(b.Offsets().TextDownX, 1);

    // Margin -1 is a margin of 4; left-aligned content moves with the margin.
    b.SetCaption("Go");
    b.TextOptions().SetAlignment(taLeftJustify);
    TskBitmap face;
    b.PaintButton(face);
    int left = b.TextRect().Left;
    b.SetMargin(4);
    b.PaintButton(face);
    EXPECT_EQ(b.TextRect().Left, left);
    b.SetMargin(10);
    b.PaintButton(face);
    EXPECT_EQ(b.TextRect().Left, left + 6);
}

TEST(Button, StoredShapesReadBackAndDamagedBlocksReadAsNone)
{
    TskImageBtn b;
    QRegion shape = QRegion(0, 0, 10, 4) + QRegion(2, 4, 6, 3);
    b.StoreRegionData(shape, false);
    QByteArray block = b.WriteRegionData(false);
    EXPECT_EQ(b.WriteRegionData(true), QByteArray(4, '\0'));

    TskImageBtn c;
    ASSERT_TRUE(c.ReadRegionData(false, block));
    EXPECT_EQ(*c.StoredRegion(false), shape);
    ASSERT_TRUE(c.ReadRegionData(true, QByteArray(4, '\0')));
    EXPECT_FALSE(c.StoredRegion(true).has_value());

    // Short, over-counted and odd blocks: read as no shape, never past the end.
    QByteArray shortBlock = block.left(block.size() - 5);
    QByteArray overCounted = block;
    overCounted[4 + 8 + 2] = char(0x7F); // rectangle count
    QByteArray hugeLength = block;
    hugeLength[3] = char(0x7F);
    for (const QByteArray& bad : {shortBlock, overCounted, hugeLength, QByteArray("\x01", 1)}) {
        EXPECT_FALSE(c.ReadRegionData(false, bad));
        EXPECT_FALSE(c.StoredRegion(false).has_value());
    }
}

// A region block of the given rectangles (left, top, right, bottom each).
QByteArray RegionBlock(const std::vector<std::array<std::int64_t, 4>>& rects)
{
    QByteArray out;
    auto put = [&out](std::int64_t v) {
        char b[4];
        qToLittleEndian(std::int32_t(std::uint32_t(std::uint64_t(v))), b);
        out.append(b, 4);
    };
    put(32 + 16 * std::int64_t(rects.size()));
    put(32);
    put(1);
    put(std::int64_t(rects.size()));
    put(16 * std::int64_t(rects.size()));
    for (int i = 0; i < 4; ++i)
        put(0);
    for (const auto& r : rects)
        for (std::int64_t v : r)
            put(v);
    return out;
}

QByteArray RegionBlock(std::initializer_list<std::array<std::int64_t, 4>> rects)
{
    return RegionBlock(std::vector<std::array<std::int64_t, 4>>(rects));
}

TEST(Button, AStoredShapeBeyondAWindowsExtentIsAFailedRead)
{
    const std::int64_t most = QWIDGETSIZE_MAX;
    struct Case {
        const char* what;
        QByteArray block;
        bool reads;
    };
    const Case cases[] = {
        {"the whole int range", RegionBlock({{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}}), false},
        {"a width that overflows", RegionBlock({{-2, 0, INT32_MAX, 1}}), false},
        {"each fits, the two together do not",
         RegionBlock({{-(1 << 30), 0, -(1 << 30) + 1, 1}, {1 << 30, 0, (1 << 30) + 1, 1}}), false},
        {"one corner past the extent", RegionBlock({{0, 0, 4, most + 1}}), false},
        {"the widest a window can be", RegionBlock({{-most, -most, most, most}}), true},
        {"an ordinary shape", RegionBlock({{0, 0, 10, 4}, {2, 4, 8, 7}}), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TskImageBtn b;
        EXPECT_EQ(b.ReadRegionData(false, c.block), c.reads);
        EXPECT_EQ(b.StoredRegion(false).has_value(), c.reads);
    }
}

// The one banded form of a shape within 0..size: each pixel row's runs, rows
// with the same runs one above the other joined.
std::vector<QRect> BandsOfPixels(const QRegion& shape, int size)
{
    std::vector<QRect> bands;
    std::vector<std::pair<int, int>> lastRuns;
    std::size_t lastStart = 0;
    for (int y = 0; y < size; ++y) {
        std::vector<std::pair<int, int>> runs;
        for (int x = 0; x < size; ++x) {
            if (!shape.contains(QPoint(x, y)))
                continue;
            if (!runs.empty() && runs.back().second == x)
                ++runs.back().second;
            else
                runs.emplace_back(x, x + 1);
        }
        if (!runs.empty() && runs == lastRuns && bands[lastStart].bottom() == y - 1) {
            for (std::size_t i = lastStart; i < bands.size(); ++i)
                bands[i].setBottom(y);
            continue;
        }
        lastStart = bands.size();
        for (const auto& [from, to] : runs)
            bands.emplace_back(from, y, to - from, 1);
        lastRuns = runs;
    }
    return bands;
}

TEST(Button, AShapeReadsAsTheUnionOfItsRectanglesInOneBandedForm)
{
    // Scattered points, strips, columns and overlapping blocks, in random
    // order: the shape is the one that adding the rectangles one at a time
    // gives, in the fewest rectangles, whatever their order.
    std::mt19937 random(7);
    const int size = 48;
    for (int trial = 0; trial < 400; ++trial) {
        const int kind = trial % 4;
        std::uniform_int_distribution<int> at(0, size / 2 + trial % (size / 2)), count(1, 60), extent(1, 12);
        std::vector<std::array<std::int64_t, 4>> rects;
        QRegion added;
        for (int i = count(random); i > 0; --i) {
            int l = at(random), t = at(random);
            int w = kind == 0 || kind == 2 ? 1 : extent(random), h = kind == 0 || kind == 1 ? 1 : extent(random);
            w = std::min(w, size - l);
            h = std::min(h, size - t);
            rects.push_back({l, t, l + w, t + h});
            added += QRect(l, t, w, h);
        }
        SCOPED_TRACE("trial " + std::to_string(trial) + ", " + std::to_string(rects.size()) + " rectangles");
        TskImageBtn b;
        ASSERT_TRUE(b.ReadRegionData(false, RegionBlock(rects)));
        const QRegion& read = *b.StoredRegion(false);
        EXPECT_TRUE((read ^ added).isEmpty()) << "the same pixels";
        std::vector<QRect> bands = BandsOfPixels(added, size);
        EXPECT_EQ(std::vector<QRect>(read.begin(), read.end()), bands);

        std::shuffle(rects.begin(), rects.end(), random);
        ASSERT_TRUE(b.ReadRegionData(true, RegionBlock(rects)));
        EXPECT_EQ(std::vector<QRect>(b.StoredRegion(true)->begin(), b.StoredRegion(true)->end()), bands);
    }
}

TEST(Button, AGlyphStripWithoutCellsHasTheWidthOfOneCell)
{
    TskImageBtn b;
    QImage glyph(20, 10, QImage::Format_RGB32);
    glyph.fill(Qt::red);
    b.SetGlyph(glyph);
    b.SetNumGlyphs(0);
    TskBitmap face;
    b.PaintButton(face);
    EXPECT_EQ(b.GlyphRect().Width(), 20);
}

} // namespace
