#pragma once
// What a run did not transfer, told to the user when it ends: the names left
// out while the queue was made and the items that failed on their own.
#include <string>
#include <vector>

#include "client/engine/FtpManager.h"

// Empty when nothing was left out or failed; else one line per file or
// folder (an item with IsDir: one that could not be listed), the
// first kMaxShown of them and a count of the rest.
std::string NotTransferredText(const std::vector<std::string>& skipped, const std::vector<TFailedItem>& failed);
