#pragma once
// The shell's drag-and-drop formats by name, and how a drag's data offers
// them: under their own name, or wrapped the way Qt names a Windows format.
// Qt itself starts and ends the drag-and-drop machinery of the process.
#include <QString>

class QMimeData;

extern const char* const CFSTR_FILECONTENTS;       // "FileContents"
extern const char* const CFSTR_FILEDESCRIPTOR;     // "FileGroupDescriptor"
extern const char* const CFSTR_SHELLIDLIST;        // "Shell IDList Array"
extern const char* const CFSTR_PREFERREDDROPEFFECT; // "Preferred DropEffect"
extern const char* const CFSTR_SHELLURL;           // "UniformResourceLocator"
extern const char* const CFSTR_FILENAMEMAP;        // "FileNameMap"
extern const char* const CFSTR_FILENAMEMAPW;       // "FileNameMapW"

// The MIME format of data under which the named format is offered; empty
// when it is not.
QString FindFormat(const QMimeData* data, const char* name);
