#include "client/engine/FileListSort.h"

#include <algorithm>
#include <cstdint>
#include <numeric>

#include "client/engine/CommFunc.h"
#include "client/engine/DirListing.h"
#include "rtl/StrUtils.h"

namespace {

std::vector<std::string_view> Words(std::string_view text)
{
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && text[i] == ' ') ++i;
        std::size_t start = i;
        while (i < text.size() && text[i] != ' ') ++i;
        if (i > start) words.push_back(text.substr(start, i - start));
    }
    return words;
}

std::string TwoDigits(std::string_view s) { return s.size() == 1 ? "0" + std::string(s) : std::string(s); }

std::string CenturyFor(std::string_view yy)
{
    return (yy.size() >= 2 && (yy[0] - '0') * 10 + (yy[1] - '0') >= 50) ? "19" : "20";
}

// Date texts of local rows ("yy-mm-dd hh:mm") and of DOS listings
// ("hh:mm mm-dd-yy" or with a four-digit year).
std::string DashedDateKey(std::string_view text)
{
    auto w = Words(text);
    if (w.empty()) return {};
    if (w[0].find(':') == std::string_view::npos || w.size() < 2) {
        std::string t(text);
        return CenturyFor(t) + t;
    }
    std::string_view time = w[0], date = w[1];
    // Month first, as DOS writes it: year, month and day put in sortable order.
    auto d1 = date.find('-'), d2 = date.rfind('-');
    if (d1 != std::string_view::npos && d2 != d1 && d1 <= 2) {
        std::string_view mm = date.substr(0, d1), dd = date.substr(d1 + 1, d2 - d1 - 1), yy = date.substr(d2 + 1);
        std::string year = yy.size() == 2 ? CenturyFor(yy) + std::string(yy) : std::string(yy);
        return year + "-" + TwoDigits(mm) + "-" + TwoDigits(dd) + " " + std::string(time);
    }
    return std::string(date) + " " + std::string(time);
}

struct Row {
    std::size_t index;
    bool dotdot;
    bool dir;
    std::int64_t size;
    std::string key;
};

} // namespace

std::string ListingDateKey(std::string_view text, std::time_t now)
{
    auto w = Words(text);
    std::string_view first = w.size() > 0 ? w[0] : "", month = w.size() > 1 ? w[1] : "", day = w.size() > 2 ? w[2] : "";
    std::string mm = MonthToNumber(month), dd = TwoDigits(day);
    if (first.find(':') == std::string_view::npos) return std::string(first) + mm + dd;
    std::tm local {};
    localtime_r(&now, &local);
    int year = local.tm_year + 1900;
    // A month and day more than a day ahead of today belong to last year.
    int stamp = rtl::StrToIntDef(mm, 0) * 100 + rtl::StrToIntDef(day, 0);
    int today = (local.tm_mon + 1) * 100 + local.tm_mday;
    if (stamp > today + 1) --year;
    return std::to_string(year) + mm + dd + std::string(first);
}

std::pair<std::string, std::string> ListingDateKey(std::string_view a, std::string_view b, std::time_t now)
{
    return {ListingDateKey(a, now), ListingDateKey(b, now)};
}

void SortFileList(std::vector<TlvFileInfo*>& rows, bool ascending, int column, bool directoryOnTop,
                  std::time_t now)
{
    std::vector<Row> keyed;
    keyed.reserve(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const TlvFileInfo& r = *rows[i];
        Row k {i, r.Name == "..", r.IsDir, 0, {}};
        switch (column) {
        case 0: k.key = rtl::UpperCase(r.Name); break;
        case 1: k.size = ListingSizeToInt64(r.Size); break;
        case 2:
            k.key = r.DateTime.find('-') != std::string::npos ? DashedDateKey(r.DateTime)
                                                               : ListingDateKey(r.DateTime, now);
            break;
        case 3: k.key = rtl::UpperCase(ExtractExtension(r.Name)); break;
        default: break;
        }
        keyed.push_back(std::move(k));
    }
    auto before = [&](const Row& a, const Row& b) {
        if (a.dotdot || b.dotdot) return a.dotdot && !b.dotdot;
        if (directoryOnTop && a.dir != b.dir) return a.dir;
        const Row& x = ascending ? a : b;
        const Row& y = ascending ? b : a;
        return column == 1 ? x.size < y.size : x.key < y.key;
    };
    std::stable_sort(keyed.begin(), keyed.end(), before);
    std::vector<TlvFileInfo*> sorted;
    sorted.reserve(rows.size());
    for (const Row& k : keyed) sorted.push_back(rows[k.index]);
    rows.swap(sorted);
}

void SortFileList(std::vector<TlvFileInfo>& rows, bool ascending, int column, bool directoryOnTop,
                  std::time_t now)
{
    std::vector<TlvFileInfo*> pointers;
    pointers.reserve(rows.size());
    for (auto& r : rows) pointers.push_back(&r);
    SortFileList(pointers, ascending, column, directoryOnTop, now);
    std::vector<TlvFileInfo> sorted;
    sorted.reserve(rows.size());
    for (auto* p : pointers) sorted.push_back(std::move(*p));
    rows.swap(sorted);
}
