#pragma once
// Each running copy of the client keeps its edit and view copies in a folder
// of its own under "tmp/", so a second copy never deletes the first one's
// files. The folder holds a lock that lives as long as the copy: a folder
// whose lock nobody holds belongs to a copy that is gone and is removed at
// the next start.
#include <string>

class TInstanceTempFolder {
public:
    // Makes tmpRoot when missing, removes the folders of copies that are
    // gone, then makes and locks this copy's folder. Path() is empty when
    // that failed.
    explicit TInstanceTempFolder(const std::string& tmpRoot);
    // Removes this copy's folder.
    ~TInstanceTempFolder();
    TInstanceTempFolder(const TInstanceTempFolder&) = delete;
    TInstanceTempFolder& operator=(const TInstanceTempFolder&) = delete;

    // This copy's folder, ending "/".
    const std::string& Path() const { return FPath; }

    // Removes the folders under tmpRoot whose lock is free; returns how many.
    static int RemoveStale(const std::string& tmpRoot);

private:
    std::string FPath;
    int FLockFd = -1;
};
