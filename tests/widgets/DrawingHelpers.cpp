#include "DrawingHelpers.h"

QFont ExactFont(int pixelSize)
{
    QFont font("DejaVu Sans");
    font.setPixelSize(pixelSize);
    font.setStyleStrategy(QFont::NoAntialias);
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

QRect InkBox(const QImage& image, const std::function<bool(QRgb)>& pred)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (pred(image.pixel(x, y)))
                box |= QRect(x, y, 1, 1);
    return box;
}

QRect InkBox(const QImage& image, QRgb color)
{
    return InkBox(image, [color](QRgb p) { return (p & 0xFFFFFF) == (color & 0xFFFFFF); });
}

QImage WhiteCanvas(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

void Fill(TskBitmap& b, int width, int height, std::initializer_list<std::uint32_t> pixels)
{
    b.SetSize(width, height);
    auto it = pixels.begin();
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width && it != pixels.end(); ++x)
            b.SetPixel(x, y, *it++);
}
