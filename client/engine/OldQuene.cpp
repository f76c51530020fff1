#include "client/engine/OldQuene.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <optional>
#include <string_view>

#include "client/engine/DamagedFile.h"
#include "rtl/IniFile.h"
#include "rtl/StrUtils.h"

namespace {

const char* const kCount = "Count";

// Far more lists or items than a queue ever leaves; a count beyond it is damage.
constexpr std::int64_t kMaxCount = 1000000;

// The numbers n >= 1 for which names holds n + suffix, ascending. Taken from
// the names present, not by counting them: lists or items missing before the
// last must not hide it, and a damaged count costs nothing.
std::vector<std::int64_t> NumbersPresent(const std::vector<std::string>& names, std::string_view suffix)
{
    std::vector<std::int64_t> numbers;
    for (const auto& name : names) {
        if (name.size() <= suffix.size() ||
            !rtl::SameText(std::string_view(name).substr(name.size() - suffix.size()), suffix))
            continue;
        const std::string digits = name.substr(0, name.size() - suffix.size());
        auto n = rtl::ParseInt64(digits);
        if (n && *n >= 1 && std::to_string(*n) == digits) numbers.push_back(*n);
    }
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    return numbers;
}

void Note(std::vector<std::string>* damage, std::string text)
{
    if (damage) damage->push_back(std::move(text));
}

// The keys of a list, and those of each item (after its number): a list or
// item without one of them was cut or overwritten, and is not read.
const char* const kListKeys[] = {"DateTime", "HostName", "HostPort", "UserName", "PassWord", "OldQueneCount"};
const char* const kItemKeys[] = {"IsDownload", "HostPath", "LocalPath", "FileSize", "BeginPos", "EndPos", "IsDir"};
const char* const kItemNumbers[] = {"IsDownload", "FileSize", "BeginPos", "EndPos", "IsDir"};

// The numbers to read under a count key, from present (ascending): 1 ..
// count of those present. A count that is not a number, below 0 or absurd
// reads all present (and is damage); numbers beyond a sound count are not
// read, and are damage too, since the next save leaves them out. So is a
// count above what is there.
std::vector<std::int64_t> Numbered(const rtl::TIniFile& ini, std::string_view section, std::string_view key,
                                   std::vector<std::int64_t> present, const std::string& what,
                                   std::vector<std::string>* damage)
{
    const std::string text = ini.ReadString(section, key, "");
    const auto count = rtl::ParseInt64(rtl::Trim(text));
    if ((!text.empty() && !count) || (count && (*count < 0 || *count > kMaxCount))) {
        Note(damage, "[" + std::string(section) + "] " + std::string(key) + " = " + text + " is out of range; the " +
                         what + " the file holds are read");
        return present;
    }
    const std::int64_t n = count.value_or(0);
    const auto beyond = std::upper_bound(present.begin(), present.end(), n);
    if (const std::int64_t missing = n - (beyond - present.begin()); missing > 0)
        Note(damage, "[" + std::string(section) + "] " + std::string(key) + " = " + std::to_string(n) + ", but " +
                         std::to_string(missing) + (missing == 1 ? " of them is" : " of them are") + " missing");
    if (beyond != present.end()) {
        Note(damage, std::to_string(present.end() - beyond) + " " + what + " of [" + std::string(section) +
                         "] lie beyond its " + std::string(key) + " " + std::to_string(n) + " and are not read");
        present.erase(beyond, present.end());
    }
    return present;
}

// The numbers of the items section s holds, by any of their keys.
std::vector<std::int64_t> ItemNumbers(const std::vector<std::string>& keys)
{
    std::vector<std::int64_t> all;
    for (const char* k : kItemKeys)
        for (std::int64_t n : NumbersPresent(keys, k)) all.push_back(n);
    std::sort(all.begin(), all.end());
    all.erase(std::unique(all.begin(), all.end()), all.end());
    return all;
}

std::string Joined(const std::vector<std::string>& names)
{
    std::string out;
    for (const auto& n : names) out += (out.empty() ? "" : ", ") + n;
    return out;
}

// Item p of section s when it is whole; else why not, in why.
std::optional<TTransferFileInfo> ReadItem(const rtl::TIniFile& ini, const std::string& s, const std::string& p,
                                          std::string& why)
{
    std::vector<std::string> lacking;
    for (const char* k : kItemKeys)
        if (!ini.ValueExists(s, p + k)) lacking.push_back(p + k);
    if (!lacking.empty()) {
        why = "it lacks " + Joined(lacking);
        return std::nullopt;
    }
    for (const char* k : kItemNumbers) {
        const std::string key = p + k;
        if (ini.ReadInteger(s, key, 0) != ini.ReadInteger(s, key, 1)) {
            why = key + " = " + ini.ReadString(s, key, "") + " is not a number";
            return std::nullopt;
        }
    }
    TTransferFileInfo item;
    item.IsDownload = ini.ReadBool(s, p + "IsDownload", true);
    item.HostPath = ini.ReadString(s, p + "HostPath", "");
    item.LocalPath = ini.ReadString(s, p + "LocalPath", "");
    // -1 is a begin position of its own (the whole file).
    item.FileSize = ini.ReadInteger(s, p + "FileSize", 0);
    item.BeginPos = ini.ReadInteger(s, p + "BeginPos", 0);
    item.EndPos = ini.ReadInteger(s, p + "EndPos", 0);
    item.IsDir = ini.ReadBool(s, p + "IsDir", false);
    // Written only when set: a list without it reads as before.
    item.InPartialFile = ini.ReadBool(s, p + "InPartialFile", false);
    return item;
}

// The lists of ini with the lines that are damaged noted first.
void ReadLists(const rtl::TIniFile& ini, std::vector<TOldQuene>& list, std::vector<std::string>* damage)
{
    if (std::string bad = MalformedLinesText(ini.MalformedLines()); !bad.empty()) Note(damage, bad);
    for (std::int64_t i : Numbered(ini, kCount, kCount, NumbersPresent(ini.ReadSections(), ""), "lists", damage))
        if (i <= INT_MAX)
            if (auto q = ReadOldQuene(ini, int(i), damage)) list.push_back(std::move(*q));
}

// A damaged file is rewritten only once a copy of it is kept: what could not
// be read of it would be gone.
void KeepAside(const std::string& fileName, const std::vector<std::string>& damage)
{
    if (!KeepAsideBeforeRewrite(fileName, damage))
        throw rtl::EIniFileException(fileName + " is damaged and no copy of it could be kept; it is left as it is");
}

// Holds the lock every writer of the file takes, on a file beside it (the
// file itself is replaced by each write, so it cannot carry the lock).
class TOldQueneLock {
public:
    explicit TOldQueneLock(const std::string& fileName)
        : fd_(::open((fileName + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600))
    {
        // Without a lock file (a folder not writable) the write below fails
        // and says so; nothing is gained by refusing here.
        while (fd_ >= 0 && ::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    ~TOldQueneLock()
    {
        if (fd_ >= 0) ::close(fd_);
    }
    TOldQueneLock(const TOldQueneLock&) = delete;
    TOldQueneLock& operator=(const TOldQueneLock&) = delete;

private:
    int fd_;
};

std::string SectionKey(const rtl::TIniFile& ini, const std::string& s)
{
    return ini.ReadString(s, "DateTime", "") + ini.ReadString(s, "HostName", "") + ini.ReadString(s, "HostPort", "") +
           ini.ReadString(s, "UserName", "") + ini.ReadString(s, "PassWord", "");
}

// Replaces the file's text by list.
void WriteOldQuenes(rtl::TIniFile& ini, const std::vector<const TOldQuene*>& list)
{
    ini.Clear();
    ini.SetFileMode(0600);
    ini.WriteInteger(kCount, kCount, std::int64_t(list.size()));
    for (std::size_t i = 0; i < list.size(); ++i) WriteOldQuene(ini, int(i + 1), *list[i]);
    ini.UpdateFile();
}

} // namespace

std::string OldQueneKey(const TOldQuene& queue)
{
    return queue.DateTime + queue.Host.HostName + queue.Host.HostPort + queue.Host.UserName +
           queue.Host.PassWord;
}

std::optional<TOldQuene> ReadOldQuene(const rtl::TIniFile& ini, int i, std::vector<std::string>* damage)
{
    const std::string s = std::to_string(i);
    std::vector<std::string> lacking;
    for (const char* k : kListKeys)
        if (!ini.ValueExists(s, k)) lacking.push_back(k);
    if (!lacking.empty()) {
        Note(damage, "[" + s + "] lacks " + Joined(lacking) + "; the list is not read");
        return std::nullopt;
    }
    TOldQuene q;
    q.DateTime = ini.ReadString(s, "DateTime", "");
    q.Host.HostName = ini.ReadString(s, "HostName", "");
    q.Host.HostPort = ini.ReadString(s, "HostPort", "");
    q.Host.UserName = ini.ReadString(s, "UserName", "");
    q.Host.PassWord = ini.ReadString(s, "PassWord", "");
    const auto numbers = Numbered(ini, s, "OldQueneCount", ItemNumbers(ini.ReadSection(s)), "items", damage);
    std::size_t half = 0;
    std::string first;
    for (std::int64_t j : numbers) {
        const std::string p = std::to_string(j);
        std::string why;
        if (auto item = ReadItem(ini, s, p, why)) {
            q.Items.push_back(std::move(*item));
        } else if (half++ == 0) {
            first = "item " + p + ": " + why;
        }
    }
    // A half item is never queued: its path or its positions may be cut.
    if (half == 1) Note(damage, "[" + s + "] " + first + "; it is not read");
    if (half > 1) Note(damage, "[" + s + "] " + std::to_string(half) + " items are not whole and are not read; " + first);
    if (half && q.Items.empty()) {
        Note(damage, "[" + s + "] holds no whole item; the list is not read");
        return std::nullopt;
    }
    return q;
}

void LoadOldQuenes(const std::string& fileName, std::vector<TOldQuene>& list, std::vector<std::string>* damage)
{
    if (std::string why = UnreadableReason(fileName); !why.empty()) Note(damage, why);
    ReadLists(rtl::TIniFile(fileName), list, damage);
}

void WriteOldQuene(rtl::TIniFile& ini, int i, const TOldQuene& queue)
{
    const std::string s = std::to_string(i);
    ini.EraseSection(s);
    ini.WriteString(s, "DateTime", queue.DateTime);
    ini.WriteString(s, "HostName", queue.Host.HostName);
    ini.WriteString(s, "HostPort", queue.Host.HostPort);
    ini.WriteString(s, "UserName", queue.Host.UserName);
    ini.WriteString(s, "PassWord", queue.Host.PassWord);
    ini.WriteInteger(s, "OldQueneCount", std::int64_t(queue.Items.size()));
    for (std::size_t j = 0; j < queue.Items.size(); ++j) {
        const TTransferFileInfo& item = queue.Items[j];
        const std::string p = std::to_string(j + 1);
        ini.WriteBool(s, p + "IsDownload", item.IsDownload);
        ini.WriteString(s, p + "HostPath", item.HostPath);
        ini.WriteString(s, p + "LocalPath", item.LocalPath);
        // 64-bit decimal: positions past 2 GiB must resume at the right byte.
        ini.WriteInteger(s, p + "FileSize", item.FileSize);
        ini.WriteInteger(s, p + "BeginPos", item.BeginPos);
        ini.WriteInteger(s, p + "EndPos", item.EndPos);
        ini.WriteBool(s, p + "IsDir", item.IsDir);
        if (item.InPartialFile) ini.WriteBool(s, p + "InPartialFile", true);
    }
}

void SaveOldQuenes(const std::string& fileName, std::vector<TOldQuene>& list,
                   const std::unordered_set<std::string>& removedKeys)
{
    TOldQueneLock lock(fileName);
    std::unordered_set<std::string> known;
    for (const auto& q : list) known.insert(OldQueneKey(q));
    rtl::TIniFile ini(fileName);
    std::vector<TOldQuene> stored;
    std::vector<std::string> damage;
    ReadLists(ini, stored, &damage);
    KeepAside(fileName, damage);
    for (auto& q : stored) {
        std::string key = OldQueneKey(q);
        if (known.count(key) || removedKeys.count(key)) continue;
        known.insert(std::move(key));
        list.push_back(std::move(q));
    }

    std::vector<const TOldQuene*> all;
    for (const auto& q : list) all.push_back(&q);
    WriteOldQuenes(ini, all);
}

std::string StoreOldQuene(const std::string& fileName, const TOldQuene& queue, TOldQueneStore how)
{
    TOldQueneLock lock(fileName);
    rtl::TIniFile ini(fileName);
    std::vector<std::string> damage;
    if (std::string bad = MalformedLinesText(ini.MalformedLines()); !bad.empty()) damage.push_back(bad);
    std::vector<std::int64_t> numbers;
    for (std::int64_t i : Numbered(ini, kCount, kCount, NumbersPresent(ini.ReadSections(), ""), "lists", &damage))
        if (i <= INT_MAX) numbers.push_back(i);
    std::vector<std::string> keys;
    for (std::int64_t i : numbers) keys.push_back(SectionKey(ini, std::to_string(i)));

    TOldQuene unique;
    const TOldQuene* own = &queue;
    if (how == TOldQueneStore::New) {
        unique.DateTime = queue.DateTime;
        unique.Host = queue.Host;
        auto taken = [&] { return std::find(keys.begin(), keys.end(), OldQueneKey(unique)) != keys.end(); };
        for (int n = 2; taken(); ++n) unique.DateTime = queue.DateTime + " (" + std::to_string(n) + ")";
        if (unique.DateTime != queue.DateTime) {
            unique.Items = queue.Items;
            own = &unique;
        }
    }
    const std::string key = OldQueneKey(*own);
    // The others are read whole (their numbers change); the list's own
    // section, the big one while a run is journalled, is not. Reserved, so
    // the pointers into others stay valid.
    std::vector<TOldQuene> others;
    others.reserve(numbers.size());
    std::vector<const TOldQuene*> list;
    bool placed = false;
    for (std::size_t n = 0; n < numbers.size(); ++n) {
        if (keys[n] != key) {
            // Half lists and items stay only in the copy kept aside.
            if (auto q = ReadOldQuene(ini, int(numbers[n]), &damage)) {
                others.push_back(std::move(*q));
                list.push_back(&others.back());
            }
        } else if (!placed) {
            // Where it stood; a second copy of the same identity goes.
            if (how != TOldQueneStore::Remove) list.push_back(own);
            placed = true;
        }
    }
    if (!placed && how != TOldQueneStore::Remove) list.push_back(own);
    if (placed || how != TOldQueneStore::Remove) {
        KeepAside(fileName, damage);
        WriteOldQuenes(ini, list);
    }
    return own->DateTime;
}

TBrokenQueueNodeTexts BrokenQueueNodeTexts(const TOldQuene& queue)
{
    TBrokenQueueNodeTexts t;
    t.Root = queue.DateTime + " - Broken";
    t.HostInfo = {"HostName = " + queue.Host.HostName, "HostPort = " + queue.Host.HostPort,
                  "UserName = " + queue.Host.UserName};
    std::unordered_set<std::string> down, up;
    for (const auto& item : queue.Items) {
        auto& seen = item.IsDownload ? down : up;
        if (seen.insert(item.HostPath).second)
            (item.IsDownload ? t.Downloads : t.Uploads).push_back(item.HostPath);
    }
    return t;
}
