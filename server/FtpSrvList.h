#pragma once
// Listings of the server: LIST lines in the long format and NLST names.
#include <sys/stat.h>

#include <string>

// One LIST line with CR LF, for example
// "-rw-rw-rw-   1 ftp      ftp         1234 Mar 05 09:07 a.txt". Folders get
// "d", entries without the owner's write bit lose the three "w", files with
// the owner's execute bit get the three "x". The size is 64-bit; the time
// column shows hour and minute within CurrentYear, else the year.
std::string FormatDirLine(const std::string& Name, const struct stat& St, int CurrentYear);

// The listing of Path (already confined to HomeDir): an existing folder
// lists its entries, a last step with wild cards (*, ?, [) lists the
// matching entries of its folder, an existing file lists itself; entries
// are sorted by name. Detailed lines skip hidden entries (names starting
// with "."); names-only lists every entry. A name that matches nothing
// gives the single line Path + " not found". An entry that is a symbolic
// link out of HomeDir shows the link itself, never what it points to.
std::string BuildDirListing(const std::string& Path, bool Detailed, const std::string& HomeDir);
