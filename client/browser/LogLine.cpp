#include "client/browser/LogLine.h"

#include <QPlainTextEdit>
#include <QScrollBar>

void AppendLogLine(QPlainTextEdit* Log, const std::string& Line, const char* Colour)
{
    Log->appendHtml(QString("<span style=\"color:%1; white-space:pre\">%2</span>")
                        .arg(Colour, QString::fromStdString(Line).toHtmlEscaped()));
    Log->verticalScrollBar()->setValue(Log->verticalScrollBar()->maximum());
}
