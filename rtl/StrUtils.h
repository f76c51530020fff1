#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace rtl {

// Text is bytes; case rules are ASCII only, as the programs' texts are.
std::string Trim(std::string_view s);
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);
std::string UpperCase(std::string_view s);
std::string LowerCase(std::string_view s);
bool SameText(std::string_view a, std::string_view b);
bool StartsText(std::string_view prefix, std::string_view s);

std::string IntToStr(std::int64_t value);

// Whole-text integer parsing: optional blanks around, optional sign, decimal
// digits; nothing else. Empty when the text is not a number or overflows.
std::optional<std::int64_t> ParseInt64(std::string_view s);
std::int64_t StrToInt64Def(std::string_view s, std::int64_t def);
int StrToIntDef(std::string_view s, int def);

} // namespace rtl
