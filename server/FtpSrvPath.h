#pragma once
// The path rules of the server: every folder a client moves to and every
// file a command names stays inside the client's home folder.
//
// Paths are host paths, shown to the client as they are. "." and empty
// steps are dropped and ".." goes up one step; the result must be the home
// folder or lie below it, compared step by step ("/srv/ftp" does not admit
// "/srv/ftp2"). Symbolic links are followed for the check: a path whose
// real location (every link resolved, also one whose target does not exist
// yet) lies outside the real home folder is refused, so a link inside the
// home that points out of it cannot be used, while links that stay inside
// work.
// Names holding "\" or a NUL byte are refused outright: some clients take
// "\" for a separator, and a NUL would cut the name the system sees.
#include <sys/stat.h>

#include <string>

// Drops "." and empty steps, resolves ".." (never above "/"). The result is
// absolute, without a trailing "/" except for the root itself.
std::string NormalisePath(const std::string& Path);
// Path equals Folder or lies below it, step by step (both normalised).
bool IsInsideFolder(const std::string& Path, const std::string& Folder);
// The real location of Path: every link on the way resolved, also one
// whose target does not exist (yet), since creating a file through it
// would create that target; the part that does not exist appended as named.
// A path that cannot be resolved (a loop of links, a step below a file)
// raises PortlornException with the system's reason.
std::string RealPathOf(const std::string& Path);

// Whether a client may stand in Folder: the home, a folder below it (by
// name and by real location), or one of the folders above the home. Those
// are waypoints: some clients walk from "/" to a folder one step at a time,
// and the file path rule keeps everything in them out of reach, so a client
// there can only go on towards its home. The folder rule and the server
// window's folder check both answer with this. An empty or relative home
// admits nothing. Raises as RealPathOf does.
bool FolderAllowed(const std::string& Folder, const std::string& HomeDir);

// The file path rule: Name relative to Folder (or absolute), normalised and
// confined to HomeDir. Raises PortlornException with the reason, also for
// a path that cannot be resolved.
std::string ResolveFilePath(const std::string& Folder, const std::string& Name, const std::string& HomeDir);

// The folder rule: the folder New names, seen from Current, normalised,
// ending in "/", existing and confined to HomeDir. "" and "." keep Current,
// ".." goes up; relative paths with "./" or "../" inside are refused; the
// result must be a folder FolderAllowed admits. Raises EFtpCtrlSocketException
// with the reason.
std::string ResolveDirectoryPath(const std::string& Current, const std::string& New, const std::string& HomeDir);

// Between the check and the use of a name, a link may be put in its place
// or in place of a folder on its way. So a file is opened, and a name
// created, removed or renamed, at its real location reached from the real
// home one folder at a time without following any link: a link met there
// was not there at the check, and ends the walk.

// Opens the real location of Path (inside HomeDir, or PortlornException)
// with Flags, never following a link. -1 with errno when it cannot.
// RealPath, when given, gets the real location walked to.
int OpenConfined(const std::string& Path, const std::string& HomeDir, int Flags, unsigned Mode,
                 std::string* RealPath = nullptr);

// The status of Path's real location, reached as OpenConfined reaches it:
// a link put in place after the check is seen as the link itself, never
// as what it points to. False with errno when it cannot be reached. What a
// listing, SIZE or MDTM shows comes from here, never from a name.
bool StatConfined(const std::string& Path, const std::string& HomeDir, struct stat& St);

// The real location of the folder that holds Path, opened that way, and
// Path's last step as named, for the system's *at calls that act on a name
// itself (remove, rename, make a folder) and never follow it. Raises
// PortlornException when that folder lies outside the home (so for the
// home itself); Folder is -1 with errno when the walk failed.
class TConfinedName {
public:
    TConfinedName(const std::string& Path, const std::string& HomeDir);
    ~TConfinedName();
    TConfinedName(const TConfinedName&) = delete;
    TConfinedName& operator=(const TConfinedName&) = delete;
    int Folder() const { return FFolder; }
    const std::string& Name() const { return FName; }

private:
    int FFolder = -1;
    std::string FName;
};

// Texts of the refusals.
extern const char* const PathOutsideHomeText;     // "Cannot accept path outside home directory"
extern const char* const PathDotNotationText;     // "Cannot accept relative path using dot notation"
extern const char* const PathInvalidCharText;     // "Cannot accept path with backslash or NUL"
extern const char* const PathHomeNotAbsoluteText; // "Home directory is not an absolute path"
extern const char* const PathNoSuchDirectoryText; // "No such directory"
