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
    // Every run of blanks becomes one blank, in one pass.
    std::string out;
    out.reserve(s.size());
    for (char c : s)
        if (c != ' ' || out.empty() || out.back() != ' ')
            out += c;
    return out;
}

std::vector<std::string> TskEvaluator::Reduce(const std::vector<std::string>& words, int level)
{
    // Operators of the level are applied left to right, each to the word
    // before it (already reduced) and the word after it, in the order, and
    // with the errors, of applying the leftmost one again and again; every
    // word is visited once.
    const char* ops = level == 0 ? "*/" : "+-";
    std::vector<std::string> out;
    out.reserve(words.size());
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (word.size() != 1 || (word[0] != ops[0] && word[0] != ops[1])) {
            out.push_back(word);
            continue;
        }
        // An operator at either end has an empty neighbour word, never none;
        // a missing one still reads as an empty operand.
        std::int64_t left = StrToInt(out.empty() ? std::string() : out.back());
        std::int64_t right = StrToInt(i + 1 < words.size() ? words[i + 1] : std::string());
        std::int64_t result = 0;
        switch (word[0]) {
        case '*': result = left * right; break;
        case '/':
            if (right == 0)
                throw EInvalidOperation("Divide By Zero Error");
            result = left / right;
            break;
        case '+': result = left + right; break;
        default: result = left - right; break;
        }
        if (!out.empty())
            out.pop_back();
        out.push_back(std::to_string(Truncate(result)));
        ++i;
    }
    return out;
}

std::int32_t TskEvaluator::Evaluate(const std::string& text)
{
    CheckCharacters(text);
    std::vector<std::string> words = Reduce(Reduce(Words(SpaceOperators(text)), 0), 1);
    std::string rest;
    for (std::size_t i = 0; i < words.size(); ++i)
        rest += (i ? " " : "") + words[i];
    return StrToInt(rest);
}
