#include "client/engine/ClientSettings.h"

#include <sys/stat.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "client/engine/DamagedFile.h"
#include "rtl/IniFile.h"
#include "tests/support/TestSupport.h"

using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

// A rename pair in a failure message.
void PrintTo(const TRenameExt& r, std::ostream* os) { *os << '"' << r.Local << '|' << r.Host << '"'; }

TEST(ClientSettings, DefaultsWithNoFile)
{
    TempDir dir;
    TClientSettings s;
    s.LoadFromFile(dir / "setting.ini", "/opt/prog/");
    EXPECT_EQ(s.FtpCliNum, 3);
    EXPECT_EQ(s.MaxThreadNum, 7);
    EXPECT_EQ(s.MTFileSize, 1000000);
    EXPECT_EQ(s.LocalPath, "/opt/prog/");
    EXPECT_EQ(s.ProxySetting, TProxySetting());
    EXPECT_FALSE(s.ProxySetting.Enabled);
    EXPECT_FALSE(s.SocksSetting.Enabled);
    EXPECT_EQ(s.SocksSetting.Type, 0);
    EXPECT_TRUE(s.AntiIdleEnable);
    EXPECT_EQ(s.AntiIdleInterval, 60);
    EXPECT_EQ(s.TransferType, 2);
    EXPECT_EQ(s.ConfirmFlags, TConfirmFlags());
    EXPECT_TRUE(s.ConfirmFlags.DeleteBroken);
    EXPECT_TRUE(s.MainConnDownload);
    EXPECT_EQ(s.UseSkin, 1);
    EXPECT_EQ(s.SkinColor, 16777215);
    EXPECT_EQ(s.PromoteMethod, 1);
    EXPECT_EQ(s.IndexFileMaxSize, 100);
    EXPECT_EQ(s.ConnectionRetryTimes, 3);
    EXPECT_EQ(s.Timeout, 30);
    EXPECT_EQ(s.DialUPRetryTimes, 5);
    EXPECT_TRUE(s.DialUPShowAuth && s.DialUPShowError && s.ShowLink && s.ShowLoginMessage);
    EXPECT_FALSE(s.ResolveLinkAsFile || s.ShowHidenFile || s.PasvMode || s.SaveLogToFile);
    EXPECT_EQ(s.ProgramFontInfo.Color, 2147483656LL);
    EXPECT_EQ(s.ProgramFontInfo.Name, "MS Sans Serif");
    EXPECT_EQ(s.RichEditFontInfo.Size, 9);
    EXPECT_EQ(s.RichEditFontInfo.Height, -12);
    EXPECT_TRUE(s.QuickConnectList.empty());
    EXPECT_EQ(s.QuickConnectSelection(), -1);
    EXPECT_FALSE(s.AnonymousEmail.empty());
    EXPECT_NE(s.AnonymousEmail.find('@'), std::string::npos);

    // Saving the defaults writes the colour above 2^31 whole and reads it back.
    ASSERT_TRUE(s.SaveToFile(dir / "setting.ini"));
    EXPECT_EQ(rtl::TIniFile(dir / "setting.ini").ReadString("Fonts", "ProgramFontColor", ""), "2147483656");
    TClientSettings again;
    again.LoadFromFile(dir / "setting.ini", "/elsewhere/");
    EXPECT_EQ(again.ProgramFontInfo, s.ProgramFontInfo);
    EXPECT_EQ(again.LocalPath, "/opt/prog/");
}

TEST(ClientSettings, RoundTripKeepsUnknownKeysAndRawValues)
{
    TempDir dir;
    const std::string file = dir / "setting.ini";
    WriteFile(file, "[General]\r\nFutureOption=keep me\r\nShowSiteManager=1\r\n"
                    "[Plugin]\r\nPath=C:\\x\\,y\r\n"
                    "[Skin]\r\nUseSkin=2\r\n2Clr=255\r\n");
    TClientSettings s;
    s.LoadFromFile(file, "/p/");
    EXPECT_TRUE(s.ShowSiteManager);
    EXPECT_EQ(s.UseSkin, 2);
    EXPECT_EQ(s.SkinColor, 255);

    s.QuickConnectList = {"ftp.example.org:21:me:se,cr\\et", "h2:2121:anonymous:a@b"};
    s.ServerIPItemIndex = 1;
    s.BookmarkList = {"home|/home/me/", "pub,lic|/pub/a,b\\c/"};
    s.TextExtList = {"txt", "htm"};
    s.LocalPath = "/home/me/down loads\\x,";
    s.MTFileSize = 5000000000LL;
    s.ProxySetting = {true, "proxy", "8021", "pu", "pp", 6};
    s.SocksSetting = {true, "socks", "1080", "su", "sp", 4};
    s.CustomCommandNames = {"List all"};
    s.CustomCommandCmds = {"LIST -la,x"};
    s.RenameExtList = {{"htm", "html"}, {"jpeg", "jpg"}};
    s.SoundFiles[3] = "/usr/share/sounds/done.wav";
    s.ProgramFontInfo.SetSize(12);
    s.ProgramFontInfo.Pitch = 0x81; // stored masked to seven bits
    s.Left = -20;
    s.Width = 1024;
    s.UseSkin = 0; // [Skin] is not written by a save
    ASSERT_TRUE(s.SaveToFile(file));

    rtl::TIniFile ini(file);
    EXPECT_EQ(ini.ReadString("General", "FutureOption", ""), "keep me");
    EXPECT_EQ(ini.ReadString("Plugin", "Path", ""), "C:\\x\\,y");
    EXPECT_EQ(ini.ReadString("Skin", "UseSkin", ""), "2");
    EXPECT_EQ(ini.ReadString("MTFileSize", "MTFileSize", ""), "5000000000");
    EXPECT_EQ(ini.ReadString("ServerIP", "0", ""), "ftp.example.org:21:me:se,cr\\et");
    EXPECT_EQ(ini.ReadString("MainConnDownload", "MainConnDownload", ""), "1");
    EXPECT_EQ(ini.ReadString("Fonts", "ProgramFontPitch", ""), "1");
    EXPECT_EQ(ReadFile(file).find("\r\n") != std::string::npos, true);
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 077, 0u);

    TClientSettings back;
    back.LoadFromFile(file, "/p/");
    EXPECT_EQ(back.QuickConnectList, s.QuickConnectList);
    EXPECT_EQ(back.QuickConnectSelection(), 1);
    EXPECT_EQ(back.QuickConnectHostBoxItems(),
              (std::vector<std::string>{"ftp.example.org:21:me:********", "h2:2121:anonymous:********"}));
    EXPECT_EQ(back.BookmarkList, s.BookmarkList);
    EXPECT_EQ(back.TextExtList, s.TextExtList);
    EXPECT_EQ(back.LocalPath, s.LocalPath);
    EXPECT_EQ(back.MTFileSize, 5000000000LL);
    EXPECT_EQ(back.ProxySetting, s.ProxySetting);
    EXPECT_EQ(back.SocksSetting, s.SocksSetting);
    EXPECT_EQ(back.CustomCommandCmds, s.CustomCommandCmds);
    EXPECT_EQ(back.RenameExtList, s.RenameExtList);
    EXPECT_EQ(back.SoundFiles, s.SoundFiles);
    EXPECT_EQ(back.ProgramFontInfo.Size, 12);
    EXPECT_EQ(back.ProgramFontInfo.Height, -16);
    EXPECT_EQ(back.Left, -20);
    EXPECT_EQ(back.Width, 1024);
    EXPECT_EQ(back.UseSkin, 2);
    EXPECT_TRUE(back.ShowSiteManager);

    ASSERT_TRUE(TClientSettings::WriteSkinChoice(file, 0));
    back.LoadFromFile(file, "/p/");
    EXPECT_EQ(back.UseSkin, 0);
    EXPECT_EQ(back.BookmarkList, s.BookmarkList);
}

TEST(ClientSettings, ListsSelectionNumbersAndFonts)
{
    TempDir dir;
    const std::string file = dir / "setting.ini";
    WriteFile(file,
              "[ServerIP]\nCount=6\n0=a:21:u:p\n1=\n3=c:21:u:p\n4=d:21:u:p\n9=beyond:21:u:p\nItemIndex=7\n"
              "[TextExt]\nCount=3\n0=txt\n2=\n5=stale\n"
              "[Bookmarks]\nCount=99999999999\n0=x|/x/\n"
              "[FtpCliNum]\nFtpCliNum=five\nMaxThreadNum=99999999999\n"
              "[Proxy]\nType=300\n"
              "[MainConnDownload]\nMainConnDownload=0\n"
              "[Fonts]\nProgramFontHeight=-24\nProgramFontSize=10\nRichEditFontHeight=-16\n"
              "[WindowState]\nLeft=abc\n"
              "[SplitNum]\nSplitNum=-4\n[AntiIdle]\nInterval=0\n");
    TClientSettings s;
    s.Left = 33; // the designed bounds stay when the file's are unreadable
    s.LoadFromFile(file, "/p/");
    EXPECT_EQ(s.QuickConnectList, (std::vector<std::string>{"a:21:u:p", "c:21:u:p", "d:21:u:p"}));
    EXPECT_EQ(s.QuickConnectSelection(), 0); // 7 with three entries
    EXPECT_EQ(s.TextExtList, (std::vector<std::string>{"txt"}));
    EXPECT_EQ(s.BookmarkList, (std::vector<std::string>{"x|/x/"}));
    EXPECT_EQ(s.FtpCliNum, 3);
    EXPECT_EQ(s.MaxThreadNum, 7);
    EXPECT_EQ(s.SplitNum, 0);
    EXPECT_EQ(s.AntiIdleInterval, 60);
    EXPECT_EQ(s.ProxySetting.Type, 0);
    EXPECT_TRUE(s.MainConnDownload);
    EXPECT_EQ(s.Left, 33);
    EXPECT_EQ(s.ProgramFontInfo.Size, 10); // the size decides
    EXPECT_EQ(s.ProgramFontInfo.Height, -13);
    EXPECT_EQ(s.RichEditFontInfo.Size, 12); // only a height: the size it gives
    EXPECT_EQ(s.RichEditFontInfo.Height, -16);

    // Shorter lists leave their old keys behind, unread.
    s.QuickConnectList.resize(1);
    ASSERT_TRUE(s.SaveToFile(file));
    rtl::TIniFile ini(file);
    EXPECT_EQ(ini.ReadString("ServerIP", "Count", ""), "1");
    EXPECT_EQ(ini.ReadString("ServerIP", "3", ""), "c:21:u:p");
    TClientSettings back;
    back.LoadFromFile(file, "/p/");
    EXPECT_EQ(back.QuickConnectList.size(), 1u);
}

TEST(ClientSettings, ListsHoldCountPositionsSoPairedListsStayInStep)
{
    // The last name has no key (a blank one was never written, or was lost):
    // names and commands must still pair up by position, and so must the two
    // halves of the rename pairs.
    TempDir dir;
    const std::string file = dir / "setting.ini";
    WriteFile(file,
              "[CustomCommandName]\nCount=3\n0=Sizes\n1=Who\n"
              "[CustomCommandCmd]\nCount=3\n0=SITE DU\n1=SITE WHO\n2=SITE HELP\n"
              "[Bookmarks]\nCount=3\n1=b|/b/\n"
              "[RenameExt]\nCount=3\nLocal0=htm\nHost0=html\n");
    TClientSettings s;
    s.LoadFromFile(file, "/p/");
    EXPECT_EQ(s.CustomCommandNames, (std::vector<std::string>{"Sizes", "Who", ""}));
    EXPECT_EQ(s.CustomCommandCmds, (std::vector<std::string>{"SITE DU", "SITE WHO", "SITE HELP"}));
    EXPECT_EQ(s.BookmarkList, (std::vector<std::string>{"", "b|/b/", ""}));
    const std::vector<TRenameExt> pairs = {{"htm", "html"}, {"", ""}, {"", ""}};
    EXPECT_EQ(s.RenameExtList, pairs);
}

TEST(ClientSettings, ConnectionCountStaysInThePool)
{
    TempDir dir;
    struct Case { const char* stored; int count; };
    const Case cases[] = {{"1", 1}, {"255", 255}, {"0", 3}, {"256", 3}, {"-1", 3}};
    for (const auto& c : cases) {
        WriteFile(dir / "setting.ini", std::string("[FtpCliNum]\nFtpCliNum=") + c.stored + "\n");
        TClientSettings s;
        s.LoadFromFile(dir / "setting.ini", "/p/");
        EXPECT_EQ(s.FtpCliNum, c.count) << c.stored;
    }
}

TEST(ClientSettings, ValuesOutOfRangeOrNoNumberAreNamedAndGiveTheDefault)
{
    TempDir dir;
    const std::string file = dir / "setting.ini";
    struct Case {
        const char* text;
        std::string told;
    };
    const Case cases[] = {
        {"[FtpCliNum]\nFtpCliNum=0\n", "[FtpCliNum] FtpCliNum = 0 is out of range; 3 is used"},
        {"[MTFileSize]\nMTFileSize=-5\n", "[MTFileSize] MTFileSize = -5 is out of range; 1000000 is used"},
        {"[Setting]\nTransferType=9\n", "[Setting] TransferType = 9 is out of range; 2 is used"},
        {"[Proxy]\nType=3\n", "[Proxy] Type = 3 is out of range; 0 is used"},
        {"[View]\nShowToolBar=yes\n", "[View] ShowToolBar = yes is not a number; 1 is used"},
        {"[AntiIdle]\nInterval=soon\n", "[AntiIdle] Interval = soon is not a number; 60 is used"},
        {"[Bookmarks]\nCount=-3\n0=x|/x/\n", "[Bookmarks] Count = -3 is out of range; 0 is used"},
        {"[WindowState]\nWidth=0\n", "[WindowState] Width = 0 is out of range; 800 is used"},
    };
    for (const auto& c : cases) {
        WriteFile(file, c.text);
        TClientSettings s;
        EXPECT_EQ(s.LoadFromFile(file, "/p/"), std::vector<std::string>{c.told}) << c.text;
        TClientSettings fresh;
        s.LocalPath = fresh.LocalPath = "/p/";
        EXPECT_TRUE(s.FtpCliNum == 3 && s.MTFileSize == 1000000 && s.TransferType == 2 && s.ProxySetting.Type == 0 &&
                    s.ShowToolBar && s.AntiIdleInterval == 60 && s.BookmarkList.empty() && s.Width == 800)
            << c.text;
    }
    // Sound values, stale keys beyond a Count and missing keys are no damage.
    WriteFile(file, "[FtpCliNum]\nFtpCliNum=5\n[ServerIP]\nCount=1\n0=a:21:u:p\n3=stale\n[Proxy]\nType=7\n");
    TClientSettings s;
    EXPECT_TRUE(s.LoadFromFile(file, "/p/").empty());
    // A folder where the file should be cannot be read: said so.
    std::remove(file.c_str());
    ASSERT_EQ(::mkdir(file.c_str(), 0700), 0);
    EXPECT_EQ(s.LoadFromFile(file, "/p/"), std::vector<std::string>{"it is a folder, not a file"});
    EXPECT_EQ(KeepDamagedFile(file, {"it is a folder, not a file"}),
              file + " could not be read whole:\n- it is a folder, not a file\nIt could not be copied either.");
    EXPECT_FALSE(std::filesystem::exists(DamagedCopyName(file)));
}

// A file with damaged lines, or lists whose Count is above what is there,
// is damage; the save rewrites it only once a copy is kept, and then
// without the damaged lines.
TEST(ClientSettings, DamagedFilesAreToldAndRewrittenOnlyOnceKeptAside)
{
    TempDir dir;
    const std::string file = dir / "setting.ini";
    std::string randomBytes;
    for (int i = 0; i < 4096; ++i) randomBytes += char((i * 2246822519u) >> 11);
    struct Case {
        const char* what;
        std::string text;
        std::string firstTold;
        std::vector<TRenameExt> renames; // half a pair keeps its place but renames nothing
    };
    const Case cases[] = {
        {"random bytes", randomBytes, "lines are neither a [section], a key=value, a comment nor blank", {}},
        {"a line overwritten", "[FtpCliNum]\nFtpCliNum=5\n\x8e\x91\x02\n[Setting]\nTransferType=1\n",
         "line 3 is neither a [section], a key=value, a comment nor blank", {}},
        {"a list cut", "[Bookmarks]\nCount=3\n0=a|/a/\n", "[Bookmarks] Count = 3, but 2 of its entries are missing; they read as empty",
         {}},
        {"half a rename pair", "[RenameExt]\nCount=1\nLocal0=htm\n",
         "[RenameExt] Count = 1, but 1 of its pairs is missing; it reads as empty", {TRenameExt()}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFile(file, c.text);
        std::filesystem::remove(DamagedCopyName(file));
        TClientSettings s;
        const auto told = s.LoadFromFile(file, "/p/");
        ASSERT_FALSE(told.empty());
        EXPECT_NE(told[0].find(c.firstTold), std::string::npos) << told[0];
        EXPECT_EQ(s.RenameExtList, c.renames);

        ASSERT_EQ(::mkdir(DamagedCopyName(file).c_str(), 0700), 0);
        EXPECT_FALSE(s.SaveToFile(file)) << "no copy could be kept";
        EXPECT_FALSE(TClientSettings::WriteSkinChoice(file, 0));
        EXPECT_EQ(ReadFile(file), c.text);
        std::filesystem::remove(DamagedCopyName(file));
        ASSERT_TRUE(s.SaveToFile(file));
        EXPECT_EQ(ReadFile(DamagedCopyName(file)), c.text);
        TClientSettings back;
        EXPECT_TRUE(back.LoadFromFile(file, "/p/").empty()) << ReadFile(file);
    }
    // What was read of a damaged line's neighbours stays.
    WriteFile(file, cases[1].text);
    TClientSettings s;
    s.LoadFromFile(file, "/p/");
    EXPECT_EQ(s.FtpCliNum, 5);
    EXPECT_EQ(s.TransferType, 1);
}
