#pragma once
// Internal to the engine: what TFtpManager's source files share.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "net/FtpCli.h"
#include "os/MessageTarget.h"

namespace engine::detail {

// The journal's timer, and the message a sync pass sends when it is over.
constexpr std::uintptr_t kJournalTimer = 1;
constexpr os::UINT kJournalPassDone = os::WM_USER + 1;

inline bool IsReadyState(TFtpClientState s) { return s == csReady || s == csStepDone; }

inline std::string WithSlash(const std::string& path) { return path.empty() || path.back() != '/' ? path + "/" : path; }

// The listing's text without its closing 0 byte and without the lines that
// hold one: the parser reads a 0 as the end of the text, so such a line would
// cut the listing short there and its name would read as a shorter one, the
// name of another file.
std::string ListingWithoutNulLines(std::string_view data, std::vector<std::string>* dropped);

} // namespace engine::detail
