#pragma once
// Appends one coloured line to a browsing window's log and keeps the newest
// line in view.
#include <string>

class QPlainTextEdit;

void AppendLogLine(QPlainTextEdit* Log, const std::string& Line, const char* Colour);
