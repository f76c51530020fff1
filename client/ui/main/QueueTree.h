#pragma once
// The "Download" and "Upload" nodes of the current queue and the marks the
// connections put on them, kept apart from the tree widget. Each node knows
// its remote path apart from its marks, so a node is found by its exact path
// ("/up/a.zip" never marks "/up/x/up/a.zip") and the mark of connection 1 is
// never taken for the beginning of the mark of connection 12.
#include <string>
#include <vector>

struct TQueueNode {
    std::string Path;
    std::vector<int> Marks; // connections carrying a part, newest first
    bool Ended = false;     // its last carried part ended ("!!")

    // Marks, then "!!" when ended, then the path: "#12#1/pub/a.zip".
    std::string Text() const;
    // 5 carried, 3 ended, 4 waiting.
    int StateImage() const;
};

class TQueueTree {
public:
    std::vector<TQueueNode> Download, Upload;

    // A node for the path unless one exists; its index.
    int Add(bool isDownload, const std::string& path);
    // The node of the path, -1 when none.
    int Find(bool isDownload, const std::string& path) const;
    // Connection slot takes a part of path; the node's index or -1.
    int ShowSlot(bool isDownload, const std::string& path, int slot);
    // The first node (downloads first) carrying slot loses its mark.
    // Returns the node, or nullptr.
    TQueueNode* Unmark(int slot, bool* isDownload = nullptr);
    // Slot ended its part of path; ended when no connection carries it now.
    int Completed(bool isDownload, const std::string& path, int slot);
    void Clear();
};
