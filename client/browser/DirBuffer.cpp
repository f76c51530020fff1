#include "client/browser/DirBuffer.h"

#include <algorithm>

#include "rtl/StrUtils.h"

int TDirBuffer::Add(const std::string& Path, const std::vector<TFileItem>& Items)
{
    Remove(Path);
    auto entry = std::make_shared<TBufferList>();
    entry->Path = Path;
    entry->Items = Items;
    Sort(entry->Items, FSortMode);
    FEntries.push_back(std::move(entry));
    return Count() - 1;
}

int TDirBuffer::IndexOf(const std::string& Path) const
{
    for (int i = 0; i < Count(); ++i)
        if (FEntries[i]->Path == Path) return i;
    return -1;
}

void TDirBuffer::Remove(const std::string& Path)
{
    std::erase_if(FEntries, [&](const auto& e) { return e->Path == Path; });
}

std::shared_ptr<TBufferList> TDirBuffer::Get(int Index) const
{
    if (Index < 0 || Index >= Count()) return nullptr;
    return FEntries[Index];
}

void TDirBuffer::SetSortMode(std::uint8_t Mode)
{
    FSortMode = Mode;
    for (auto& e : FEntries) Sort(e->Items, Mode);
}

void TDirBuffer::Sort(std::vector<TFileItem>& Items, std::uint8_t Mode)
{
    std::stable_sort(Items.begin(), Items.end(), [Mode](const TFileItem& a, const TFileItem& b) {
        if (a.IsFolder != b.IsFolder) return a.IsFolder;
        switch (Mode) {
        case brSortName: return rtl::LowerCase(a.Name) < rtl::LowerCase(b.Name);
        case brSortDate: {
            const auto da = rtl::LowerCase(a.Date), db = rtl::LowerCase(b.Date);
            return da != db ? da < db : a.Time < b.Time;
        }
        case brSortSize: return a.Size < b.Size;
        default: return false;
        }
    });
}
