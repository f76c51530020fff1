#pragma once
// The site book "book20.dat": 50 folder-name slots of 50 bytes, then 500 site
// records of 416 bytes, 210,500 bytes in all, no header, little-endian, read
// and written whole. Text fields hold zero-terminated bytes; a folder slot
// starting with 0 ends the folder list, a site with folder index 0 ends the
// site list, and the used sites come grouped by folder in folder order.
// No Qt here: the dialog keeps its tree, this unit the bytes and the rules
// that map the one onto the other.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace connbook {

constexpr std::size_t kFolderCount = 50;
constexpr std::size_t kFolderSlotSize = 50;
constexpr std::size_t kSiteCount = 500;
constexpr std::size_t kRecordSize = 416;
constexpr std::size_t kSitesOffset = kFolderCount * kFolderSlotSize; // 2500
constexpr std::size_t kBookSize = kSitesOffset + kSiteCount * kRecordSize; // 210500

// Field offsets in a record, and the most bytes each holds before its terminator.
constexpr std::size_t kOffFolder = 0, kOffName = 4, kOffAddr = 54, kOffPort = 104, kOffUser = 114,
                      kOffPass = 164, kOffMemo = 214;
constexpr std::size_t kMaxName = 49, kMaxAddr = 49, kMaxPort = 9, kMaxUser = 49, kMaxPass = 49,
                      kMaxMemo = 200, kMaxFolderName = 49;

} // namespace connbook

// One site as the dialogs hand it around.
struct TNewSite {
    std::string Name, Addr, Port, User, Pass, Memo;
    bool operator==(const TNewSite&) const = default;
};

struct SiteBookRecord {
    std::int32_t FolderIndex = 0; // 1-based folder slot; 0 = unused, ends the list
    std::string Name, Addr, Port, User, Pass, Memo;
    bool operator==(const SiteBookRecord&) const = default;
};

// The book as the tree shows it: folders in order, each with its site names.
struct TBookTree {
    struct Folder {
        std::string Name;
        std::vector<std::string> Sites;
    };
    std::vector<Folder> Folders;
};

// What a rebuild of the arrays is asked to carry out besides copying the tree.
struct TRebuildRequest {
    // The tree's selected site (folder position, site position), -1 for none.
    int SelectedFolder = -1, SelectedSite = -1;
    // A pending rename: of a folder (RenameIsFolder) or of the site
    // RenameOldName in RenameFolder.
    std::string RenameOldName, RenameNewName, RenameFolder;
    bool RenameIsFolder = false;
    // Look for the first site whose address is FindAddress.
    bool FindByAddress = false;
    std::string FindAddress;
};

struct TRebuildResult {
    int CurrentSite = 0; // 1-based slot of the selected or found site, 0 = none
    // Tree position of the site found by address, -1 when none.
    int FoundFolder = -1, FoundSite = -1;
    bool RenameDone = false;
};

class TConnBookData {
public:
    std::array<std::string, connbook::kFolderCount> FolderNames;
    std::array<SiteBookRecord, connbook::kSiteCount> Sites;

    void Clear();
    // Reads the book's bytes. A shorter input is read as far as it goes and the
    // rest keeps what it held; a longer one is read up to the book's size.
    void Decode(std::string_view bytes);
    // The 210,500 bytes: every text cut to its field, zero after the terminator.
    std::string Encode() const;

    // Reads the file; raises rtl::Exception when it cannot be opened. Damage
    // then says what of it could not be read, empty for a sound book.
    void LoadFromFile(const std::string& path);
    std::vector<std::string> Damage;
    // Replaces the file as one step (temporary file and rename), owner-only as
    // it holds passwords; raises rtl::EFileWriteError when it cannot.
    void SaveToFile(const std::string& path) const;

    // The tree the arrays describe. Stops at the first empty folder slot and at
    // the first site whose folder index is not the folder being listed, so a
    // damaged book never sends it past the arrays.
    TBookTree BuildTree() const;
    // Refills both arrays from the tree, carrying each site's fields over from
    // the old arrays by (folder name, site name). Each old record is taken once,
    // so two sites of one name in a damaged book keep their own fields. Folders
    // and sites beyond the book's room are left out.
    TRebuildResult RebuildArrays(const TBookTree& tree, TRebuildRequest& request);

    TNewSite SiteFields(int slot) const; // 1-based
};

// text cut to at most maxBytes on a UTF-8 character boundary.
std::string FitField(std::string_view text, std::size_t maxBytes);
// The first field of site longer than its slot holds ("name", "address",
// "port", "user", "password", "description"), empty when every one fits.
std::string OverlongField(const TNewSite& site);
// What of a book's bytes (the whole file, fileSize long) the book cannot
// keep: bytes beyond its size, a book cut short, folders and sites the tree
// never reaches, texts that fill their field to the last byte. Each entry is
// a phrase for the user; none for a sound book.
std::vector<std::string> BookDamage(std::string_view bytes, std::uintmax_t fileSize);
// Strips a trailing CR (lines of files written on other systems).
std::string StripCR(std::string_view line);

// Copies a book file as one step (backup and restore); false when it cannot.
bool CopyBookFile(const std::string& from, const std::string& to);
