#pragma once
// Reading the quick-connect bar's host text: an "ftp://" URL or a
// quick-connect entry ("host:port:user:password", "host:user:password",
// "host:port", optionally followed by "/folder").
#include <string>
#include <vector>

struct TQuickBarFields {
    std::string Host, Port, User, Pass;
    bool operator==(const TQuickBarFields&) const = default;
};

struct TFtpUrlResult {
    bool Ok = true;
    std::string Error;     // why the text was refused
    std::string RemoteDir; // the folder to open after the login; empty for none
};

// Fills bar from text. A URL sets all four fields: its own user and password
// (percent-decoded, case kept), or "anonymous" with anonymousEmail when it has
// none, and its own port or "21", so no field of another site stays behind.
// The user and password end at the last "@" before the host. Only the scheme
// and the host are lower-cased. A quick-connect entry sets the fields it
// holds and keeps the others. An empty or non-numeric port is refused and
// bar is left as it was.
TFtpUrlResult ParseFtpURL(const std::string& text, TQuickBarFields& bar, const std::string& anonymousEmail);

// True for "1".."65535".
bool IsValidPort(const std::string& port);

// Records a quick-connect entry (host:port:user:password) in the history.
// An entry whose masked form is there already replaces it, so a changed
// password is kept; returns true when the entry is new (the host box then
// gets its masked form).
bool StoreQuickConnectEntry(std::vector<std::string>& history, const std::string& entry);
