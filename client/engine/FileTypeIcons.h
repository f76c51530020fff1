#pragma once
#include <string>

// The window's system icons, reached by file name alone: no file is made to
// ask for one, so a remote name never becomes a local path.
class IFileIconProvider {
public:
    virtual ~IFileIconProvider() = default;
    // Index of the icon of the file type of name in the small image list.
    virtual int FileTypeIconIndex(const std::string& name) = 0;
};

// The provider asked by GetFileTypeIconIndex; empty (nullptr) until the
// window sets one. The provider must outlive its use.
void SetFileIconProvider(IFileIconProvider* provider);

// The icon index of name's file type; the index of the previous call when the
// extension is the same; 0 without a provider.
int GetFileTypeIconIndex(const std::string& name);
