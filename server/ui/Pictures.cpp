#include "server/ui/Pictures.h"

#include <QPainter>
#include <QPainterPath>

QPixmap LampPixmap(bool running)
{
    QPixmap pm(9, 15);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QColor c = running ? QColor(0, 190, 0) : QColor(210, 0, 0);
    p.setPen(c.darker(160));
    p.setBrush(c);
    p.drawRoundedRect(QRectF(0.5, 0.5, 8, 14), 3, 3);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 120));
    p.drawEllipse(QRectF(2, 2, 3, 4));
    return pm;
}

QIcon PortlornIcon()
{
    QIcon icon;
    for (int size : {16, 32, 48}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        double u = size / 16.0;
        // A tower case with two drive bays and a green light.
        p.setPen(QPen(QColor(40, 40, 60), u));
        p.setBrush(QColor(90, 110, 160));
        p.drawRoundedRect(QRectF(3 * u, 1 * u, 10 * u, 14 * u), 1.5 * u, 1.5 * u);
        p.setBrush(QColor(200, 210, 230));
        p.drawRect(QRectF(5 * u, 3 * u, 6 * u, 2 * u));
        p.drawRect(QRectF(5 * u, 6.5 * u, 6 * u, 2 * u));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 210, 0));
        p.drawEllipse(QRectF(9 * u, 11.5 * u, 2 * u, 2 * u));
        icon.addPixmap(pm);
    }
    return icon;
}

QPixmap UserPicture()
{
    QPixmap pm(48, 48);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(40, 60, 100), 1.5));
    p.setBrush(QColor(110, 150, 210));
    p.drawEllipse(QRectF(16, 6, 16, 16));
    QPainterPath body;
    body.moveTo(6, 44);
    body.cubicTo(6, 26, 42, 26, 42, 44);
    body.closeSubpath();
    p.drawPath(body);
    return pm;
}

QPixmap GlyphPixmap(int kind)
{
    QPixmap pm(12, 12);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    switch (kind) {
    case 0:
        for (int i = 0; i < 3; ++i)
            p.drawEllipse(QRectF(1 + i * 4, 8, 2, 2));
        break;
    case 1: {
        QPolygonF arrow;
        arrow << QPointF(2, 4) << QPointF(10, 4) << QPointF(6, 9);
        p.drawPolygon(arrow);
        break;
    }
    default: {
        p.setPen(QPen(QColor(120, 90, 0), 1));
        p.setBrush(QColor(240, 200, 60));
        QPolygonF folder;
        folder << QPointF(0.5, 2.5) << QPointF(4.5, 2.5) << QPointF(5.5, 4) << QPointF(11.5, 4)
               << QPointF(11.5, 10.5) << QPointF(0.5, 10.5);
        p.drawPolygon(folder);
        break;
    }
    }
    return pm;
}
