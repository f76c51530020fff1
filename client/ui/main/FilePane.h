#pragma once
// The rows of one file pane, kept apart from the view so they can be driven
// without a screen: all entries of the folder, the filtered and sorted rows
// shown, the filter, the sort key and direction, and the searches.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "client/engine/LvFileInfo.h"

// Case-insensitive; "*" stands for any run of characters, also an empty one.
bool WildcardMatch(std::string_view pattern, std::string_view text);
// A name and a filter are each split at their last "."; both halves must
// match. ".." always passes; a folder passes unless filterFolders is on.
bool FilterAccepts(const TlvFileInfo& entry, std::string_view filter, bool filterFolders);

class TFilePane {
public:
    std::vector<TlvFileInfo> Files;    // every entry of the folder, ".." first
    std::vector<TlvFileInfo*> Rows;    // those that pass the filter, in display order
    std::string Filter = "*.*";
    bool FilterFolders = false;
    int SortColumn = 0;
    bool SortAscending = true;
    bool DirectoryOnTop = true;
    std::string FindText;
    int FindStart = 0;

    // Replaces the entries and shows them.
    void SetFiles(std::vector<TlvFileInfo> files);
    // Filters and sorts Files into Rows.
    void ShowRows();
    // A new key sorts ascending; the same key again reverses the direction.
    void Sort(int column);
    int RowCount() const { return int(Rows.size()); }
    const TlvFileInfo& Row(int i) const { return *Rows[std::size_t(i)]; }
    // folders " folder(s) " files " file(s) " bytes " byte(s) listed"
    std::string StatusText() const;
    // Typing to find: the first row from `from` on whose name
    // begins with prefix, any case; -1 when none.
    int FindPrefix(std::string_view prefix, int from) const;
    // "Find Next": the first row from FindStart on whose name contains
    // FindText, any case; FindStart moves past it. -1 when none.
    int FindNext();
    // The rows a group selector picks (folders are filtered too; ".." never).
    std::vector<bool> GroupSelect(std::string_view selector) const;
};

// 64-bit size of a row ("1,234" -> 1234); a text that is not a number is 0.
std::int64_t RowSize(const TlvFileInfo& row);
// A name a local file action may take: not empty, not "." or "..", and
// holding no "/" (nothing may reach outside the local folder). Names that
// are queued are held to the engine's IsSafeEntryName.
bool IsSafeLocalName(std::string_view name);
