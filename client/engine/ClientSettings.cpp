#include "client/engine/ClientSettings.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <initializer_list>

#include "client/engine/CommFunc.h"
#include "client/engine/DamagedFile.h"
#include "rtl/IniFile.h"
#include "rtl/StrUtils.h"

namespace {

using rtl::TIniFile;

int MulDiv(int a, int b, int c)
{
    return int(std::lround(double(a) * double(b) / double(c)));
}

// Reads values and notes each the file holds that is no number or out of
// range: the default is used for it, and the user is told what was dropped.
struct TCheckedReader {
    const TIniFile& ini;
    std::vector<std::string>& damage;

    void Note(const char* section, const std::string& key, const std::string& text, const char* why,
              const std::string& used)
    {
        damage.push_back("[" + std::string(section) + "] " + key + " = " + text + " is " + why + "; " + used +
                         " is used");
    }

    std::int64_t Int64(const char* section, const std::string& key, std::int64_t def,
                       std::int64_t min = INT64_MIN, std::int64_t max = INT64_MAX)
    {
        const std::string text = ini.ReadString(section, key, "");
        if (text.empty()) return def; // missing or blank: the default, as ever
        const std::int64_t v = ini.ReadInteger(section, key, def);
        if (v != ini.ReadInteger(section, key, def == INT64_MAX ? def - 1 : def + 1)) {
            Note(section, key, text, "not a number", std::to_string(def));
            return def;
        }
        if (v < min || v > max) {
            Note(section, key, text, "out of range", std::to_string(def));
            return def;
        }
        return v;
    }

    int Int(const char* section, const std::string& key, int def, int min = INT_MIN, int max = INT_MAX)
    {
        return int(Int64(section, key, def, min, max));
    }

    // One of the values allowed, else def.
    int OneOf(const char* section, const std::string& key, int def, std::initializer_list<int> allowed)
    {
        const int v = Int(section, key, def);
        if (std::find(allowed.begin(), allowed.end(), v) != allowed.end()) return v;
        Note(section, key, ini.ReadString(section, key, ""), "out of range", std::to_string(def));
        return def;
    }

    bool Bool(const char* section, const std::string& key, bool def)
    {
        const std::string text = ini.ReadString(section, key, "");
        const bool v = ini.ReadBool(section, key, def);
        if (!text.empty() && v != ini.ReadBool(section, key, !def)) {
            Note(section, key, text, "not a number", def ? "1" : "0");
            return def;
        }
        return v;
    }

    // Lists far longer than any a person keeps; a Count beyond it is damage.
    static constexpr std::int64_t kMaxListCount = 100000;

    // How many positions of a list to read: Count, each missing key being an
    // empty entry, so lists read side by side (names and commands) keep their
    // pairing. A Count beyond all reason reads up to the highest key prefix +
    // n present instead, so that it can neither make the reader spin nor hide
    // an entry; one below 0 reads nothing (the keys stay in the file, as keys
    // beyond a list's Count do).
    std::int64_t ListLength(const char* section, const char* prefix)
    {
        const std::string text = ini.ReadString(section, "Count", "");
        const std::int64_t count = Int64(section, "Count", 0);
        if (count < 0) Note(section, "Count", text, "out of range", "0");
        if (count <= 0) return 0;
        if (count <= kMaxListCount) return count;
        std::int64_t highest = -1;
        const std::string p = prefix;
        for (const auto& key : ini.ReadSection(section)) {
            if (!rtl::StartsText(p, key)) continue;
            if (auto n = rtl::ParseInt64(key.substr(p.size())); n && *n >= 0 && key.substr(p.size())[0] != ' ')
                highest = std::max(highest, *n);
        }
        damage.push_back("[" + std::string(section) + "] Count = " + text +
                         " is out of range; the entries present are read");
        return std::min(count, highest + 1);
    }

    // A Count above the entries there: the file was cut or overwritten.
    void NoteMissing(const char* section, std::int64_t missing, const char* what)
    {
        if (missing <= 0) return;
        damage.push_back("[" + std::string(section) + "] Count = " + ini.ReadString(section, "Count", "") + ", but " +
                         std::to_string(missing) + " of its " + what +
                         (missing == 1 ? " is missing; it reads as empty" : " are missing; they read as empty"));
    }

    std::vector<std::string> List(const char* section, bool skipEmpty = false)
    {
        std::vector<std::string> out;
        const std::int64_t limit = ListLength(section, "");
        std::int64_t missing = 0;
        for (std::int64_t i = 0; i < limit; ++i) {
            missing += !ini.ValueExists(section, std::to_string(i));
            std::string v = ini.ReadString(section, std::to_string(i), "");
            if (skipEmpty && v.empty()) continue;
            out.push_back(std::move(v));
        }
        NoteMissing(section, missing, "entries");
        return out;
    }

    template <class T>
    void Connection(const char* section, T& s, std::initializer_list<int> types)
    {
        s.Enabled = Bool(section, "Enabled", false);
        s.Host = ini.ReadString(section, "Host", "");
        s.Port = ini.ReadString(section, "Port", "");
        s.User = ini.ReadString(section, "User", "");
        s.Pass = ini.ReadString(section, "Pass", "");
        s.Type = std::uint8_t(OneOf(section, "Type", 0, types));
    }

    // Character set, colour, height, name, pitch, then size: the stored size
    // decides, and a file with a height only keeps the size that height gives.
    void Font(const std::string& prefix, TFontSetting& font)
    {
        font.CharSet = Int("Fonts", prefix + "CharSet", font.CharSet, 0, 255);
        font.Color = Int64("Fonts", prefix + "Color", font.Color);
        font.SetHeight(Int("Fonts", prefix + "Height", font.Height, -1000, 1000));
        font.Name = ini.ReadString("Fonts", prefix + "Name", font.Name);
        font.Pitch = Int("Fonts", prefix + "Pitch", font.Pitch);
        font.SetSize(Int("Fonts", prefix + "Size", font.Size, 1, 1000));
    }
};

void WriteList(TIniFile& ini, const char* section, const std::vector<std::string>& list)
{
    ini.WriteInteger(section, "Count", std::int64_t(list.size()));
    for (std::size_t i = 0; i < list.size(); ++i) ini.WriteString(section, std::to_string(i), list[i]);
}

template <class T>
void WriteConnection(TIniFile& ini, const char* section, const T& s)
{
    ini.WriteBool(section, "Enabled", s.Enabled);
    ini.WriteString(section, "Host", s.Host);
    ini.WriteString(section, "Port", s.Port);
    ini.WriteString(section, "User", s.User);
    ini.WriteString(section, "Pass", s.Pass);
    ini.WriteInteger(section, "Type", s.Type);
}

void WriteFont(TIniFile& ini, const std::string& prefix, const TFontSetting& font)
{
    ini.WriteInteger("Fonts", prefix + "CharSet", font.CharSet);
    ini.WriteInteger("Fonts", prefix + "Color", font.Color);
    ini.WriteInteger("Fonts", prefix + "Height", font.Height);
    ini.WriteString("Fonts", prefix + "Name", font.Name);
    ini.WriteInteger("Fonts", prefix + "Pitch", font.Pitch & 0x7F);
    ini.WriteInteger("Fonts", prefix + "Size", font.Size);
}

// Writes through to the file, readable by its owner only; false when that
// fails. A damaged file is rewritten only once a copy of it is kept, and
// without its damaged lines.
template <class Write>
bool UpdateIniFile(const std::string& fileName, Write write)
{
    try {
        TIniFile ini(fileName);
        if (!KeepAsideBeforeRewrite(fileName, TClientSettings().Load(ini, "/"))) return false;
        ini.DropMalformedLines();
        ini.SetFileMode(0600);
        write(ini);
        ini.UpdateFile();
        return true;
    } catch (const rtl::Exception&) {
        return false;
    }
}

const char* const kSoundKeys[5] = {"0", "1", "2", "3", "4"};

} // namespace

void TFontSetting::SetHeight(int height)
{
    Height = height;
    Size = -MulDiv(height, 72, 96);
}

void TFontSetting::SetSize(int size)
{
    Size = size;
    Height = -MulDiv(size, 96, 72);
}

std::vector<std::string> TClientSettings::Load(const TIniFile& ini, const std::string& programDir)
{
    std::vector<std::string> damage;
    if (std::string bad = MalformedLinesText(ini.MalformedLines()); !bad.empty()) damage.push_back(bad);
    TCheckedReader r{ini, damage};
    TextExtList.clear();
    QuickConnectList = r.List("ServerIP", true);
    ServerIPItemIndex = r.Int("ServerIP", "ItemIndex", 0);
    BookmarkList = r.List("Bookmarks");
    LocalDirList = r.List("LocalDirectoryList");
    TextExtList = r.List("TextExt", true);
    FtpCliNum = r.Int("FtpCliNum", "FtpCliNum", 3, 1, 255); // the pool has slots 0..255, at least one
    MTFileSize = r.Int64("MTFileSize", "MTFileSize", 1000000, 1);
    LocalPath = ini.ReadString("LocalPath", "LocalPath", programDir);
    r.Connection("Proxy", ProxySetting, {0, 1, 5, 6, 7});
    ShowToolBar = r.Bool("View", "ShowToolBar", true);
    ShowQuickLunchBar = r.Bool("View", "ShowQuickLunchBar", true);
    ShowTransferStateWindow = r.Bool("View", "ShowTransferStateWindow", true);
    ShowStatusWindow = r.Bool("View", "ShowStatusWindow", true);
    MaxThreadNum = r.Int("FtpCliNum", "MaxThreadNum", 7, 1, 255);
    SplitNum = r.Int("SplitNum", "SplitNum", 0, 0);
    ConfirmFlags.Overwrite = r.Bool("Confirm", "Overwrite", true);
    ConfirmFlags.Abort = r.Bool("Confirm", "Abort", true);
    ConfirmFlags.Disconnect = r.Bool("Confirm", "Disconnect", true);
    ConfirmFlags.Delete = r.Bool("Confirm", "Delete", true);
    ConfirmFlags.TransferOver = r.Bool("Confirm", "TransferOver", true);
    ConfirmFlags.NewConnect = r.Bool("Confirm", "NewConnect", true);
    ConfirmFlags.MoveFiles = r.Bool("Confirm", "MoveFiles", true);
    ConfirmFlags.ResumeBroken = r.Bool("Confirm", "ResumeBroken", true);
    ConfirmFlags.DeleteBroken = r.Bool("Confirm", "DeleteBroken", true);
    InterceptFtpURL = r.Bool("Transfer", "InterceptFtpURL", true);
    IgnoreLinksOnGet = r.Bool("Transfer", "IgnoreLinksOnGet", true);
    DefaultEditView = ini.ReadString("Transfer", "DefaultEditView", "");
    CheckFreeSpace = r.Bool("Advanced", "CheckFreeSpace", true);
    ShowHidenFile = r.Bool("Advanced", "ShowHidenFile", false);
    DirectoryOnTop = r.Bool("Advanced", "DirectoryOnTop", true);
    AutoSizeColumn = r.Bool("Advanced", "AutoSizeColumn", true);
    SpeedFormat = r.Int("Advanced", "SpeedFormat", 0, 0, 1);
    r.Connection("Socks", SocksSetting, {0, 2, 3, 4});
    CustomCommandNames = r.List("CustomCommandName");
    CustomCommandCmds = r.List("CustomCommandCmd");
    IndexFileList = r.List("IndexFile");
    IndexFileMaxSize = r.Int("IndexFile", "MaxSize", 100, 0);
    IndexFileDisable = r.Bool("IndexFile", "Disable", false);
    for (int i = 0; i < 5; ++i) SoundFiles[std::size_t(i)] = ini.ReadString("Sound", kSoundKeys[i], "");
    PasvMode = r.Bool("PasvMode", "PasvMode", false);
    UseSkin = r.Int("Skin", "UseSkin", 1);
    if (UseSkin != 0) SkinColor = r.Int64("Skin", std::to_string(UseSkin) + "Clr", 16777215, 0, 0xFFFFFF);
    MainConnDownload = true; // connection 0 always carries queue items, whatever the file says
    ProgramFont = r.Bool("Fonts", "ProgramFont", false);
    RichEditFont = r.Bool("Fonts", "RichEditFont", false);
    MoniterClipboard = r.Bool("Advanced", "MoniterClipboard", true);
    DialUPType = r.Int("DialUP", "Type", 0, 0, 1);
    DialUPIndex = r.Int("DialUP", "Index", 0, 0);
    DialUPShowAuth = r.Bool("DialUP", "ShowAuth", true);
    DialUPShowError = r.Bool("DialUP", "ShowError", true);
    DialUPRetryTimes = r.Int("DialUP", "RetryTimes", 5, 0);
    DialUPRetrySpan = r.Int("DialUP", "RetrySpan", 5, 0);
    DialUPDisconnect = r.Bool("DialUP", "Disconnect", false);
    RenameExtList.clear();
    {
        const std::int64_t limit = std::max(r.ListLength("RenameExt", "Local"),
                                            r.ListLength("RenameExt", "Host"));
        std::int64_t half = 0;
        for (std::int64_t i = 0; i < limit; ++i) {
            const std::string local = "Local" + std::to_string(i), host = "Host" + std::to_string(i);
            // Half a pair would rename to an extension nobody chose: it reads as empty.
            if (!ini.ValueExists("RenameExt", local) || !ini.ValueExists("RenameExt", host)) {
                ++half;
                RenameExtList.push_back({});
                continue;
            }
            RenameExtList.push_back({ini.ReadString("RenameExt", local, ""), ini.ReadString("RenameExt", host, "")});
        }
        r.NoteMissing("RenameExt", half, "pairs");
    }
    FileCase = r.Int("Advanced", "FileCase", 0, 0, 2);
    PromoteMethod = r.Int("Advanced", "PromoteMethod", 1, 0, 2);
    ProgramFontInfo = TFontSetting();
    RichEditFontInfo = TFontSetting();
    r.Font("ProgramFont", ProgramFontInfo);
    r.Font("RichEditFont", RichEditFontInfo);
    AntiIdleEnable = r.Bool("AntiIdle", "Enable", true);
    AntiIdleInterval = r.Int("AntiIdle", "Interval", 60, 1); // a timer of 0 would fire without pause
    ShowSiteManager = r.Bool("General", "ShowSiteManager", false);
    ConnectionRetryTimes = r.Int("General", "ConnectionRetryTimes", 3, 0);
    Timeout = r.Int("General", "Timeout", 30, 0); // 0 waits without limit
    AnonymousEmail = ini.ReadString("General", "AnonymousEmail", TClientSettings().AnonymousEmail);
    ResolveLinkAsFile = r.Bool("Directory", "ResolveLinkAsFile", false);
    ShowLink = r.Bool("Directory", "ShowLink", true);
    TransferType = r.Int("Setting", "TransferType", 2, 0, 2);
    DoubleClickAction = r.Int("General", "DoubleClickAction", 0, 0, 3);
    HideColumnHeader = r.Bool("General", "HideColumnHeader", false);
    SelectEntireLine = r.Bool("General", "SelectEntireLine", false);
    HideOnMinimize = r.Bool("General", "HideOnMinimize", false);
    EnableSplitDownload = r.Bool("General", "EnableSplitDownload", true);
    ShowLoginMessage = r.Bool("General", "ShowLoginMessage", true);
    SaveLogToFile = r.Bool("General", "SaveLogToFile", false);
    LogFileName = ini.ReadString("General", "LogFileName", "");
    Maximized = r.Bool("WindowState", "Maximized", false);
    Left = r.Int("WindowState", "Left", Left);
    Top = r.Int("WindowState", "Top", Top);
    Width = r.Int("WindowState", "Width", Width, 1);
    Height = r.Int("WindowState", "Height", Height, 1);
    return damage;
}

void TClientSettings::Save(TIniFile& ini) const
{
    WriteList(ini, "ServerIP", QuickConnectList);
    ini.WriteInteger("ServerIP", "ItemIndex", ServerIPItemIndex);
    WriteList(ini, "Bookmarks", BookmarkList);
    WriteList(ini, "LocalDirectoryList", LocalDirList);
    WriteList(ini, "TextExt", TextExtList);
    ini.WriteInteger("FtpCliNum", "FtpCliNum", FtpCliNum);
    // The whole 64-bit value: a size of 4 GB and more must come back unchanged.
    ini.WriteInteger("MTFileSize", "MTFileSize", MTFileSize);
    ini.WriteString("LocalPath", "LocalPath", LocalPath);
    WriteConnection(ini, "Proxy", ProxySetting);
    ini.WriteBool("View", "ShowToolBar", ShowToolBar);
    ini.WriteBool("View", "ShowQuickLunchBar", ShowQuickLunchBar);
    ini.WriteBool("View", "ShowTransferStateWindow", ShowTransferStateWindow);
    ini.WriteBool("View", "ShowStatusWindow", ShowStatusWindow);
    ini.WriteInteger("FtpCliNum", "MaxThreadNum", MaxThreadNum);
    ini.WriteInteger("SplitNum", "SplitNum", SplitNum);
    ini.WriteBool("Confirm", "Overwrite", ConfirmFlags.Overwrite);
    ini.WriteBool("Confirm", "Abort", ConfirmFlags.Abort);
    ini.WriteBool("Confirm", "Disconnect", ConfirmFlags.Disconnect);
    ini.WriteBool("Confirm", "Delete", ConfirmFlags.Delete);
    ini.WriteBool("Confirm", "TransferOver", ConfirmFlags.TransferOver);
    ini.WriteBool("Confirm", "NewConnect", ConfirmFlags.NewConnect);
    ini.WriteBool("Confirm", "MoveFiles", ConfirmFlags.MoveFiles);
    ini.WriteBool("Confirm", "ResumeBroken", ConfirmFlags.ResumeBroken);
    ini.WriteBool("Confirm", "DeleteBroken", ConfirmFlags.DeleteBroken);
    ini.WriteBool("Transfer", "InterceptFtpURL", InterceptFtpURL);
    ini.WriteBool("Transfer", "IgnoreLinksOnGet", IgnoreLinksOnGet);
    ini.WriteString("Transfer", "DefaultEditView", DefaultEditView);
    ini.WriteBool("Advanced", "CheckFreeSpace", CheckFreeSpace);
    ini.WriteBool("Advanced", "ShowHidenFile", ShowHidenFile);
    ini.WriteBool("Advanced", "DirectoryOnTop", DirectoryOnTop);
    ini.WriteBool("Advanced", "AutoSizeColumn", AutoSizeColumn);
    ini.WriteInteger("Advanced", "SpeedFormat", SpeedFormat);
    WriteConnection(ini, "Socks", SocksSetting);
    WriteList(ini, "CustomCommandName", CustomCommandNames);
    WriteList(ini, "CustomCommandCmd", CustomCommandCmds);
    WriteList(ini, "IndexFile", IndexFileList);
    ini.WriteInteger("IndexFile", "MaxSize", IndexFileMaxSize);
    ini.WriteBool("IndexFile", "Disable", IndexFileDisable);
    for (int i = 0; i < 5; ++i) ini.WriteString("Sound", kSoundKeys[i], SoundFiles[std::size_t(i)]);
    ini.WriteBool("PasvMode", "PasvMode", PasvMode);
    ini.WriteBool("MainConnDownload", "MainConnDownload", MainConnDownload);
    ini.WriteBool("Fonts", "ProgramFont", ProgramFont);
    ini.WriteBool("Fonts", "RichEditFont", RichEditFont);
    ini.WriteBool("Advanced", "MoniterClipboard", MoniterClipboard);
    ini.WriteInteger("DialUP", "Type", DialUPType);
    ini.WriteInteger("DialUP", "Index", DialUPIndex);
    ini.WriteBool("DialUP", "ShowAuth", DialUPShowAuth);
    ini.WriteBool("DialUP", "ShowError", DialUPShowError);
    ini.WriteInteger("DialUP", "RetryTimes", DialUPRetryTimes);
    ini.WriteInteger("DialUP", "RetrySpan", DialUPRetrySpan);
    ini.WriteBool("DialUP", "Disconnect", DialUPDisconnect);
    ini.WriteInteger("RenameExt", "Count", std::int64_t(RenameExtList.size()));
    for (std::size_t i = 0; i < RenameExtList.size(); ++i) {
        ini.WriteString("RenameExt", "Local" + std::to_string(i), RenameExtList[i].Local);
        ini.WriteString("RenameExt", "Host" + std::to_string(i), RenameExtList[i].Host);
    }
    ini.WriteInteger("Advanced", "FileCase", FileCase);
    ini.WriteInteger("Advanced", "PromoteMethod", PromoteMethod);
    WriteFont(ini, "ProgramFont", ProgramFontInfo);
    WriteFont(ini, "RichEditFont", RichEditFontInfo);
    ini.WriteBool("AntiIdle", "Enable", AntiIdleEnable);
    ini.WriteInteger("AntiIdle", "Interval", AntiIdleInterval);
    ini.WriteBool("General", "ShowSiteManager", ShowSiteManager);
    ini.WriteInteger("General", "ConnectionRetryTimes", ConnectionRetryTimes);
    ini.WriteInteger("General", "Timeout", Timeout);
    ini.WriteString("General", "AnonymousEmail", AnonymousEmail);
    ini.WriteBool("Directory", "ResolveLinkAsFile", ResolveLinkAsFile);
    ini.WriteBool("Directory", "ShowLink", ShowLink);
    ini.WriteInteger("Setting", "TransferType", TransferType);
    ini.WriteInteger("General", "DoubleClickAction", DoubleClickAction);
    ini.WriteBool("General", "HideColumnHeader", HideColumnHeader);
    ini.WriteBool("General", "SelectEntireLine", SelectEntireLine);
    ini.WriteBool("General", "HideOnMinimize", HideOnMinimize);
    ini.WriteBool("General", "EnableSplitDownload", EnableSplitDownload);
    ini.WriteBool("General", "ShowLoginMessage", ShowLoginMessage);
    ini.WriteBool("General", "SaveLogToFile", SaveLogToFile);
    ini.WriteString("General", "LogFileName", LogFileName);
    ini.WriteBool("WindowState", "Maximized", Maximized);
    ini.WriteInteger("WindowState", "Left", Left);
    ini.WriteInteger("WindowState", "Top", Top);
    ini.WriteInteger("WindowState", "Width", Width);
    ini.WriteInteger("WindowState", "Height", Height);
}

std::vector<std::string> TClientSettings::LoadFromFile(const std::string& fileName, const std::string& programDir)
{
    std::vector<std::string> damage;
    if (std::string why = UnreadableReason(fileName); !why.empty()) damage.push_back(why);
    for (auto& d : Load(TIniFile(fileName), programDir)) damage.push_back(std::move(d));
    return damage;
}

bool TClientSettings::SaveToFile(const std::string& fileName) const
{
    return UpdateIniFile(fileName, [this](TIniFile& ini) { Save(ini); });
}

int TClientSettings::QuickConnectSelection() const
{
    if (QuickConnectList.empty()) return -1;
    if (ServerIPItemIndex < 0 || std::size_t(ServerIPItemIndex) >= QuickConnectList.size()) return 0;
    return ServerIPItemIndex;
}

std::vector<std::string> TClientSettings::QuickConnectHostBoxItems() const
{
    std::vector<std::string> items;
    for (const auto& e : QuickConnectList) items.push_back(MaskPassword(e));
    return items;
}

bool TClientSettings::WriteSkinChoice(const std::string& fileName, int useSkin)
{
    return UpdateIniFile(fileName, [useSkin](TIniFile& ini) { ini.WriteInteger("Skin", "UseSkin", useSkin); });
}
