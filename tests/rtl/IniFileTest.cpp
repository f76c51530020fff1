#include "rtl/IniFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

using rtl::TIniFile;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

mode_t ModeOf(const std::string& path)
{
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

} // namespace

TEST(IniFile, ReadsProfileTextAsWritten)
{
    TempDir dir;
    const std::string path = dir / "a.ini";
    WriteFile(path,
              "\xEF\xBB\xBF; made by hand\r\n"
              "[General]\r\n"
              "Name = C:\\Program Files\\x,y \"quoted\" \r\n"
              "empty=\r\n"
              "  Spaced Key  =  v = w  \r\n"
              "noequals\r\n"
              "name=second copy is shadowed\r\n"
              "\r\n"
              "[ general ]\r\n"
              "late=from a repeated section\r\n"
              "[Other]\n"
              "N=0x1F\n");
    TIniFile ini(path);

    struct Case { const char* section; const char* key; const char* expected; };
    const Case cases[] = {
        {"general", "NAME", "C:\\Program Files\\x,y \"quoted\""},
        {"GENERAL", "empty", ""},
        {"General", "spaced key", "v = w"},
        {"General", "noequals", "<def>"},
        {"General", "late", "<def>"},
        {"other", "n", "0x1F"},
        {"missing", "n", "<def>"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ini.ReadString(c.section, c.key, "<def>"), c.expected) << c.section << "/" << c.key;

    EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"General", "Other"}));
    EXPECT_EQ(ini.ReadSection("GENERAL"), (std::vector<std::string>{"Name", "empty", "Spaced Key"}));
    EXPECT_TRUE(ini.SectionExists("OTHER"));
    EXPECT_TRUE(ini.ValueExists("general", "Empty"));
    EXPECT_FALSE(ini.ValueExists("general", "noequals"));
    EXPECT_EQ(ini.ReadInteger("Other", "N", -1), 31);
}

TEST(IniFile, NumbersAndBooleans)
{
    TIniFile ini("/nonexistent/dir/x.ini");
    struct Case { const char* text; std::int64_t expected; };
    const Case cases[] = {
        {"42", 42}, {" -7 ", -7}, {"+3", 3}, {"2147483656", 2147483656LL},
        {"9223372036854775807", INT64_MAX}, {"-9223372036854775808", INT64_MIN},
        {"9223372036854775808", -99}, {"$FF", 255}, {"0x10", 16}, {"-$10", -16},
        {"", -99}, {"12abc", -99}, {"abc", -99}, {"1 2", -99}, {"--1", -99}, {"0x", -99},
    };
    for (const auto& c : cases) {
        ini.WriteString("N", "k", c.text);
        EXPECT_EQ(ini.ReadInteger("N", "k", -99), c.expected) << "'" << c.text << "'";
    }
    ini.WriteInteger("N", "big", 5000000000LL);
    EXPECT_EQ(ini.ReadString("N", "big", ""), "5000000000");

    ini.WriteBool("B", "on", true);
    ini.WriteBool("B", "off", false);
    EXPECT_EQ(ini.ReadString("B", "on", ""), "1");
    EXPECT_EQ(ini.ReadString("B", "off", ""), "0");
    EXPECT_TRUE(ini.ReadBool("B", "on", false));
    EXPECT_FALSE(ini.ReadBool("B", "off", true));
    ini.WriteString("B", "text", "yes");
    EXPECT_TRUE(ini.ReadBool("B", "text", true)); // not a number: the default
    EXPECT_FALSE(ini.ReadBool("B", "text", false));
    ini.WriteString("B", "two", "2");
    EXPECT_TRUE(ini.ReadBool("B", "two", false));
    EXPECT_TRUE(ini.ReadBool("B", "missing", true));
}

TEST(IniFile, SaveKeepsUnknownContentAndRoundTrips)
{
    TempDir dir;
    const std::string path = dir / "setting.ini";
    WriteFile(path, "[General]\nShowSiteManager=0\nFuture=a,b\\c\n; note\n[Unknown]\nx=1\n");
    {
        TIniFile ini(path);
        ini.WriteString("general", "showsitemanager", "1");
        ini.WriteString("New", "Path", "/home/u/my files, old\\");
        ini.WriteString("New", "Bad", "line1\nline2\r[Injected]");
        ini.UpdateFile();
    }
    EXPECT_EQ(ReadFile(path),
              "[General]\nShowSiteManager=1\nFuture=a,b\\c\n; note\n\n"
              "[Unknown]\nx=1\n\n"
              "[New]\nPath=/home/u/my files, old\\\nBad=line1 line2 [Injected]\n");
    TIniFile again(path);
    EXPECT_EQ(again.ReadString("NEW", "path", ""), "/home/u/my files, old\\");
    EXPECT_FALSE(again.SectionExists("Injected"));
    EXPECT_EQ(again.Text(), ReadFile(path));
}

TEST(IniFile, BlanksAroundValuesSurviveInQuotes)
{
    // Values with blanks at either end are written quoted, and enclosing quotes
    // are taken off when read; any other value is written as it is.
    struct Case { const char* value; const char* line; };
    const Case cases[] = {
        {"/pub/trailing space ", "k=\"/pub/trailing space \""},
        {"  two leading", "k=\"  two leading\""},
        {"\ttab", "k=\"\ttab\""},
        {"\"quoted\"", "k=\"\"quoted\"\""},
        {"'single'", "k=\"'single'\""},
        {"a \"b\" c", "k=a \"b\" c"},
        {"\"", "k=\""},
        {"'x\"", "k='x\""},
        {"", "k="},
        {"C:\\x, y;z", "k=C:\\x, y;z"},
    };
    TempDir dir;
    for (const auto& c : cases) {
        const std::string path = dir / "q.ini";
        {
            TIniFile ini(path);
            ini.WriteString("S", "k", c.value);
            ini.UpdateFile();
        }
        EXPECT_EQ(ReadFile(path), std::string("[S]\n") + c.line + "\n") << c.value;
        EXPECT_EQ(TIniFile(path).ReadString("S", "k", "<def>"), c.value) << c.value;
    }

    WriteFile(dir / "hand.ini", "[S]\na = \"  padded  \" \nb='x'\nc=\"open\nn=\" 42 \"\n");
    TIniFile ini(dir / "hand.ini");
    EXPECT_EQ(ini.ReadString("S", "a", ""), "  padded  ");
    EXPECT_EQ(ini.ReadString("S", "b", ""), "x");
    EXPECT_EQ(ini.ReadString("S", "c", ""), "\"open");
    EXPECT_EQ(ini.ReadInteger("S", "n", 0), 42);
}

TEST(IniFile, EraseDeleteAndClear)
{
    TIniFile ini("unused.ini");
    ini.WriteString("A", "k1", "1");
    ini.WriteString("A", "k2", "2");
    ini.WriteString("A", "k3", "3");
    ini.WriteString("B", "k", "b");
    ini.DeleteKey("a", "K2");
    EXPECT_EQ(ini.ReadSection("A"), (std::vector<std::string>{"k1", "k3"}));
    EXPECT_EQ(ini.ReadString("A", "k3", ""), "3");
    ini.DeleteKey("A", "absent");
    ini.DeleteKey("Absent", "k");
    ini.EraseSection("a");
    EXPECT_FALSE(ini.SectionExists("A"));
    EXPECT_EQ(ini.ReadString("B", "k", ""), "b");
    ini.WriteString("A", "k1", "new");
    EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"B", "A"}));
    ini.Clear();
    EXPECT_TRUE(ini.ReadSections().empty());
    EXPECT_EQ(ini.Text(), "");
}

TEST(IniFile, KeepsTheLineEndingsOfTheFile)
{
    TempDir dir;
    const std::string path = dir / "crlf.ini";
    WriteFile(path, "[S]\r\nk=v\r\n");
    TIniFile ini(path);
    ini.WriteString("S", "k2", "w");
    ini.UpdateFile();
    EXPECT_EQ(ReadFile(path), "[S]\r\nk=v\r\nk2=w\r\n");
}

TEST(IniFile, FileModesAndReplacement)
{
    TempDir dir;
    const mode_t oldMask = ::umask(022);

    // A new file holding passwords is made owner-only.
    const std::string secret = dir / "oldquene.ini";
    TIniFile a(secret);
    a.SetFileMode(0600);
    a.WriteString("1", "PassWord", "pw");
    a.UpdateFile();
    EXPECT_EQ(ModeOf(secret), 0600u);

    // An existing file keeps its narrower bits when rewritten with the default.
    const std::string narrow = dir / "narrow.ini";
    WriteFile(narrow, "[x]\n");
    ::chmod(narrow.c_str(), 0640);
    TIniFile b(narrow);
    b.WriteString("x", "k", "v");
    b.UpdateFile();
    EXPECT_EQ(ModeOf(narrow), 0640u);

    // ... and a wider one is narrowed when the owner asks for 0600.
    ::chmod(narrow.c_str(), 0644);
    TIniFile c(narrow);
    c.SetFileMode(0600);
    c.UpdateFile();
    EXPECT_EQ(ModeOf(narrow), 0600u);

    // A symbolic link stays a link; its target gets the new text.
    const std::string link = dir / "link.ini";
    std::filesystem::create_symlink(narrow, link);
    TIniFile d(link);
    d.WriteString("x", "via", "link");
    d.UpdateFile();
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(TIniFile(narrow).ReadString("x", "via", ""), "link");

    ::umask(oldMask);
    // No temporary file is left beside the results.
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        EXPECT_EQ(entry.path().string().find(".tmp"), std::string::npos) << entry.path();
        ++files;
    }
    EXPECT_EQ(files, 3);
}

TEST(IniFile, FailedWriteRaisesAndLeavesTheOldFile)
{
    TempDir dir;
    const std::string sub = dir / "sub";
    std::filesystem::create_directory(sub);
    EXPECT_THROW(TIniFile(sub + "/missing/x.ini").UpdateFile(), rtl::EIniFileException);

    // A folder where the file should be: the rename fails, nothing is lost.
    const std::string blocked = dir / "blocked.ini";
    std::filesystem::create_directory(blocked);
    WriteFile(blocked + "/keep", "data");
    TIniFile ini(blocked);
    ini.WriteString("S", "k", "v");
    EXPECT_THROW(ini.UpdateFile(), rtl::EIniFileException);
    EXPECT_EQ(ReadFile(blocked + "/keep"), "data");
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        EXPECT_EQ(entry.path().string().find(".tmp"), std::string::npos) << entry.path();
}

TEST(IniFile, MalformedLinesAreNumberedAndKeptUntilDropped)
{
    TempDir dir;
    const std::string path = dir / "a.ini";
    WriteFile(path,
              "loose line\n"         // 1: before any section
              "[General]\n"          // 2
              "key=value\n"          // 3
              "; comment\n"          // 4
              "# comment\n"          // 5
              "\n"                   // 6
              "no equals sign\n"     // 7
              "=no key\n"            // 8
              "ke\x01y=control\n"    // 9
              "[Cut\n"               // 10: a section all the same
              "inCut=1\n"            // 11
              "[Over]written\n"      // 12
              "Spaced Key = v\n");   // 13
    TIniFile ini(path);
    EXPECT_EQ(ini.MalformedLines(), (std::vector<int>{1, 7, 8, 9, 10, 12}));
    WriteFile(dir / "b.ini", "before=any section\n[S]\nk=v\n");
    EXPECT_EQ(TIniFile(dir / "b.ini").MalformedLines(), std::vector<int>{1});
    EXPECT_EQ(ini.ReadString("General", "key", ""), "value");
    EXPECT_EQ(ini.ReadString("Cut", "inCut", ""), "1");
    EXPECT_EQ(ini.ReadString("Over", "Spaced Key", ""), "v");
    EXPECT_FALSE(ini.ValueExists("General", "ke\x01y"));
    // Kept for a save, as other lines this program does not know are...
    EXPECT_NE(ini.Text().find("no equals sign"), std::string::npos);
    // ...until dropped: then only what was read whole is written.
    ini.DropMalformedLines();
    EXPECT_TRUE(ini.MalformedLines().empty());
    ini.UpdateFile();
    EXPECT_EQ(ReadFile(path), "[General]\nkey=value\n; comment\n# comment\n\n[Cut]\ninCut=1\n\n[Over]\nSpaced Key=v\n");
    EXPECT_TRUE(TIniFile(path).MalformedLines().empty());
}

// A header whose name holds a control character names no section anyone
// reads; once the damaged lines are dropped it goes with its lines, so the
// file written is sound and the next read finds nothing to tell. The
// sections around it keep their places.
TEST(IniFile, ASectionUnderAControlCharacterHeaderIsToldReadByNoneAndDropped)
{
    TempDir dir;
    const std::string path = dir / "a.ini";
    WriteFile(path,
              "[First]\n"        // 1
              "a=1\n"            // 2
              "[ab\x01" "cd]\n"  // 3
              "k=v\n"            // 4
              "[Last]\n"         // 5
              "z=9\n");          // 6
    TIniFile ini(path);
    EXPECT_EQ(ini.MalformedLines(), std::vector<int>{3});
    EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"First", "Last"}));
    EXPECT_FALSE(ini.SectionExists("ab\x01" "cd"));
    EXPECT_EQ(ini.ReadString("ab\x01" "cd", "k", "<def>"), "<def>");

    ini.DropMalformedLines();
    ini.WriteString("Last", "y", "8");
    ini.WriteString("First", "b", "2");
    ini.UpdateFile();
    EXPECT_EQ(ReadFile(path), "[First]\na=1\nb=2\n\n[Last]\nz=9\ny=8\n");
    EXPECT_TRUE(TIniFile(path).MalformedLines().empty());
}

// Forms of a sound file that must never be called damaged: line ends of
// either kind, no line end after the last line, a byte order mark,
// comments and blank lines anywhere, blanks and tabs around "=" and names.
TEST(IniFile, SoundFormsAreNeverDamaged)
{
    struct Case {
        const char* what;
        std::string text;
    };
    const Case cases[] = {
        {"LF", "[General]\nName=v\nCount=3\n"},
        {"CRLF", "[General]\r\nName=v\r\nCount=3\r\n"},
        {"no line end after the last line", "[General]\nName=v\nCount=3"},
        {"CRLF without a last line end", "[General]\r\nName=v\r\nCount=3"},
        {"a byte order mark", "\xEF\xBB\xBF[General]\nName=v\nCount=3\n"},
        {"a byte order mark and CRLF", "\xEF\xBB\xBF[General]\r\nName=v\r\nCount=3\r\n"},
        {"comments before and inside", "; made by hand\n# another\n[General]\n; about Name\nName=v\n#\nCount=3\n"},
        {"blank lines, also of blanks", "\n\n[General]\n\n   \nName=v\n\t\nCount=3\n\n\n"},
        {"blanks around =", "[General]\nName = v\nCount\t=\t3\n"},
        {"blanks around names and headers", "  [ General ]  \n  Name=v  \n\tCount=3\n"},
        {"an empty value", "[General]\nName=v\nCount=3\nEmpty=\n"},
        {"a value holding = and ;", "[General]\nName=v\nCount=3\nCmd=a=b;c\n"},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = dir / "sound.ini";
        WriteFile(path, c.text);
        TIniFile ini(path);
        EXPECT_TRUE(ini.MalformedLines().empty()) << "line " << ini.MalformedLines().front();
        EXPECT_EQ(ini.ReadString("General", "Name", ""), "v");
        EXPECT_EQ(ini.ReadInteger("General", "Count", 0), 3);
        // Written back, it reads the same and is still sound.
        ini.UpdateFile();
        TIniFile back(path);
        EXPECT_TRUE(back.MalformedLines().empty()) << ReadFile(path);
        EXPECT_EQ(back.ReadString("General", "Name", ""), "v");
        EXPECT_EQ(back.ReadInteger("General", "Count", 0), 3);
    }
}
