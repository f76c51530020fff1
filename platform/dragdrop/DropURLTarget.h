#pragma once
// TDropURLTarget takes an Internet address (and a title) out of whatever a
// browser, a file manager or the shell drops: a URL, plain text, a uri-list,
// the contents of an Internet shortcut, or a dropped ".url" file. Only one
// word of text counts as an address; anything else is no drop at all.
#include <QByteArray>
#include <string>
#include <vector>

#include "platform/dragdrop/DropTarget.h"

class TDropURLTarget : public TDropTarget {
public:
    TDropURLTarget(); // Dragtypes [dtLink], GetDataOnEnter

    std::string URL;
    std::string Title;

protected:
    bool ReadData(const QMimeData* data) override;
    void ReleaseData() override;
    bool AcceptsData(const QMimeData* data) override;
};

// The address of an Internet shortcut's lines: the "URL=" line of its
// "[InternetShortcut]" section.
bool ParseInternetShortcut(const std::vector<std::string>& lines, std::string& url);
// The same for a ".url" file.
bool ReadInternetShortcut(const std::string& fileName, std::string& url);
// The first file name of a file-group descriptor block (sizes and item count
// checked), without a ".url" ending; empty when the block holds none.
std::string FileGroupDescriptorName(const QByteArray& block);
