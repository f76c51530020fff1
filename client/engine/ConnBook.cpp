#include "client/engine/ConnBook.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "client/engine/DamagedFile.h"
#include "rtl/Exception.h"
#include "rtl/FileUtils.h"
#include "rtl/Format.h"

using namespace connbook;

namespace {

// A field read back: its first size bytes, ending at the first zero.
std::string ReadField(std::string_view bytes, std::size_t offset, std::size_t size)
{
    std::string_view field = bytes.substr(offset, size);
    return std::string(field.substr(0, field.find('\0')));
}

void WriteField(std::string& out, std::size_t offset, std::size_t maxBytes, std::string_view text)
{
    std::string fit = FitField(text, maxBytes);
    std::memcpy(out.data() + offset, fit.data(), fit.size()); // the rest is zero already
}

std::int32_t ReadInt32(std::string_view bytes, std::size_t offset)
{
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | std::uint8_t(bytes[offset + i]);
    return std::int32_t(v);
}

void WriteInt32(std::string& out, std::size_t offset, std::int32_t value)
{
    std::uint32_t v = std::uint32_t(value);
    for (int i = 0; i < 4; ++i) out[offset + i] = char((v >> (8 * i)) & 0xFF);
}

SiteBookRecord DecodeRecord(std::string_view r)
{
    SiteBookRecord s;
    s.FolderIndex = ReadInt32(r, kOffFolder);
    s.Name = ReadField(r, kOffName, 50);
    s.Addr = ReadField(r, kOffAddr, 50);
    s.Port = ReadField(r, kOffPort, 10);
    s.User = ReadField(r, kOffUser, 50);
    s.Pass = ReadField(r, kOffPass, 50);
    s.Memo = ReadField(r, kOffMemo, 200);
    return s;
}

} // namespace

std::string FitField(std::string_view text, std::size_t maxBytes)
{
    text = text.substr(0, text.find('\0'));
    if (text.size() <= maxBytes) return std::string(text);
    std::size_t end = maxBytes;
    // Back up over continuation bytes so no character is cut in two.
    while (end > 0 && (std::uint8_t(text[end]) & 0xC0) == 0x80) --end;
    return std::string(text.substr(0, end));
}

std::string OverlongField(const TNewSite& s)
{
    const std::pair<const std::string*, std::pair<const char*, std::size_t>> fields[] = {
        {&s.Name, {"name", kMaxName}}, {&s.Addr, {"address", kMaxAddr}}, {&s.Port, {"port", kMaxPort}},
        {&s.User, {"user", kMaxUser}}, {&s.Pass, {"password", kMaxPass}}, {&s.Memo, {"description", kMaxMemo}}};
    for (const auto& [text, field] : fields)
        if (text->size() > field.second) return field.first;
    return {};
}

std::vector<std::string> BookDamage(std::string_view bytes, std::uintmax_t fileSize)
{
    std::vector<std::string> damage;
    if (fileSize > kBookSize)
        damage.push_back(rtl::Format("it holds %ju bytes more than a site book (%zu bytes); they are not kept "
                                     "when the book is saved",
                                     fileSize - kBookSize, kBookSize));
    else if (fileSize < kBookSize)
        damage.push_back(rtl::Format("it is cut short: %ju of %zu bytes", fileSize, kBookSize));
    TConnBookData d;
    d.Decode(bytes);
    std::size_t folders = 0, reached = 0, used = 0, unreached = 0;
    while (folders < kFolderCount && !d.FolderNames[folders].empty()) ++folders;
    for (std::size_t f = folders; f < kFolderCount; ++f)
        if (!d.FolderNames[f].empty()) ++unreached;
    if (unreached) damage.push_back(rtl::Format("%zu folders lie behind an empty folder slot", unreached));
    for (const auto& folder : d.BuildTree().Folders) reached += folder.Sites.size();
    for (const auto& s : d.Sites)
        if (s.FolderIndex != 0) ++used;
    if (used > reached)
        damage.push_back(rtl::Format("%zu sites are not stored with the folder they name", used - reached));
    // A name without its terminator would lose its last byte at the next save
    // (the description is read as 200 bytes and written whole).
    std::size_t full = 0;
    auto check = [&](std::size_t at, std::size_t size) {
        if (at + size <= bytes.size() && bytes.substr(at, size).find('\0') == std::string_view::npos) ++full;
    };
    for (std::size_t f = 0; f < folders; ++f) check(f * kFolderSlotSize, kFolderSlotSize);
    for (std::size_t i = 0; i < reached; ++i) {
        const std::size_t at = kSitesOffset + i * kRecordSize;
        for (auto [off, size] : {std::pair{kOffName, 50}, {kOffAddr, 50}, {kOffPort, 10}, {kOffUser, 50}, {kOffPass, 50}})
            check(at + off, std::size_t(size));
    }
    if (full) damage.push_back(rtl::Format("%zu texts have no end in their field", full));
    return damage;
}

std::string StripCR(std::string_view line)
{
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
    return std::string(line);
}

void TConnBookData::Clear()
{
    FolderNames.fill({});
    Sites.fill({});
}

void TConnBookData::Decode(std::string_view bytes)
{
    bytes = bytes.substr(0, kBookSize);
    for (std::size_t f = 0; f < kFolderCount; ++f) {
        const std::size_t at = f * kFolderSlotSize;
        if (at >= bytes.size()) return;
        FolderNames[f] = ReadField(bytes, at, kFolderSlotSize);
    }
    for (std::size_t i = 0; i < kSiteCount; ++i) {
        const std::size_t at = kSitesOffset + i * kRecordSize;
        if (at + kRecordSize > bytes.size()) {
            if (at < bytes.size()) {
                // A record cut short: what is there over zeros.
                std::string padded(bytes.substr(at));
                padded.resize(kRecordSize, '\0');
                Sites[i] = DecodeRecord(padded);
            }
            return;
        }
        Sites[i] = DecodeRecord(bytes.substr(at, kRecordSize));
    }
}

std::string TConnBookData::Encode() const
{
    std::string out(kBookSize, '\0');
    for (std::size_t f = 0; f < kFolderCount; ++f)
        WriteField(out, f * kFolderSlotSize, kMaxFolderName, FolderNames[f]);
    for (std::size_t i = 0; i < kSiteCount; ++i) {
        const std::size_t at = kSitesOffset + i * kRecordSize;
        const SiteBookRecord& s = Sites[i];
        WriteInt32(out, at + kOffFolder, s.FolderIndex);
        WriteField(out, at + kOffName, kMaxName, s.Name);
        WriteField(out, at + kOffAddr, kMaxAddr, s.Addr);
        WriteField(out, at + kOffPort, kMaxPort, s.Port);
        WriteField(out, at + kOffUser, kMaxUser, s.User);
        WriteField(out, at + kOffPass, kMaxPass, s.Pass);
        WriteField(out, at + kOffMemo, kMaxMemo, s.Memo);
    }
    return out;
}

void TConnBookData::LoadFromFile(const std::string& path)
{
    // A folder opens, and reads as nothing: refused as a file that cannot be opened.
    if (const std::string why = UnreadableReason(path); !why.empty())
        throw rtl::Exception(rtl::Format("Cannot open file \"%s\": %s.", path.c_str(), why.c_str()));
    std::ifstream in(path, std::ios::binary);
    if (!in) throw rtl::Exception(rtl::Format("Cannot open file \"%s\". %s", path.c_str(), std::strerror(errno)));
    std::string bytes;
    bytes.resize(kBookSize);
    in.read(bytes.data(), std::streamsize(kBookSize));
    bytes.resize(std::size_t(in.gcount()));
    std::error_code ec;
    std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec) size = bytes.size();
    Decode(bytes);
    Damage = BookDamage(bytes, size);
}

void TConnBookData::SaveToFile(const std::string& path) const
{
    rtl::WriteFileAtomic(path, Encode(), 0600);
}

TBookTree TConnBookData::BuildTree() const
{
    TBookTree tree;
    std::size_t i = 0;
    for (std::size_t f = 0; f < kFolderCount && !FolderNames[f].empty(); ++f) {
        TBookTree::Folder folder{FolderNames[f], {}};
        while (i < kSiteCount && Sites[i].FolderIndex == std::int32_t(f + 1))
            folder.Sites.push_back(Sites[i++].Name);
        tree.Folders.push_back(std::move(folder));
    }
    return tree;
}

TRebuildResult TConnBookData::RebuildArrays(const TBookTree& tree, TRebuildRequest& rq)
{
    const auto oldFolders = FolderNames;
    const auto oldSites = Sites;
    std::array<bool, kSiteCount> taken{};
    Clear();
    TRebuildResult result;

    // The old folder name of an old record, empty for an index out of range.
    auto oldFolderOf = [&](const SiteBookRecord& s) -> std::string {
        if (s.FolderIndex < 1 || s.FolderIndex > std::int32_t(kFolderCount)) return {};
        return oldFolders[std::size_t(s.FolderIndex - 1)];
    };

    std::size_t i = 0;
    for (std::size_t f = 0; f < tree.Folders.size() && f < kFolderCount; ++f) {
        const auto& folder = tree.Folders[f];
        FolderNames[f] = folder.Name;
        for (std::size_t c = 0; c < folder.Sites.size() && i < kSiteCount; ++c, ++i) {
            const std::string& name = folder.Sites[c];
            SiteBookRecord& slot = Sites[i];
            slot.FolderIndex = std::int32_t(f + 1);
            slot.Name = name;
            std::string oldFolder;
            bool found = false;
            for (std::size_t k = 0; k < kSiteCount && oldSites[k].FolderIndex != 0; ++k) {
                if (taken[k] || oldSites[k].Name != name || oldFolderOf(oldSites[k]) != folder.Name) continue;
                taken[k] = true;
                slot = oldSites[k];
                slot.FolderIndex = std::int32_t(f + 1);
                oldFolder = oldFolderOf(oldSites[k]);
                found = true;
                break;
            }
            const int slotNumber = int(i + 1);
            if (rq.SelectedFolder == int(f) && rq.SelectedSite == int(c)) result.CurrentSite = slotNumber;
            if (rq.FindByAddress && slot.Addr == rq.FindAddress) {
                result.CurrentSite = slotNumber;
                result.FoundFolder = int(f);
                result.FoundSite = int(c);
            }
            if (!rq.RenameNewName.empty() && !rq.RenameIsFolder && rq.RenameOldName == name && found &&
                rq.RenameFolder == oldFolder) {
                slot.Name = rq.RenameNewName;
                rq.RenameNewName.clear();
                result.RenameDone = true;
            }
        }
        if (!rq.RenameNewName.empty() && rq.RenameIsFolder && rq.RenameOldName == folder.Name) {
            FolderNames[f] = rq.RenameNewName;
            rq.RenameNewName.clear();
            result.RenameDone = true;
        }
    }
    return result;
}

TNewSite TConnBookData::SiteFields(int slot) const
{
    if (slot < 1 || slot > int(kSiteCount)) return {};
    const SiteBookRecord& s = Sites[std::size_t(slot - 1)];
    return {s.Name, s.Addr, s.Port, s.User, s.Pass, s.Memo};
}

bool CopyBookFile(const std::string& from, const std::string& to)
{
    std::ifstream in(from, std::ios::binary);
    if (!in) return false;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return false;
    try {
        rtl::WriteFileAtomic(to, bytes, 0600);
    } catch (const rtl::Exception&) {
        return false;
    }
    return true;
}
