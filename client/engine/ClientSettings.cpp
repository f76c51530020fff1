#include "client/engine/ClientSettings.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "client/engine/CommFunc.h"
#include "rtl/IniFile.h"
#include "rtl/StrUtils.h"

namespace {

using rtl::TIniFile;

int MulDiv(int a, int b, int c)
{
    return int(std::lround(double(a) * double(b) / double(c)));
}

int ReadInt(const TIniFile& ini, const char* section, const std::string& key, int def)
{
    std::int64_t v = ini.ReadInteger(section, key, def);
    return (v < INT_MIN || v > INT_MAX) ? def : int(v);
}

std::uint8_t ReadByte(const TIniFile& ini, const char* section, const char* key)
{
    std::int64_t v = ini.ReadInteger(section, key, 0);
    return (v < 0 || v > 255) ? 0 : std::uint8_t(v);
}

// Lists far longer than any a person keeps; a Count beyond it is damage.
constexpr std::int64_t kMaxListCount = 100000;

// How many positions of a list to read: Count, each missing key being an empty
// entry, so lists read side by side (names and commands) keep their pairing.
// A damaged Count reads up to the highest key prefix + n present instead, so
// that it can neither make the reader spin nor hide an entry.
std::int64_t ListLength(const TIniFile& ini, const char* section, const char* prefix)
{
    const std::int64_t count = ini.ReadInteger(section, "Count", 0);
    if (count <= 0) return 0;
    if (count <= kMaxListCount) return count;
    std::int64_t highest = -1;
    const std::string p = prefix;
    for (const auto& key : ini.ReadSection(section)) {
        if (!rtl::StartsText(p, key)) continue;
        if (auto n = rtl::ParseInt64(key.substr(p.size())); n && *n >= 0 && key.substr(p.size())[0] != ' ')
            highest = std::max(highest, *n);
    }
    return std::min(count, highest + 1);
}

std::vector<std::string> ReadList(const TIniFile& ini, const char* section, bool skipEmpty = false)
{
    std::vector<std::string> out;
    const std::int64_t limit = ListLength(ini, section, "");
    for (std::int64_t i = 0; i < limit; ++i) {
        std::string v = ini.ReadString(section, std::to_string(i), "");
        if (skipEmpty && v.empty()) continue;
        out.push_back(std::move(v));
    }
    return out;
}

void WriteList(TIniFile& ini, const char* section, const std::vector<std::string>& list)
{
    ini.WriteInteger(section, "Count", std::int64_t(list.size()));
    for (std::size_t i = 0; i < list.size(); ++i) ini.WriteString(section, std::to_string(i), list[i]);
}

template <class T>
void ReadConnection(const TIniFile& ini, const char* section, T& s)
{
    s.Enabled = ini.ReadBool(section, "Enabled", false);
    s.Host = ini.ReadString(section, "Host", "");
    s.Port = ini.ReadString(section, "Port", "");
    s.User = ini.ReadString(section, "User", "");
    s.Pass = ini.ReadString(section, "Pass", "");
    s.Type = ReadByte(ini, section, "Type");
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

// Character set, colour, height, name, pitch, then size: the stored size
// decides, and a file with a height only keeps the size that height gives.
void ReadFont(const TIniFile& ini, const std::string& prefix, TFontSetting& font)
{
    font.CharSet = ReadInt(ini, "Fonts", prefix + "CharSet", font.CharSet);
    font.Color = ini.ReadInteger("Fonts", prefix + "Color", font.Color);
    font.SetHeight(ReadInt(ini, "Fonts", prefix + "Height", font.Height));
    font.Name = ini.ReadString("Fonts", prefix + "Name", font.Name);
    font.Pitch = ReadInt(ini, "Fonts", prefix + "Pitch", font.Pitch);
    font.SetSize(ReadInt(ini, "Fonts", prefix + "Size", font.Size));
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

// Writes through to the file, readable by its owner only; false when that fails.
template <class Write>
bool UpdateIniFile(const std::string& fileName, Write write)
{
    try {
        TIniFile ini(fileName);
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

void TClientSettings::Load(const TIniFile& ini, const std::string& programDir)
{
    TextExtList.clear();
    QuickConnectList = ReadList(ini, "ServerIP", true);
    ServerIPItemIndex = ReadInt(ini, "ServerIP", "ItemIndex", 0);
    BookmarkList = ReadList(ini, "Bookmarks");
    LocalDirList = ReadList(ini, "LocalDirectoryList");
    TextExtList = ReadList(ini, "TextExt", true);
    FtpCliNum = ReadInt(ini, "FtpCliNum", "FtpCliNum", 3);
    if (FtpCliNum < 1 || FtpCliNum > 255) FtpCliNum = 3; // the pool has slots 0..255, at least one
    MTFileSize = ini.ReadInteger("MTFileSize", "MTFileSize", 1000000);
    LocalPath = ini.ReadString("LocalPath", "LocalPath", programDir);
    ReadConnection(ini, "Proxy", ProxySetting);
    ShowToolBar = ini.ReadBool("View", "ShowToolBar", true);
    ShowQuickLunchBar = ini.ReadBool("View", "ShowQuickLunchBar", true);
    ShowTransferStateWindow = ini.ReadBool("View", "ShowTransferStateWindow", true);
    ShowStatusWindow = ini.ReadBool("View", "ShowStatusWindow", true);
    MaxThreadNum = ReadInt(ini, "FtpCliNum", "MaxThreadNum", 7);
    SplitNum = std::max(0, ReadInt(ini, "SplitNum", "SplitNum", 0));
    ConfirmFlags.Overwrite = ini.ReadBool("Confirm", "Overwrite", true);
    ConfirmFlags.Abort = ini.ReadBool("Confirm", "Abort", true);
    ConfirmFlags.Disconnect = ini.ReadBool("Confirm", "Disconnect", true);
    ConfirmFlags.Delete = ini.ReadBool("Confirm", "Delete", true);
    ConfirmFlags.TransferOver = ini.ReadBool("Confirm", "TransferOver", true);
    ConfirmFlags.NewConnect = ini.ReadBool("Confirm", "NewConnect", true);
    ConfirmFlags.MoveFiles = ini.ReadBool("Confirm", "MoveFiles", true);
    ConfirmFlags.ResumeBroken = ini.ReadBool("Confirm", "ResumeBroken", true);
    ConfirmFlags.DeleteBroken = ini.ReadBool("Confirm", "DeleteBroken", true);
    InterceptFtpURL = ini.ReadBool("Transfer", "InterceptFtpURL", true);
    IgnoreLinksOnGet = ini.ReadBool("Transfer", "IgnoreLinksOnGet", true);
    DefaultEditView = ini.ReadString("Transfer", "DefaultEditView", "");
    CheckFreeSpace = ini.ReadBool("Advanced", "CheckFreeSpace", true);
    ShowHidenFile = ini.ReadBool("Advanced", "ShowHidenFile", false);
    DirectoryOnTop = ini.ReadBool("Advanced", "DirectoryOnTop", true);
    AutoSizeColumn = ini.ReadBool("Advanced", "AutoSizeColumn", true);
    SpeedFormat = ReadInt(ini, "Advanced", "SpeedFormat", 0);
    ReadConnection(ini, "Socks", SocksSetting);
    CustomCommandNames = ReadList(ini, "CustomCommandName");
    CustomCommandCmds = ReadList(ini, "CustomCommandCmd");
    IndexFileList = ReadList(ini, "IndexFile");
    IndexFileMaxSize = ReadInt(ini, "IndexFile", "MaxSize", 100);
    IndexFileDisable = ini.ReadBool("IndexFile", "Disable", false);
    for (int i = 0; i < 5; ++i) SoundFiles[std::size_t(i)] = ini.ReadString("Sound", kSoundKeys[i], "");
    PasvMode = ini.ReadBool("PasvMode", "PasvMode", false);
    UseSkin = ReadInt(ini, "Skin", "UseSkin", 1);
    if (UseSkin != 0) SkinColor = ini.ReadInteger("Skin", std::to_string(UseSkin) + "Clr", 16777215);
    MainConnDownload = true; // connection 0 always carries queue items, whatever the file says
    ProgramFont = ini.ReadBool("Fonts", "ProgramFont", false);
    RichEditFont = ini.ReadBool("Fonts", "RichEditFont", false);
    MoniterClipboard = ini.ReadBool("Advanced", "MoniterClipboard", true);
    DialUPType = ReadInt(ini, "DialUP", "Type", 0);
    DialUPIndex = ReadInt(ini, "DialUP", "Index", 0);
    DialUPShowAuth = ini.ReadBool("DialUP", "ShowAuth", true);
    DialUPShowError = ini.ReadBool("DialUP", "ShowError", true);
    DialUPRetryTimes = ReadInt(ini, "DialUP", "RetryTimes", 5);
    DialUPRetrySpan = ReadInt(ini, "DialUP", "RetrySpan", 5);
    DialUPDisconnect = ini.ReadBool("DialUP", "Disconnect", false);
    RenameExtList.clear();
    {
        const std::int64_t limit = std::max(ListLength(ini, "RenameExt", "Local"),
                                            ListLength(ini, "RenameExt", "Host"));
        for (std::int64_t i = 0; i < limit; ++i)
            RenameExtList.push_back({ini.ReadString("RenameExt", "Local" + std::to_string(i), ""),
                                     ini.ReadString("RenameExt", "Host" + std::to_string(i), "")});
    }
    FileCase = ReadInt(ini, "Advanced", "FileCase", 0);
    PromoteMethod = ReadInt(ini, "Advanced", "PromoteMethod", 1);
    ProgramFontInfo = TFontSetting();
    RichEditFontInfo = TFontSetting();
    ReadFont(ini, "ProgramFont", ProgramFontInfo);
    ReadFont(ini, "RichEditFont", RichEditFontInfo);
    AntiIdleEnable = ini.ReadBool("AntiIdle", "Enable", true);
    AntiIdleInterval = ReadInt(ini, "AntiIdle", "Interval", 60);
    if (AntiIdleInterval < 1) AntiIdleInterval = 60; // a timer of 0 would fire without pause
    ShowSiteManager = ini.ReadBool("General", "ShowSiteManager", false);
    ConnectionRetryTimes = ReadInt(ini, "General", "ConnectionRetryTimes", 3);
    Timeout = ReadInt(ini, "General", "Timeout", 30);
    AnonymousEmail = ini.ReadString("General", "AnonymousEmail", TClientSettings().AnonymousEmail);
    ResolveLinkAsFile = ini.ReadBool("Directory", "ResolveLinkAsFile", false);
    ShowLink = ini.ReadBool("Directory", "ShowLink", true);
    TransferType = ReadInt(ini, "Setting", "TransferType", 2);
    DoubleClickAction = ReadInt(ini, "General", "DoubleClickAction", 0);
    HideColumnHeader = ini.ReadBool("General", "HideColumnHeader", false);
    SelectEntireLine = ini.ReadBool("General", "SelectEntireLine", false);
    HideOnMinimize = ini.ReadBool("General", "HideOnMinimize", false);
    EnableSplitDownload = ini.ReadBool("General", "EnableSplitDownload", true);
    ShowLoginMessage = ini.ReadBool("General", "ShowLoginMessage", true);
    SaveLogToFile = ini.ReadBool("General", "SaveLogToFile", false);
    LogFileName = ini.ReadString("General", "LogFileName", "");
    Maximized = ini.ReadBool("WindowState", "Maximized", false);
    Left = ReadInt(ini, "WindowState", "Left", Left);
    Top = ReadInt(ini, "WindowState", "Top", Top);
    Width = ReadInt(ini, "WindowState", "Width", Width);
    Height = ReadInt(ini, "WindowState", "Height", Height);
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

void TClientSettings::LoadFromFile(const std::string& fileName, const std::string& programDir)
{
    Load(TIniFile(fileName), programDir);
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
