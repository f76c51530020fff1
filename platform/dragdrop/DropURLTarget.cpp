#include "platform/dragdrop/DropURLTarget.h"

#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>
#include <cstring>

#include "platform/dragdrop/DropSource.h"
#include "rtl/StrUtils.h"

namespace {

// Longer than any address a host box takes; a dropped file larger than a
// shortcut is not one.
constexpr int kMaxUrl = 2048;
constexpr qint64 kMaxShortcutFile = 64 * 1024;

// The text up to its first NUL (clipboard texts end in one).
std::string CText(const QByteArray& bytes)
{
    int end = bytes.indexOf('\0');
    return std::string(bytes.constData(), static_cast<std::size_t>(end < 0 ? bytes.size() : end));
}

// An address is one word: blanks around it are dropped, but text with
// blanks, line breaks or control characters inside is no address.
bool AsUrl(const std::string& text, std::string& url)
{
    std::string word = rtl::Trim(text);
    if (word.empty() || word.size() > kMaxUrl)
        return false;
    for (char c : word)
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F)
            return false;
    url = word;
    return true;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return lines;
}

bool EndsWithUrl(const std::string& name)
{
    return name.size() >= 4 && rtl::SameText(name.substr(name.size() - 4), ".url");
}

std::uint32_t Get32(const QByteArray& b, int at)
{
    auto u = [&](int i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + i])); };
    return u(0) | (u(1) << 8) | (u(2) << 16) | (u(3) << 24);
}

} // namespace

bool ParseInternetShortcut(const std::vector<std::string>& lines, std::string& url)
{
    // The section header must have a line after it.
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        if (!rtl::SameText(lines[i], "[InternetShortcut]"))
            continue;
        for (std::size_t k = i + 1; k < lines.size(); ++k) {
            if (rtl::StartsText("URL=", lines[k])) {
                url = lines[k].substr(4);
                return true;
            }
            if (!lines[k].empty() && lines[k][0] == '[')
                return false;
        }
        return false;
    }
    return false;
}

bool ReadInternetShortcut(const std::string& fileName, std::string& url)
{
    QFile file(QString::fromStdString(fileName));
    if (file.size() > kMaxShortcutFile || !file.open(QIODevice::ReadOnly))
        return false;
    return ParseInternetShortcut(Lines(CText(file.read(kMaxShortcutFile))), url);
}

std::string FileGroupDescriptorName(const QByteArray& block)
{
    // A count, then descriptors of 332 bytes whose name (260 bytes) starts 72
    // bytes in: the first name lies 76 bytes into the block.
    constexpr int kCount = 4, kDescriptor = 332, kNameAt = 76, kName = 260;
    if (block.size() < kCount + kDescriptor || Get32(block, 0) < 1)
        return {};
    std::string name = CText(block.mid(kNameAt, kName));
    if (EndsWithUrl(name))
        name.resize(name.size() - 4);
    return name;
}

TDropURLTarget::TDropURLTarget()
{
    Dragtypes = 1u << dtLink;
    GetDataOnEnter = true;
}

bool TDropURLTarget::AcceptsData(const QMimeData* data)
{
    return data && (!FindFormat(data, CFSTR_SHELLURL).isEmpty() || data->hasUrls() || data->hasText() ||
                    !FindFormat(data, CFSTR_FILECONTENTS).isEmpty());
}

bool TDropURLTarget::ReadData(const QMimeData* data)
{
    URL.clear();
    Title.clear();
    std::string url;
    bool found = false;
    // The first format the data offers decides: one holding no address means no drop.
    if (QString format = FindFormat(data, CFSTR_SHELLURL); !format.isEmpty()) {
        found = AsUrl(CText(data->data(format)), url);
    } else if (data->hasUrls()) {
        QList<QUrl> urls = data->urls();
        if (!urls.isEmpty() && urls.first().isLocalFile()) {
            // A dropped file: only an Internet shortcut gives an address.
            std::string path = urls.first().toLocalFile().toStdString();
            std::string target;
            if (EndsWithUrl(path) && ReadInternetShortcut(path, target) && AsUrl(target, url)) {
                found = true;
                std::string name = QFileInfo(QString::fromStdString(path)).fileName().toStdString();
                Title = name.substr(0, name.size() - 4);
            }
        } else if (!urls.isEmpty()) {
            found = AsUrl(urls.first().toString().toStdString(), url);
        }
    } else if (data->hasText()) {
        found = AsUrl(data->text().toStdString(), url);
    } else if (QString format = FindFormat(data, CFSTR_FILECONTENTS); !format.isEmpty()) {
        std::string target;
        found = ParseInternetShortcut(Lines(CText(data->data(format))), target) && AsUrl(target, url);
    }
    if (!found) {
        Title.clear();
        return false;
    }
    URL = url;
    if (QString format = FindFormat(data, CFSTR_FILEDESCRIPTOR); !format.isEmpty()) {
        std::string name = FileGroupDescriptorName(data->data(format));
        if (!name.empty())
            Title = name;
    }
    if (Title.empty())
        Title = URL;
    return true;
}

void TDropURLTarget::ReleaseData()
{
    URL.clear();
}
