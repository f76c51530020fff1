#pragma once
// The pictures of the file panes: the parent row, folders, and files by their
// type. A file's type is taken from its name alone (never from the disk: a
// remote name is no local path), and each extension is looked up once.
#include <QIcon>
#include <QMimeDatabase>
#include <QString>
#include <map>

class TPaneIcons {
public:
    // parent: the ".." row's picture; folder and file: the pictures of a
    // folder and of a file of no known type.
    TPaneIcons(QIcon parent, QIcon folder, QIcon file);

    const QIcon& Parent() const { return FParent; }
    const QIcon& Folder() const { return FFolder; }
    // The picture of the file type of name (by its extension, any case).
    const QIcon& FileType(const QString& name);

private:
    struct TEntry {
        QString IconName;
        QIcon Icon;
    };
    const TEntry& Lookup(const QString& name);

    QIcon FParent, FFolder, FFile;
    QMimeDatabase FMime;
    std::map<QString, TEntry> FByExtension;
};

// Where the platform names no icon theme (a bare X server, offscreen), the
// desktop's shared icons are looked up in "hicolor" and then "Adwaita".
void UseSharedIconThemes();
