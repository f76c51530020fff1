#pragma once
// The quick-connect bar's site. The host box shows history entries masked
// ("host:port:user:********"), so a caller that takes the box's text must look
// the full entry up instead of handing the masked text on.
#include <string>
#include <vector>

struct TQuickSite {
    std::string Host, Port, User, Pass;
    bool operator==(const TQuickSite&) const = default;
};

// The site the bar stands for: when hostBoxText is the masked form of an
// entry of quickConnectList (host:port:user:password), that entry's four
// fields; otherwise hostBoxText as the host with the bar's other fields.
TQuickSite ResolveQuickSite(const std::string& hostBoxText, const TQuickSite& bar,
                            const std::vector<std::string>& quickConnectList);
