#pragma once
#include <sys/types.h>

#include <string>

#include "rtl/Exception.h"

namespace rtl {

class EFileWriteError : public Exception {
public:
    using Exception::Exception;
    const char* ClassName() const override { return "EFileWriteError"; }
};

// Replaces the file at path with data as one step: the bytes go to a
// temporary file beside it, reach the disk, and are renamed over the old
// file, so a crash leaves either the old file or the new one. A new file gets
// mode (less the umask); an existing one keeps its owner and its bits, narrowed
// by mode. A symbolic link stays a link and its target is replaced. Raises
// EFileWriteError on failure, leaving the old file as it was.
void WriteFileAtomic(const std::string& path, const std::string& data, mode_t mode = 0666);

// Writes a new file at path as one step, never over anything there: false
// when the name is taken (by a file, a folder, a link). A crash leaves no
// file or the whole one. Raises EFileWriteError on any other failure.
bool CreateFileAtomic(const std::string& path, const std::string& data, mode_t mode = 0666);

} // namespace rtl
