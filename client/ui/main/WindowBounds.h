#pragma once
// Where a window with saved bounds opens: as saved while its title bar can be
// reached on a screen, else moved (and shrunk when larger) onto one, so it
// can be dragged.
#include <QRect>
#include <vector>

// screens: the available areas of the screens, the primary first.
QRect OnScreenBounds(const QRect& saved, const std::vector<QRect>& screens);
