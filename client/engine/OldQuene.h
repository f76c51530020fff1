#pragma once
// Broken lists: queues that could not be finished, kept in "oldquene.ini"
// with their site and the positions each item reached.
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "client/engine/TransferFileInfo.h"

namespace rtl { class TIniFile; }

struct THostInfo {
    std::string HostName;
    std::string HostPort;
    std::string UserName;
    std::string PassWord;

    bool operator==(const THostInfo&) const = default;
};

// One broken list. The queue tree's nodes of the list belong to the window.
struct TOldQuene {
    std::string DateTime; // when the list was made, as the window wrote it
    THostInfo Host;
    std::vector<TTransferFileInfo> Items;
};

// The identity of a broken list: DateTime and the four site texts joined.
std::string OldQueneKey(const TOldQuene& queue);

// Appends the file's broken lists to list (none when the file is missing).
// A count that is not a number or below 0 reads every list the file holds,
// so the save at exit does not drop them. Only whole lists and items are
// read: a line that is no [section], key=value, comment or blank, a list or
// item without one of its keys, a number that is none, or a count above
// what is there is damage, and goes to damage (a phrase for the user each)
// when given.
void LoadOldQuenes(const std::string& fileName, std::vector<TOldQuene>& list,
                   std::vector<std::string>* damage = nullptr);

// Section i of ini as a broken list with its whole items; none when the list
// lacks one of its keys or none of its items is whole. A half item is left
// out: a cut path or a guessed direction could send a download over the
// user's own file.
std::optional<TOldQuene> ReadOldQuene(const rtl::TIniFile& ini, int i, std::vector<std::string>* damage = nullptr);

// Writes queue as section i into ini (in memory; the caller saves).
void WriteOldQuene(rtl::TIniFile& ini, int i, const TOldQuene& queue);

// Saves list at exit, keeping what another running copy wrote: every list in
// the file is appended to list unless list already holds its identity or it
// was resumed or deleted in this session (removedKeys). The file is then
// replaced whole, readable by its owner only (it holds passwords). A damaged
// file is first kept in its copy (see DamagedFile.h). Raises
// rtl::EIniFileException when the file cannot be written, or is damaged and
// cannot be kept.
void SaveOldQuenes(const std::string& fileName, std::vector<TOldQuene>& list,
                   const std::unordered_set<std::string>& removedKeys);

// How StoreOldQuene treats a list of the same identity in the file.
enum class TOldQueneStore {
    Replace, // queue takes its place (a resumed list, a journal written again)
    New,     // queue is another list: its DateTime is made unique in the file
    Remove,  // it leaves the file; queue's items are not looked at
};

// Puts one broken list into the file, or takes it out, leaving every other
// list as it is, all under the file's lock, so copies of the program
// writing at the same time lose nothing of each other's. The file is
// replaced whole (a temporary file, then a rename), readable by its owner
// only. Returns the DateTime the list has in the file. Raises
// rtl::EIniFileException when the file cannot be written.
std::string StoreOldQuene(const std::string& fileName, const TOldQuene& queue, TOldQueneStore how);

// The texts of a broken list's nodes in the queue tree, for the window to
// show: the root, the "hostinfo" lines (no password), and the remote paths
// under "download" and "upload", each once, so the parts of a split file
// show as one node.
struct TBrokenQueueNodeTexts {
    std::string Root;
    std::vector<std::string> HostInfo;
    std::vector<std::string> Downloads;
    std::vector<std::string> Uploads;
};
TBrokenQueueNodeTexts BrokenQueueNodeTexts(const TOldQuene& queue);
