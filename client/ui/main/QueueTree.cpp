#include "client/ui/main/QueueTree.h"

#include <algorithm>

std::string TQueueNode::Text() const
{
    std::string text;
    for (int m : Marks) text += "#" + std::to_string(m);
    if (Ended && Marks.empty()) text += "!!";
    return text + Path;
}

int TQueueNode::StateImage() const { return !Marks.empty() ? 5 : Ended ? 3 : 4; }

int TQueueTree::Add(bool isDownload, const std::string& path)
{
    const int i = Find(isDownload, path);
    if (i >= 0) return i;
    auto& nodes = isDownload ? Download : Upload;
    nodes.push_back({path, {}, false});
    return int(nodes.size()) - 1;
}

int TQueueTree::Find(bool isDownload, const std::string& path) const
{
    const auto& nodes = isDownload ? Download : Upload;
    for (std::size_t i = 0; i < nodes.size(); ++i)
        if (nodes[i].Path == path) return int(i);
    return -1;
}

int TQueueTree::ShowSlot(bool isDownload, const std::string& path, int slot)
{
    const int i = Find(isDownload, path);
    if (i < 0) return -1;
    TQueueNode& n = (isDownload ? Download : Upload)[std::size_t(i)];
    n.Ended = false;
    n.Marks.erase(std::remove(n.Marks.begin(), n.Marks.end(), slot), n.Marks.end());
    n.Marks.insert(n.Marks.begin(), slot);
    return i;
}

TQueueNode* TQueueTree::Unmark(int slot, bool* isDownload)
{
    for (bool down : {true, false}) {
        for (TQueueNode& n : down ? Download : Upload) {
            auto it = std::find(n.Marks.begin(), n.Marks.end(), slot);
            if (it == n.Marks.end()) continue;
            n.Marks.erase(it);
            if (isDownload) *isDownload = down;
            return &n;
        }
    }
    return nullptr;
}

int TQueueTree::Completed(bool isDownload, const std::string& path, int slot)
{
    const int i = Find(isDownload, path);
    if (i < 0) return -1;
    TQueueNode& n = (isDownload ? Download : Upload)[std::size_t(i)];
    auto it = std::find(n.Marks.begin(), n.Marks.end(), slot);
    if (it != n.Marks.end()) n.Marks.erase(it);
    if (n.Marks.empty()) n.Ended = true;
    return i;
}

void TQueueTree::Clear()
{
    Download.clear();
    Upload.clear();
}
