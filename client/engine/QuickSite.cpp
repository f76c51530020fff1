#include "client/engine/QuickSite.h"

#include "client/engine/CommFunc.h"

TQuickSite ResolveQuickSite(const std::string& hostBoxText, const TQuickSite& bar,
                            const std::vector<std::string>& quickConnectList)
{
    TQuickSite site = bar;
    site.Host = hostBoxText;
    if (hostBoxText.find(':') == std::string::npos) return site;
    for (const auto& entry : quickConnectList) {
        if (MaskPassword(entry) != hostBoxText && entry != hostBoxText) continue;
        // host:port:user:password; the password is what follows the last ':'.
        const auto c1 = entry.find(':');
        const auto c2 = entry.find(':', c1 + 1);
        const auto last = entry.rfind(':');
        if (c2 == std::string::npos || last <= c2) break;
        return {entry.substr(0, c1), entry.substr(c1 + 1, c2 - c1 - 1), entry.substr(c2 + 1, last - c2 - 1),
                entry.substr(last + 1)};
    }
    return site;
}
