#include "client/ui/main/WindowBounds.h"

#include <algorithm>

namespace {

// A grip on the title bar: its top edge on the screen, this much of it high
// and wide enough to take with the mouse.
constexpr int GripHeight = 24;
constexpr int GripWidth = 100;

bool TitleReachable(const QRect& saved, const QRect& screen)
{
    if (saved.top() < screen.top() || saved.top() + std::min(saved.height(), GripHeight) > screen.bottom() + 1) return false;
    const int from = std::max(saved.left(), screen.left());
    const int to = std::min(saved.left() + saved.width(), screen.left() + screen.width());
    return to - from >= std::min(saved.width(), GripWidth);
}

} // namespace

QRect OnScreenBounds(const QRect& saved, const std::vector<QRect>& screens)
{
    if (screens.empty() || saved.width() <= 0 || saved.height() <= 0) return saved;
    for (const QRect& s : screens)
        if (TitleReachable(saved, s)) return saved;
    // The screen showing most of the window, the primary when none shows any.
    const QRect* best = &screens.front();
    long long most = 0;
    for (const QRect& s : screens) {
        const QRect both = s.intersected(saved);
        const long long area = both.isEmpty() ? 0 : 1LL * both.width() * both.height();
        if (area > most) {
            most = area;
            best = &s;
        }
    }
    const QRect& s = *best;
    const int w = std::min(saved.width(), s.width()), h = std::min(saved.height(), s.height());
    const int x = std::clamp(saved.left(), s.left(), s.left() + s.width() - w);
    const int y = std::clamp(saved.top(), s.top(), s.top() + s.height() - h);
    return {x, y, w, h};
}
