#include "platform/dragdrop/DropSource.h"

#include <QMimeData>
#include <QStringList>

const char* const CFSTR_FILECONTENTS = "FileContents";
const char* const CFSTR_FILEDESCRIPTOR = "FileGroupDescriptor";
const char* const CFSTR_SHELLIDLIST = "Shell IDList Array";
const char* const CFSTR_PREFERREDDROPEFFECT = "Preferred DropEffect";
const char* const CFSTR_SHELLURL = "UniformResourceLocator";
const char* const CFSTR_FILENAMEMAP = "FileNameMap";
const char* const CFSTR_FILENAMEMAPW = "FileNameMapW";

QString FindFormat(const QMimeData* data, const char* name)
{
    if (!data)
        return {};
    const QString plain = QString::fromLatin1(name);
    const QString wrapped = QStringLiteral("application/x-qt-windows-mime;value=\"%1\"").arg(plain);
    for (const QString& format : data->formats())
        if (format == plain || format == wrapped)
            return format;
    return {};
}
