#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// One entry of a remote LIST reply. Callers classify it by Attr's first
// character: " " or "-" a file, "<" or "d" a folder, "l" a link (whose
// FileName holds "name -> target").
struct TDirAnalyze {
    std::string Attr;
    std::string Links;
    std::string Owner;
    std::string Group;
    std::string Size;
    std::string Month;
    std::string Day;
    std::string TimeOrYear;
    std::string FileName;

    bool operator==(const TDirAnalyze&) const = default;
};

// Appends one record per entry of a UNIX long listing or a DOS listing; the
// format is chosen by the first character of the first line (a digit: DOS).
// The text ends at its first 0 byte. "." and ".." never appear in the result.
void ParseDirListing(std::string_view text, std::vector<TDirAnalyze>& list);
void ParseDirListing(const char* text, std::vector<TDirAnalyze>& list);

// A listing's size text as a number: commas are ignored, and anything that
// is not a whole non-negative number is an unknown size, 0.
std::int64_t ListingSizeToInt64(std::string_view size);
