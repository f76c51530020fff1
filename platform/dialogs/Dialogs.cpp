#include "platform/dialogs/Dialogs.h"

#include <QApplication>
#include <QWidget>

#include "platform/dialogs/QtDialogs.h"

namespace {

std::unique_ptr<TDialogs>& Current()
{
    static std::unique_ptr<TDialogs> current = std::make_unique<TQtDialogs>();
    return current;
}

std::string& Title()
{
    static std::string title;
    return title;
}

} // namespace

QWidget* TDialogs::ParentWindow() const
{
    if (parent_)
        return parent_;
    return QApplication::activeWindow();
}

std::string TDialogs::InputBox(const std::string& caption, const std::string& prompt,
                               const std::string& defaultValue)
{
    std::string value = defaultValue;
    if (!InputQuery(caption, prompt, value))
        return defaultValue;
    return value;
}

TDialogs& Dialogs()
{
    return *Current();
}

std::unique_ptr<TDialogs> SetDialogs(std::unique_ptr<TDialogs> dialogs)
{
    if (!dialogs)
        dialogs = std::make_unique<TQtDialogs>();
    std::swap(Current(), dialogs);
    return dialogs;
}

std::string ApplicationTitle()
{
    if (!Title().empty())
        return Title();
    return QCoreApplication::applicationName().toStdString();
}

void SetApplicationTitle(const std::string& title)
{
    Title() = title;
}
