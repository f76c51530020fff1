// The integer expression evaluator, as a table of texts and results.
#include <gtest/gtest.h>

#include <cctype>
#include <climits>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "widgets/skCommon.h"
#include "widgets/skErrors.h"
#include "widgets/skEvaluator.h"

namespace {

enum class Fails { No, Character, DivideByZero, Conversion };

struct Case {
    const char* text;
    std::int32_t result;
    Fails fails = Fails::No;
};

const Case Cases[] = {
    {"7", 7},
    {"10+2*3-4", 12},
    {"2 - 5", -3},
    {"1 - 5 - 3", -7},
    {"7 / 2", 3},
    {"-7", 0, Fails::Conversion},
    {"2*3+4*5", 26},
    {"3 * 2 + 13 * 2", 32},
    {"100 / 10 / 5", 2},
    {"8 - 2 * 3 / 4", 7},
    {"  12", 12},
    {"12 ", 0, Fails::Conversion},
    {"8 / 0", 0, Fails::DivideByZero},
    {"8 / 2 - 4 / 0", 0, Fails::DivideByZero},
    {"5 % 2", 0, Fails::Character},
    {"x", 0, Fails::Character},
    {"1,5", 0, Fails::Conversion},
    {"1 + + 2", 0, Fails::Conversion},
    {"3 +", 0, Fails::Conversion},
    {"", 0, Fails::Conversion},
    // 32-bit results wrap as 32-bit arithmetic leaves them; nothing overflows.
    {"2147483647 + 1", INT32_MIN},
    {"65536 * 65536", 0},
    {"2147483647 * 2147483647", 1},
    {"0 - 2147483647 - 1", INT32_MIN},
    {"2147483648", 0, Fails::Conversion},
    {"99999999999999999999", 0, Fails::Conversion},
};

TEST(Evaluator, TableOfExpressionsAndErrors)
{
    for (const Case& c : Cases) {
        SCOPED_TRACE(c.text);
        switch (c.fails) {
        case Fails::No: EXPECT_EQ(TskEvaluator::Evaluate(c.text), c.result); break;
        case Fails::Character:
            try {
                TskEvaluator::Evaluate(c.text);
                ADD_FAILURE() << "no error";
            } catch (const EInvalidOperation& e) {
                EXPECT_STREQ(e.what(), "Only alpha characters \"+\", \"-\", \"x\", and \"/\" are allowed.");
            }
            break;
        case Fails::DivideByZero:
            try {
                TskEvaluator::Evaluate(c.text);
                ADD_FAILURE() << "no error";
            } catch (const EInvalidOperation& e) {
                EXPECT_STREQ(e.what(), "Divide By Zero Error");
            }
            break;
        case Fails::Conversion: EXPECT_THROW(TskEvaluator::Evaluate(c.text), EConvertError); break;
        }
    }
}

// The class library's string-to-integer rule, for the reference below.
std::int32_t ToInt(const std::string& s)
{
    std::size_t i = s.find_first_not_of(' ');
    i = i == std::string::npos ? s.size() : i;
    bool negative = i < s.size() && s[i] == '-';
    i += i < s.size() && (s[i] == '-' || s[i] == '+');
    std::int64_t v = 0;
    bool ok = i < s.size();
    for (; ok && i < s.size(); ++i) {
        ok = std::isdigit(static_cast<unsigned char>(s[i])) && (v = v * 10 + (s[i] - '0')) <= 2147483648LL;
    }
    v = negative ? -v : v;
    if (!ok || v > INT32_MAX)
        throw EConvertError("'" + s + "' is not a valid integer value");
    return std::int32_t(v);
}

// The rule as it is written, slow and plain: space the operators, then
// apply the leftmost "*" or "/" (else "+" or "-") to its neighbour words
// again and again. The outcome is the value or the error's type and text.
std::string ByTheRule(const std::string& text)
{
    try {
        for (char c : text)
            if (!std::isdigit(static_cast<unsigned char>(c)) && !std::strchr(" *+,-/", c))
                throw EInvalidOperation("Only alpha characters \"+\", \"-\", \"x\", and \"/\" are allowed.");
        std::string s = text;
        for (const char* op : {"*", "/", "+", "-"})
            s = ReplaceAll(s, op, std::string(" ") + op + " ");
        while (s.find("  ") != std::string::npos)
            s = ReplaceAll(s, "  ", " ");
        std::vector<std::string> w(1);
        for (char c : s)
            if (c == ' ')
                w.emplace_back();
            else
                w.back() += c;
        for (;;) {
            std::size_t at = w.size();
            for (const char* level : {"*/", "+-"})
                for (std::size_t i = 0; i < w.size() && at == w.size(); ++i)
                    if (w[i].size() == 1 && std::strchr(level, w[i][0]))
                        at = i;
            if (at == w.size())
                break;
            std::int64_t a = ToInt(at ? w[at - 1] : ""), b = ToInt(at + 1 < w.size() ? w[at + 1] : ""), v;
            switch (w[at][0]) {
            case '*': v = a * b; break;
            case '/':
                if (b == 0)
                    throw EInvalidOperation("Divide By Zero Error");
                v = a / b;
                break;
            case '+': v = a + b; break;
            default: v = a - b; break;
            }
            std::size_t first = at ? at - 1 : 0;
            w.erase(w.begin() + std::ptrdiff_t(first), w.begin() + std::ptrdiff_t(std::min(at + 2, w.size())));
            w.insert(w.begin() + std::ptrdiff_t(first), std::to_string(std::int32_t(std::uint32_t(v))));
        }
        std::string rest;
        for (std::size_t i = 0; i < w.size(); ++i)
            rest += (i ? " " : "") + w[i];
        return std::to_string(ToInt(rest));
    } catch (const EConvertError& e) {
        return std::string("conversion: ") + e.what();
    } catch (const EInvalidOperation& e) {
        return std::string("invalid: ") + e.what();
    }
}

TEST(Evaluator, LongAndMalformedExpressionsComeOutAsByTheRule)
{
    std::mt19937 random(7124);
    const char* const words[] = {"0", "1", "7", "13", "65536", "2147483647", "46341", "1,5", "", "x"};
    for (int run = 0; run < 3000; ++run) {
        std::string text;
        for (int terms = 1 + int(random() % 12), k = 0; k < terms; ++k) {
            if (k)
                text += std::string(random() % 3 ? " " : "") + "*/+-"[random() % 4] + (random() % 3 ? " " : "");
            text += words[random() % (random() % 20 ? 7 : 10)];
        }
        SCOPED_TRACE(text);
        std::string got;
        try {
            got = std::to_string(TskEvaluator::Evaluate(text));
        } catch (const EConvertError& e) {
            got = std::string("conversion: ") + e.what();
        } catch (const EInvalidOperation& e) {
            got = std::string("invalid: ") + e.what();
        }
        EXPECT_EQ(got, ByTheRule(text));
    }
}

} // namespace
