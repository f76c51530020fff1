#pragma once
// Small helpers of the drawing tests: exact fonts and ink boxes by colour.
#include <QFont>
#include <QImage>
#include <QRect>
#include <cstdint>
#include <functional>
#include <initializer_list>

#include "widgets/skBitmap.h"

// A sans font of a fixed pixel size without anti-aliasing, so every drawn
// pixel has exactly the colour it was drawn in.
QFont ExactFont(int pixelSize = 20);
// The box around every pixel of that colour; null when there is none.
QRect InkBox(const QImage& image, QRgb color);
QRect InkBox(const QImage& image, const std::function<bool(QRgb)>& pred);
// A white RGB32 picture to draw on.
QImage WhiteCanvas(int width, int height);
// A bitmap of width x height with the pixels (in pixel order 0xRRGGBB) given row by row.
void Fill(TskBitmap& b, int width, int height, std::initializer_list<std::uint32_t> pixels);
