#include "client/ui/main/PaneActions.h"

#include <QFile>

#include <filesystem>
#include <set>

#include "client/engine/CommFunc.h"
#include "client/engine/LocalFiles.h"
#include "client/ui/main/FilePane.h"

namespace {
std::string WithSlash(const std::string& p) { return p.empty() || p.back() == '/' ? p : p + "/"; }

// Each part a name the engine would carry: no control characters either.
bool SafeRelative(const std::string& relative)
{
    std::size_t start = 0;
    while (true) {
        const auto slash = relative.find('/', start);
        if (!IsSafeEntryName(relative.substr(start, slash == std::string::npos ? std::string::npos : slash - start)))
            return false;
        if (slash == std::string::npos) return true;
        start = slash + 1;
    }
}
} // namespace

void RenameByExtension(const std::vector<TRenameExt>& pairs, bool isDownload, std::string& localPath,
                       std::string& hostPath)
{
    std::string& from = isDownload ? hostPath : localPath;
    std::string& to = isDownload ? localPath : hostPath;
    const auto dot = from.rfind('.');
    if (dot == std::string::npos || from.find('/', dot) != std::string::npos) return;
    const std::string ext = from.substr(dot + 1);
    for (const TRenameExt& p : pairs) {
        if (ext != (isDownload ? p.Host : p.Local)) continue;
        std::string newExt = isDownload ? p.Local : p.Host;
        if (!newExt.empty() && newExt[0] == '.') newExt.erase(0, 1);
        const auto toDot = to.rfind('.');
        const auto toSlash = to.rfind('/');
        if (toDot != std::string::npos && (toSlash == std::string::npos || toDot > toSlash)) to.erase(toDot);
        to += "." + newExt;
        return;
    }
}

bool MakeDownloadItem(const std::string& remoteDir, const std::string& localDir, const std::string& relative,
                      std::int64_t size, const std::vector<TRenameExt>& pairs, TTransferFileInfo& item)
{
    if (!SafeRelative(relative)) return false;
    item = {};
    item.IsDownload = true;
    item.HostPath = WithSlash(remoteDir) + relative;
    item.LocalPath = WithSlash(localDir) + relative;
    item.FileSize = size;
    item.BeginPos = 0;
    item.EndPos = size;
    RenameByExtension(pairs, true, item.LocalPath, item.HostPath);
    return true;
}

std::vector<TTransferFileInfo> MakeUploadItems(const std::string& localDir, const std::string& remoteDir,
                                               const std::vector<const TlvFileInfo*>& rows,
                                               const std::vector<TRenameExt>& pairs, std::vector<std::string>* skipped)
{
    std::vector<TTransferFileInfo> items;
    auto leaveOut = [&](const std::string& local) {
        if (skipped) skipped->push_back(ShownName(local));
    };
    const std::string base = WithSlash(localDir), remote = WithSlash(remoteDir);
    auto add = [&](const std::string& local, const std::string& relative, std::int64_t size) {
        TTransferFileInfo item;
        item.IsDownload = false;
        item.LocalPath = local;
        item.HostPath = remote + relative;
        item.FileSize = size;
        item.BeginPos = 0;
        item.EndPos = size;
        RenameByExtension(pairs, false, item.LocalPath, item.HostPath);
        items.push_back(std::move(item));
    };
    for (const TlvFileInfo* row : rows) {
        if (!row || row->Name == "..") continue;
        if (!IsSafeEntryName(row->Name)) {
            leaveOut(base + row->Name);
            continue;
        }
        if (row->IsDir) {
            std::vector<TGetFileInfo> files;
            ListLocalFilesRecursive(base + row->Name, files);
            for (const TGetFileInfo& f : files) {
                // The files' paths begin with the folder listed.
                if (f.FileName.compare(0, base.size(), base) != 0) continue;
                const std::string relative = f.FileName.substr(base.size());
                if (SafeRelative(relative)) add(f.FileName, relative, f.FileSize);
                else leaveOut(f.FileName);
            }
        } else {
            const std::int64_t size = GetLocalFileSize(base + row->Name);
            add(base + row->Name, row->Name, size < 0 ? RowSize(*row) : size);
        }
    }
    return items;
}

std::vector<std::string> RemoteFoldersToMake(const std::vector<TTransferFileInfo>& items, const std::string& remoteDir)
{
    const std::string base = WithSlash(remoteDir);
    std::vector<std::string> out;
    std::set<std::string> seen;
    for (const TTransferFileInfo& item : items) {
        const std::string folder = ExtractRemoteDir(item.HostPath);
        if (folder.size() <= base.size() || folder.compare(0, base.size(), base) != 0) continue;
        for (auto slash = folder.find('/', base.size()); slash != std::string::npos; slash = folder.find('/', slash + 1)) {
            std::string path = folder.substr(0, slash + 1);
            if (seen.insert(path).second) out.push_back(std::move(path));
        }
    }
    return out;
}

bool MakeLocalFolders(const std::vector<TTransferFileInfo>& items, std::string* failed)
{
    std::set<std::string> done;
    for (const TTransferFileInfo& item : items) {
        if (!item.IsDownload) continue;
        const std::string folder = item.LocalPath.substr(0, item.LocalPath.rfind('/') + 1);
        if (folder.empty() || !done.insert(folder).second) continue;
        if (!ForceLocalDirs(folder)) {
            if (failed) *failed = folder;
            return false;
        }
    }
    return true;
}

namespace {
namespace fs = std::filesystem;

bool Exists(const fs::path& p)
{
    std::error_code ec;
    return fs::symlink_status(p, ec).type() != fs::file_type::not_found && !ec;
}

// rename(2), or copy and remove where the two names lie on different file systems.
std::string MoveOne(const fs::path& from, const fs::path& to)
{
    if (Exists(to)) return to.string() + " exists already";
    std::error_code ec;
    fs::rename(from, to, ec);
    if (!ec) return "";
    if (ec != std::errc::cross_device_link) return from.string() + ": " + ec.message();
    fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::copy_symlinks, ec);
    if (ec) {
        std::error_code ignore;
        fs::remove_all(to, ignore);
        return to.string() + ": " + ec.message();
    }
    fs::remove_all(from, ec);
    return ec ? from.string() + ": " + ec.message() : "";
}
} // namespace

std::string LocalMakeDir(const std::string& dir, const std::string& name)
{
    if (!IsSafeLocalName(name)) return "\"" + name + "\" is not a folder name";
    std::error_code ec;
    if (!fs::create_directory(WithSlash(dir) + name, ec)) return ec ? ec.message() : name + " exists already";
    return "";
}

std::string LocalRename(const std::string& dir, const std::string& oldName, const std::string& newName)
{
    if (!IsSafeLocalName(oldName) || !IsSafeLocalName(newName)) return "\"" + newName + "\" is not a file name";
    if (oldName == newName) return "";
    return MoveOne(WithSlash(dir) + oldName, WithSlash(dir) + newName);
}

std::string LocalMove(const std::string& dir, const std::vector<std::string>& names, const std::string& destination)
{
    if (destination.empty()) return "";
    const fs::path dest = destination[0] == '/' ? fs::path(destination) : fs::path(WithSlash(dir) + destination);
    std::error_code ec;
    if (!fs::is_directory(dest, ec)) return dest.string() + " is not a folder";
    for (const std::string& name : names) {
        if (!IsSafeLocalName(name)) continue;
        const std::string err = MoveOne(WithSlash(dir) + name, dest / name);
        if (!err.empty()) return err;
    }
    return "";
}

std::string LocalDelete(const std::string& dir, const std::vector<std::string>& names)
{
    for (const std::string& name : names) {
        if (!IsSafeLocalName(name)) continue;
        const QString path = QString::fromStdString(WithSlash(dir) + name);
        if (!QFile::moveToTrash(path)) return name + " could not be moved to the trash";
    }
    return "";
}
