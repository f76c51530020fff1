#include "rtl/StrUtils.h"

#include <charconv>

namespace rtl {

namespace {
bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }
char Upper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 32) : c; }
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; }
}

std::string TrimLeft(std::string_view s)
{
    size_t b = 0;
    while (b < s.size() && IsBlank(s[b])) ++b;
    return std::string(s.substr(b));
}

std::string TrimRight(std::string_view s)
{
    size_t e = s.size();
    while (e > 0 && IsBlank(s[e - 1])) --e;
    return std::string(s.substr(0, e));
}

std::string Trim(std::string_view s)
{
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b])) ++b;
    while (e > b && IsBlank(s[e - 1])) --e;
    return std::string(s.substr(b, e - b));
}

std::string UpperCase(std::string_view s)
{
    std::string out(s);
    for (char& c : out) c = Upper(c);
    return out;
}

std::string LowerCase(std::string_view s)
{
    std::string out(s);
    for (char& c : out) c = Lower(c);
    return out;
}

bool SameText(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Upper(a[i]) != Upper(b[i])) return false;
    return true;
}

bool StartsText(std::string_view prefix, std::string_view s)
{
    return s.size() >= prefix.size() && SameText(prefix, s.substr(0, prefix.size()));
}

std::string IntToStr(std::int64_t value) { return std::to_string(value); }

std::optional<std::int64_t> ParseInt64(std::string_view s)
{
    std::string t = Trim(s);
    std::string_view v = t;
    if (!v.empty() && v[0] == '+') {
        v.remove_prefix(1);
        if (v.empty() || v[0] == '-' || v[0] == '+') return std::nullopt;
    }
    if (v.empty()) return std::nullopt;
    std::int64_t out = 0;
    auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), out);
    if (ec != std::errc() || end != v.data() + v.size()) return std::nullopt;
    return out;
}

std::int64_t StrToInt64Def(std::string_view s, std::int64_t def)
{
    auto v = ParseInt64(s);
    return v ? *v : def;
}

int StrToIntDef(std::string_view s, int def)
{
    auto v = ParseInt64(s);
    if (!v || *v < INT32_MIN || *v > INT32_MAX) return def;
    return static_cast<int>(*v);
}

} // namespace rtl
