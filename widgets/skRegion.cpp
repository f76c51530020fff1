#include "widgets/skRegion.h"

#include <algorithm>

namespace {

// Whether r can follow last in a banded list: in a row of its own below, or
// in last's row to its right.
bool ContinuesBands(const QRect& last, const QRect& r)
{
    return r.top() > last.bottom() || (r.top() == last.top() && r.bottom() == last.bottom() && r.left() > last.right());
}

// The one banded form of a banded list (rows top to bottom, each left to
// right, not overlapping): touching rectangles of a row joined, touching rows
// with the same spans joined. Qt's union leaves a few shapes split further
// than that, depending on the order it was given them.
QRegion Joined(const QRect* it, const QRect* end)
{
    std::vector<QRect> out;
    out.reserve(std::size_t(end - it));
    std::size_t rowStart = 0, rowEnd = 0; // the last row kept in out
    while (it != end) {
        const int top = it->top(), bottom = it->bottom();
        const std::size_t start = out.size();
        for (; it != end && it->top() == top && it->bottom() == bottom; ++it) {
            if (out.size() > start && out.back().right() + 1 >= it->left())
                out.back().setRight(std::max(out.back().right(), it->right()));
            else
                out.push_back(*it);
        }
        const std::size_t count = out.size() - start;
        bool sameSpans = rowEnd > rowStart && out[rowStart].bottom() + 1 == top && rowEnd - rowStart == count;
        for (std::size_t i = 0; sameSpans && i < count; ++i)
            sameSpans = out[rowStart + i].left() == out[start + i].left() &&
                        out[rowStart + i].right() == out[start + i].right();
        if (sameSpans) {
            for (std::size_t i = rowStart; i < rowEnd; ++i)
                out[i].setBottom(bottom);
            out.resize(start);
        } else {
            rowStart = start;
            rowEnd = out.size();
        }
    }
    QRegion result;
    result.setRects(out.data(), int(out.size()));
    return result;
}

} // namespace

QRegion RegionOfRects(const std::vector<QRect>& rects)
{
    // Runs that are banded already (a stored shape is one run) become regions
    // as they are; the runs are then united in pairs, then pairs of pairs, so
    // each union costs the size of its two halves and the whole costs the
    // list's size times its depth.
    std::vector<QRegion> level;
    for (std::size_t from = 0; from < rects.size();) {
        std::size_t to = from + 1;
        while (to < rects.size() && ContinuesBands(rects[to - 1], rects[to]))
            ++to;
        level.push_back(Joined(rects.data() + from, rects.data() + to));
        from = to;
    }
    if (level.empty())
        return {};
    if (level.size() == 1)
        return level.front();
    while (level.size() > 1) {
        std::size_t kept = 0;
        for (std::size_t i = 0; i + 1 < level.size(); i += 2)
            level[kept++] = level[i].united(level[i + 1]);
        if (level.size() % 2)
            level[kept++] = std::move(level.back());
        level.resize(kept);
    }
    return Joined(level.front().begin(), level.front().end());
}
