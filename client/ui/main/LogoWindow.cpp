#include "client/ui/main/LogoWindow.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

TLogoWindow::TLogoWindow(const std::string& programDir)
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setObjectName("SKELWICK_LOGO_WND");
    setWindowTitle("SKELWICK_LOGO_WND");
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFixedSize(400, 300);
    FPicture.load(QString::fromStdString(programDir + "Logo.bmp"));
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect r = screen->geometry();
        move(r.x() + (r.width() - 400) / 2, r.y() + (r.height() - 300) / 2);
    }
}

void TLogoWindow::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (FPicture.isNull()) p.fillRect(rect(), palette().window());
    else p.drawPixmap(0, 0, FPicture, 0, 0, 400, 300);
}
