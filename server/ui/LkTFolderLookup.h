#pragma once
// An edit whose button opens the folder dialog (through the dialogs service)
// and writes the chosen folder into the edit.
#include <functional>
#include <string>

#include "server/ui/LkTLookupEdit.h"

enum TLkRoots {
    csidlDesktop, csidlDesktopExpanded, csidlPrograms, csidlControlPanel, csidlPrinters,
    csidlPersonal, csidlFavorites, csidlStartup, csidlRecent, csidlSendto, csidlRecycleBin,
    csidlStartMenu, csidlDesktopDirectory, csidlMyComputer
};

enum TLkInfoFlags : unsigned {
    FileSystemDirsOnly = 1u << 0,
    DontGoBelowDomain = 1u << 1,
    StatusText = 1u << 2,
    FileSystemAncestors = 1u << 3,
    LookupForComputer = 1u << 4,
    LookupForPrinter = 1u << 5,
    DisplayPath = 1u << 6,
};
using TLkInfoFlagSet = unsigned;

class TLkFolderLookup : public TLkCustomLookupEdit {
public:
    explicit TLkFolderLookup(QWidget* parent = nullptr);

    const std::string& LookupCaption() const { return lookupCaption_; }
    void SetLookupCaption(const std::string& value) { lookupCaption_ = value; }
    TLkInfoFlagSet LookupFlags() const { return lookupFlags_; }
    void SetLookupFlags(TLkInfoFlagSet value) { lookupFlags_ = value; }
    TLkRoots LookupRoot() const { return lookupRoot_; }
    void SetLookupRoot(TLkRoots value) { lookupRoot_ = value; }

    std::function<void(TObject* Sender)> BeforeLookup;
    std::function<void(TObject* Sender)> AfterLookup;
    std::function<void(TObject* Sender, const std::string& OldPath, const std::string& NewPath)> OnPathChanged;

    // The host folder a root stands for (the whole tree for the expanded desktop).
    static std::string RootFolder(TLkRoots root);
    // Opens the folder dialog; true when a folder was chosen.
    bool Execute();

private:
    std::string lookupCaption_;
    TLkInfoFlagSet lookupFlags_ = FileSystemDirsOnly | StatusText;
    TLkRoots lookupRoot_ = csidlDesktopExpanded;
};
