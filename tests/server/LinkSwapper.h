#pragma once
// Links swapped in a tight loop between a target inside a home and one
// outside it, and what lies outside for a swap to give away.
#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace servertest {

// Swaps each link between its two targets, over and over, until destroyed.
// A new link is made under another name and renamed over the old one, so
// the name always exists.
class LinkSwapper {
public:
    struct Link {
        std::string name, inside, outside;
    };
    explicit LinkSwapper(std::vector<Link> Links);
    ~LinkSwapper();
    LinkSwapper(const LinkSwapper&) = delete;
    LinkSwapper& operator=(const LinkSwapper&) = delete;
    long Swaps() const { return swaps_; }

private:
    std::vector<Link> links_;
    std::atomic<bool> stop_ {false};
    std::atomic<long> swaps_ {0};
    std::thread thread_;
};

// Made in a folder outside the home: Folder holds a name found nowhere
// else, File has a size and a modification time found nowhere else.
// Marks() are the texts that show them in a reply or a listing.
struct OutsideBait {
    explicit OutsideBait(const std::string& Where);
    std::string Folder, File;
    static std::vector<std::string> Marks();
};

} // namespace servertest
