#include "client/engine/DirListing.h"

#include <sys/mman.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimView(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

bool IsDigits(std::string_view s)
{
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

bool IsMonthName(std::string_view s)
{
    static const char* const names[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                        "jul", "aug", "sep", "oct", "nov", "dec"};
    if (s.size() != 3) return false;
    for (const char* n : names) {
        bool same = true;
        for (int i = 0; i < 3 && same; ++i) same = (s[i] | 0x20) == n[i];
        if (same) return true;
    }
    return false;
}

bool IsDotName(std::string_view name) { return name == "." || name == ".."; }

// Cuts the next blank-separated field off the front of rest; the field and the
// rest are trimmed, so runs of blanks separate like one.
std::string_view NextField(std::string_view& rest, std::size_t* start = nullptr, const char* base = nullptr)
{
    rest = TrimView(rest);
    if (start) *start = std::size_t(rest.data() - base);
    std::size_t n = 0;
    while (n < rest.size() && !IsBlank(rest[n])) ++n;
    std::string_view field = rest.substr(0, n);
    rest.remove_prefix(n);
    rest = TrimView(rest);
    return field;
}

void ParseUnixLine(std::string_view line, std::vector<TDirAnalyze>& list)
{
    if (line.empty() || (line[0] != '-' && line[0] != 'd' && line[0] != 'l')) return;
    std::string_view rest = line;
    std::string_view f[8];
    std::size_t start[8] = {};
    for (int i = 0; i < 8; ++i) f[i] = NextField(rest, &start[i], line.data());
    TDirAnalyze e;
    e.Attr = f[0];
    e.Links = f[1];
    if (rest.empty() || (!IsMonthName(f[5]) && IsMonthName(f[4]) && IsDigits(f[3]))) {
        // No group column: everything from the owner on sits one place to the
        // right. When the name holds blanks it begins at the eighth field.
        e.Group = f[2];
        e.Size = f[3];
        e.Month = f[4];
        e.Day = f[5];
        e.TimeOrYear = f[6];
        e.FileName = TrimView(line.substr(start[7]));
    } else {
        e.Owner = f[2];
        e.Group = f[3];
        e.Size = f[4];
        e.Month = f[5];
        e.Day = f[6];
        e.TimeOrYear = f[7];
        e.FileName = rest;
    }
    if (e.FileName.empty() || IsDotName(e.FileName)) return;
    list.push_back(std::move(e));
}

// "10:15PM" -> "22:15"; a time without AM/PM keeps its first five characters.
std::string DosTime(std::string_view token)
{
    int hours = 0, minutes = 0;
    char suffix[3] = {};
    std::string t(token.substr(0, 16));
    if (std::sscanf(t.c_str(), "%2d:%2d%2s", &hours, &minutes, suffix) == 3 && hours >= 1 &&
        hours <= 12 && minutes >= 0 && minutes < 60) {
        char a = char(suffix[0] | 0x20), m = char(suffix[1] | 0x20);
        if ((a == 'a' || a == 'p') && m == 'm') {
            hours = hours % 12 + (a == 'p' ? 12 : 0);
            char out[8];
            std::snprintf(out, sizeof out, "%02d:%02d", hours, minutes);
            return out;
        }
    }
    return std::string(token.substr(0, 5));
}

void ParseDosLine(std::string_view line, std::vector<TDirAnalyze>& list)
{
    std::string_view rest = TrimView(line);
    std::string_view date = NextField(rest);
    std::string_view time = NextField(rest);
    std::string_view size = NextField(rest);
    std::string_view name = rest;
    // Lines that are not entries (summaries, blank lines) have no date and time.
    if (date.empty() || date[0] < '0' || date[0] > '9' ||
        date.find_first_of("-/.") == std::string_view::npos ||
        time.find(':') == std::string_view::npos || size.empty() || name.empty())
        return;
    if (IsDotName(name)) return;
    TDirAnalyze e;
    if (size == "<DIR>") {
        e.Attr = "<DIR>";
        e.Size = "0";
    } else {
        e.Attr = "     ";
        e.Size = size;
    }
    e.Month = date;
    e.TimeOrYear = DosTime(time);
    e.FileName = name;
    list.push_back(std::move(e));
}

// Records of a long listing fill hundreds of megabytes of fresh memory; in
// large pages that costs a few hundred page faults instead of tens of thousands.
void AdviseHugePages(void* start, std::size_t length)
{
    constexpr std::size_t kHuge = 2 * 1024 * 1024;
    if (length < 4 * kHuge) return;
    auto begin = (reinterpret_cast<std::uintptr_t>(start) + kHuge - 1) & ~(kHuge - 1);
    auto end = (reinterpret_cast<std::uintptr_t>(start) + length) & ~(kHuge - 1);
    if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

} // namespace

void ParseDirListing(std::string_view text, std::vector<TDirAnalyze>& list)
{
    if (auto nul = text.find('\0'); nul != std::string_view::npos) text = text.substr(0, nul);
    if (text.empty()) return;
    // One record per line at most: room for all of them up front, so a long
    // listing is not moved again and again as the list grows. A list that is
    // already filled at least doubles, so appending line by line stays linear.
    std::size_t lines = 1;
    for (const char* p = text.data(); (p = static_cast<const char*>(std::memchr(p, '\n', std::size_t(text.data() + text.size() - p)))); ++p)
        ++lines;
    if (const std::size_t needed = list.size() + lines; needed > list.capacity()) {
        list.reserve(std::max(needed, 2 * list.capacity()));
        AdviseHugePages(list.data() + list.size(), (list.capacity() - list.size()) * sizeof(TDirAnalyze));
    }
    enum { Unknown, Unix, Dos } format = Unknown;
    while (!text.empty()) {
        std::size_t end = text.find_first_of("\r\n");
        std::string_view line = text.substr(0, end);
        if (end == std::string_view::npos) {
            text = {};
        } else {
            text.remove_prefix(end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1));
        }
        if (line.empty()) continue;
        if (format == Unknown) format = (line[0] >= '0' && line[0] <= '9') ? Dos : Unix;
        if (format == Dos) ParseDosLine(line, list);
        else ParseUnixLine(line, list);
    }
}

void ParseDirListing(const char* text, std::vector<TDirAnalyze>& list)
{
    if (text) ParseDirListing(std::string_view(text, std::strlen(text)), list);
}

std::int64_t ListingSizeToInt64(std::string_view size)
{
    std::string digits;
    for (char c : TrimView(size))
        if (c != ',') digits.push_back(c);
    if (!IsDigits(digits)) return 0;
    std::int64_t value = 0;
    auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec != std::errc() || ptr != digits.data() + digits.size()) return 0;
    return value;
}
