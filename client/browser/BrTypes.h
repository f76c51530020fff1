#pragma once
// Records of the FTP browser: the site it is opened for, its delete requests
// and one displayed entry of a listing.
#include <cstdint>
#include <string>

namespace browser {

// Silence allowed while a reply (or data) is awaited, in both browsing windows.
constexpr int kBrReplyTimeoutSeconds = 10;

struct TBrHostInfo {
    std::string HostName;
    std::string Port;
    std::string UserName;
    std::string PassWord;
};

struct TDeleteFileItem {
    bool IsFolder = false;
    std::string Name; // full remote path
};

struct TFileItem {
    std::string Name; // a link keeps " -> target"
    std::int64_t Size = 0;
    std::string Date; // yyyy-mm-dd
    std::string Time; // hh:mm, empty when the listing gave a year
    std::string Attr; // permissions, "<DIR>" or five blanks
    bool IsFolder = false;
    int Icon = 0;

    bool operator==(const TFileItem&) const = default;
};

// The name a link is reached by: the text before " -> "; other names unchanged.
std::string EntryName(const std::string& Name);

} // namespace browser
