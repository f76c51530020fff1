#pragma once
// Which file of a fresh remote listing is viewed on its own after a connect:
// a small "index" file, such as a site's welcome text.
#include <cstdint>
#include <string>
#include <vector>

#include "client/engine/LvFileInfo.h"

// The first of rows (in display order) that is a file named in names (any
// case) and smaller than maxSizeKB kilobytes; a size that is not a number
// counts as 0. -1 when there is none or the feature is disabled.
int IndexFileRow(const std::vector<TlvFileInfo*>& rows, const std::vector<std::string>& names, std::int64_t maxSizeKB,
                 bool disabled);
