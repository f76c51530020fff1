#include "widgets/skColor.h"

#include <QGuiApplication>
#include <QPalette>

TColor ColorToRGB(TColor color)
{
    if (!(color & clSystemColor))
        return color;
    QPalette pal = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) ? QGuiApplication::palette()
                                                                                   : QPalette(QColor(240, 240, 240));
    QColor c;
    switch (color & 0xFF) {
    case 5: c = pal.color(QPalette::Base); break;
    case 8: c = pal.color(QPalette::WindowText); break;
    case 13: c = pal.color(QPalette::Highlight); break;
    case 14: c = pal.color(QPalette::HighlightedText); break;
    case 15: c = pal.color(QPalette::Button); break;
    case 16: c = pal.color(QPalette::Dark); break;
    case 17: c = pal.color(QPalette::Disabled, QPalette::WindowText); break;
    case 18: c = pal.color(QPalette::ButtonText); break;
    case 20: c = pal.color(QPalette::Light); break;
    case 22: c = pal.color(QPalette::Midlight); break;
    default: c = pal.color(QPalette::Window); break;
    }
    return FromQColor(c);
}

QColor ToQColor(TColor color)
{
    if (color == clNone)
        return QColor(Qt::transparent);
    if (color == clDefault)
        color = clWindowText;
    TColor c = ColorToRGB(color);
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

TColor FromQColor(const QColor& color)
{
    return RGBColor(color.red(), color.green(), color.blue());
}
