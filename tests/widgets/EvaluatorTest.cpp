// The integer expression evaluator, as a table of texts and results.
#include <gtest/gtest.h>

#include <optional>
#include <string>

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

} // namespace
