#include "client/ui/main/RunReport.h"

namespace {
constexpr std::size_t kMaxShown = 20;
}

std::string NotTransferredText(const std::vector<std::string>& skipped, const std::vector<TFailedItem>& failed)
{
    const std::size_t total = skipped.size() + failed.size();
    if (total == 0) return {};
    std::string text = std::to_string(total) + (total == 1 ? " file was" : " files were") + " not transferred:";
    std::size_t shown = 0;
    for (const auto& name : skipped)
        if (shown++ < kMaxShown) text += "\r\n  Left out, unsafe name: " + name;
    for (const auto& f : failed)
        if (shown++ < kMaxShown) text += "\r\n  " + f.Reason;
    if (total > kMaxShown) text += "\r\n  ... and " + std::to_string(total - kMaxShown) + " more (see the log pages)";
    return text;
}
