#pragma once
// The entries of a remote listing as pane rows.
#include <string>
#include <vector>

#include "client/engine/DirListing.h"
#include "client/engine/LvFileInfo.h"

// ".." first, then the listing's entries in order. A link's name is cut at
// " -> " (a regular file may hold "->" in its name); links are dropped
// without showLink, and are files with resolveLinkAsFile, else folders.
std::vector<TlvFileInfo> RemoteEntries(const std::vector<TDirAnalyze>& listing, bool showLink, bool resolveLinkAsFile);
