#include "client/engine/CommFunc.h"

#include <climits>

#include <gtest/gtest.h>

TEST(CommFunc, TextAndPathHelpers)
{
    struct Case { std::string got, want; };
    const Case cases[] = {
        {RemoveCommas("1,234,567"), "1234567"},
        {StripTrailingBackslash("C:\\a\\"), "C:\\a"},
        {StripTrailingBackslash("a\\\\"), "a\\"},
        {StripTrailingSlash("/pub/"), "/pub"},
        {StripTrailingSlash("/pub"), "/pub"},
        {AppendSeparator("/pub", '/'), "/pub/"},
        {AppendSeparator("/pub/", '/'), "/pub/"},
        {AppendSeparator("", '/'), ""},
        {ReplaceChar("a\\b\\c", '\\', '/'), "a/b/c"},
        {ExtractExtension("archive.tar.gz"), "gz"},
        {ExtractExtension("README"), ""},
        {ExtractExtension(".profile"), "profile"},
        {ExtractParentDir("/pub/docs/"), "/pub/"},
        {ExtractParentDir("/pub/docs"), "/pub/"},
        {ExtractParentDir("/pub"), "/"},
        {ExtractParentDir("/"), "/"},
        {ExtractParentDir("name"), "name"},
        {ExtractParentDir("C:\\a\\b\\"), "C:\\a\\"},
        {ExtractParentDir("/odd\\"), "/"}, // a trailing "\" alone does not choose "\"
        {ExtractRemoteDir("/pub/a.txt"), "/pub/"},
        {ExtractRemoteDir("a.txt"), ""},
        {RemoveAmpersands("&File && Edit"), "File  Edit"},
        {AddDotPrefix("txt"), ".txt"},
        {AddDotPrefix(".txt"), ".txt"},
        {MaskPassword("host:21:user:secret"), "host:21:user:********"},
        {MaskPassword("host:21"), "host:********"},
        {MaskPassword("host"), "host"},
        {MonthToNumber("Jan"), "01"},
        {MonthToNumber("Dec"), "12"},
        {MonthToNumber("jan"), "00"},
        {MonthToNumber("January"), "00"},
        {PadTwoDigits(7), "07"},
        {PadTwoDigits(42), "42"},
        {PadTwoDigits(123), "123"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.got, c.want);

    EXPECT_EQ(CountChar(':', "a:b:c"), 2);
    EXPECT_EQ(PosOfNthChar(':', "a:b:c", 2), 4);
    EXPECT_EQ(PosOfNthChar(':', "a:b:c", 3), INT32_MAX);
    EXPECT_EQ(PosOfNthChar(':', "", 1), INT32_MAX);
    std::string text = "a/b/c";
    EXPECT_EQ(MarkFirstSlash(text), 2);
    EXPECT_EQ(text, "a*b/c");
    std::string none = "abc";
    EXPECT_EQ(MarkFirstBackslash(none), 0);
    EXPECT_EQ(none, "abc");
}

TEST(CommFunc, NumberAndTimeFormats)
{
    struct Case { std::string got, want; };
    const Case cases[] = {
        {FormatThousands("1234567"), "1,234,567"},
        {FormatThousands("123"), "123"},
        {FormatThousands("1234"), "1,234"},
        {FormatThousands(""), ""},
        {FormatThousands(std::int64_t(-1234567)), "-1,234,567"},
        {FormatThousands(std::int64_t(5000000000LL)), "5,000,000,000"},
        {FormatBytes(std::int64_t(1536000)), "1,536,000 bytes"},
        {FormatSize("999"), "999"},
        {FormatSize("1000"), "1KB"},
        {FormatSize("12345"), "12KB"},
        {FormatSize("999999"), "999KB"},
        {FormatSize("1000000"), "1MB"},
        {FormatSize("1999999"), "1MB"},
        {FormatSize(std::int64_t(5000000000LL)), "5,000MB"},
        {SecondsToHMS(3725), "01:02:05"},
        {SecondsToHMS(65), "00:01:05"},
        {SecondsToHMS(0), "00:00:00"},
        {SecondsToHMS(360000), "100:00:00"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.got, c.want);
}

TEST(CommFunc, EntryNamesWithControlCharactersAreUnsafeAndShownEscaped)
{
    const struct {
        std::string name;
        bool safe;
        const char* shown;
    } cases[] = {
        {"a.txt", true, "a.txt"},
        {"..a", true, "..a"},
        {"caf\xc3\xa9", true, "caf\xc3\xa9"},
        {"", false, ""},
        {"..", false, ".."},
        {"a/b", false, "a/b"},
        {"a\\b", false, "a\\b"},
        {std::string("nul\0name", 8), false, "nul\\x00name"},
        {"esc\x1b[31m", false, "esc\\x1B[31m"},
        {"cr\rlf\n", false, "cr\\x0Dlf\\x0A"},
        {"del\x7f", false, "del\\x7F"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsSafeEntryName(c.name), c.safe) << ShownName(c.name);
        EXPECT_EQ(ShownName(c.name), c.shown);
    }
}
