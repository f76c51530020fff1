#include "client/ui/main/PaneIcons.h"

#include <QStandardPaths>

namespace {
// The text after the last "." of a name, lower case; empty without one (or
// for a name whose only "." leads it, a hidden file without extension).
QString Extension(const QString& name)
{
    const qsizetype dot = name.lastIndexOf('.');
    return dot > 0 ? name.mid(dot + 1).toLower() : QString();
}
} // namespace

void UseSharedIconThemes()
{
    if (!QIcon::themeName().isEmpty() && QIcon::themeName() != "hicolor") return;
    QStringList paths = QIcon::themeSearchPaths();
    for (const QString& dir :
         QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, "icons", QStandardPaths::LocateDirectory))
        if (!paths.contains(dir)) paths << dir;
    QIcon::setThemeSearchPaths(paths);
    QIcon::setThemeName("hicolor");
    if (QIcon::fallbackThemeName().isEmpty() || QIcon::fallbackThemeName() == "hicolor")
        QIcon::setFallbackThemeName("Adwaita");
}

TPaneIcons::TPaneIcons(QIcon parent, QIcon folder, QIcon file)
    : FParent(std::move(parent)), FFolder(std::move(folder)), FFile(std::move(file))
{
}

const TPaneIcons::TEntry& TPaneIcons::Lookup(const QString& name)
{
    const QString ext = Extension(name);
    auto it = FByExtension.find(ext);
    if (it != FByExtension.end()) return it->second;
    TEntry entry;
    if (!ext.isEmpty()) {
        // A made-up name with the same extension: the type depends on nothing else.
        const QMimeType mime = FMime.mimeTypeForFile("a." + ext, QMimeDatabase::MatchExtension);
        if (!mime.isDefault()) {
            for (const QString& icon : {mime.iconName(), mime.genericIconName()}) {
                if (!icon.isEmpty() && QIcon::hasThemeIcon(icon)) {
                    entry.IconName = icon;
                    entry.Icon = QIcon::fromTheme(icon);
                    break;
                }
            }
        }
    }
    if (entry.IconName.isEmpty()) entry.Icon = FFile;
    return FByExtension.emplace(ext, std::move(entry)).first->second;
}

const QIcon& TPaneIcons::FileType(const QString& name) { return Lookup(name).Icon; }

