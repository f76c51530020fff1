#pragma once
// The client's settings, the fields of "setting.ini". The main window owns one
// instance, loads it once at start and saves it once at exit; the engine and
// the dialogs read its fields. Lists are sections with "Count" and the keys
// "0" .. Count - 1; list sections are not erased before writing, so keys at or
// beyond Count may stay in the file and are never read.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace rtl { class TIniFile; }

struct TProxySetting {
    bool Enabled = false;
    std::string Host, Port, User, Pass;
    // 1 "USER user@host", 5 "USER login", 6 "SITE site", 7 "SITE user@host"; 0 none chosen.
    std::uint8_t Type = 0;
    bool operator==(const TProxySetting&) const = default;
};

struct TSocksSetting {
    bool Enabled = false;
    std::string Host, Port, User, Pass;
    std::uint8_t Type = 0; // 2 SOCKS4, 3 SOCKS4A, 4 SOCKS5; 0 none chosen
    bool operator==(const TSocksSetting&) const = default;
};

struct TConfirmFlags {
    bool Overwrite = true, Abort = true, Disconnect = true, Delete = true, TransferOver = true,
         NewConnect = true, MoveFiles = true, ResumeBroken = true, DeleteBroken = true;
    bool operator==(const TConfirmFlags&) const = default;
};

// A font as stored: the size decides, the height follows it (at 96 dots per inch).
struct TFontSetting {
    int CharSet = 1;
    std::int64_t Color = 2147483656LL; // the system window-text colour
    int Height = -12;
    std::string Name = "MS Sans Serif";
    int Pitch = 0;
    int Size = 9;
    void SetHeight(int height);
    void SetSize(int size);
    bool operator==(const TFontSetting&) const = default;
};

struct TRenameExt {
    std::string Local, Host;
    bool operator==(const TRenameExt&) const = default;
};

class TClientSettings {
public:
    // [ServerIP]: full quick-connect entries, host:port:user:password; empty
    // entries of the file are left out, so the host box and this list keep step.
    std::vector<std::string> QuickConnectList;
    int ServerIPItemIndex = 0; // the host box's selected entry, -1 when none
    std::vector<std::string> BookmarkList; // name + "|" + remote folder
    std::vector<std::string> LocalDirList;
    std::vector<std::string> TextExtList; // ASCII-mode extensions
    int FtpCliNum = 3;
    int MaxThreadNum = 7;
    std::int64_t MTFileSize = 1000000; // downloads larger than this are split
    std::string LocalPath;             // the program folder unless stored
    TProxySetting ProxySetting;
    bool ShowToolBar = true, ShowQuickLunchBar = true, ShowTransferStateWindow = true,
         ShowStatusWindow = true;
    int SplitNum = 0;
    TConfirmFlags ConfirmFlags;
    bool InterceptFtpURL = true;
    bool IgnoreLinksOnGet = true;
    std::string DefaultEditView;
    bool CheckFreeSpace = true;
    bool ShowHidenFile = false;
    bool DirectoryOnTop = true;
    bool AutoSizeColumn = true;
    int SpeedFormat = 0;
    TSocksSetting SocksSetting;
    std::vector<std::string> CustomCommandNames;
    std::vector<std::string> CustomCommandCmds;
    std::vector<std::string> IndexFileList;
    int IndexFileMaxSize = 100; // kilobytes
    bool IndexFileDisable = false;
    // "Connected", "Disconnected", "Transfer Begin", "Transfer Complete",
    // "Inforamtion Promotion"; empty = silent.
    std::array<std::string, 5> SoundFiles;
    bool PasvMode = false;
    int UseSkin = 1;
    std::int64_t SkinColor = 16777215; // log background, read from UseSkin + "Clr"
    bool MainConnDownload = true;      // always on
    bool ProgramFont = false;
    bool RichEditFont = false;
    bool MoniterClipboard = true;
    int DialUPType = 0; // 0 LAN, 1 modem
    int DialUPIndex = 0;
    bool DialUPShowAuth = true, DialUPShowError = true;
    int DialUPRetryTimes = 5, DialUPRetrySpan = 5;
    bool DialUPDisconnect = false;
    std::vector<TRenameExt> RenameExtList;
    int FileCase = 0;      // 0 keep, 1 upper, 2 lower
    int PromoteMethod = 1; // 0 bring to top, 1 flash, 2 nothing
    TFontSetting ProgramFontInfo;
    TFontSetting RichEditFontInfo;
    bool AntiIdleEnable = true;
    int AntiIdleInterval = 60;
    bool ShowSiteManager = false;
    int ConnectionRetryTimes = 3;
    // Seconds of silence after which any request of the engine's
    // connections ends ("426 Timeout"); 0 waits without limit.
    int Timeout = 30;
    std::string AnonymousEmail = "anonymous@example.com";
    bool ResolveLinkAsFile = false;
    bool ShowLink = true;
    int TransferType = 2; // 0 ASCII, 1 binary, 2 by extension
    int DoubleClickAction = 0; // 0 transfer, 1 view, 2 edit, 3 execute
    bool HideColumnHeader = false, SelectEntireLine = false, HideOnMinimize = false;
    bool EnableSplitDownload = true;
    bool ShowLoginMessage = true;
    bool SaveLogToFile = false;
    std::string LogFileName;
    bool Maximized = false;
    // Window bounds; the window sets its designed bounds before loading, and
    // they stay when the file has none.
    int Left = 0, Top = 0, Width = 800, Height = 600;

    // Reads every key; missing keys, text that is not a number and values out
    // of range give the default. LocalPath defaults to programDir. Returns
    // what of the file was not taken, a phrase for the user each.
    std::vector<std::string> Load(const rtl::TIniFile& ini, const std::string& programDir);
    // Writes every key except [Skin]; the caller updates the file.
    void Save(rtl::TIniFile& ini) const;

    // Reads the file (a missing one gives all defaults); returns as Load does,
    // and also when the file is there but cannot be read.
    std::vector<std::string> LoadFromFile(const std::string& fileName, const std::string& programDir);
    // Rewrites the file whole, keeping sections and keys it does not know;
    // owner-only, as it holds passwords. False when it cannot be written.
    bool SaveToFile(const std::string& fileName) const;

    // The host box entry selected at start: the stored index, or 0 when it is
    // out of range; -1 with no entries.
    int QuickConnectSelection() const;
    // The host box texts: each entry with its password masked.
    std::vector<std::string> QuickConnectHostBoxItems() const;

    // The skin menu items write their choice at once.
    static bool WriteSkinChoice(const std::string& fileName, int useSkin);
};
