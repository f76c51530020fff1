#pragma once
// The entries of a local folder as pane rows.
#include <string>
#include <vector>

#include "client/engine/LvFileInfo.h"

// ".." first (when the folder has a parent), then every entry but "."; names
// starting with "." only with showHidden. Sizes are 64-bit. A folder that
// cannot be read gives no rows at all.
std::vector<TlvFileInfo> ListLocalEntries(const std::string& path, bool showHidden);
