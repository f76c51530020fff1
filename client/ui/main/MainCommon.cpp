#include "client/ui/main/MainCommon.h"

#include <QColor>
#include <QDateTime>
#include <QLocale>
#include <QPainter>
#include <QPixmap>

#include <algorithm>

#include "platform/dialogs/Dialogs.h"

namespace mainwin {

std::string WithSlash(std::string p)
{
    if (p.empty() || p.back() != '/') p += '/';
    return p;
}

std::string NowText()
{
    return S(QLocale::system().toString(QDateTime::currentDateTime(), QLocale::ShortFormat));
}

QIcon RowIcon(int image)
{
    static const QColor colours[] = {QColor(128, 128, 128), QColor(230, 160, 0), QColor(0, 160, 0)};
    QPixmap p(12, 12);
    p.fill(Qt::transparent);
    QPainter painter(&p);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(colours[std::clamp(image, 0, 2)]);
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(1, 1, 10, 10);
    return QIcon(p);
}

bool AskText(const std::string& caption, const std::string& prompt, std::string& text)
{
    if (!Dialogs().InputQuery(caption, prompt, text)) return false;
    text.erase(0, text.find_first_not_of(' '));
    text.erase(text.find_last_not_of(' ') + 1);
    return !text.empty();
}

bool AskName(const std::string& caption, const std::string& prompt, std::string& name)
{
    // Blanks at either end belong to the name: a file may be called so.
    return Dialogs().InputQuery(caption, prompt, name) && !name.empty();
}

} // namespace mainwin
