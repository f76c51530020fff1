#pragma once
// The FTP browser's cache of listed folders. It lives on the GUI thread only:
// the worker hands listings over as copies, and the view holds entries by
// shared pointer, so an entry stored again never frees one still shown.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "client/browser/BrTypes.h"

struct TBufferList {
    std::string Path; // as the PWD reply gave it
    std::vector<TFileItem> Items;
};

// Sort modes: by name, by date and time, by size.
enum : std::uint8_t { brSortName = 0, brSortDate = 1, brSortSize = 3 };

class TDirBuffer {
public:
    // Stores a copy under Path (replacing an entry of the same path) and
    // returns its index.
    int Add(const std::string& Path, const std::vector<TFileItem>& Items);
    bool Find(const std::string& Path) const { return IndexOf(Path) >= 0; }
    int IndexOf(const std::string& Path) const;
    void Remove(const std::string& Path);
    void Clear() { FEntries.clear(); }
    int Count() const { return static_cast<int>(FEntries.size()); }
    // nullptr for an index out of range.
    std::shared_ptr<TBufferList> Get(int Index) const;
    std::shared_ptr<TBufferList> Get(const std::string& Path) const { return Get(IndexOf(Path)); }

    std::uint8_t SortMode() const { return FSortMode; }
    // Stores the mode and sorts every entry again.
    void SetSortMode(std::uint8_t Mode);
    // Folders first, then by the mode; entries equal by it keep their order.
    static void Sort(std::vector<TFileItem>& Items, std::uint8_t Mode);

private:
    std::vector<std::shared_ptr<TBufferList>> FEntries;
    std::uint8_t FSortMode = brSortName;
};
