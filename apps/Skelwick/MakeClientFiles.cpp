// Writes the files the client starts from into a folder: the shipped
// settings, site book and broken-list store ("def_" copies the client copies
// on its first start), the logo picture and the parent-folder icon. Run by
// the build beside the program.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "client/engine/ClientSettings.h"
#include "client/engine/ConnBook.h"

namespace {

void PaintLogo(const QString& file)
{
    QImage img(400, 300, QImage::Format_RGB888);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 300);
    sky.setColorAt(0, QColor(18, 52, 86));
    sky.setColorAt(1, QColor(40, 110, 150));
    p.fillRect(img.rect(), sky);
    // Two hills and a path between them: files on their way.
    QPainterPath hills;
    hills.moveTo(0, 230);
    hills.cubicTo(90, 170, 160, 200, 220, 225);
    hills.cubicTo(280, 250, 340, 190, 400, 210);
    hills.lineTo(400, 300);
    hills.lineTo(0, 300);
    p.fillPath(hills, QColor(30, 70, 60));
    p.setPen(QPen(QColor(240, 200, 90), 4, Qt::DashLine));
    p.drawLine(40, 250, 360, 150);
    p.setBrush(QColor(240, 200, 90));
    p.setPen(Qt::NoPen);
    p.drawPolygon(QPolygon({{360, 150}, {340, 148}, {352, 166}}));
    p.setPen(Qt::white);
    QFont title("DejaVu Sans", 34, QFont::Bold);
    p.setFont(title);
    p.drawText(QRect(0, 50, 400, 60), Qt::AlignCenter, "Skelwick");
    p.setFont(QFont("DejaVu Sans", 12));
    p.drawText(QRect(0, 108, 400, 24), Qt::AlignCenter, "FTP client");
    p.setFont(QFont("DejaVu Sans", 9));
    p.drawText(QRect(0, 270, 392, 24), Qt::AlignRight | Qt::AlignVCenter, "Starting...");
    p.end();
    img.save(file, "BMP");
}

void PaintParentIcon(const QString& file)
{
    QImage img(16, 16, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(230, 190, 70));
    p.setPen(QColor(150, 110, 20));
    p.drawRect(1, 5, 13, 9);
    p.drawRect(1, 3, 5, 2);
    p.setPen(QPen(QColor(20, 60, 140), 2));
    p.drawLine(8, 12, 8, 6);
    p.drawLine(8, 6, 5, 9);
    p.drawLine(8, 6, 11, 9);
    p.end();
    img.save(file, "PNG");
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_client_files FOLDER\n");
        return 2;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    const std::string dir = std::string(argv[1]) + "/";
    QDir().mkpath(QString::fromStdString(dir + "ico"));

    TClientSettings settings;
    // The shipped history holds the local server of scripts/run.sh.
    settings.QuickConnectList = {"127.0.0.1:2121:guest:guest"};
    settings.LocalPath.clear();
    if (!settings.SaveToFile(dir + "def_setting.ini")) return 1;

    TConnBookData book;
    book.Clear();
    book.FolderNames[0] = "This computer";
    SiteBookRecord& site = book.Sites[0];
    site.FolderIndex = 1;
    site.Name = "Portlorn";
    site.Addr = "127.0.0.1";
    site.Port = "2121";
    site.User = "guest";
    site.Pass = "guest";
    site.Memo = "The server started by scripts/run.sh";
    book.SaveToFile(dir + "def_book20.dat");

    std::ofstream(dir + "def_oldquene.ini") << "";
    PaintLogo(QString::fromStdString(dir + "Logo.bmp"));
    PaintParentIcon(QString::fromStdString(dir + "ico/goup.png"));
    return 0;
}
