#pragma once
#include <cstdint>
#include <string>

// One queue item, or one part of a split file.
struct TTransferFileInfo {
    bool IsDownload = true;
    std::string HostPath;  // full remote path of the file
    std::string LocalPath; // full local path of the file
    std::int64_t FileSize = 0;
    std::int64_t BeginPos = 0; // first byte of this part, the restart position; -1: whole file, no restart
    std::int64_t EndPos = 0;   // end of this part (exclusive)
    bool IsDir = false;
    // A download whose parts are written under the file's partial name until
    // every part landed (a split file): the bytes before BeginPos are there,
    // and a file under its own name never stands in for them.
    bool InPartialFile = false;

    bool operator==(const TTransferFileInfo&) const = default;
};

inline void CopyTransferFileInfo(TTransferFileInfo& dest, const TTransferFileInfo& src) { dest = src; }

// A file found by expanding a folder, remote or local.
struct TGetFileInfo {
    std::string FileName; // full path
    std::int64_t FileSize = 0;

    bool operator==(const TGetFileInfo&) const = default;
};
