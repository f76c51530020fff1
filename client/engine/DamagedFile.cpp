#include "client/engine/DamagedFile.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include "rtl/Exception.h"
#include "rtl/FileUtils.h"

namespace {

std::optional<std::string> ReadWhole(const std::string& path)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return std::nullopt; // a folder reads as nothing
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    return bytes;
}

} // namespace

std::string UnreadableReason(const std::string& path)
{
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (ec || !std::filesystem::exists(status)) return {};
    if (std::filesystem::is_directory(status)) return "it is a folder, not a file";
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::string("it cannot be opened: ") + std::strerror(errno);
    return {};
}

std::string DamagedCopyName(const std::string& path, int n)
{
    return path + ".damaged" + (n == 1 ? std::string() : "-" + std::to_string(n));
}

namespace {

// Copies are numbered without a gap; past this many something else is wrong.
constexpr int kMaxCopies = 1000;

// The copy of path holding bytes, or the first free copy name when none
// does; nothing when a name is taken by other than a file (no copy can be
// kept then) or every name is taken.
struct TCopyLookup {
    std::string held, free;
};

std::optional<TCopyLookup> FindCopy(const std::string& path, const std::string& bytes)
{
    for (int n = 1; n <= kMaxCopies; ++n) {
        const std::string name = DamagedCopyName(path, n);
        std::error_code ec;
        const auto status = std::filesystem::symlink_status(name, ec);
        if (!std::filesystem::exists(status)) return TCopyLookup{{}, name};
        if (!std::filesystem::is_regular_file(status)) return std::nullopt;
        // Sizes first: a file of megabytes is read only to compare like with like.
        if (std::filesystem::file_size(name, ec) == bytes.size() && !ec && ReadWhole(name) == bytes)
            return TCopyLookup{name, {}};
    }
    return std::nullopt;
}

} // namespace

bool DamagedCopyHeld(const std::string& path)
{
    const std::optional<std::string> bytes = ReadWhole(path);
    if (!bytes) return false;
    const auto copy = FindCopy(path, *bytes);
    return copy && !copy->held.empty();
}

bool KeepAsideBeforeRewrite(const std::string& path, const std::vector<std::string>& problems)
{
    if (problems.empty() || DamagedCopyHeld(path)) return true;
    KeepDamagedFile(path, problems);
    return DamagedCopyHeld(path);
}

std::string MalformedLinesText(const std::vector<int>& lines)
{
    if (lines.empty()) return {};
    const std::string what = " neither a [section], a key=value, a comment nor blank";
    if (lines.size() == 1) return "line " + std::to_string(lines[0]) + " is" + what;
    return std::to_string(lines.size()) + " lines are" + what + " (the first is line " + std::to_string(lines[0]) +
           ")";
}

std::string KeepDamagedFile(const std::string& path, const std::vector<std::string>& problems)
{
    const std::optional<std::string> bytes = ReadWhole(path);
    std::string kept = "It could not be copied either.";
    if (bytes) {
        kept = "No copy of it could be kept.";
        // A copy kept before is never written over: the user's own file may
        // live only there. Another damage gets a copy of its own.
        for (int attempt = 0; attempt < kMaxCopies; ++attempt) {
            const auto copy = FindCopy(path, *bytes);
            if (!copy) break;
            if (!copy->held.empty()) return {}; // told when it was kept
            try {
                // Owner-only: the client's files hold passwords.
                if (!rtl::CreateFileAtomic(copy->free, *bytes, 0600)) continue; // taken meanwhile
                kept = "A copy of it was kept as " + copy->free + ".";
            } catch (const rtl::Exception&) {
            }
            break;
        }
    }
    std::string text = path + " could not be read whole:";
    // A file of random bytes can hold thousands: the first say enough.
    constexpr std::size_t kShown = 12;
    for (std::size_t i = 0; i < problems.size() && i < kShown; ++i) text += "\n- " + problems[i];
    if (problems.size() > kShown) text += "\n- and " + std::to_string(problems.size() - kShown) + " more";
    return text + "\n" + kept;
}
