#include "client/ui/main/FtpUrl.h"

#include <algorithm>
#include <cctype>

#include "client/engine/CommFunc.h"

namespace {

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

bool AllDigits(const std::string& s)
{
    return std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c); });
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    c = char(std::tolower(static_cast<unsigned char>(c)));
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// "%xx" escapes of a URL part; a "%" not followed by two hex digits stays.
std::string PercentDecode(const std::string& s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && HexValue(s[i + 1]) >= 0 && HexValue(s[i + 2]) >= 0) {
            out += char(HexValue(s[i + 1]) * 16 + HexValue(s[i + 2]));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

TFtpUrlResult BadPort(const std::string& port)
{
    TFtpUrlResult r;
    r.Ok = false;
    r.Error = "Invalid port \"" + port + "\": the port is a number from 1 to 65535.";
    return r;
}

TFtpUrlResult ParseUrl(const std::string& text, TQuickBarFields& bar, const std::string& anonymousEmail)
{
    std::string rest = text.substr(6);
    std::string path;
    const auto slash = rest.find('/');
    if (slash != std::string::npos) {
        path = rest.substr(slash);
        rest.erase(slash);
    }
    TQuickBarFields f;
    const auto at = rest.rfind('@');
    bool hasUser = false;
    if (at != std::string::npos) {
        const std::string userInfo = rest.substr(0, at);
        rest.erase(0, at + 1);
        const auto colon = userInfo.find(':');
        f.User = PercentDecode(userInfo.substr(0, colon));
        if (colon != std::string::npos) f.Pass = PercentDecode(userInfo.substr(colon + 1));
        hasUser = !f.User.empty();
    }
    std::string host = rest, port;
    if (!host.empty() && host.front() == '[') { // a literal IPv6 address
        const auto close = host.find(']');
        if (close != std::string::npos) {
            const std::string after = host.substr(close + 1);
            if (!after.empty()) {
                port = after.substr(1);
                if (after.front() != ':' || !IsValidPort(port)) return BadPort(port);
            }
            host = host.substr(1, close - 1);
        }
    } else if (const auto colon = host.find(':'); colon != std::string::npos) {
        port = host.substr(colon + 1);
        host.erase(colon);
        if (!IsValidPort(port)) return BadPort(port);
    }
    f.Host = Lower(host);
    f.Port = port.empty() ? "21" : port;
    if (!hasUser) {
        f.User = "anonymous";
        f.Pass = anonymousEmail;
    }
    TFtpUrlResult r;
    // The path is relative to the login folder; a path naming a file opens its folder.
    path = PercentDecode(path);
    if (!path.empty()) path.erase(0, 1);
    const auto last = path.rfind('/');
    r.RemoteDir = last == std::string::npos ? std::string() : path.substr(0, last);
    bar = f;
    return r;
}

TFtpUrlResult ParseEntry(const std::string& text, TQuickBarFields& bar)
{
    std::string hostPart = text, folder;
    if (const auto slash = text.find('/'); slash != std::string::npos) {
        hostPart = text.substr(0, slash);
        folder = text.substr(slash);
    }
    TQuickBarFields f = bar;
    const auto colon = hostPart.find(':');
    f.Host = Lower(hostPart.substr(0, colon));
    if (colon != std::string::npos) {
        std::string r = hostPart.substr(colon + 1);
        const auto c2 = r.find(':');
        if (c2 != std::string::npos && AllDigits(r.substr(0, c2))) {
            if (!IsValidPort(r.substr(0, c2))) return BadPort(r.substr(0, c2));
            f.Port = r.substr(0, c2);
            r.erase(0, c2 + 1);
        } else if (c2 == std::string::npos) {
            // "host:port"; "host:" and "host:abc" have no usable port.
            if (!IsValidPort(r)) return BadPort(r);
            f.Port = r;
            r.clear();
        }
        if (const auto c3 = r.find(':'); c3 != std::string::npos) {
            f.User = r.substr(0, c3);
            f.Pass = r.substr(c3 + 1);
        }
    }
    TFtpUrlResult res;
    res.RemoteDir = folder;
    bar = f;
    return res;
}

} // namespace

bool IsValidPort(const std::string& port)
{
    if (port.empty() || port.size() > 5 || !AllDigits(port)) return false;
    const int n = std::stoi(port);
    return n >= 1 && n <= 65535;
}

TFtpUrlResult ParseFtpURL(const std::string& text, TQuickBarFields& bar, const std::string& anonymousEmail)
{
    if (text.size() >= 6 && Lower(text.substr(0, 6)) == "ftp://") {
        // "ftp://host:port:user:pass" is a quick-connect entry behind the scheme.
        const std::string rest = text.substr(6);
        const std::string authority = rest.substr(0, rest.find('/'));
        if (authority.find('@') == std::string::npos &&
            std::count(authority.begin(), authority.end(), ':') >= 2 && authority.front() != '[')
            return ParseEntry(rest, bar);
        return ParseUrl(text, bar, anonymousEmail);
    }
    return ParseEntry(text, bar);
}

bool StoreQuickConnectEntry(std::vector<std::string>& history, const std::string& entry)
{
    const std::string masked = MaskPassword(entry);
    for (auto& e : history) {
        if (MaskPassword(e) == masked) {
            e = entry;
            return false;
        }
    }
    history.push_back(entry);
    return true;
}
