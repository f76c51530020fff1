#include "platform/dialup/DuStrRes.h"

#include <algorithm>

namespace {

std::uint32_t Get32(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
           (static_cast<std::uint32_t>(b[at + 2]) << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

void AppendUtf8(std::string& out, std::uint32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// The reader of the reader's own messages, opened on first use. Opening it
// may fail and ask for a message itself: that asks no further.
const TStringResource* OwnMessages()
{
    static bool opening = false;
    if (opening)
        return nullptr;
    opening = true;
    static const TStringResource* reader = []() -> const TStringResource* {
        try {
            static const TStringResource own(DialupResources(), "DUSTRRES_STRINGS");
            return &own;
        } catch (const EStringResourceError&) {
            return nullptr;
        }
    }();
    opening = false;
    return reader;
}

[[noreturn]] void Raise(std::uint32_t identifier, const std::string& argument)
{
    throw EStringResourceError(DuStrResMessage(identifier, argument));
}

} // namespace

std::string DuStrResMessage(std::uint32_t identifier, const std::string& argument)
{
    const TStringResource* own = OwnMessages();
    std::string text = own ? own->GetString(identifier) : std::string();
    if (text.empty())
        return "String table error " + std::to_string(identifier) + ": " + argument;
    // The texts are data, never a format: only the one mark is replaced.
    for (const char* mark : {"%d", "%s"}) {
        std::size_t at = text.find(mark);
        if (at != std::string::npos)
            return text.replace(at, 2, argument);
    }
    return text;
}

TStringResource::TStringResource(const TResourceModule& module, const std::string& resourceName)
    : name_(resourceName)
{
    data_ = module.Find(resourceName);
    if (!data_)
        data_ = DialupResources().Find(resourceName);
    if (!data_)
        Raise(3, resourceName);
    const std::vector<std::uint8_t>& b = *data_;
    if (b.size() < 8 || b[0] != 'S' || b[1] != 'T' || b[2] != 'R' || b[3] != '0')
        Raise(5, resourceName);
    std::uint32_t count = Get32(b, 4);
    if (count > (b.size() - 8) / 12)
        Raise(5, resourceName);
    entries_.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        std::size_t at = 8 + std::size_t(12) * i;
        Entry e{Get32(b, at), Get32(b, at + 4), Get32(b, at + 8)};
        // 64-bit sums: an offset near 4 GiB must not wrap around into range.
        if (std::uint64_t(e.offset) + 2 * std::uint64_t(e.length) > b.size())
            Raise(5, resourceName);
        if (!entries_.empty() && entries_.back().identifier >= e.identifier)
            Raise(5, resourceName); // the look-up relies on ascending identifiers
        entries_.push_back(e);
    }
}

std::string TStringResource::GetString(std::uint32_t identifier) const
{
    auto it = std::lower_bound(entries_.begin(), entries_.end(), identifier,
                               [](const Entry& e, std::uint32_t id) { return e.identifier < id; });
    if (it == entries_.end() || it->identifier != identifier) {
        if (raiseOnMissing_)
            Raise(1, std::to_string(identifier));
        return {};
    }
    const std::vector<std::uint8_t>& b = *data_;
    std::string text;
    for (std::uint32_t i = 0; i < it->length; ++i) {
        std::size_t at = it->offset + std::size_t(2) * i;
        std::uint32_t unit = b[at] | (b[at + 1] << 8);
        if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < it->length) {
            std::uint32_t low = b[at + 2] | (b[at + 3] << 8);
            if (low >= 0xDC00 && low < 0xE000) {
                AppendUtf8(text, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        if (unit >= 0xD800 && unit < 0xE000)
            unit = '?'; // a lone half of a pair has no character
        AppendUtf8(text, unit);
    }
    return text;
}
