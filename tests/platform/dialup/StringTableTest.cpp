#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <new>
#include <vector>

#include "platform/dialup/DuExcept.h"
#include "platform/dialup/DuStrRes.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

void Put32(Bytes& b, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

std::uint32_t Get32(const Bytes& b, std::size_t at)
{
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t(b[at + 3]) << 24);
}

struct Row {
    std::uint32_t id;
    std::u16string text;
};

// A table in the documented layout, laid out by hand.
Bytes Table(const std::vector<Row>& rows)
{
    Bytes b{'S', 'T', 'R', '0'};
    Put32(b, static_cast<std::uint32_t>(rows.size()));
    std::uint32_t offset = static_cast<std::uint32_t>(8 + 12 * rows.size());
    for (const Row& r : rows) {
        Put32(b, r.id);
        Put32(b, offset);
        Put32(b, static_cast<std::uint32_t>(r.text.size()));
        offset += static_cast<std::uint32_t>(2 * r.text.size());
    }
    for (const Row& r : rows)
        for (char16_t c : r.text) {
            b.push_back(static_cast<std::uint8_t>(c & 0xFF));
            b.push_back(static_cast<std::uint8_t>(c >> 8));
        }
    return b;
}

TEST(StringTable, BuiltTableHasTheDocumentedLayoutAndTexts)
{
    const Bytes* raw = DialupResources().Find("dialup_error_strings_english");
    ASSERT_NE(raw, nullptr);
    ASSERT_GE(raw->size(), 8u);
    EXPECT_EQ(std::string(raw->begin(), raw->begin() + 4), "STR0");
    std::uint32_t count = Get32(*raw, 4);
    EXPECT_EQ(count, 2u + 24u);
    std::uint32_t previous = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint32_t id = Get32(*raw, 8 + 12 * i), offset = Get32(*raw, 12 + 12 * i), length = Get32(*raw, 16 + 12 * i);
        if (i > 0) {
            EXPECT_GT(id, previous);
        }
        previous = id;
        EXPECT_LE(offset + 2 * length, raw->size());
        if (id == 1002) { // UTF-16LE, not terminated
            EXPECT_EQ(length, 31u);
            EXPECT_EQ((*raw)[offset], 'B');
            EXPECT_EQ((*raw)[offset + 1], 0);
        }
    }

    TStringResource table(DialupResources(), "DIALUP_ERROR_STRINGS_ENGLISH");
    EXPECT_EQ(table.GetString(1002), "Bad argument passed to function");
    EXPECT_EQ(table.GetString(13980), "Failed to find/load RASAPI32.DLL");
    EXPECT_EQ(table.GetString(4500), "OpenPort");
    EXPECT_EQ(table.GetString(4502), "ConnectDevice");
    EXPECT_EQ(table.GetString(4523), "SubEntryDisconnected");

    TStringResource own(DialupResources(), "DUSTRRES_STRINGS");
    EXPECT_EQ(own.GetString(5), "Invalid string table resource");
}

TEST(StringTable, MissingIdentifierIsEmptyOrRaisesWhenAsked)
{
    TStringResource table(DialupResources(), "DIALUP_ERROR_STRINGS_ENGLISH");
    for (std::uint32_t id : {0u, 1003u, 4499u, 4524u, 13979u, 4294967295u})
        EXPECT_EQ(table.GetString(id), "") << id;
    table.SetRaiseOnMissing(true);
    try {
        table.GetString(1003);
        FAIL() << "no exception";
    } catch (const EStringResourceError& e) {
        EXPECT_STREQ(e.what(), "String not found: 1003");
    }
}

TEST(StringTable, TextsBecomeUtf8)
{
    TResourceModule module;
    module.Add("T", Table({{1, u"Gr\u00fc\u00dfe \u20ac"}, {7, u"\U0001F600"}, {9, std::u16string(1, u'\xD800')}}));
    TStringResource table(module, "T");
    EXPECT_EQ(table.GetString(1), "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC");
    EXPECT_EQ(table.GetString(7), "\xF0\x9F\x98\x80");
    EXPECT_EQ(table.GetString(9), "?");
}

TEST(StringTable, DamagedOrMissingTableIsRefused)
{
    Bytes good = Table({{1, u"one"}, {2, u"two"}});
    auto with = [&](std::size_t at, std::uint32_t value) {
        Bytes b = good;
        for (int i = 0; i < 4; ++i)
            b[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
        return b;
    };
    struct Case { const char* what; Bytes data; };
    std::vector<Case> cases = {
        {"empty", {}},
        {"shorter than its header", {'S', 'T', 'R'}},
        {"wrong signature", with(0, 0x31525453)},                // "STR1"
        {"more entries than fit", with(4, 3)},
        {"huge entry count", with(4, 0xFFFFFFFF)},
        {"text offset past the end", with(12, 1000)},
        {"text length past the end", with(16, 100)},
        {"offset and length wrap around", with(12, 0xFFFFFFFE)},
        {"identifiers out of order", with(8, 5)},
        {"texts cut off", Bytes(good.begin(), good.end() - 1)},
    };
    for (const Case& c : cases) {
        TResourceModule module;
        module.Add("BROKEN", c.data);
        try {
            TStringResource table(module, "BROKEN");
            ADD_FAILURE() << c.what << ": accepted";
        } catch (const EStringResourceError& e) {
            EXPECT_STREQ(e.what(), "Invalid string table resource") << c.what;
        }
    }
    TResourceModule module;
    module.Add("GOOD", good);
    EXPECT_EQ(TStringResource(module, "GOOD").GetString(2), "two");
    try {
        TStringResource table(module, "NOPE");
        ADD_FAILURE() << "missing table accepted";
    } catch (const EStringResourceError& e) {
        EXPECT_STREQ(e.what(), "String resource not found: NOPE");
    }
}

TEST(ErrorMessage, TableTextForEitherSignThenTheSystemText)
{
    EXPECT_EQ(ErrorMessage(-13980), "Failed to find/load RASAPI32.DLL");
    EXPECT_EQ(ErrorMessage(13980), "Failed to find/load RASAPI32.DLL");
    EXPECT_EQ(ErrorMessage(-4518), "Projected");
    EXPECT_EQ(ErrorMessage(2), "No such file or directory"); // not in the table: the system's text
    EXPECT_EQ(ErrorMessage(99999), "");
    // The most negative values have no positive int: no overflow, just no text.
    EXPECT_EQ(ErrorMessage(INT_MIN), "");
    EXPECT_EQ(ErrorMessage(LLONG_MIN), "");
}

TEST(ErrorMessage, CheckAndRaiseRaisesTheClassOfTheCode)
{
    EXPECT_EQ(CheckAndRaise(0), 0);
    EXPECT_EQ(CheckAndRaise(623), 623);
    try {
        CheckAndRaise(-1002);
        FAIL();
    } catch (const EBadArgument& e) {
        EXPECT_EQ(e.ErrorCode(), -1002);
        EXPECT_STREQ(e.what(), "Bad argument passed to function");
    }
    try {
        CheckAndRaise(-13980);
        FAIL();
    } catch (const ERas& e) {
        EXPECT_NE(dynamic_cast<const ERasLoadFail*>(&e), nullptr);
        EXPECT_EQ(e.ErrorCode(), -13980);
        EXPECT_STREQ(e.what(), "Failed to find/load RASAPI32.DLL");
    }
    try {
        CheckAndRaise(-2);
        FAIL();
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.ErrorCode, 2);
    }
    EXPECT_THROW(CheckAndRaise(-8), std::bad_alloc);
    try {
        CheckAndRaise(INT_MIN);
        FAIL();
    } catch (const EDialUpException& e) {
        EXPECT_EQ(e.ErrorCode(), 0);
        EXPECT_STREQ(e.what(), "Dial-up exception");
    }
}

} // namespace
