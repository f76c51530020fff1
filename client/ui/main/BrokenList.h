#pragma once
// What the details of a broken list show, and whose site a list is.
#include <string>
#include <vector>

#include "client/engine/OldQuene.h"

struct TBrokenDetailRow {
    std::string HostFileName, LocalFileName, FileSize, SizeLeft, LeftPercent;
    std::int64_t Size = 0, Left = 0;
};

// One row per remote file; the parts of a split file add up their bytes
// left. "Left(%)" is "-" for a file of unknown size.
std::vector<TBrokenDetailRow> BrokenListDetails(const TOldQuene& queue);

// The list belongs to the site of the quick bar (host, port, user, password).
bool SameSite(const THostInfo& list, const THostInfo& quickBar);
