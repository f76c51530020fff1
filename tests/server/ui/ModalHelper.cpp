#include "ModalHelper.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <QWidget>

void WhenModal(std::function<void(QWidget* dialog)> action)
{
    QPointer<QWidget> before = QApplication::activeModalWidget();
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, before, action] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal == before.data())
            return;
        timer->stop();
        timer->deleteLater();
        action(modal);
    });
    timer->start();
}

std::string Screenshot(QWidget* widget, const std::string& name)
{
    std::string path;
    SaveScreenshot(widget->grab().toImage(), name, &path);
    return path;
}

bool SaveScreenshot(const QImage& image, const std::string& name, std::string* path)
{
    // The folder is made by whichever test saves first, in whatever order the tests run.
    QDir().mkpath(SCREENSHOT_DIR);
    *path = std::string(SCREENSHOT_DIR) + "/" + name + ".png";
    return image.save(QString::fromStdString(*path));
}

int DarkPixels(const QImage& image)
{
    int dark = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            dark += qGray(image.pixel(x, y)) < 80;
    return dark;
}

bool WaitFor(const std::function<bool()>& done, int ms)
{
    for (int waited = 0; waited < ms; waited += 10) {
        if (done())
            return true;
        Pump(10);
    }
    return done();
}

void Pump(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}
