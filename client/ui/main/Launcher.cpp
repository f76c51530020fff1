#include "client/ui/main/Launcher.h"

#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

bool StartDetached(const std::string& program, const std::vector<std::string>& args)
{
    QStringList list;
    for (const auto& a : args) list << QString::fromStdString(a);
    return QProcess::startDetached(QString::fromStdString(program), list);
}

bool IsRunnableFile(const std::string& file)
{
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) return true; // unknown: never hand it to "open"
    if (st.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) return true;
    const QMimeType type = QMimeDatabase().mimeTypeForFile(QString::fromStdString(file));
    for (const char* runnable : {"application/x-executable", "application/x-sharedlib", "application/x-pie-executable",
                                 "application/x-shellscript", "application/x-desktop", "application/x-ms-dos-executable",
                                 "application/x-msdownload", "application/x-java-archive", "application/vnd.appimage",
                                 "application/x-perl", "text/x-python", "application/x-ruby", "application/x-python"}) {
        if (type.inherits(runnable)) return true;
    }
    return false;
}

std::vector<std::string> EditViewCommand(const std::string& file, const std::string& editor)
{
    if (!editor.empty()) return {editor, file};
    if (!IsRunnableFile(file)) {
        const QString open = QStandardPaths::findExecutable("xdg-open");
        if (!open.isEmpty()) return {open.toStdString(), file};
    }
    for (const char* name : {"mousepad", "gedit", "gnome-text-editor", "kate", "kwrite", "xed", "pluma", "featherpad",
                             "leafpad", "geany", "xedit"}) {
        const QString path = QStandardPaths::findExecutable(name);
        if (!path.isEmpty()) return {path.toStdString(), file};
    }
    return {};
}

bool OpenForEditOrView(const std::string& file, const std::string& editor, const TStartProgram& start)
{
    const auto command = EditViewCommand(file, editor);
    if (command.empty()) return false;
    return start(command[0], {command.begin() + 1, command.end()});
}

bool ExecuteFile(const std::string& file, const TStartProgram& start)
{
    if (::access(file.c_str(), X_OK) != 0) return false;
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    return start(file, {});
}

std::vector<std::string> DesktopOpenCommand(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0) return {path};
    const QString open = QStandardPaths::findExecutable("xdg-open");
    return {open.isEmpty() ? std::string("xdg-open") : open.toStdString(), path};
}

bool OpenWithDesktop(const std::string& path, const TStartProgram& start)
{
    const auto command = DesktopOpenCommand(path);
    return start(command[0], {command.begin() + 1, command.end()});
}

std::string ReadTextFile(const std::string& file, std::size_t maxBytes)
{
    std::ifstream in(file, std::ios::binary);
    std::string text(maxBytes, '\0');
    in.read(text.data(), std::streamsize(maxBytes));
    text.resize(std::size_t(in.gcount()));
    return text;
}
