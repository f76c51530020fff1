// Which row of a remote listing is viewed on its own after a connect.
#include <gtest/gtest.h>

#include <algorithm>

#include "client/ui/main/IndexFile.h"

namespace {

TEST(IndexFile, TheFirstSmallListedFileInDisplayOrder)
{
    std::vector<TlvFileInfo> files = {
        {"..", "", "", "", -1, true},
        {"index.html", "0", "", "d", 0, true},   // a folder of that name is no file to view
        {"big.txt", "2,048", "", "-", 0, false}, // named, but not below 2 KB
        {"README", "1,000", "", "-", 0, false},
        {"Index.TXT", "10", "", "-", 0, false},
        {"odd.txt", "n/a", "", "-", 0, false},   // a size that is no number counts as 0
    };
    std::vector<TlvFileInfo*> rows;
    for (auto& f : files) rows.push_back(&f);
    auto reversed = rows;
    std::reverse(reversed.begin() + 1, reversed.end());
    struct Case {
        const char* name;
        const std::vector<TlvFileInfo*>* rows;
        std::vector<std::string> list;
        std::int64_t maxKB;
        bool disabled;
        int expect;
    };
    const std::vector<Case> cases = {
        {"any case, first shown", &rows, {"index.txt", "readme"}, 2, false, 3},
        {"the other display order", &reversed, {"index.txt", "readme"}, 2, false, 2},
        {"the size limit is exclusive", &rows, {"big.txt"}, 2, false, -1},
        {"a larger limit takes it", &rows, {"big.txt"}, 3, false, 2},
        {"no number is 0", &rows, {"ODD.TXT"}, 1, false, 5},
        {"limit 0 takes nothing", &rows, {"odd.txt"}, 0, false, -1},
        {"disabled", &rows, {"index.txt"}, 100, true, -1},
        {"a folder is never viewed", &rows, {"index.html", ".."}, 100, false, -1},
        {"empty list", &rows, {}, 100, false, -1},
    };
    for (const Case& c : cases) EXPECT_EQ(IndexFileRow(*c.rows, c.list, c.maxKB, c.disabled), c.expect) << c.name;
}

} // namespace
