#pragma once
// A one-line integer expression of "*", "/", "+" and "-" between decimal
// numbers, without parentheses or signs, evaluated left to right with "*"
// and "/" first. Results are 32-bit signed values.
#include <cstdint>
#include <string>
#include <vector>

class TskEvaluator {
public:
    // Raises EInvalidOperation for a character outside the grammar and for a
    // division by zero, EConvertError for an operand that is no integer.
    static std::int32_t Evaluate(const std::string& text);

private:
    static void CheckCharacters(const std::string& text);
    static std::string SpaceOperators(const std::string& text);
    // The words with every operator of the level (0: "*" "/", 1: "+" "-")
    // replaced, with its two operands, by the result.
    static std::vector<std::string> Reduce(const std::vector<std::string>& words, int level);
};
