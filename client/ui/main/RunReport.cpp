#include "client/ui/main/RunReport.h"

#include <algorithm>

namespace {
constexpr std::size_t kMaxShown = 20;
}

std::string NotTransferredText(const std::vector<std::string>& skipped, const std::vector<TFailedItem>& failed)
{
    const std::size_t total = skipped.size() + failed.size();
    if (total == 0) return {};
    // A folder that could not be listed is counted as a folder: its files are unknown.
    const auto folders = static_cast<std::size_t>(
        std::count_if(failed.begin(), failed.end(), [](const TFailedItem& f) { return f.Item.IsDir; }));
    const std::size_t files = total - folders;
    std::string text;
    if (files) text = std::to_string(files) + (files == 1 ? " file" : " files");
    if (files && folders) text += " and ";
    if (folders) text += std::to_string(folders) + (folders == 1 ? " folder" : " folders");
    text += total == 1 ? " was not transferred:" : " were not transferred:";
    std::size_t shown = 0;
    for (const auto& name : skipped)
        if (shown++ < kMaxShown) text += "\r\n  Left out, unsafe name: " + name;
    for (const auto& f : failed)
        if (shown++ < kMaxShown) text += "\r\n  " + f.Reason;
    if (total > kMaxShown) text += "\r\n  ... and " + std::to_string(total - kMaxShown) + " more (see the log pages)";
    return text;
}
