// A short, repeatable fuzz of the two readers that take data from outside:
// stored button shapes (region blocks of form files) and the shape button's
// point lists. Each run is bounded by a count and a time budget; the seed is
// fixed, so a failure comes back on every run.
#include <gtest/gtest.h>

#include <QtEndian>
#include <chrono>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "widgets/skImgBtn.h"
#include "widgets/skShapeBtn.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto Budget = std::chrono::seconds(20);

bool WithinWindowExtent(const QRegion& region)
{
    for (const QRect& r : region)
        if (r.left() < -QWIDGETSIZE_MAX || r.top() < -QWIDGETSIZE_MAX || r.right() >= QWIDGETSIZE_MAX ||
            r.bottom() >= QWIDGETSIZE_MAX)
            return false;
    return true;
}

TEST(ReaderFuzz, DamagedRegionBlocksReadAsNoneOrAsAShapeThatWritesBackTheSame)
{
    TskImageBtn source;
    source.StoreRegionData(QRegion(0, 0, 30, 4) + QRegion(3, 4, 20, 9) + QRegion(10, 13, 5, 5), false);
    const QByteArray good = source.WriteRegionData(false);
    ASSERT_GT(good.size(), 36);

    std::mt19937 random(24);
    const std::int32_t extremes[] = {INT32_MIN, INT32_MAX, -1, 0, 1, QWIDGETSIZE_MAX, QWIDGETSIZE_MAX + 1,
                                     -QWIDGETSIZE_MAX - 1, 1 << 30, -(1 << 30)};
    const auto start = Clock::now();
    int runs = 0, read = 0;
    for (; runs < 4000 && Clock::now() - start < Budget; ++runs) {
        QByteArray block = good;
        switch (random() % 4) {
        case 0: // a few flipped bits
            for (int k = 1 + int(random() % 4); k > 0; --k)
                block[int(random() % std::uint32_t(block.size()))] ^= char(1 << (random() % 8));
            break;
        case 1: { // one word set to an extreme value
            int word = int(random() % std::uint32_t(block.size() / 4));
            qToLittleEndian(extremes[random() % std::size(extremes)], block.data() + 4 * word);
            break;
        }
        case 2: // cut short
            block.truncate(int(random() % std::uint32_t(block.size())));
            break;
        default: // bytes after the block, or a random byte
            if (random() % 2)
                block.append(QByteArray(int(random() % 40), char(random())));
            else
                block[int(random() % std::uint32_t(block.size()))] = char(random());
            break;
        }
        TskImageBtn b;
        if (!b.ReadRegionData(false, block)) {
            EXPECT_FALSE(b.StoredRegion(false).has_value());
            continue;
        }
        ++read;
        if (!b.StoredRegion(false))
            continue; // a block of count 0
        const QRegion shape = *b.StoredRegion(false);
        ASSERT_TRUE(WithinWindowExtent(shape)) << "run " << runs;
        TskImageBtn again;
        ASSERT_TRUE(again.ReadRegionData(false, b.WriteRegionData(false))) << "run " << runs;
        ASSERT_EQ(again.StoredRegion(false).value_or(QRegion()), shape) << "run " << runs;
    }
    RecordProperty("runs", runs);
    RecordProperty("read", read);
    EXPECT_GT(runs, 0);
}

// One coordinate expression: a few terms of small numbers, the button's
// size, values at the ends of the int range and now and then a bad word.
std::string Expression(std::mt19937& random)
{
    static const char* const words[] = {"0",     "1",     "7",          "WIDTH",      "HEIGHT", "2147483647",
                                        "65536", "46341", "1000000000", "2147483648", "",       "%"};
    static const char ops[] = {'+', '-', '*', '/'};
    std::string text;
    for (int terms = 1 + int(random() % 4), k = 0; k < terms; ++k) {
        if (k)
            text += std::string(" ") + ops[random() % 4] + " ";
        // The bad words come rarely, so most lists get as far as drawing.
        std::size_t n = random() % 64 == 0 ? std::size(words) : std::size(words) - 3;
        text += words[random() % n];
    }
    return text;
}

TEST(ReaderFuzz, PointListsOfAnyNumbersDrawOrFallBackToTheRectangle)
{
    std::mt19937 random(125);
    const auto start = Clock::now();
    int runs = 0, drawn = 0;
    for (; runs < 600 && Clock::now() - start < Budget; ++runs) {
        std::vector<std::string> list;
        for (int lines = 3 + int(random() % 4); lines > 0; --lines)
            list.push_back(Expression(random) + ", " + Expression(random));
        TskShapeBtn b;
        b.resize(8 + int(random() % 40), 8 + int(random() % 40));
        b.OnPaintError = [](TskCustomBitBtn*, const std::string&) {};
        b.SetShape(bsCustom);
        b.SetOrientation(TskShapeOrientation(random() % 4));
        b.SetDefault(random() % 2);
        b.SetPointList(list);
        TskBitmap face;
        try {
            b.PaintButton(face);
            drawn += b.Shape() == bsCustom;
        } catch (const std::exception&) {
            EXPECT_EQ(b.Shape(), bsRect) << "run " << runs;
            b.PaintButton(face);
        }
        EXPECT_FALSE(face.Empty()) << "run " << runs;
    }
    RecordProperty("runs", runs);
    RecordProperty("drawn", drawn);
    EXPECT_GT(drawn, 0);
}

} // namespace
