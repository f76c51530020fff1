#include "client/ui/main/BrokenList.h"

#include <algorithm>

namespace {
std::string Percent(std::int64_t left, std::int64_t size)
{
    if (size <= 0) return "-";
    return std::to_string(left * 100 / size) + "%";
}
} // namespace

std::vector<TBrokenDetailRow> BrokenListDetails(const TOldQuene& queue)
{
    std::vector<TBrokenDetailRow> rows;
    for (const TTransferFileInfo& item : queue.Items) {
        // Of a file of unknown size (EndPos 0) the bytes left are unknown too.
        const std::int64_t left = item.EndPos > 0 ? item.EndPos - std::max<std::int64_t>(item.BeginPos, 0) : 0;
        TBrokenDetailRow* row = nullptr;
        for (auto& r : rows)
            if (r.HostFileName == item.HostPath) row = &r;
        if (!row) {
            rows.push_back({item.HostPath, item.LocalPath, std::to_string(item.FileSize), "", "", item.FileSize, 0});
            row = &rows.back();
        }
        row->Left += left;
        row->SizeLeft = row->Size > 0 ? std::to_string(row->Left) : "-";
        row->LeftPercent = Percent(row->Left, row->Size);
    }
    return rows;
}

bool SameSite(const THostInfo& list, const THostInfo& quickBar)
{
    return list.HostName == quickBar.HostName && list.HostPort == quickBar.HostPort &&
           list.UserName == quickBar.UserName && list.PassWord == quickBar.PassWord;
}
