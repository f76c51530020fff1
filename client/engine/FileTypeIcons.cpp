#include "client/engine/FileTypeIcons.h"

#include <mutex>

#include "client/engine/CommFunc.h"

namespace {
std::mutex guard;
IFileIconProvider* current = nullptr;
bool remembered = false;
std::string lastExtension;
int lastIndex = 0;
} // namespace

void SetFileIconProvider(IFileIconProvider* provider)
{
    std::lock_guard lock(guard);
    current = provider;
    remembered = false;
}

int GetFileTypeIconIndex(const std::string& name)
{
    std::lock_guard lock(guard);
    std::string ext = ExtractExtension(name);
    if (remembered && ext == lastExtension) return lastIndex;
    if (!current) return 0;
    lastIndex = current->FileTypeIconIndex(name);
    lastExtension = std::move(ext);
    remembered = true;
    return lastIndex;
}
