#include "server/ui/LkTFolderLookup.h"

#include <cstdlib>
#include <sys/stat.h>

#include "platform/dialogs/Dialogs.h"
#include "server/ui/Pictures.h"

TLkFolderLookup::TLkFolderLookup(QWidget* parent) : TLkCustomLookupEdit(parent)
{
    EditButton1()->SetGlyph(GlyphPixmap(2));
    EditButton1()->SetNumGlyphs(2);
    EditButton2()->SetVisible(false);
    OnButton1Click = [this](TObject*) { Execute(); };
}

std::string TLkFolderLookup::RootFolder(TLkRoots root)
{
    const char* home = std::getenv("HOME");
    std::string h = home && *home ? home : "/";
    switch (root) {
    case csidlPersonal: return h;
    case csidlDesktop:
    case csidlDesktopDirectory: return h + "/Desktop";
    default: return "/";
    }
}

bool TLkFolderLookup::Execute()
{
    if (BeforeLookup)
        BeforeLookup(this);
    // Open at the folder in the edit when it names one, else at the root.
    std::string oldPath = Text();
    struct stat st{};
    std::string folder = !oldPath.empty() && ::stat(oldPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode)
                             ? oldPath
                             : RootFolder(lookupRoot_);
    bool chosen = Dialogs().SelectDirectory(lookupCaption_, folder);
    if (chosen) {
        SetText(folder);
        if (folder != oldPath && OnPathChanged)
            OnPathChanged(this, oldPath, folder);
    }
    if (AfterLookup)
        AfterLookup(this);
    return chosen;
}
