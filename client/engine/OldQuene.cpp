#include "client/engine/OldQuene.h"

#include <algorithm>

#include "rtl/IniFile.h"

namespace {
const char* const kCount = "Count";
}

std::string OldQueneKey(const TOldQuene& queue)
{
    return queue.DateTime + queue.Host.HostName + queue.Host.HostPort + queue.Host.UserName +
           queue.Host.PassWord;
}

TOldQuene ReadOldQuene(const rtl::TIniFile& ini, int i)
{
    const std::string s = std::to_string(i);
    TOldQuene q;
    q.DateTime = ini.ReadString(s, "DateTime", "");
    q.Host.HostName = ini.ReadString(s, "HostName", "");
    q.Host.HostPort = ini.ReadString(s, "HostPort", "");
    q.Host.UserName = ini.ReadString(s, "UserName", "");
    q.Host.PassWord = ini.ReadString(s, "PassWord", "");
    const std::int64_t count = ini.ReadInteger(s, "OldQueneCount", 0);
    // Every item has keys of its own, so no more items than keys can be real.
    const std::int64_t limit = std::min<std::int64_t>(count, std::int64_t(ini.ReadSection(s).size()));
    for (std::int64_t j = 1; j <= limit; ++j) {
        const std::string p = std::to_string(j);
        if (!ini.ValueExists(s, p + "IsDownload")) continue;
        TTransferFileInfo item;
        item.IsDownload = ini.ReadBool(s, p + "IsDownload", true);
        item.HostPath = ini.ReadString(s, p + "HostPath", "");
        item.LocalPath = ini.ReadString(s, p + "LocalPath", "");
        item.FileSize = ini.ReadInteger(s, p + "FileSize", 0);
        item.BeginPos = ini.ReadInteger(s, p + "BeginPos", 0);
        item.EndPos = ini.ReadInteger(s, p + "EndPos", 0);
        item.IsDir = ini.ReadBool(s, p + "IsDir", false);
        q.Items.push_back(std::move(item));
    }
    return q;
}

void LoadOldQuenes(const std::string& fileName, std::vector<TOldQuene>& list)
{
    rtl::TIniFile ini(fileName);
    const std::int64_t count = ini.ReadInteger(kCount, kCount, 0);
    const std::int64_t limit = std::min<std::int64_t>(count, std::int64_t(ini.ReadSections().size()));
    for (std::int64_t i = 1; i <= limit; ++i)
        if (ini.SectionExists(std::to_string(i))) list.push_back(ReadOldQuene(ini, int(i)));
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
    }
}

void SaveOldQuenes(const std::string& fileName, std::vector<TOldQuene>& list,
                   const std::unordered_set<std::string>& removedKeys)
{
    std::unordered_set<std::string> known;
    for (const auto& q : list) known.insert(OldQueneKey(q));
    std::vector<TOldQuene> stored;
    LoadOldQuenes(fileName, stored);
    for (auto& q : stored) {
        std::string key = OldQueneKey(q);
        if (known.count(key) || removedKeys.count(key)) continue;
        known.insert(std::move(key));
        list.push_back(std::move(q));
    }

    rtl::TIniFile ini(fileName);
    ini.Clear();
    ini.SetFileMode(0600);
    ini.WriteInteger(kCount, kCount, std::int64_t(list.size()));
    for (std::size_t i = 0; i < list.size(); ++i) WriteOldQuene(ini, int(i + 1), list[i]);
    ini.UpdateFile();
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
