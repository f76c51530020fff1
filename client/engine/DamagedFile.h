#pragma once
// A file of the client that could not be read whole, or held values out of
// range: the user is told, naming the file, and what could not be read stays
// in a copy beside it, since the next save rewrites the file from what was
// read.
#include <string>
#include <vector>

// Why a file that is there cannot be read ("it is a folder", "it cannot be
// opened: ..."); empty when it can be read, or is missing.
std::string UnreadableReason(const std::string& path);

// The n-th copy kept of path: path + ".damaged", then ".damaged-2",
// ".damaged-3"... A copy is never written over: each damage found in the
// file gets one of its own.
std::string DamagedCopyName(const std::string& path, int n = 1);

// True when a copy holds the bytes path holds now: the file may be
// rewritten, what could not be read of it is kept.
bool DamagedCopyHeld(const std::string& path);

// Before a damaged file is rewritten from what could be read of it: keeps
// its copy unless held already. False when no copy could be kept; the file
// must then stay as it is. True at once when problems is empty.
bool KeepAsideBeforeRewrite(const std::string& path, const std::vector<std::string>& problems);

// The phrase for the lines of a file that are neither a [section], a
// key=value, a comment nor blank (numbered from 1); empty for none.
std::string MalformedLinesText(const std::vector<int>& lines);

// Keeps a copy under the first free copy name and returns the text that
// tells the user about the file and its problems, naming the copy. Empty
// when a copy of the same bytes was kept before: the user was told then, so
// a file left as it was is reported once.
std::string KeepDamagedFile(const std::string& path, const std::vector<std::string>& problems);
