#pragma once
// How the panes' selections become queue items, and the folders a queue
// needs on either side. Plain rules, no window.
#include <string>
#include <vector>

#include "client/engine/ClientSettings.h"
#include "client/engine/LvFileInfo.h"
#include "client/engine/TransferFileInfo.h"

// Gives the other side's name the paired extension: a download looks at the
// remote extension, an upload at the local one; the first pair that fits wins.
void RenameByExtension(const std::vector<TRenameExt>& pairs, bool isDownload, std::string& localPath,
                       std::string& hostPath);

// A download of remote file remoteDir + relative into localDir + relative.
// relative may hold "/" between its parts (a file of an expanded folder); a
// part that is empty, "." or "..", or holds a control character, refuses the
// item (false): a name from a listing never reaches outside the local folder
// nor puts escape sequences into local names.
bool MakeDownloadItem(const std::string& remoteDir, const std::string& localDir, const std::string& relative,
                      std::int64_t size, const std::vector<TRenameExt>& pairs, TTransferFileInfo& item);

// Uploads of the selected local rows (".." skipped): files as they are,
// folders with every file below them, kept at their place under remoteDir.
// A file whose path holds a name the engine would refuse is left out, and
// its local path (as ShownName writes it) is added to skipped.
std::vector<TTransferFileInfo> MakeUploadItems(const std::string& localDir, const std::string& remoteDir,
                                               const std::vector<const TlvFileInfo*>& rows,
                                               const std::vector<TRenameExt>& pairs,
                                               std::vector<std::string>* skipped = nullptr);

// The remote folders the uploads need below remoteDir, parents first, each once.
std::vector<std::string> RemoteFoldersToMake(const std::vector<TTransferFileInfo>& items, const std::string& remoteDir);

// Creates the local folder of every download; false (with the folder) when one cannot be made.
bool MakeLocalFolders(const std::vector<TTransferFileInfo>& items, std::string* failed = nullptr);

// ---- local file actions; each returns "" or the reason it refused ----

// A folder name inside dir.
std::string LocalMakeDir(const std::string& dir, const std::string& name);
// Renames dir/oldName to dir/newName; an existing name is never replaced.
std::string LocalRename(const std::string& dir, const std::string& oldName, const std::string& newName);
// Moves each of dir's names into destination (relative to dir unless it
// begins with "/"); across file systems by copy, then remove. An existing
// name is never replaced.
std::string LocalMove(const std::string& dir, const std::vector<std::string>& names, const std::string& destination);
// Moves each of dir's names to the desktop's trash.
std::string LocalDelete(const std::string& dir, const std::vector<std::string>& names);
