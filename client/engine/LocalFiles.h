#pragma once
// Local file system helpers. Local paths are host paths ("/" separator).
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "client/engine/TransferFileInfo.h"

// Size of a local file in bytes (64-bit); -1 when it does not exist.
std::int64_t GetLocalFileSize(const std::string& path);

// Bytes free for the caller on the file system that holds path (a folder or
// a file to be made: the nearest existing parent is asked, also past a name
// too long to exist); 0 when unknown.
std::int64_t GetDiskFree(const std::string& path);
std::optional<std::int64_t> TryGetDiskFree(const std::string& path);

// For an entry of the local path box ("1:" + a root or mount point): "  [" +
// free bytes grouped + " bytes free]"; empty for other entries or when the
// free space cannot be read.
std::string DriveCaption(const std::string& text);

// Empties list, then adds every file below folder, walking into each
// subfolder as it is met (names in byte order); "." and ".." are skipped and
// links to folders are not followed, so a link loop cannot run away.
void ListLocalFilesRecursive(const std::string& folder, std::vector<TGetFileInfo>& list);

// Creates the folder and every missing parent; false when it cannot.
bool ForceLocalDirs(const std::string& path);

// Copies folder/"def_" + name onto folder/name when name is missing; never
// overwrites. A failed copy is not reported.
void CopyDefaultFile(const std::string& folder, const std::string& name);
