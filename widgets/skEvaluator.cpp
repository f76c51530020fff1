#include "widgets/skEvaluator.h"

#include <cctype>
#include <climits>

#include "widgets/skCommon.h"
#include "widgets/skErrors.h"

namespace {

// The class library's string-to-integer rule: leading blanks, an optional
// sign, decimal digits, and a value that fits 32 bits.
std::int32_t StrToInt(const std::string& s)
{
    std::size_t i = 0;
    while (i < s.size() && s[i] == ' ')
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        negative = s[i++] == '-';
    if (i == s.size())
        throw EConvertError("'" + s + "' is not a valid integer value");
    std::int64_t value = 0;
    for (; i < s.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(s[i])))
            throw EConvertError("'" + s + "' is not a valid integer value");
        value = value * 10 + (s[i] - '0');
        if (value > std::int64_t(INT32_MAX) + 1)
            throw EConvertError("'" + s + "' is not a valid integer value");
    }
    if (negative)
        value = -value;
    if (value > INT32_MAX)
        throw EConvertError("'" + s + "' is not a valid integer value");
    return std::int32_t(value);
}

// 32-bit results: the 64-bit value cut to its low 32 bits, as 32-bit
// arithmetic would leave it, without the undefined overflow.
std::int32_t Truncate(std::int64_t v) { return std::int32_t(std::uint32_t(std::uint64_t(v))); }

std::vector<std::string> Words(const std::string& text)
{
    std::vector<std::string> words;
    std::size_t start = 0;
    for (;;) {
        std::size_t blank = text.find(' ', start);
        words.push_back(text.substr(start, blank == std::string::npos ? std::string::npos : blank - start));
        if (blank == std::string::npos)
            return words;
        start = blank + 1;
    }
}

} // namespace

void TskEvaluator::CheckCharacters(const std::string& text)
{
    for (char c : text)
        if (c != ' ' && !std::isdigit(static_cast<unsigned char>(c)) && c != '*' && c != '+' && c != ',' &&
            c != '-' && c != '/')
            throw EInvalidOperation("Only alpha characters \"+\", \"-\", \"x\", and \"/\" are allowed.");
}

std::string TskEvaluator::SpaceOperators(const std::string& text)
{
    std::string s = text;
    for (const char* op : {"*", "/", "+", "-"})
        s = ReplaceAll(s, op, std::string(" ") + op + " ");
    while (s.find("  ") != std::string::npos)
        s = ReplaceAll(s, "  ", " ");
    return s;
}

int TskEvaluator::FindOperator(const std::vector<std::string>& words, int level)
{
    const char* ops = level == 0 ? "*/" : "+-";
    int best = -1;
    for (int k = 0; k < 2; ++k)
        for (int i = 0; i < int(words.size()); ++i)
            if (words[std::size_t(i)] == std::string(1, ops[k])) {
                if (best < 0 || i < best)
                    best = i;
                break;
            }
    return best;
}

std::int32_t TskEvaluator::Evaluate(const std::string& text)
{
    CheckCharacters(text);
    std::vector<std::string> words = Words(SpaceOperators(text));
    for (;;) {
        int at = FindOperator(words, 0);
        if (at < 0)
            at = FindOperator(words, 1);
        if (at < 0)
            break;
        // An operator at either end has an empty neighbour word, never none;
        // a missing one still reads as an empty operand.
        std::string leftWord = at > 0 ? words[std::size_t(at - 1)] : std::string();
        std::string rightWord = at + 1 < int(words.size()) ? words[std::size_t(at + 1)] : std::string();
        std::int64_t left = StrToInt(leftWord), right = StrToInt(rightWord);
        std::int64_t result = 0;
        switch (words[std::size_t(at)][0]) {
        case '*': result = left * right; break;
        case '/':
            if (right == 0)
                throw EInvalidOperation("Divide By Zero Error");
            result = left / right;
            break;
        case '+': result = left + right; break;
        default: result = left - right; break;
        }
        int first = std::max(at - 1, 0), last = std::min(at + 1, int(words.size()) - 1);
        words.erase(words.begin() + first, words.begin() + last + 1);
        words.insert(words.begin() + first, std::to_string(Truncate(result)));
    }
    std::string rest;
    for (std::size_t i = 0; i < words.size(); ++i)
        rest += (i ? " " : "") + words[i];
    return StrToInt(rest);
}
