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

std::string DamagedCopyName(const std::string& path) { return path + ".damaged"; }

bool DamagedCopyHeld(const std::string& path)
{
    const std::optional<std::string> bytes = ReadWhole(path);
    return bytes && ReadWhole(DamagedCopyName(path)) == bytes;
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
    const std::string copy = DamagedCopyName(path);
    const std::optional<std::string> bytes = ReadWhole(path);
    std::string kept;
    if (bytes) {
        if (ReadWhole(copy) == bytes) return {};
        try {
            // Owner-only: the client's files hold passwords.
            rtl::WriteFileAtomic(copy, *bytes, 0600);
            kept = "A copy of it was kept as " + copy + ".";
        } catch (const rtl::Exception&) {
            kept = "No copy of it could be kept.";
        }
    } else {
        kept = "It could not be copied either.";
    }
    std::string text = path + " could not be read whole:";
    // A file of random bytes can hold thousands: the first say enough.
    constexpr std::size_t kShown = 12;
    for (std::size_t i = 0; i < problems.size() && i < kShown; ++i) text += "\n- " + problems[i];
    if (problems.size() > kShown) text += "\n- and " + std::to_string(problems.size() - kShown) + " more";
    return text + "\n" + kept;
}
