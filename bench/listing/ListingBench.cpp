// Times the remote listing parser on a 1,000,000-line UNIX listing, 4,000
// one-line appends to a list, and the file-pane sort on 100,000 rows. Target:
// under a second each.
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "client/engine/CommFunc.h"
#include "client/engine/DirListing.h"
#include "client/engine/FileListSort.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::string MakeListing(int lines, std::mt19937& random)
{
    std::string text = "total 123456\r\n";
    text.reserve(std::size_t(lines) * 72);
    char line[256];
    for (int i = 0; i < lines; ++i) {
        unsigned r = random();
        const char* attr = r % 10 == 0 ? "drwxr-xr-x" : r % 17 == 0 ? "lrwxrwxrwx" : "-rw-r--r--";
        unsigned long long size = (unsigned long long)(random()) * (r % 5 == 0 ? 4096ULL : 1ULL);
        const char* month = kMonths[r % 12];
        int day = int(r / 12 % 28) + 1;
        char when[8];
        if (r % 3) std::snprintf(when, sizeof when, "%02d:%02d", int(r / 7 % 24), int(r / 11 % 60));
        else std::snprintf(when, sizeof when, " %d", 1990 + int(r / 13 % 36));
        if (attr[0] == 'l')
            std::snprintf(line, sizeof line, "%s    1 1000     1000     %10llu %s %2d %5s link %d -> target/%d\r\n",
                          attr, size, month, day, when, i, i);
        else
            std::snprintf(line, sizeof line, "%s    1 1000     1000     %10llu %s %2d %5s file name %d.%s\r\n",
                          attr, size, month, day, when, i, r % 4 ? "txt" : "tar.gz");
        text += line;
    }
    return text;
}

} // namespace

int main()
{
    std::mt19937 random(12345);
    const std::string listing = MakeListing(1000000, random);

    double best = 1e9;
    std::size_t entries = 0;
    for (int run = 0; run < 3; ++run) {
        std::vector<TDirAnalyze> list;
        auto start = Clock::now();
        ParseDirListing(listing, list);
        best = std::min(best, Seconds(start));
        entries = list.size();
    }
    std::printf("parse 1,000,000-line UNIX listing (%.1f MB, %zu entries): %.3f s\n",
                double(listing.size()) / 1e6, entries, best);

    // A listing that arrives a line at a time: each call appends to the list.
    std::vector<std::string> lines;
    for (std::size_t at = listing.find('\n') + 1; lines.size() < 4000; at = listing.find('\n', at) + 1)
        lines.push_back(listing.substr(at, listing.find('\n', at) + 1 - at));
    double appends = 1e9;
    for (int run = 0; run < 3; ++run) {
        std::vector<TDirAnalyze> list;
        auto start = Clock::now();
        for (const auto& line : lines) ParseDirListing(line, list);
        appends = std::min(appends, Seconds(start));
    }
    std::printf("append 4,000 one-line listings to one list: %.3f s\n", appends);

    std::vector<TDirAnalyze> parsed;
    ParseDirListing(listing, parsed);
    std::vector<TlvFileInfo> rows;
    rows.push_back({"..", "", "", "", -1, true});
    for (std::size_t i = 0; rows.size() < 100000; ++i) {
        const TDirAnalyze& e = parsed[i];
        rows.push_back({e.FileName, FormatThousands(e.Size), e.TimeOrYear + " " + e.Month + " " + e.Day,
                        e.Attr, 0, e.Attr[0] == 'd'});
    }
    const char* names[] = {"name", "size", "date", "extension"};
    for (int column = 0; column < 4; ++column) {
        for (bool ascending : {true, false}) {
            double fastest = 1e9;
            for (int run = 0; run < 3; ++run) {
                std::vector<TlvFileInfo*> view;
                for (auto& r : rows) view.push_back(&r);
                auto start = Clock::now();
                SortFileList(view, ascending, column, true);
                fastest = std::min(fastest, Seconds(start));
            }
            std::printf("sort 100,000 rows by %-9s %-10s: %.3f s\n", names[column],
                        ascending ? "ascending" : "descending", fastest);
        }
    }
    return 0;
}
