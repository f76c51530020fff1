#include "client/ui/main/FilePane.h"

#include <algorithm>
#include <cctype>

#include "client/engine/CommFunc.h"
#include "client/engine/DirListing.h"
#include "client/engine/FileListSort.h"

namespace {
char Lower(char c) { return char(std::tolower(static_cast<unsigned char>(c))); }

bool ContainsNoCase(std::string_view text, std::string_view part)
{
    if (part.empty()) return true;
    auto it = std::search(text.begin(), text.end(), part.begin(), part.end(),
                          [](char a, char b) { return Lower(a) == Lower(b); });
    return it != text.end();
}

void SplitAtLastDot(std::string_view text, std::string_view& name, std::string_view& ext)
{
    const auto dot = text.rfind('.');
    if (dot == std::string_view::npos) {
        name = text;
        ext = {};
        return;
    }
    name = text.substr(0, dot);
    ext = text.substr(dot + 1);
    if (name.empty()) name = text;
}
} // namespace

bool WildcardMatch(std::string_view pattern, std::string_view text)
{
    // Greedy match with one back-track point: linear for each "*".
    std::size_t p = 0, t = 0, star = std::string_view::npos, mark = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            mark = t;
        } else if (p < pattern.size() && Lower(pattern[p]) == Lower(text[t])) {
            ++p;
            ++t;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            t = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

bool FilterAccepts(const TlvFileInfo& entry, std::string_view filter, bool filterFolders)
{
    if (entry.Name == "..") return true;
    if (entry.IsDir && !filterFolders) return true;
    std::string_view fName, fExt, eName, eExt;
    SplitAtLastDot(filter, fName, fExt);
    SplitAtLastDot(entry.Name, eName, eExt);
    return WildcardMatch(fName, eName) && WildcardMatch(fExt, eExt);
}

std::int64_t RowSize(const TlvFileInfo& row) { return ListingSizeToInt64(row.Size); }

bool IsSafeLocalName(std::string_view name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

void TFilePane::SetFiles(std::vector<TlvFileInfo> files)
{
    Rows.clear();
    Files = std::move(files);
    ShowRows();
}

void TFilePane::ShowRows()
{
    Rows.clear();
    for (auto& f : Files)
        if (FilterAccepts(f, Filter, FilterFolders)) Rows.push_back(&f);
    SortFileList(Rows, SortAscending, SortColumn, DirectoryOnTop);
}

void TFilePane::Sort(int column)
{
    if (column == SortColumn) SortAscending = !SortAscending;
    else {
        SortColumn = column;
        SortAscending = true;
    }
    SortFileList(Rows, SortAscending, SortColumn, DirectoryOnTop);
}

std::string TFilePane::StatusText() const
{
    std::int64_t folders = 0, files = 0, bytes = 0;
    for (const TlvFileInfo* r : Rows) {
        if (r->Name == "..") continue;
        if (r->IsDir) ++folders;
        else {
            ++files;
            bytes += RowSize(*r);
        }
    }
    return std::to_string(folders) + " folder(s) " + std::to_string(files) + " file(s) " + FormatThousands(bytes) +
           " byte(s) listed";
}

int TFilePane::FindPrefix(std::string_view prefix, int from) const
{
    const int n = RowCount();
    if (n == 0 || prefix.empty()) return -1;
    for (int i = std::max(from, 0); i < n; ++i) {
        const std::string& name = Row(i).Name;
        if (name.size() >= prefix.size() &&
            std::equal(prefix.begin(), prefix.end(), name.begin(), [](char a, char b) { return Lower(a) == Lower(b); }))
            return i;
    }
    return -1;
}

int TFilePane::FindNext()
{
    for (int i = std::max(FindStart, 0); i < RowCount(); ++i) {
        if (ContainsNoCase(Row(i).Name, FindText)) {
            FindStart = i + 1;
            return i;
        }
    }
    return -1;
}

std::vector<bool> TFilePane::GroupSelect(std::string_view selector) const
{
    std::vector<bool> picked(Rows.size());
    for (std::size_t i = 0; i < Rows.size(); ++i)
        picked[i] = Rows[i]->Name != ".." && FilterAccepts(*Rows[i], selector, true);
    return picked;
}
