#pragma once
// A window shape from a list of rectangles, in time that grows with the
// list (adding them one at a time to a region is quadratic when they come
// unsorted).
#include <QRect>
#include <QRegion>
#include <vector>

// The union of the rectangles (none empty), in its one banded form: rows of
// rectangles sorted top to bottom and left to right, no two in a row
// touching, no two touching rows with the same spans. Any order of the same
// rectangles gives the same rectangles back.
QRegion RegionOfRects(const std::vector<QRect>& rects);
