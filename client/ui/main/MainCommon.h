#pragma once
// Small helpers the main window's source files share.
#include <QIcon>
#include <QString>
#include <string>

namespace mainwin {

inline QString Q(const std::string& s) { return QString::fromStdString(s); }
inline std::string S(const QString& s) { return s.toStdString(); }

// The path with one trailing "/".
std::string WithSlash(std::string p);
// Now in the system's short date and time format.
std::string NowText();
// The small pictures of the status rows: 0 idle, 1 busy, 2 connected.
QIcon RowIcon(int image);
// Asks for a text; false when cancelled or left empty.
bool AskText(const std::string& caption, const std::string& prompt, std::string& text);
// Asks for a name, kept as typed; false when cancelled or left empty.
bool AskName(const std::string& caption, const std::string& prompt, std::string& name);

} // namespace mainwin
