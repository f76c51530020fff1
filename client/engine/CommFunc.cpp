#include "client/engine/CommFunc.h"

#include <climits>

int CountChar(char c, std::string_view text)
{
    int n = 0;
    for (char x : text) n += x == c;
    return n;
}

int PosOfNthChar(char c, std::string_view text, int n)
{
    int seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (text[i] == c && ++seen == n) return int(i) + 1;
    return INT32_MAX;
}

std::string RemoveCommas(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (c != ',') out.push_back(c);
    return out;
}

namespace {
std::string StripOne(std::string_view path, char c)
{
    if (!path.empty() && path.back() == c) path.remove_suffix(1);
    return std::string(path);
}
} // namespace

std::string StripTrailingBackslash(std::string_view path) { return StripOne(path, '\\'); }
std::string StripTrailingSlash(std::string_view path) { return StripOne(path, '/'); }

std::string AppendSeparator(std::string_view path, char c)
{
    std::string out(path);
    if (!out.empty() && out.back() != c) out.push_back(c);
    return out;
}

std::string ReplaceChar(std::string_view text, char a, char b)
{
    std::string out(text);
    for (char& c : out)
        if (c == a) c = b;
    return out;
}

std::string ExtractExtension(std::string_view name)
{
    auto dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string() : std::string(name.substr(dot + 1));
}

std::string ExtractParentDir(std::string_view path)
{
    auto back = path.find('\\');
    char sep = (back != std::string_view::npos && back + 1 != path.size()) ? '\\' : '/';
    std::string_view body = path;
    if (!body.empty() && body.back() == sep) body.remove_suffix(1);
    auto at = body.rfind(sep);
    if (at == std::string_view::npos) return std::string(path);
    return std::string(body.substr(0, at + 1));
}

std::string ExtractRemoteDir(std::string_view path)
{
    auto at = path.rfind('/');
    return at == std::string_view::npos ? std::string() : std::string(path.substr(0, at + 1));
}

namespace {
int MarkFirst(std::string& text, char c)
{
    auto at = text.find(c);
    if (at == std::string::npos) return 0;
    text[at] = '*';
    return int(at) + 1;
}
} // namespace

int MarkFirstBackslash(std::string& text) { return MarkFirst(text, '\\'); }
int MarkFirstSlash(std::string& text) { return MarkFirst(text, '/'); }

std::string RemoveAmpersands(std::string_view caption)
{
    std::string out;
    for (char c : caption)
        if (c != '&') out.push_back(c);
    return out;
}

std::string AddDotPrefix(std::string_view ext)
{
    if (!ext.empty() && ext[0] == '.') return std::string(ext);
    return "." + std::string(ext);
}

bool HasControlChar(std::string_view text)
{
    for (char c : text)
        if (static_cast<unsigned char>(c) < 32 || c == 127) return true;
    return false;
}

bool IsSafeEntryName(std::string_view name)
{
    return !name.empty() && name != "." && name != ".." && name.find_first_of("/\\") == std::string_view::npos &&
           !HasControlChar(name);
}

std::string ShownName(std::string_view text)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 32 || u == 127) {
            out += "\\x";
            out += hex[u >> 4];
            out += hex[u & 15];
        } else {
            out += c;
        }
    }
    return out;
}

std::string MaskPassword(std::string_view text)
{
    auto colon = text.rfind(':');
    if (colon == std::string_view::npos) return std::string(text);
    return std::string(text.substr(0, colon + 1)) + "********";
}

std::string MonthToNumber(std::string_view name)
{
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (int i = 0; i < 12; ++i)
        if (name == months[i]) return PadTwoDigits(i + 1);
    return "00";
}

std::string PadTwoDigits(std::int64_t n)
{
    std::string s = std::to_string(n);
    return s.size() == 1 ? "0" + s : s;
}

std::string FormatThousands(std::string_view digits)
{
    std::string sign;
    if (!digits.empty() && digits[0] == '-') {
        sign = "-";
        digits.remove_prefix(1);
    }
    std::string out;
    out.reserve(digits.size() + digits.size() / 3 + 1);
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out.push_back(',');
        out.push_back(digits[i]);
    }
    return sign + out;
}

std::string FormatThousands(std::int64_t value) { return FormatThousands(std::to_string(value)); }
std::string FormatBytes(std::string_view digits) { return FormatThousands(digits) + " bytes"; }
std::string FormatBytes(std::int64_t value) { return FormatBytes(std::to_string(value)); }

std::string FormatSize(std::string_view digits)
{
    if (digits.size() > 6) return FormatThousands(digits.substr(0, digits.size() - 6)) + "MB";
    if (digits.size() > 3) return FormatThousands(digits.substr(0, digits.size() - 3)) + "KB";
    return std::string(digits);
}

std::string FormatSize(std::int64_t value) { return FormatSize(std::to_string(value)); }

std::string SecondsToHMS(std::int64_t seconds)
{
    return PadTwoDigits(seconds / 3600) + ":" + PadTwoDigits(seconds % 3600 / 60) + ":" +
           PadTwoDigits(seconds % 60);
}
