#include "client/ui/main/RemotePane.h"

#include "client/engine/CommFunc.h"

std::vector<TlvFileInfo> RemoteEntries(const std::vector<TDirAnalyze>& listing, bool showLink, bool resolveLinkAsFile)
{
    std::vector<TlvFileInfo> rows;
    rows.reserve(listing.size() + 1);
    rows.push_back({"..", "", "", "", -1, true});
    for (const TDirAnalyze& r : listing) {
        const char kind = r.Attr.empty() ? ' ' : r.Attr[0];
        const bool link = kind == 'l';
        if (link && !showLink) continue;
        TlvFileInfo row;
        row.Name = r.FileName;
        if (link) {
            const auto arrow = row.Name.find(" -> ");
            if (arrow != std::string::npos) row.Name.erase(arrow);
        }
        row.Size = FormatThousands(ListingSizeToInt64(r.Size));
        row.DateTime = r.TimeOrYear + " " + r.Month + " " + r.Day;
        row.Attr = r.Attr;
        row.IsDir = link ? !resolveLinkAsFile : (kind == 'd' || kind == '<');
        rows.push_back(std::move(row));
    }
    return rows;
}
