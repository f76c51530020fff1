#pragma once
#include <string>

// One row of a file pane (local or remote).
struct TlvFileInfo {
    std::string Name;     // ".." for the parent row
    std::string Size;     // digits grouped by "," (FormatThousands)
    std::string DateTime; // local "yy-mm-dd hh:mm"; remote time-or-year, month, day
    std::string Attr;     // remote only: the listing's permission text
    int ImageIndex = 0;   // small system image; -1 for ".."
    bool IsDir = false;
};
