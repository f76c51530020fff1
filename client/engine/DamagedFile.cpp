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
    for (const auto& p : problems) text += "\n- " + p;
    return text + "\n" + kept;
}
