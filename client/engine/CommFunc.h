#pragma once
// Small text, path, number and time routines shared by the engine and the
// windows. Positions are 1-based, as the callers count them.
#include <cstdint>
#include <string>
#include <string_view>

int CountChar(char c, std::string_view text);
// Position of the n-th c; INT32_MAX when there is none.
int PosOfNthChar(char c, std::string_view text, int n);
std::string RemoveCommas(std::string_view text);
std::string StripTrailingBackslash(std::string_view path);
std::string StripTrailingSlash(std::string_view path);
// path + c unless it already ends with c; an empty path stays empty.
std::string AppendSeparator(std::string_view path, char c);
std::string ReplaceChar(std::string_view text, char a, char b);
// Text after the last "."; empty without one.
std::string ExtractExtension(std::string_view name);
// The path up to and including the separator before its last element.
std::string ExtractParentDir(std::string_view path);
// Text up to and including the last "/"; empty without one.
std::string ExtractRemoteDir(std::string_view path);
// Replace the first "\" or "/" by "*"; its position, 0 when there is none.
int MarkFirstBackslash(std::string& text);
int MarkFirstSlash(std::string& text);
std::string RemoveAmpersands(std::string_view caption);
std::string AddDotPrefix(std::string_view ext);
// One element of a path as a listing names it: not empty, not "." or "..",
// no "/" or "\", and no control character (NUL, CR, LF, ESC, DEL...), which
// could end a command line early or reach a terminal as it is.
bool IsSafeEntryName(std::string_view name);
// True when the text holds a control character (below 32, or 127).
bool HasControlChar(std::string_view text);
// The text with each control character written as "\xHH", for log lines.
std::string ShownName(std::string_view text);
// Text up to and including its last ":" followed by "********".
std::string MaskPassword(std::string_view text);
// "Jan".."Dec" to "01".."12"; anything else "00".
std::string MonthToNumber(std::string_view name);
std::string PadTwoDigits(std::int64_t n);

// "1234567" -> "1,234,567" (a leading "-" stays in front).
std::string FormatThousands(std::string_view digits);
std::string FormatThousands(std::int64_t value);
std::string FormatBytes(std::string_view digits);
std::string FormatBytes(std::int64_t value);
// Cut, not rounded: "1999999" -> "1MB", "12345" -> "12KB", "999" -> "999".
std::string FormatSize(std::string_view digits);
std::string FormatSize(std::int64_t value);
// 3725 -> "01:02:05"; hours may take more than two digits.
std::string SecondsToHMS(std::int64_t seconds);
